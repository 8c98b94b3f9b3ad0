// A stand-in for the main application kivo.exe, for tests and the demo. It appends what it sees to
// kivo-record.txt beside itself (UTF-8, one line each):
//   start<TAB>pid<TAB>current directory<TAB>parameters as wWinMain received them
//   pipe<TAB>pid<TAB>hex of the bytes one client wrote to \\.\Pipe\ZUREZU_kivo
// It serves that pipe (unless started with --no-pipe) and stays alive until it is terminated,
// or for 60 seconds (KIVO_STANDIN_SECONDS overrides), so that no test leaves it behind.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::wstring g_recordPath;

std::string Utf8(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

void AppendRecord(const std::string& line)
{
    HANDLE file = CreateFileW(g_recordPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

DWORD WINAPI ServePipe(LPVOID)
{
    for (;;) {
        HANDLE pipe = CreateNamedPipeW(L"\\\\.\\Pipe\\ZUREZU_kivo", PIPE_ACCESS_DUPLEX,
                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                                       16384,    // out buffer
                                       16384,    // in buffer
                                       0,        // default time-out
                                       nullptr); // default security
        if (pipe == INVALID_HANDLE_VALUE) return 1;
        BOOL connected = ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
        if (connected) {
            std::string message;
            char buffer[4096];
            DWORD read = 0;
            while (ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) && read > 0) message.append(buffer, read);
            std::string hex;
            char digits[3];
            for (unsigned char c : message) {
                std::snprintf(digits, sizeof digits, "%02x", c);
                hex += digits;
            }
            AppendRecord("pipe\t" + std::to_string(GetCurrentProcessId()) + "\t" + hex);
        }
        DisconnectNamedPipe(pipe);
        CloseHandle(pipe);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int)
{
    wchar_t module[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH * 4);
    std::wstring folder = module;
    folder = folder.substr(0, folder.find_last_of(L'\\'));
    g_recordPath = folder + L"\\kivo-record.txt";

    wchar_t cwd[MAX_PATH * 4] = {};
    GetCurrentDirectoryW(MAX_PATH * 4, cwd);
    std::wstring parameters = commandLine ? commandLine : L"";
    AppendRecord("start\t" + std::to_string(GetCurrentProcessId()) + "\t" + Utf8(cwd) + "\t" + Utf8(parameters));

    if (parameters.find(L"--no-pipe") == std::wstring::npos) CreateThread(nullptr, 0, ServePipe, nullptr, 0, nullptr);

    DWORD seconds = 60;
    wchar_t value[32] = {};
    if (GetEnvironmentVariableW(L"KIVO_STANDIN_SECONDS", value, 32) > 0) seconds = static_cast<DWORD>(_wtoi(value));
    Sleep(seconds * 1000);
    return 0;
}
