// The command line through the launcher: ParseCommandLine, then a whole wWinMain on a fresh model
// world. The input's first byte picks the world, its low bits each adding one thing:
//   1 a kivo.exe is running, 2 the user answers OK, 4 kivo.exe serves its pipe, 8 Ctrl and Alt held;
// the rest is the command line in UTF-8 (any code point, surrogates included, as the model's
// 32-bit wchar_t holds them; a byte that starts no sequence stands for itself), up to a 0.
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "launcher/command_line.h"
#include "launcher/main_application.h"
#include "winapi/model/steering.h"
#include "winapi/winapi.h"

namespace {

const std::wstring kInstall = L"C:\\fw\\kivo";
const std::wstring kDesktop = L"C:\\Users\\Public\\Desktop";
const std::wstring kForced = L"forcerun:";
const std::wstring kScheme = L"tessaluvian://";

enum WorldBits : uint8_t { Running = 1, AnswerOk = 2, ServesPipe = 4, ControlAlt = 8 };

// The logger's standard error sink writes here instead of the terminal.
std::ostringstream g_stderr;

std::wstring DecodeCommandLine(const uint8_t* data, size_t size)
{
    std::wstring text;
    size_t i = 0;
    while (i < size && data[i] != 0) {
        const uint8_t b = data[i];
        const size_t length = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 1;
        uint32_t c = length == 4 ? b & 0x07u : length == 3 ? b & 0x0Fu : length == 2 ? b & 0x1Fu : b;
        bool whole = length > 1 && i + length <= size && b < 0xF5;
        for (size_t k = 1; whole && k < length; ++k) {
            if ((data[i + k] & 0xC0) != 0x80) whole = false;
            c = (c << 6) | (data[i + k] & 0x3Fu);
        }
        const uint32_t least = length == 4 ? 0x10000 : length == 3 ? 0x800 : 0x80;
        if (whole && c >= least && c <= 0x10FFFF) {
            text += static_cast<wchar_t>(c);
            i += length;
        } else {
            text += static_cast<wchar_t>(b);
            i += 1;
        }
    }
    return text;
}

// ParseCommandLine against the rules of the launch command line.
launcher::LaunchRequest CheckParse(const std::wstring& commandLine)
{
    const launcher::LaunchRequest request = launcher::ParseCommandLine(commandLine.c_str());
    const bool forced = commandLine.compare(0, kForced.size(), kForced) == 0;
    fuzz::Check(request.forcedMode == forced, "forced mode");
    const std::wstring text = forced ? commandLine.substr(kForced.size()) : commandLine;
    fuzz::Check(request.commandText == text, "command text");
    const size_t link = text.find(kScheme);
    fuzz::Check(request.hasLink == (link != std::wstring::npos), "link found");
    if (request.hasLink) fuzz::Check(request.linkPayload == text.substr(link + kScheme.size()), "link payload");
    fuzz::Check(request.parameters == (request.hasLink ? request.linkPayload : text), "parameters");
    return request;
}

void SetUpWorld(uint8_t bits)
{
    winmodel::Reset();
    winmodel::WriteFile(kInstall + L"\\Fennowick.exe", "MZ launcher");
    winmodel::WriteFile(kInstall + L"\\kivo.exe", "MZ kivo");
    winmodel::WriteFile(kInstall + L"\\ProductConfig.xml",
                        "<config><shortcut_cn>kivo cn</shortcut_cn><shortcut_en>kivo</shortcut_en>"
                        "<shortcut_new_cn>kivo new cn</shortcut_new_cn><shortcut_new_en>kivo new</shortcut_new_en></config>");
    winmodel::MakeFolder(kDesktop);
    winmodel::ShellLinkData link;
    link.path = kInstall + L"\\Fennowick.exe";
    winmodel::MakeShellLink(kDesktop + L"\\kivo.lnk", link);
    winmodel::WriteFile(L"C:\\fw\\outside.txt", "outside");
    winmodel::SetModulePath(kInstall + L"\\Fennowick.exe");
    // Started from elsewhere, as the shell starts it for a link.
    winmodel::SetCurrentDirectory(L"C:\\Users\\someone");
    if (bits & Running) winmodel::AddProcess(launcher::kMainAppFileName);
    winmodel::AnswerMessageBoxes(bits & AnswerOk ? IDOK : IDCANCEL);
    if (bits & ServesPipe) winmodel::ServePipe(launcher::kPipeName);
    winmodel::SetKeyDown(VK_CONTROL, bits & ControlAlt);
    winmodel::SetKeyDown(VK_MENU, bits & ControlAlt);
}

void CheckRun(const launcher::LaunchRequest& request, uint8_t bits, int exitCode, const fuzz::Picture& before)
{
    fuzz::Check(winmodel::OpenFileHandles() == 0, "a file handle stays open");
    fuzz::Check(winmodel::OpenRegKeys() == 0, "a registry key stays open");
    fuzz::Check(winmodel::OpenProcessHandles() == 0, "a process handle stays open");
    const fuzz::Picture after = fuzz::TakePicture();
    fuzz::CheckNothingBesideTheSandbox();

    const auto& starts = winmodel::ShellExecutes();
    fuzz::Check(starts.size() <= 1, "kivo.exe started more than once");
    // Only a user who is asked (a copy runs, no forced mode) and answers Cancel stops the launch.
    const bool declined = (bits & Running) && !(bits & AnswerOk) && !request.forcedMode;
    fuzz::Check(starts.empty() == declined, declined ? "a declined run started kivo.exe" : "kivo.exe was not started");
    if (starts.size() == 1) {
        // The launch path.
        fuzz::Check(exitCode == 0, "the launch path returns 0");
        std::wstring parameters = request.parameters;
        if (bits & ControlAlt) parameters += launcher::kAdminSuffix;
        fuzz::Check(starts[0].parameters == parameters, "parameters of kivo.exe");
        fuzz::Check(starts[0].file == launcher::kMainAppFileName && starts[0].verb == launcher::kShellVerb, "start");
        fuzz::Check(starts[0].currentDirectory == kInstall, "kivo.exe started outside the install folder");
        fuzz::Check(g_stderr.str().find("par: ") != std::string::npos, "the par: record");
        fuzz::CheckOnlyWithin(before, after, fuzz::SandboxRelative(kInstall), fuzz::SandboxRelative(kDesktop));
        return;
    }
    // The user declined: nothing written, no record; with a link the hand-off's 0 or 1.
    fuzz::CheckOnlyWithin(before, after);
    fuzz::Check(g_stderr.str().empty() && winmodel::DebugOutput().empty(), "a log record on a declined run");
    fuzz::Check(!winmodel::RegKeyExists(HKEY_CLASSES_ROOT, L"tessaluvian"), "registration on a declined run");
    const std::vector<std::string> messages = winmodel::PipeMessages(launcher::kPipeName);
    if (!request.hasLink) {
        fuzz::Check(exitCode == 0 && messages.empty(), "a declined run without a link returns 0 and sends nothing");
        return;
    }
    // The hand-off: 0 only for one whole message, the payload and one zero byte at its end, at
    // most 10240 bytes; 1 otherwise, and always without a pipe.
    fuzz::Check(exitCode == 0 || exitCode == 1, "the hand-off returns 0 or 1");
    if (!(bits & ServesPipe)) fuzz::Check(exitCode == 1, "a hand-off without a pipe returns 0");
    if (exitCode == 0) {
        fuzz::Check(messages.size() == 1, "a hand-off returned 0 without one message");
        const std::string& message = messages[0];
        fuzz::Check(!message.empty() && message.size() <= 10240 && message.find('\0') == message.size() - 1,
                    "the pipe message is not the payload with one zero byte at its end");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::UseOwnScratchFolder();
    std::cerr.rdbuf(g_stderr.rdbuf());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const uint8_t bits = data[0];
    std::wstring commandLine = DecodeCommandLine(data + 1, size - 1);
    const launcher::LaunchRequest request = CheckParse(commandLine);

    SetUpWorld(bits);
    g_stderr.str(std::string());
    const fuzz::Picture before = fuzz::TakePicture();
    const int exitCode = wWinMain(winmodel::ModuleInstance(), nullptr, commandLine.data(), SW_SHOWNORMAL);
    CheckRun(request, bits, exitCode, before);
    // A fresh world at the end as well: what a run leaves would otherwise be freed by the next
    // one, and libFuzzer, seeing more allocations than releases, would look for leaks every run.
    winmodel::Reset();
    return 0;
}
