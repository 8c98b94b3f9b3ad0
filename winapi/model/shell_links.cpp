// Linux model only: the all-users desktop folder, COM initialisation and the shell-link object
// (IShellLinkW and IPersistFile on one ref-counted object). Link files are the model's own small
// format in the sandbox, not the Windows binary format; what the launcher relies on is what they
// hold: target, description, working folder and icon location.
#include <dirent.h>

#include <algorithm>
#include <cstring>

#include "world.h"

// The location SHGetFolderLocation hands out: in the model it only carries the folder's path.
struct ITEMIDLIST {
    std::wstring path;
};

namespace winmodel {

namespace {

// ---- Link files ---------------------------------------------------------------------------------

const char kLinkMagic[] = "FW-MODEL-LINK 1\n";

// Each field is "<key> <byte count>:<UTF-8 bytes>\n", so any text survives, line breaks included.
std::string EncodeLink(const ShellLinkData& data)
{
    std::string out = kLinkMagic;
    auto field = [&out](const char* key, const std::string& value) {
        out += key;
        out += ' ';
        out += std::to_string(value.size());
        out += ':';
        out += value;
        out += '\n';
    };
    field("path", ToUtf8(data.path));
    field("description", ToUtf8(data.description));
    field("workdir", ToUtf8(data.workingDirectory));
    field("icon", ToUtf8(data.iconPath));
    field("iconindex", std::to_string(data.iconIndex));
    return out;
}

bool DecodeLink(const std::string& bytes, ShellLinkData* data)
{
    const size_t magicLength = std::strlen(kLinkMagic);
    if (bytes.compare(0, magicLength, kLinkMagic) != 0) return false;
    ShellLinkData decoded;
    size_t pos = magicLength;
    while (pos < bytes.size()) {
        size_t blank = bytes.find(' ', pos);
        size_t colon = bytes.find(':', blank == std::string::npos ? pos : blank);
        if (blank == std::string::npos || colon == std::string::npos) return false;
        std::string key = bytes.substr(pos, blank - pos);
        std::string countText = bytes.substr(blank + 1, colon - blank - 1);
        if (countText.empty() || countText.find_first_not_of("0123456789") != std::string::npos) return false;
        size_t count = std::stoul(countText);
        if (colon + 1 + count + 1 > bytes.size() || bytes[colon + 1 + count] != '\n') return false;
        std::string value = bytes.substr(colon + 1, count);
        pos = colon + 1 + count + 1;
        if (key == "path")
            decoded.path = FromUtf8(value);
        else if (key == "description")
            decoded.description = FromUtf8(value);
        else if (key == "workdir")
            decoded.workingDirectory = FromUtf8(value);
        else if (key == "icon")
            decoded.iconPath = FromUtf8(value);
        else if (key == "iconindex")
            decoded.iconIndex = std::atoi(value.c_str());
    }
    *data = decoded;
    return true;
}

bool IsFolder(const std::wstring& windowsPath)
{
    DWORD attributes = Attributes(windowsPath);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring ParentOf(const std::wstring& full) { return full.substr(0, full.find_last_of(L'\\')); }

// ---- Short (8.3) names as NTFS generates them -----------------------------------------------------

bool IsShortNameCharacter(wchar_t c)
{
    if (c >= 0x80) return false;
    if ((c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9')) return true;
    return std::wcschr(L"!#$%&'()-@^_`{}~", c) != nullptr;
}

// A name that already is a valid 8.3 name, in either letter case, gets no short name of its own.
bool IsShortName(const std::wstring& name)
{
    size_t dot = name.find(L'.');
    std::wstring base = name.substr(0, dot);
    std::wstring extension = dot == std::wstring::npos ? L"" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || extension.size() > 3) return false;
    if (dot != std::wstring::npos && extension.empty()) return false;
    return std::all_of(base.begin(), base.end(), IsShortNameCharacter) &&
           std::all_of(extension.begin(), extension.end(), IsShortNameCharacter);
}

// The generated name without its number: blanks and dots (but the extension's) dropped, characters
// that 8.3 names cannot hold as "_", upper case, six characters of base and three of extension.
// Characters beyond ASCII also become "_" here; Windows keeps those its OEM code page has.
std::pair<std::wstring, std::wstring> ShortNameStem(const std::wstring& name)
{
    size_t first = name.find_first_not_of(L'.');
    std::wstring trimmed = first == std::wstring::npos ? L"" : name.substr(first);
    size_t dot = trimmed.find_last_of(L'.');
    std::wstring baseText = dot == std::wstring::npos ? trimmed : trimmed.substr(0, dot);
    std::wstring extensionText = dot == std::wstring::npos ? L"" : trimmed.substr(dot + 1);
    auto clean = [](const std::wstring& text, size_t limit) {
        std::wstring out;
        for (wchar_t c : text) {
            if (out.size() == limit) break;
            if (c == L' ' || c == L'.') continue;
            if (!IsShortNameCharacter(c)) c = L'_';
            out += (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
        }
        return out;
    };
    std::wstring base = clean(baseText, 6);
    if (base.empty()) base = L"_";
    return {base, clean(extensionText, 3)};
}

// NTFS numbers the names that share a stem in the order the files were made; the model, which
// does not know that order, numbers them in the order of their long names.
std::wstring ShortNameIn(const std::string& hostFolder, const std::wstring& longName)
{
    if (IsShortName(longName)) return longName;
    auto stem = ShortNameStem(longName);
    std::vector<std::wstring> sharing;
    if (DIR* dir = ::opendir(hostFolder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::wstring name = FromUtf8(entry->d_name);
            if (name == L"." || name == L".." || IsShortName(name)) continue;
            if (ShortNameStem(name) == stem) sharing.push_back(UpperCase(name));
        }
        ::closedir(dir);
    }
    std::sort(sharing.begin(), sharing.end());
    auto place = std::find(sharing.begin(), sharing.end(), UpperCase(longName));
    size_t number = place == sharing.end() ? 1 : static_cast<size_t>(place - sharing.begin()) + 1;
    std::wstring shortName = stem.first + L"~" + std::to_wstring(number);
    if (!stem.second.empty()) shortName += L"." + stem.second;
    return shortName;
}

// GetShortPathName's answer for an absolute local path; a path that names no file keeps its long
// form, as the shell link then has nothing to shorten.
std::wstring ShortPathOf(const std::wstring& path)
{
    if (path.size() < 3 || path[1] != L':' || (path[2] != L'\\' && path[2] != L'/')) return path;
    if (!Exists(path)) return path;
    std::wstring result = path.substr(0, 2);
    std::wstring prefix = result;
    size_t pos = 3;
    while (pos <= path.size()) {
        size_t next = path.find_first_of(L"\\/", pos);
        std::wstring component = path.substr(pos, next == std::wstring::npos ? std::wstring::npos : next - pos);
        if (component == L"." || component == L"..") return path;
        if (!component.empty()) {
            std::string hostFolder = Resolve(prefix + L"\\").host;
            prefix += L"\\" + component;
            std::string host = Resolve(prefix).host;
            std::wstring onDisk = FromUtf8(host.substr(host.find_last_of('/') + 1));
            result += L"\\" + (IsShortName(onDisk) ? component : ShortNameIn(hostFolder, onDisk));
        }
        if (next == std::wstring::npos) break;
        pos = next + 1;
    }
    return result;
}

// lstrcpyn: as much as fits, always terminated.
void CopyBounded(const std::wstring& text, LPWSTR buffer, int size)
{
    if (!buffer || size <= 0) return;
    size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), buffer);
    buffer[n] = 0;
}

void Record(const char* method, const wchar_t* text, long value, bool pointerNull = true)
{
    World().shellLinkCalls.push_back(ShellLinkCall{method, text ? text : L"", value, pointerNull});
}

// ---- The shell-link object ------------------------------------------------------------------------

class ModelShellLink final : public IShellLinkW, public IPersistFile {
public:
    ModelShellLink() { ++World().liveShellLinks; }
    ModelShellLink(const ModelShellLink&) = delete;
    ModelShellLink& operator=(const ModelShellLink&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object) return E_POINTER;
        *object = nullptr;
        MODEL_CALL("QueryInterface", E_NOINTERFACE);
        if (iid == IID_IUnknown || iid == IID_IShellLinkW)
            *object = static_cast<IShellLinkW*>(this);
        else if (iid == IID_IPersistFile)
            *object = static_cast<IPersistFile*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --references_;
        if (left == 0) {
            --World().liveShellLinks;
            delete this;
        }
        return left;
    }

    // IShellLinkW
    HRESULT STDMETHODCALLTYPE GetPath(LPWSTR file, int size, WIN32_FIND_DATAW* findData, DWORD flags) override
    {
        MODEL_CALL("IShellLinkW::GetPath", E_FAIL);
        Record("GetPath", nullptr, static_cast<long>(flags), findData == nullptr);
        if (!file || size <= 0) return E_INVALIDARG;
        if (data_.path.empty()) {
            file[0] = 0;
            return S_FALSE;
        }
        CopyBounded((flags & SLGP_SHORTPATH) ? ShortPathOf(data_.path) : data_.path, file, size);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDescription(LPWSTR name, int size) override
    {
        MODEL_CALL("IShellLinkW::GetDescription", E_FAIL);
        CopyBounded(data_.description, name, size);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetDescription(LPCWSTR name) override
    {
        MODEL_CALL("IShellLinkW::SetDescription", E_FAIL);
        Record("SetDescription", name, 0);
        data_.description = name ? name : L"";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPWSTR dir, int size) override
    {
        MODEL_CALL("IShellLinkW::GetWorkingDirectory", E_FAIL);
        CopyBounded(data_.workingDirectory, dir, size);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCWSTR dir) override
    {
        MODEL_CALL("IShellLinkW::SetWorkingDirectory", E_FAIL);
        Record("SetWorkingDirectory", dir, 0);
        data_.workingDirectory = dir ? dir : L"";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIconLocation(LPWSTR iconPath, int size, int* iconIndex) override
    {
        MODEL_CALL("IShellLinkW::GetIconLocation", E_FAIL);
        Record("GetIconLocation", nullptr, size);
        if (!iconPath || !iconIndex) return E_INVALIDARG;
        CopyBounded(data_.iconPath, iconPath, size);
        *iconIndex = data_.iconIndex;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetIconLocation(LPCWSTR iconPath, int iconIndex) override
    {
        MODEL_CALL("IShellLinkW::SetIconLocation", E_FAIL);
        Record("SetIconLocation", iconPath, iconIndex);
        data_.iconPath = iconPath ? iconPath : L"";
        data_.iconIndex = iconIndex;
        return S_OK;
    }
    // The model finds nothing to repair: a moved target is not searched for.
    HRESULT STDMETHODCALLTYPE Resolve(HWND window, DWORD flags) override
    {
        MODEL_CALL("IShellLinkW::Resolve", E_FAIL);
        Record("Resolve", nullptr, static_cast<long>(flags), window == nullptr);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetPath(LPCWSTR file) override
    {
        MODEL_CALL("IShellLinkW::SetPath", E_FAIL);
        Record("SetPath", file, 0);
        if (!file) return E_INVALIDARG;
        data_.path = file;
        return S_OK;
    }

    // IPersistFile
    HRESULT STDMETHODCALLTYPE Load(LPCWSTR fileName, DWORD mode) override
    {
        MODEL_CALL("IPersistFile::Load", E_FAIL);
        Record("Load", fileName, static_cast<long>(mode));
        if (!fileName) return E_INVALIDARG;
        ResolvedPath r = winmodel::Resolve(fileName);
        if (!r.ok || r.isPipe) return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
        DWORD attributes = Attributes(r.full);
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return HRESULT_FROM_WIN32(IsFolder(ParentOf(r.full)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return E_ACCESSDENIED;
        // The file is opened with the access the mode asks for.
        bool writing = mode & (STGM_WRITE | STGM_READWRITE);
        if (writing && (attributes & FILE_ATTRIBUTE_READONLY)) return E_ACCESSDENIED;
        if (writing && World().locked.count(r.key)) return HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
        std::string bytes;
        ShellLinkData loaded;
        if (!ReadWholeFile(r.full, &bytes) || !DecodeLink(bytes, &loaded)) return E_FAIL;
        data_ = loaded;
        currentFile_ = r.full;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Save(LPCWSTR fileName, BOOL remember) override
    {
        MODEL_CALL("IPersistFile::Save", E_FAIL);
        Record("Save", fileName, remember);
        std::wstring target = fileName ? fileName : currentFile_;
        if (target.empty()) return E_INVALIDARG;
        ResolvedPath r = winmodel::Resolve(target);
        if (!r.ok || r.isPipe) return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
        if (!IsFolder(ParentOf(r.full))) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        DWORD attributes = Attributes(r.full);
        if (attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
            return E_ACCESSDENIED;
        if (World().locked.count(r.key)) return HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
        std::string bytes = EncodeLink(data_);
        WorldState& w = World();
        if (w.writeLimit >= 0 && w.written + static_cast<long long>(bytes.size()) > w.writeLimit)
            return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
        w.written += static_cast<long long>(bytes.size());
        WriteFile(r.full, bytes);
        if (remember) currentFile_ = r.full;
        return S_OK;
    }

private:
    ~ModelShellLink() = default;

    ULONG references_ = 1;
    ShellLinkData data_;
    std::wstring currentFile_;
};

}  // namespace

void SetCommonDesktop(const std::wstring& windowsPath) { World().commonDesktop = windowsPath; }

bool MakeShellLink(const std::wstring& linkPath, const ShellLinkData& data)
{
    WriteFile(linkPath, EncodeLink(data));
    return Exists(linkPath);
}

bool ReadShellLink(const std::wstring& linkPath, ShellLinkData* data)
{
    std::string bytes;
    return ReadWholeFile(linkPath, &bytes) && DecodeLink(bytes, data);
}

long ComInitCount() { return World().comInit; }
long LiveShellLinks() { return World().liveShellLinks; }
long LiveFolderLocations() { return static_cast<long>(World().folderLocations.size()); }
long ShellLinksOutlivingCom() { return World().shellLinksOutlivingCom; }
const std::vector<ShellLinkCall>& ShellLinkCalls() { return World().shellLinkCalls; }

}  // namespace winmodel

using namespace winmodel;

const CLSID CLSID_ShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IShellLinkW = {0x000214F9, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

HRESULT SHGetFolderLocation(HWND, int folder, HANDLE, DWORD reserved, PIDLIST_ABSOLUTE* location)
{
    if (!location) return E_INVALIDARG;
    *location = nullptr;
    MODEL_CALL("SHGetFolderLocation", E_FAIL);
    if (folder != CSIDL_COMMON_DESKTOPDIRECTORY || reserved != 0) return E_INVALIDARG;
    const std::wstring& desktop = World().commonDesktop;
    if (desktop.empty() || !IsFolder(desktop)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    *location = new ITEMIDLIST{Resolve(desktop).full};
    World().folderLocations.insert(*location);
    return S_OK;
}

BOOL SHGetPathFromIDListW(PCIDLIST_ABSOLUTE location, LPWSTR path)
{
    MODEL_CALL("SHGetPathFromIDListW", FALSE);
    if (!path) return FALSE;
    path[0] = 0;
    if (!location || !World().folderLocations.count(location)) return FALSE;
    if (location->path.size() >= MAX_PATH) return FALSE;
    std::copy(location->path.begin(), location->path.end(), path);
    path[location->path.size()] = 0;
    return TRUE;
}

namespace {

void FreeLocation(const void* memory)
{
    auto& live = World().folderLocations;
    auto it = live.find(memory);
    if (it == live.end()) return;
    live.erase(it);
    delete static_cast<const ITEMIDLIST*>(memory);
}

}  // namespace

// Freeing cannot fail on Windows: counted, never made to fail.
void CoTaskMemFree(LPVOID memory)
{
    (void)EnterCall("CoTaskMemFree");
    FreeLocation(memory);
}

void ILFree(PIDLIST_ABSOLUTE location)
{
    (void)EnterCall("ILFree");
    FreeLocation(location);
}

// The first initialisation of the thread answers S_OK, every further one S_FALSE; each success
// is to be balanced by one CoUninitialize.
HRESULT CoInitialize(LPVOID)
{
    MODEL_CALL("CoInitialize", E_FAIL);
    return World().comInit++ == 0 ? S_OK : S_FALSE;
}

// Cannot fail on Windows. An unbalanced call shows as a negative ComInitCount(); objects still
// held when the last initialisation goes would be released into an unloaded library.
void CoUninitialize()
{
    (void)EnterCall("CoUninitialize");
    WorldState& w = World();
    if (--w.comInit == 0) w.shellLinksOutlivingCom += w.liveShellLinks;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, LPVOID* object)
{
    if (!object) return E_POINTER;
    *object = nullptr;
    MODEL_CALL("CoCreateInstance", REGDB_E_CLASSNOTREG);
    if (World().comInit <= 0) return CO_E_NOTINITIALIZED;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (clsid != CLSID_ShellLink || !(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    IShellLinkW* link = new ModelShellLink;
    // The object's own QueryInterface is not a platform call of the caller's; ask it directly.
    if (iid == IID_IUnknown || iid == IID_IShellLinkW) {
        *object = link;
        return S_OK;
    }
    if (iid == IID_IPersistFile) {
        *object = static_cast<IPersistFile*>(static_cast<ModelShellLink*>(link));
        return S_OK;
    }
    link->Release();
    return E_NOINTERFACE;
}
