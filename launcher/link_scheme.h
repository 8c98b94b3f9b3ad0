// The "tessaluvian://" link scheme: the launcher registers itself as its handler, and hands links
// to a running main application over its named pipe.
#pragma once

#include <string>

namespace launcher {

void WriteRegFun();
// The exit code of the hand-off: 0 when the message was delivered, 1 otherwise.
int SendLinkToRunningInstance(const std::wstring& payload);

}  // namespace launcher
