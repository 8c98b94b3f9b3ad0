#include "launcher/link_scheme.h"

namespace launcher {

void WriteRegFun() {}
int SendLinkToRunningInstance(const std::wstring&) { return 1; }

}  // namespace launcher
