// The running-instance guard: finds running copies of the main application, asks the user whether
// to start a new one, and terminates the running copies when going ahead.
#pragma once

#include <string>

namespace launcher {

// True: go ahead with the launch (nothing ran, the copies were terminated, or no check could be
// made). False: the user declined.
bool CheckRunningInstance(bool forcedMode);
void TerminateProcessesByName(std::wstring processName);
void EnableDebugPrivilege();

}  // namespace launcher
