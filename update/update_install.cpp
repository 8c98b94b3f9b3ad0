#include "update/update_install.h"

namespace update {

void StageUpdate() {}
void ApplyUpdateArchive() {}

}  // namespace update
