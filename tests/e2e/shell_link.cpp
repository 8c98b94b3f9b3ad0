// Windows side of the end-to-end shortcut scenarios: makes and reads shortcuts as the shell does,
// since the launcher never makes one from nothing. Texts are given as hex of UTF-16 units, four
// digits each, so that any name survives the command line; results go to OUTFILE (a Windows path;
// one "key hex" line each), never to a pipe.
//
//   shell_link.exe desktop OUTFILE                       "desktop <hex>": the all-users desktop folder
//   shell_link.exe make LINK TARGET DESC WORKDIR ICON INDEX
//                                                        saves a new link (INDEX in decimal); exit
//                                                        code 0, 1 on failure
//   shell_link.exe read LINK OUTFILE                     "path", "description", "workdir", "icon",
//                                                        "index" lines; exit code 0, 1 when it does
//                                                        not load
#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cwchar>
#include <string>

#include "winapi/scoped_handle.h"

namespace {

bool DecodeHex(const wchar_t* hex, std::wstring& units)
{
    const size_t length = std::wcslen(hex);
    if (length % 4 != 0) return false;
    units.clear();
    for (size_t i = 0; i < length; i += 4) {
        unsigned value = 0;
        for (size_t k = 0; k < 4; ++k) {
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

std::string EncodeHex(const std::wstring& units)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (wchar_t unit : units)
        for (int shift = 12; shift >= 0; shift -= 4) hex.push_back(digits[(unit >> shift) & 0xF]);
    return hex;
}

bool WriteText(const std::wstring& path, const std::string& text)
{
    winapi::ScopedFile file(CreateFileW(path.c_str(), GENERIC_WRITE,
                                        0,        // no sharing
                                        nullptr,  // default security
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                        nullptr));  // no template
    DWORD written = 0;
    return file && WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

class ComInit {
public:
    ComInit() : ok_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComInit()
    {
        if (ok_) CoUninitialize();
    }

private:
    bool ok_;
};

struct Link {
    winapi::ComPtr<IShellLinkW> link;
    winapi::ComPtr<IPersistFile> file;
    bool Create()
    {
        return SUCCEEDED(CoCreateInstance(CLSID_ShellLink,
                                          nullptr,  // no outer object
                                          CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.ReceiveVoid())) &&
               SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid()));
    }
};

int Desktop(const std::wstring& outFile)
{
    PIDLIST_ABSOLUTE location = nullptr;
    if (SHGetFolderLocation(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, 0, &location) != S_OK) return 1;
    wchar_t folder[MAX_PATH] = {};
    const BOOL found = SHGetPathFromIDListW(location, folder);
    CoTaskMemFree(location);
    if (!found) return 1;
    return WriteText(outFile, "desktop " + EncodeHex(folder) + "\n") ? 0 : 1;
}

int Make(wchar_t** texts)  // link, target, description, working folder, icon (hex), icon index
{
    std::wstring values[5];
    for (int i = 0; i < 5; ++i)
        if (!DecodeHex(texts[i], values[i])) return 101;
    ComInit com;
    Link link;
    if (!link.Create()) return 1;
    link.link->SetPath(values[1].c_str());
    link.link->SetDescription(values[2].c_str());
    link.link->SetWorkingDirectory(values[3].c_str());
    link.link->SetIconLocation(values[4].c_str(), _wtoi(texts[5]));
    return SUCCEEDED(link.file->Save(values[0].c_str(), TRUE)) ? 0 : 1;
}

int Read(const wchar_t* linkHex, const std::wstring& outFile)
{
    std::wstring linkPath;
    if (!DecodeHex(linkHex, linkPath)) return 101;
    ComInit com;
    Link link;
    if (!link.Create() || FAILED(link.file->Load(linkPath.c_str(), STGM_READ))) return 1;
    wchar_t text[MAX_PATH] = {};
    std::string out;
    link.link->GetPath(text, MAX_PATH, nullptr, 0);  // the long form, as stored
    out += "path " + EncodeHex(text) + "\n";
    text[0] = L'\0';
    link.link->GetDescription(text, MAX_PATH);
    out += "description " + EncodeHex(text) + "\n";
    text[0] = L'\0';
    link.link->GetWorkingDirectory(text, MAX_PATH);
    out += "workdir " + EncodeHex(text) + "\n";
    text[0] = L'\0';
    int index = 0;
    link.link->GetIconLocation(text, MAX_PATH, &index);
    out += "icon " + EncodeHex(text) + "\n";
    out += "index " + std::to_string(index) + "\n";
    return WriteText(outFile, out) ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) return 100;
    const std::wstring command = argv[1];
    if (command == L"desktop" && argc == 3) return Desktop(argv[2]);
    if (command == L"make" && argc == 8) return Make(argv + 2);
    if (command == L"read" && argc == 4) return Read(argv[2], argv[3]);
    return 100;
}
