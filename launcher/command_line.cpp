#include "launcher/command_line.h"

#include "launcher/main_application.h"

namespace launcher {

LaunchRequest ParseCommandLine(const wchar_t* commandLine)
{
    LaunchRequest request;
    request.commandText = commandLine ? commandLine : L"";

    // Only at the very first character, in this letter case: "forcerun:" anywhere else is text.
    const std::wstring forced = kForcedModePrefix;
    if (request.commandText.compare(0, forced.size(), forced) == 0) {
        request.forcedMode = true;
        request.commandText.erase(0, forced.size());
    }

    const std::wstring scheme = kLinkSchemePrefix;
    size_t linkPosition = request.commandText.find(scheme);
    request.hasLink = linkPosition != std::wstring::npos;
    if (request.hasLink) request.linkPayload = request.commandText.substr(linkPosition + scheme.size());
    request.parameters = request.hasLink ? request.linkPayload : request.commandText;
    return request;
}

}  // namespace launcher
