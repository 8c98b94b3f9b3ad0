// The launcher's entry point and the fixed order of one run: guard, hand-off or launch path
// (registration, own folder, log records, update, shortcut, start of the main application).
#include <cwchar>
#include <iterator>
#include <string>

#include "launcher/command_line.h"
#include "launcher/instance_guard.h"
#include "launcher/interface_language.h"
#include "launcher/link_scheme.h"
#include "launcher/main_application.h"
#include "launcher/text_conversion.h"
#include "log/app_logger.h"
#include "shortcut/desktop_shortcut.h"
#include "shortcut/product_config.h"
#include "update/update_install.h"
#include "winapi/parent_path.h"
#include "winapi/winapi.h"

using namespace launcher;

namespace {

// Ctrl and Alt held (either key of each pair) at the moment of the start.
bool ControlAndAltHeld()
{
    return (GetAsyncKeyState(VK_CONTROL) & 0x8000) && (GetAsyncKeyState(VK_MENU) & 0x8000);
}

const wchar_t* NameOrNull(const std::wstring& name) { return name.empty() ? nullptr : name.c_str(); }

void RefreshShortcutFromConfig(const wchar_t* modulePath, const std::wstring& launcherFolder)
{
    // The path buffers hold 260 units: a folder too long for the configuration path means no
    // shortcut work this run rather than a cut path.
    wchar_t configPath[MAX_PATH] = {};
    const size_t configSuffix = std::wcslen(kConfigPathFormat) - 2;
    if (launcherFolder.size() + configSuffix >= std::size(configPath)) return;
    swprintf_s(configPath, std::size(configPath), kConfigPathFormat, launcherFolder.c_str());

    shortcut::ShortcutNames names;
    if (!shortcut::ReadProductConfig(names, configPath)) return;

    wchar_t iconPath[MAX_PATH] = {};
    const size_t iconLength = launcherFolder.size() + 2 + std::wcslen(kProductBaseName) + 4;
    if (iconLength < std::size(iconPath)) wsprintfW(iconPath, kIconPathFormat, launcherFolder.c_str(), kProductBaseName);

    const bool chinese = IsChineseUi();
    const std::wstring& oldName = chinese ? names.shortcut_cn : names.shortcut_en;
    const std::wstring& newName = chinese ? names.shortcut_new_cn : names.shortcut_new_en;
    (void)shortcut::RefreshDesktopShortcut(NameOrNull(oldName), NameOrNull(newName), modulePath, kProductBaseName,
                                           iconPath[0] ? iconPath : nullptr, launcherFolder.c_str());
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int)
{
    LaunchRequest request = ParseCommandLine(commandLine);

    if (!CheckRunningInstance(request.forcedMode)) {
        if (!request.hasLink) return 0;
        return SendLinkToRunningInstance(request.linkPayload);
    }

    WriteRegFun();

    wchar_t modulePath[MAX_PATH] = {};
    GetModuleFileNameW(instance, modulePath, static_cast<DWORD>(std::size(modulePath)));
    const std::wstring launcherFolder = winapi::ParentPath(modulePath);
    // The update and the start of kivo.exe use names relative to the current directory.
    const bool inLauncherFolder = SetCurrentDirectoryW(launcherFolder.c_str()) != FALSE;

    std::wstring parameters = request.parameters;
    // Complete before the update starts; the parameters as given, without the administrator suffix.
    n_log::AppendWide(n_log::CustomLogMessage(kLauncherSourceFile, "wWinMain", 629, cpplog::LL_INFO, &AppLogger).Stream(),
                      L"class path: ")
        << WideToChsString(kMainAppFileName);
    n_log::AppendWide(n_log::CustomLogMessage(kLauncherSourceFile, "wWinMain", 630, cpplog::LL_INFO, &AppLogger).Stream(),
                      L"par: ")
        << WideToChsString(parameters);

    // Outside its own folder the launcher would extract whatever update.zip lies in the folder it
    // was started from, with administrator rights: no update then.
    if (inLauncherFolder) {
        update::StageUpdate();
        update::ApplyUpdateArchive();
    }

    RefreshShortcutFromConfig(modulePath, launcherFolder);

    if (ControlAndAltHeld()) parameters += kAdminSuffix;
    (void)ShellExecuteW(nullptr, kShellVerb, kMainAppFileName, parameters.c_str(), nullptr, SW_SHOW);
    return 0;
}
