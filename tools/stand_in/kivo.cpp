// A stand-in for the main application kivo.exe, for tests and the demo. It appends what it sees to
// kivo-record.txt beside itself, one UTF-8 line each:
//   start<TAB>pid<TAB>current directory<TAB>parameters as wWinMain received them
//   pipe<TAB>pid<TAB>hex of the bytes one client wrote to \\.\Pipe\ZUREZU_kivo
// In the directory and the parameters, a control character or '%' is written as %XX and a UTF-16
// unit that is no text (a lone surrogate) as %uXXXX, so that a line is always one record and the
// text can be restored exactly.
// It serves that pipe (unless its parameters contain --no-pipe) and stays alive until it is
// terminated, or for 60 seconds (KIVO_STANDIN_SECONDS overrides), so that no test leaves it behind.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

#include "winapi/scoped_handle.h"

namespace {

std::wstring g_recordPath;

void AppendUtf8(std::string& out, unsigned long code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string EscapedUtf8(const std::wstring& text)
{
    std::string out;
    char escape[8];
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned long unit = static_cast<unsigned short>(text[i]);
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (static_cast<unsigned short>(text[i + 1]) - 0xDC00));
            ++i;
        } else if (high || low) {
            std::snprintf(escape, std::size(escape), "%%u%04lX", unit);
            out += escape;
        } else if (unit < 0x20 || unit == L'%') {
            std::snprintf(escape, std::size(escape), "%%%02lX", unit);
            out += escape;
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

void AppendRecord(const std::string& line)
{
    winapi::ScopedFile file(CreateFileW(g_recordPath.c_str(),
                                        FILE_APPEND_DATA,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr,  // default security
                                        OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL,
                                        nullptr));  // no template
    if (!file) return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

winapi::ScopedFile NewPipeInstance()
{
    return winapi::ScopedFile(CreateNamedPipeW(L"\\\\.\\Pipe\\ZUREZU_kivo",
                                               PIPE_ACCESS_DUPLEX,
                                               PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                               PIPE_UNLIMITED_INSTANCES,
                                               16384,     // out buffer
                                               16384,     // in buffer
                                               0,         // default time-out
                                               nullptr));  // default security
}

// One client at a time; the next instance is created before the current client is read, so that
// a client arriving meanwhile finds the pipe ready rather than busy.
DWORD WINAPI ServePipe(LPVOID firstInstance)
{
    winapi::ScopedFile pipe(static_cast<HANDLE>(firstInstance));
    while (pipe) {
        const BOOL connected = ConnectNamedPipe(pipe.Get(), nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
        winapi::ScopedFile next = NewPipeInstance();
        if (connected) {
            std::string message;
            char buffer[4096];
            DWORD read = 0;
            while (ReadFile(pipe.Get(), buffer, static_cast<DWORD>(std::size(buffer)), &read, nullptr) && read > 0)
                message.append(buffer, read);
            std::string hex;
            char digits[3];
            for (unsigned char c : message) {
                std::snprintf(digits, std::size(digits), "%02x", c);
                hex += digits;
            }
            AppendRecord("pipe\t" + std::to_string(GetCurrentProcessId()) + "\t" + hex);
        }
        DisconnectNamedPipe(pipe.Get());
        pipe = std::move(next);
    }
    return 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int)
{
    wchar_t module[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, module, static_cast<DWORD>(std::size(module)));
    std::wstring folder = module;
    folder = folder.substr(0, folder.find_last_of(L'\\'));
    g_recordPath = folder + L"\\kivo-record.txt";

    wchar_t cwd[MAX_PATH * 4] = {};
    GetCurrentDirectoryW(static_cast<DWORD>(std::size(cwd)), cwd);
    const std::wstring parameters = commandLine ? commandLine : L"";

    // The pipe exists before the start is recorded: whoever sees the record may write at once.
    if (parameters.find(L"--no-pipe") == std::wstring::npos) {
        winapi::ScopedFile pipe = NewPipeInstance();
        if (pipe) {
            winapi::ScopedKernelHandle thread(CreateThread(nullptr, 0, ServePipe, pipe.Get(), 0, nullptr));
            if (thread) (void)pipe.Release();  // the thread owns it now
        }
    }
    AppendRecord("start\t" + std::to_string(GetCurrentProcessId()) + "\t" + EscapedUtf8(cwd) + "\t" +
                 EscapedUtf8(parameters));

    DWORD seconds = 60;
    wchar_t value[32] = {};
    if (GetEnvironmentVariableW(L"KIVO_STANDIN_SECONDS", value, static_cast<DWORD>(std::size(value))) > 0)
        seconds = static_cast<DWORD>(_wtoi(value));
    Sleep(seconds * 1000);
    return 0;
}
