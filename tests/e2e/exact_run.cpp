// Starts a program with an exact command line, waits for it and reports its exit code: the
// end-to-end harness needs command lines that Wine's own argument quoting cannot produce (a
// prefix right after the program name, stray quotes, lone surrogates ...).
//
//   exact_run.exe --program=HEX (--tail=HEX | --tail-file=HEX) [--cwd=HEX] [--stdout=HEX]
//                 [--stderr=HEX]
//
// Every value is text as hex of UTF-16 code units, four digits each ("0041" is "A"), so that it
// passes Wine's Unix-to-Windows argument conversion unchanged whatever it holds. The child's
// command line is the program path in double quotes followed directly by the tail; the tail
// brings its own separating blank when it wants one. A tail too long for our own command line
// comes from --tail-file, a file of UTF-16LE units without a byte order mark. --cwd is the
// child's current directory; --stdout and --stderr name files that receive the child's standard
// streams (created anew).
//
// On our own standard output: "exit-code 0x%08lX" with the child's full 32-bit exit code (the
// exit status of a Wine process keeps only its low byte, so a crash would look like a small
// number), or "error <what> <GetLastError()>" and exit code 2 when the child could not be run.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <iterator>
#include <string>

#include "winapi/scoped_handle.h"

namespace {

bool DecodeHex(const wchar_t* hex, std::wstring& text)
{
    const size_t length = std::wcslen(hex);
    if (length % 4 != 0) return false;
    text.clear();
    for (size_t i = 0; i < length; i += 4) {
        unsigned unit = 0;
        for (size_t k = 0; k < 4; ++k) {
            const wchar_t c = hex[i + k];
            unsigned digit;
            if (c >= L'0' && c <= L'9') digit = c - L'0';
            else if (c >= L'a' && c <= L'f') digit = c - L'a' + 10;
            else if (c >= L'A' && c <= L'F') digit = c - L'A' + 10;
            else return false;
            unit = unit * 16 + digit;
        }
        text.push_back(static_cast<wchar_t>(unit));
    }
    return true;
}

// A file that the child inherits as one of its standard handles.
winapi::ScopedFile OpenInheritable(const std::wstring& path, bool forWriting)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return winapi::ScopedFile(CreateFileW(path.c_str(),
                                          forWriting ? GENERIC_WRITE : GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          &inherit,
                                          forWriting ? CREATE_ALWAYS : OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL,
                                          nullptr));  // no template
}

bool ReadUtf16File(const std::wstring& path, std::wstring& text)
{
    winapi::ScopedFile file(CreateFileW(path.c_str(),
                                        GENERIC_READ,
                                        FILE_SHARE_READ,
                                        nullptr,  // default security
                                        OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL,
                                        nullptr));  // no template
    if (!file) return false;
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, static_cast<DWORD>(std::size(buffer)), &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    if (bytes.size() % 2 != 0) return false;
    text.assign(bytes.size() / 2, L'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    return true;
}

int Fail(const char* what)
{
    std::printf("error %s %lu\n", what, static_cast<unsigned long>(GetLastError()));
    std::fflush(stdout);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring program, tail, tailFile, cwd, stdoutPath, stderrPath;
    bool haveProgram = false, haveTail = false;
    for (int i = 1; i < argc; ++i) {
        struct Option {
            const wchar_t* name;
            std::wstring* value;
            bool* seen;
        } options[] = {
            {L"--program=", &program, &haveProgram}, {L"--tail=", &tail, &haveTail},
            {L"--tail-file=", &tailFile, &haveTail}, {L"--cwd=", &cwd, nullptr},
            {L"--stdout=", &stdoutPath, nullptr},    {L"--stderr=", &stderrPath, nullptr},
        };
        bool known = false;
        for (const Option& option : options) {
            const size_t n = std::wcslen(option.name);
            if (std::wcsncmp(argv[i], option.name, n) != 0) continue;
            if (!DecodeHex(argv[i] + n, *option.value)) return Fail("bad-hex");
            if (option.seen) *option.seen = true;
            known = true;
        }
        if (!known) return Fail("bad-option");
    }
    if (!haveProgram || !haveTail) return Fail("usage");
    if (!tailFile.empty() && !ReadUtf16File(tailFile, tail)) return Fail("tail-file");

    winapi::ScopedFile input = OpenInheritable(L"NUL", false);
    winapi::ScopedFile output, error;
    if (!stdoutPath.empty() && !(output = OpenInheritable(stdoutPath, true))) return Fail("stdout-file");
    if (!stderrPath.empty() && !(error = OpenInheritable(stderrPath, true))) return Fail("stderr-file");

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.Get();
    startup.hStdOutput = output ? output.Get() : nullptr;
    startup.hStdError = error ? error.Get() : nullptr;

    // CreateProcessW may write into the command line buffer.
    std::wstring commandLine = L"\"" + program + L"\"" + tail;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr,  // the program is the quoted first token
                        &commandLine[0],
                        nullptr,  // default process security
                        nullptr,  // default thread security
                        TRUE,     // inherit the standard handles above
                        0,        // no creation flags
                        nullptr,  // our environment
                        cwd.empty() ? nullptr : cwd.c_str(),
                        &startup,
                        &process))
        return Fail("create-process");
    winapi::ScopedKernelHandle child(process.hProcess);
    winapi::ScopedKernelHandle thread(process.hThread);

    if (WaitForSingleObject(child.Get(), INFINITE) != WAIT_OBJECT_0) return Fail("wait");
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(child.Get(), &exitCode)) return Fail("exit-code");
    std::printf("exit-code 0x%08lX\n", static_cast<unsigned long>(exitCode));
    std::fflush(stdout);
    return static_cast<int>(exitCode);
}
