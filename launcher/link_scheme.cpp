#include "launcher/link_scheme.h"

#include <cwchar>
#include <iterator>

#include "launcher/main_application.h"
#include "log/app_logger.h"
#include "winapi/scoped_handle.h"
#include "winapi/winapi.h"

namespace launcher {

namespace {

constexpr wchar_t kSchemeCommandKey[] = L"tessaluvian\\shell\\open\\command";
constexpr wchar_t kCommandFormat[] = L"\"%s\" \"%s\"";
constexpr wchar_t kCommandArgument[] = L"%1";
// What the command adds to the launcher's path: two pairs of quotes, a blank and %1.
constexpr size_t kCommandExtraUnits = 7;

// The pipe message, its terminating zero byte included, must fit this buffer.
constexpr size_t kMessageBytes = 10240;

}  // namespace

void WriteRegFun()
{
    wchar_t launcherPath[MAX_PATH] = {};
    const DWORD pathLength = GetModuleFileNameW(nullptr,  // the launcher itself
                                                launcherPath, static_cast<DWORD>(std::size(launcherPath)));
    if (pathLength == 0) {
        std::printf("GetModuleFileName failed w/err 0x%08lx\n", static_cast<unsigned long>(GetLastError()));
        return;
    }

    // A path too long for the command (more than 252 units, or cut by GetModuleFileNameW) would
    // register a command that does not start the launcher: keep the registration as it is.
    wchar_t command[MAX_PATH] = {};
    if (pathLength + kCommandExtraUnits >= std::size(command)) return;

    winapi::ScopedRegKey key;
    DWORD disposition = 0;  // received, not read
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, kSchemeCommandKey,
                        0,        // reserved
                        nullptr,  // no class
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr,  // default security
                        key.Receive(), &disposition) != ERROR_SUCCESS) {
        return;
    }

    wsprintfW(command, kCommandFormat, launcherPath, kCommandArgument);
    // The whole buffer is stored, zero units after the command included (520 bytes).
    if (RegSetValueExW(key.Get(), L"",  // the default value
                       0,               // reserved
                       REG_SZ, reinterpret_cast<const BYTE*>(command), static_cast<DWORD>(sizeof command)) ==
        ERROR_SUCCESS) {
        return;
    }
    n_log::AppendWide(n_log::CustomLogMessage(kLauncherSourceFile, "WriteRegFun", 211, cpplog::LL_INFO, &AppLogger).Stream(),
                      L"set reg failure: ");
}

int SendLinkToRunningInstance(const std::wstring& payload)
{
    // A shortened link would be a different link: refuse one that does not fit, before the
    // running copy sees a connection.
    const int messageBytes = WideCharToMultiByte(CP_ACP, 0, payload.c_str(),
                                                 -1,  // the whole payload with its terminator
                                                 nullptr, 0,
                                                 nullptr,   // the code page's default character
                                                 nullptr);  // not told whether it was used
    if (messageBytes <= 0 || static_cast<size_t>(messageBytes) > kMessageBytes) return 1;

    // One attempt: a busy pipe is not waited for.
    winapi::ScopedFile pipe(CreateFileW(kPipeName, GENERIC_READ | GENERIC_WRITE,
                                        0,        // not shared
                                        nullptr,  // default security
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                        nullptr));  // no template
    if (!pipe) return 1;

    char message[kMessageBytes] = {};
    const int converted =
        WideCharToMultiByte(CP_ACP, 0, payload.c_str(), -1, message, messageBytes, nullptr, nullptr);
    if (converted != messageBytes) return 1;

    // A message that did not arrive whole is a failed hand-off.
    DWORD written = 0;
    if (!WriteFile(pipe.Get(), message, static_cast<DWORD>(converted), &written, nullptr)) return 1;
    return written == static_cast<DWORD>(converted) ? 0 : 1;
}

}  // namespace launcher
