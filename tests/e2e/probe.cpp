// Windows side of the end-to-end harness's own checks: the things the launcher will do that the
// harness must be able to observe, done here on demand.
//
//   probe.exe message-box TITLE     an OK/Cancel question titled TITLE (hex of UTF-16 units, four
//                                   digits each); the exit code is the answer: IDOK 1, IDCANCEL 2
//   probe.exe pipe-write BYTES      BYTES (hex, two digits each) as one message to the main
//                                   application's pipe; exit code 0, or 1 when it cannot be opened
//   probe.exe debug-string BYTES    OutputDebugStringA of BYTES and a terminating zero
//   probe.exe make-link LINK TARGET [ICON]
//                                   a shell link file LINK to TARGET, working folder the folder of
//                                   TARGET, icon ICON with index 0 when given (all hex of UTF-16);
//                                   exit code 0 when it was saved
//   probe.exe code-page             the exit code is the ANSI code page (GetACP)
//   probe.exe read-link LINK        prints the properties of the shell link LINK as UTF-8 lines
//                                   "name<TAB>value": target, arguments, working-folder,
//                                   description, icon; exit code 0 when it could be loaded
//   probe.exe box-text TITLE        waits (10 s at most) for a top-level window titled TITLE (hex of
//                                   UTF-16) and prints the text of each of its static controls as
//                                   a UTF-8 line "text<TAB>value"; exit code 0 when it was found
//   probe.exe reg-value KEY NAME    reads the value NAME of KEY ("HKCR\..." or "HKCU\...", both
//                                   hex of UTF-16) with RegQueryValueExW and prints "type<TAB>n",
//                                   "size<TAB>n" and "data<TAB>hex of the bytes"; exit code 0 when
//                                   it could be read
#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <cwchar>
#include <iterator>
#include <string>

#include "winapi/scoped_handle.h"

namespace {

bool DecodeHex(const wchar_t* hex, size_t digitsPerUnit, std::wstring& units)
{
    const size_t length = std::wcslen(hex);
    if (length % digitsPerUnit != 0) return false;
    units.clear();
    for (size_t i = 0; i < length; i += digitsPerUnit) {
        unsigned value = 0;
        for (size_t k = 0; k < digitsPerUnit; ++k) {
            const wchar_t c = hex[i + k];
            if (c >= L'0' && c <= L'9') value = value * 16 + (c - L'0');
            else if (c >= L'a' && c <= L'f') value = value * 16 + (c - L'a' + 10);
            else if (c >= L'A' && c <= L'F') value = value * 16 + (c - L'A' + 10);
            else return false;
        }
        units.push_back(static_cast<wchar_t>(value));
    }
    return true;
}

std::string Bytes(const std::wstring& units)
{
    std::string bytes;
    for (wchar_t unit : units) bytes.push_back(static_cast<char>(unit));
    return bytes;
}

struct ComSession {
    ComSession() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComSession() { CoUninitialize(); }
};

bool OpenLink(winapi::ComPtr<IShellLinkW>& link, winapi::ComPtr<IPersistFile>& file)
{
    return SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                      link.ReceiveVoid())) &&
           SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid()));
}

int MakeLink(const std::wstring& linkPath, const std::wstring& target, const std::wstring& icon)
{
    ComSession com;
    winapi::ComPtr<IShellLinkW> link;
    winapi::ComPtr<IPersistFile> file;
    if (!OpenLink(link, file)) return 1;
    const std::wstring folder = target.substr(0, target.find_last_of(L'\\'));
    link->SetPath(target.c_str());
    link->SetWorkingDirectory(folder.c_str());
    if (!icon.empty()) link->SetIconLocation(icon.c_str(), 0);
    return SUCCEEDED(file->Save(linkPath.c_str(), TRUE)) ? 0 : 1;
}

