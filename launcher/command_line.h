// The launcher's reading of its own command line: forced mode, the link and the parameters that
// the main application receives.
#pragma once

#include <string>

namespace launcher {

struct LaunchRequest {
    std::wstring commandText;   // the command line less a leading "forcerun:"
    bool forcedMode = false;
    bool hasLink = false;
    std::wstring linkPayload;   // everything after the first "tessaluvian://"
    std::wstring parameters;    // the payload when there is a link, else the whole command text
};

LaunchRequest ParseCommandLine(const wchar_t* commandLine);

}  // namespace launcher
