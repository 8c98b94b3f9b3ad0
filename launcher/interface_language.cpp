#include "launcher/interface_language.h"

namespace launcher {

bool IsChineseUi() { return true; }

}  // namespace launcher