void PrintLine(const char* name, const wchar_t* value)
{
    std::string line = std::string(name) + "\t";
    const int size = WideCharToMultiByte(CP_UTF8, 0, value, -1, nullptr, 0, nullptr, nullptr);
    if (size > 1) {
        std::string text(static_cast<size_t>(size), '\0');
        WideCharToMultiByte(CP_UTF8, 0, value, -1, &text[0], size, nullptr, nullptr);
        line += text.c_str();
    }
    line += "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

int ReadLink(const std::wstring& linkPath)
{
    ComSession com;
    winapi::ComPtr<IShellLinkW> link;
    winapi::ComPtr<IPersistFile> file;
    if (!OpenLink(link, file) || FAILED(file->Load(linkPath.c_str(), STGM_READ))) return 1;
    wchar_t text[1024] = {};
    int icon = 0;
    link->GetPath(text, static_cast<int>(std::size(text)), nullptr, SLGP_RAWPATH);
    PrintLine("target", text);
    text[0] = L'\0';
    link->GetArguments(text, static_cast<int>(std::size(text)));
    PrintLine("arguments", text);
    text[0] = L'\0';
    link->GetWorkingDirectory(text, static_cast<int>(std::size(text)));
    PrintLine("working-folder", text);
    text[0] = L'\0';
    link->GetDescription(text, static_cast<int>(std::size(text)));
    PrintLine("description", text);
    text[0] = L'\0';
    link->GetIconLocation(text, static_cast<int>(std::size(text)), &icon);
    PrintLine("icon", text);
    return 0;
}

BOOL CALLBACK PrintStaticText(HWND window, LPARAM)
{
    wchar_t className[64] = {};
    wchar_t text[1024] = {};
    GetClassNameW(window, className, static_cast<int>(std::size(className)));
    if (lstrcmpiW(className, L"Static") == 0 && GetWindowTextW(window, text, static_cast<int>(std::size(text))) > 0)
        PrintLine("text", text);
    return TRUE;
}

int BoxText(const std::wstring& title)
{
    HWND window = nullptr;
    for (int i = 0; i < 200 && !window; ++i) {
        window = FindWindowW(nullptr, title.c_str());
        if (!window) Sleep(50);
    }
    if (!window) return 1;
    EnumChildWindows(window, PrintStaticText, 0);
    return 0;
}

int RegValue(const std::wstring& path, const std::wstring& name)
{
    HKEY root = nullptr;
    if (path.compare(0, 5, L"HKCR\\") == 0) root = HKEY_CLASSES_ROOT;
    if (path.compare(0, 5, L"HKCU\\") == 0) root = HKEY_CURRENT_USER;
    if (!root) return 101;
    winapi::ScopedRegKey key;
    if (RegOpenKeyExW(root, path.c_str() + 5, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) return 1;
    BYTE data[4096] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, data, &size) != ERROR_SUCCESS) return 1;
    std::string lines = "type\t" + std::to_string(type) + "\nsize\t" + std::to_string(size) + "\ndata\t";
    char digits[3];
    for (DWORD i = 0; i < size; ++i) {
        std::snprintf(digits, sizeof digits, "%02x", data[i]);
        lines += digits;
    }
    lines += "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) return 100;
    const std::wstring command = argv[1];
    std::wstring units;

    if (command == L"code-page") return static_cast<int>(GetACP());
    if (argc < 3) return 100;

    if (command == L"make-link" && (argc == 4 || argc == 5)) {
        std::wstring target, icon;
        if (!DecodeHex(argv[2], 4, units) || !DecodeHex(argv[3], 4, target)) return 101;
        if (argc == 5 && !DecodeHex(argv[4], 4, icon)) return 101;
        return MakeLink(units, target, icon);
    }
    if (command == L"read-link") {
        if (!DecodeHex(argv[2], 4, units)) return 101;
        return ReadLink(units);
    }
    if (command == L"box-text") {
        if (!DecodeHex(argv[2], 4, units)) return 101;
        return BoxText(units);
    }
    if (command == L"reg-value" && argc == 4) {
        std::wstring name;
        if (!DecodeHex(argv[2], 4, units) || !DecodeHex(argv[3], 4, name)) return 101;
        return RegValue(units, name);
    }
    if (argc != 3) return 100;

    if (command == L"message-box") {
        if (!DecodeHex(argv[2], 4, units)) return 101;
        return MessageBoxW(nullptr, L"Probe question", units.c_str(), MB_OKCANCEL | MB_ICONQUESTION);
    }
    if (command == L"pipe-write") {
        if (!DecodeHex(argv[2], 2, units)) return 101;
        const std::string message = Bytes(units);
        winapi::ScopedFile pipe(CreateFileW(L"\\\\.\\Pipe\\ZUREZU_kivo",
                                            GENERIC_READ | GENERIC_WRITE,
                                            0,        // no sharing
                                            nullptr,  // default security
                                            OPEN_EXISTING,
                                            0,          // no attributes
                                            nullptr));  // no template
        if (!pipe) return 1;
        DWORD written = 0;
        return WriteFile(pipe.Get(), message.data(), static_cast<DWORD>(message.size()), &written, nullptr) ? 0 : 3;
    }
    if (command == L"debug-string") {
        if (!DecodeHex(argv[2], 2, units)) return 101;
        OutputDebugStringA(Bytes(units).c_str());
        return 0;
    }
    return 100;
}
