// The main application's shortcut on the all-users desktop: opened through the shell-link object,
// pointed at the launcher, saved under its new name, and the old one retired when it was ours.
#include "shortcut/desktop_shortcut.h"

#include <cwchar>
#include <iterator>

#include "winapi/scoped_handle.h"
#include "winapi/winapi.h"

namespace shortcut {

namespace {

// SHGetFolderLocation hands out a location that the caller frees with the COM allocator.
struct FolderLocationTraits {
    using Type = PIDLIST_ABSOLUTE;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type location) { return location != nullptr; }
    static void Close(Type location) { ::CoTaskMemFree(location); }
};
using ScopedFolderLocation = winapi::ScopedHandle<FolderLocationTraits>;

// COM for this thread for the length of one refresh. Only a successful CoInitialize (S_OK or
// S_FALSE) is balanced: uninitialising after a refused one would undo someone else's.
class ScopedComInit {
public:
    ScopedComInit() : initialised_(SUCCEEDED(::CoInitialize(nullptr))) {}
    ~ScopedComInit()
    {
        if (initialised_) ::CoUninitialize();
    }
    ScopedComInit(const ScopedComInit&) = delete;
    ScopedComInit& operator=(const ScopedComInit&) = delete;

private:
    bool initialised_;
};

bool Exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// File names follow the file system's rule for letter case, which the ordinal comparison shares;
// a locale's rule could call two spellings of one file different and retire the link just saved.
// 0 when the comparison could not be made: each caller takes the answer that keeps the old link.
int CompareIgnoringCase(const wchar_t* a, const wchar_t* b) { return CompareStringOrdinal(a, -1, b, -1, TRUE); }

// The all-users desktop folder; false when it cannot be located or has no path.
bool LocateCommonDesktop(wchar_t (&folder)[MAX_PATH])
{
    ScopedFolderLocation location;
    if (SHGetFolderLocation(nullptr,  // no owner window
                            CSIDL_COMMON_DESKTOPDIRECTORY,
                            nullptr,  // no token
                            0,        // reserved
                            location.Receive()) != S_OK)
        return false;
    // A location without a path would leave "\name.lnk", the root of the current drive.
    return SHGetPathFromIDListW(location.Get(), folder) && folder[0] != L'\0';
}

// "<desktop>\<name>.lnk"; false, with the buffer left empty, when that does not fit.
bool FormatLinkPath(wchar_t (&linkPath)[MAX_PATH], const wchar_t* folder, const wchar_t* name)
{
    const size_t length = std::wcslen(folder) + 1 + std::wcslen(name) + 4;
    if (length >= std::size(linkPath)) return false;
    wsprintfW(linkPath, L"%s\\%s.lnk", folder, name);
    return true;
}

const wchar_t* FileNamePart(const wchar_t* path)
{
    const wchar_t* separator = std::wcsrchr(path, L'\\');
    return separator ? separator + 1 : path;
}

struct RefreshRequest {
    const wchar_t* oldName;
    const wchar_t* newName;
    const wchar_t* targetPath;
    const wchar_t* description;
    const wchar_t* iconPath;
    const wchar_t* workingDir;
    const wchar_t* oldLink;
    const wchar_t* newLink;  // null without a new name
    bool oldExists;
};

// Steps from the creation of the shell-link object to the retirement of the old link. Both
// interfaces are released when this returns, before COM is uninitialised by the caller.
int UpdateLink(const RefreshRequest& request)
{
    winapi::ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink,
                                nullptr,  // no outer object
                                CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.ReceiveVoid())))
        return 0;
    winapi::ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid()))) return 0;

    wchar_t oldTarget[MAX_PATH] = {};
    HRESULT opened;
    if (request.oldExists) {
        // The path read back decides: a link that would not load reads as an empty one.
        (void)file->Load(request.oldLink, STGM_READWRITE);
        opened = link->GetPath(oldTarget, static_cast<int>(std::size(oldTarget)),
                               nullptr,  // no find data
                               SLGP_SHORTPATH);
    } else {
        opened = file->Load(request.newLink, STGM_READWRITE);
    }
    if (FAILED(opened)) return 0;

    (void)link->Resolve(nullptr,  // no window
                        SLR_UPDATE);
    if (request.targetPath) (void)link->SetPath(request.targetPath);

    if (request.iconPath && Exists(request.iconPath)) {
        (void)link->SetIconLocation(request.iconPath, 0);
    } else {
        // Written back unchanged, so a missing icon file never blanks the icon the link had.
        wchar_t iconLocation[MAX_PATH] = {};
        int iconIndex = 0;
        if (SUCCEEDED(link->GetIconLocation(iconLocation, static_cast<int>(std::size(iconLocation)), &iconIndex)))
            (void)link->SetIconLocation(iconLocation, iconIndex);
    }
    if (request.workingDir) (void)link->SetWorkingDirectory(request.workingDir);
    if (request.description) (void)link->SetDescription(request.description);

    const wchar_t* savePath = request.newLink ? request.newLink : request.oldLink;
    // Without a saved replacement the old link must stay.
    if (FAILED(file->Save(savePath, TRUE))) return 1;

    // Only a link saved under another name is retired, and only when its target had the launcher's
    // file name.
    if (!request.oldExists || !request.newName || oldTarget[0] == L'\0' || !request.targetPath) return 1;
    const int names = CompareIgnoringCase(request.oldName, request.newName);
    if (names != CSTR_LESS_THAN && names != CSTR_GREATER_THAN) return 1;
    if (CompareIgnoringCase(FileNamePart(oldTarget), FileNamePart(request.targetPath)) == CSTR_EQUAL) {
        (void)DeleteFileW(request.oldLink);
        // Explorer shows the desktop's new state only when told to refresh.
        (void)PostMessageW(GetDesktopWindow(), WM_KEYDOWN, VK_F5, 0);
        SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH,
                       nullptr,  // no items
                       nullptr);
    }
    return 1;
}

}  // namespace

int RefreshDesktopShortcut(const wchar_t* oldName, const wchar_t* newName, const wchar_t* targetPath,
                           const wchar_t* description, const wchar_t* iconPath, const wchar_t* workingDir)
{
    if (!oldName) return -1;

    wchar_t desktop[MAX_PATH] = {};
    if (!LocateCommonDesktop(desktop)) return -2;

    // A link path that does not fit its buffer names no link this run: nothing is touched.
    wchar_t oldLink[MAX_PATH] = {};
    if (!FormatLinkPath(oldLink, desktop, oldName)) return -3;
    const bool oldExists = Exists(oldLink);

    wchar_t newLink[MAX_PATH] = {};
    if (newName && !FormatLinkPath(newLink, desktop, newName)) return -3;
    const bool newExists = newName && Exists(newLink);

    if (!oldExists && !newExists) return -3;

    ScopedComInit com;
    return UpdateLink(RefreshRequest{oldName, newName, targetPath, description, iconPath, workingDir, oldLink,
                                     newName ? newLink : nullptr, oldExists});
}

}  // namespace shortcut
