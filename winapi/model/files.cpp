// Linux model only: Windows paths over a real sandbox folder, file handles, attributes, times,
// folders, moves and copies, and the current directory. Attributes and times are kept with each
// file in an extended attribute, as Wine keeps its DOS attributes, since Linux has no place for
// them; where the file system takes none, the model keeps them in memory.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <filesystem>
#include <iterator>

#include "world.h"

namespace winmodel {

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool HasInvalidCharacter(const wchar_t* component, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        const wchar_t c = component[i];
        if (c < 32 || c == L'<' || c == L'>' || c == L':' || c == L'"' || c == L'|' || c == L'?' || c == L'*') return true;
    }
    return false;
}

void AppendUtf8(std::string& out, const wchar_t* text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        auto c = static_cast<std::uint32_t>(text[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}

std::string LeafOf(const std::string& host) { return host.substr(host.find_last_of('/') + 1); }
std::string ParentHost(const std::string& host) { return host.substr(0, host.find_last_of('/')); }

// An extraction works in a handful of folders at a time; the drive and the folders above its
// target count among them.
constexpr size_t kFoldersKept = 16;

// Upper-cased as UpperCase does, with ASCII text (nearly every name) done here.
std::wstring UpperName(const std::wstring& text)
{
    for (wchar_t c : text)
        if (static_cast<std::uint32_t>(c) >= 0x80) return UpperCase(text);
    std::wstring upper(text);
    for (wchar_t& c : upper)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return upper;
}

// \\.\pipe\ in any letter case, as UpperCase sees it.
bool IsPipePath(const std::wstring& path)
{
    static const wchar_t kPrefix[] = L"\\\\.\\PIPE\\";
    const size_t length = std::size(kPrefix) - 1;
    if (path.size() < length) return false;
    for (size_t i = 0; i < length; ++i) {
        wchar_t c = path[i];
        if (static_cast<std::uint32_t>(c) >= 0x80) return UpperCase(path.substr(0, length)) == kPrefix;
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
        if (c != kPrefix[i]) return false;
    }
    return true;
}

// What the model knows of a real folder, read when it is not known; none when it is not a
// folder that can be read. The folder used least recently makes room for a new one.
FolderMirror* MirrorOf(const std::string& folder)
{
    WorldState& w = World();
    std::vector<FolderMirror>& folders = w.folders;
    for (FolderMirror& mirror : folders) {
        if (mirror.folder != folder) continue;
        mirror.lastUse = ++w.folderUses;
        return &mirror;
    }
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return nullptr;
    FolderMirror mirror;
    mirror.folder = folder;
    mirror.lastUse = ++w.folderUses;
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        FolderEntry known;
        known.name = name;
        known.directory = entry->d_type == DT_DIR;
        known.uncertain = entry->d_type != DT_DIR && entry->d_type != DT_REG;
        const std::wstring wide = FromUtf8(name);
        if (ToUtf8(wide) != name) mirror.oddNames = true;
        auto [it, added] = mirror.entries.emplace(UpperName(wide), known);
        if (!added) it->second.uncertain = true;
    }
    ::closedir(dir);
    if (folders.size() < kFoldersKept) {
        folders.push_back(std::move(mirror));
        return &folders.back();
    }
    auto oldest = std::min_element(folders.begin(), folders.end(),
                                   [](const FolderMirror& a, const FolderMirror& b) { return a.lastUse < b.lastUse; });
    *oldest = std::move(mirror);
    return &*oldest;
}

// A real path for the *at calls: relative to the sandbox folder, whose descriptor the model
// keeps, so that the kernel walks only the path inside the sandbox.
struct AtPath {
    int folder;
    const char* path;
};

AtPath At(const std::string& host)
{
    WorldState& w = World();
    if (w.sandboxFolder.fd < 0) w.sandboxFolder.fd = ::open(w.sandbox.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    const std::string& root = w.sandbox;
    if (w.sandboxFolder.fd >= 0 && host.size() > root.size() + 1 && host.compare(0, root.size(), root) == 0 &&
        host[root.size()] == '/')
        return AtPath{w.sandboxFolder.fd, host.c_str() + root.size() + 1};
    return AtPath{AT_FDCWD, host.c_str()};
}

FolderMirror* KnownMirror(const std::string& folder)
{
    for (FolderMirror& mirror : World().folders)
        if (mirror.folder == folder) return &mirror;
    return nullptr;
}

// Finds an entry of a real folder whose name equals the wanted one without regard to case, on
// disk: a name that exists as spelled, else the first that matches.
std::string MatchOnDisk(const std::string& folder, const std::wstring& wanted)
{
    std::string exact = ToUtf8(wanted);
    struct stat st;
    if (::lstat((folder + "/" + exact).c_str(), &st) == 0) return exact;
    std::wstring upper = UpperCase(wanted);
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            if (UpperCase(FromUtf8(entry->d_name)) == upper) {
                std::string found = entry->d_name;
                ::closedir(dir);
                return found;
            }
        }
        ::closedir(dir);
    }
    return exact;
}

std::wstring CurrentDrive()
{
    const std::wstring& cwd = World().currentDirectory;
    return cwd.size() >= 2 && cwd[1] == L':' ? cwd.substr(0, 2) : L"C:";
}

struct HostInfo {
    bool exists = false;
    bool directory = false;
};

HostInfo Inspect(const std::string& host)
{
    struct stat st;
    HostInfo info;
    if (::stat(host.c_str(), &st) == 0) {
        info.exists = true;
        info.directory = S_ISDIR(st.st_mode);
    }
    return info;
}

// Inspect of a resolved path and of its folder, from what Resolve found where it could tell.
HostInfo InspectResolved(const ResolvedPath& r)
{
    if (!r.seen) return Inspect(r.host);
    HostInfo info;
    info.exists = r.exists;
    info.directory = r.directory;
    return info;
}

HostInfo InspectParent(const ResolvedPath& r)
{
    if (!r.parentSeen) return Inspect(ParentHost(r.host));
    HostInfo info;
    info.exists = r.parentExists;
    info.directory = r.parentDirectory;
    return info;
}

FILETIME Now()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return now;
}

// ---- Attributes and times: the file's record -------------------------------------------------

constexpr const char kMetaAttribute[] = "user.winmodel.meta";
constexpr size_t kMetaSize = 4 + 3 * 8 + 1;
// Records in use stay in memory, up to this many; then they are written to their files.
constexpr size_t kMetaKept = 256;

void PutLittle(unsigned char*& out, unsigned long long value, int bytes)
{
    for (int i = 0; i < bytes; ++i) *out++ = static_cast<unsigned char>(value >> (8 * i));
}

unsigned long long GetLittle(const unsigned char*& in, int bytes)
{
    unsigned long long value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<unsigned long long>(*in++) << (8 * i);
    return value;
}

void PutTime(unsigned char*& out, const FILETIME& time)
{
    PutLittle(out, (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime, 8);
}

FILETIME GetTime(const unsigned char*& in)
{
    const unsigned long long value = GetLittle(in, 8);
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFF);
    time.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return time;
}

// The record's bytes as the extended attribute holds them.
void EncodeMeta(const FileMeta& meta, unsigned char (&bytes)[kMetaSize])
{
    unsigned char* out = bytes;
    PutLittle(out, meta.attributes, 4);
    PutTime(out, meta.creation);
    PutTime(out, meta.access);
    PutTime(out, meta.write);
    PutLittle(out, meta.timesSet ? 1 : 0, 1);
}

// The record as the file keeps it; where the file system refuses, in memory.
void SaveMeta(const std::string& host, const FileMeta& meta)
{
    unsigned char bytes[kMetaSize];
    EncodeMeta(meta, bytes);
    if (::setxattr(host.c_str(), kMetaAttribute, bytes, sizeof bytes, 0) == 0) {
        World().metaKept.erase(host);
    } else if (errno != ENOENT && errno != ENOTDIR) {
        World().metaKept[host] = meta;
    }
}

bool LoadMeta(const std::string& host, FileMeta& meta)
{
    auto kept = World().metaKept.find(host);
    if (kept != World().metaKept.end()) {
        meta = kept->second;
        return true;
    }
    unsigned char bytes[kMetaSize];
    if (::getxattr(host.c_str(), kMetaAttribute, bytes, sizeof bytes) != static_cast<ssize_t>(sizeof bytes)) return false;
    const unsigned char* in = bytes;
    meta.attributes = static_cast<DWORD>(GetLittle(in, 4));
    meta.creation = GetTime(in);
    meta.access = GetTime(in);
    meta.write = GetTime(in);
    meta.timesSet = GetLittle(in, 1) != 0;
    return true;
}

// Writes the records in use to their files when there are many; called where no record is held
// by reference (at the start of Resolve).
void TrimMeta()
{
    WorldState& w = World();
    if (w.meta.size() < kMetaKept) return;
    for (const auto& [host, cached] : w.meta)
        if (cached.unsaved) SaveMeta(host, cached.record);
    w.meta.clear();
}

CachedMeta& CachedMetaFor(const std::string& host, bool directory)
{
    WorldState& w = World();
    auto it = w.meta.find(host);
    if (it == w.meta.end()) {
        CachedMeta cached;
        if (!LoadMeta(host, cached.record)) {
            // A file made outside the model has the attributes and times of its first sight.
            cached.record.attributes = directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
            FILETIME now = Now();
            cached.record.creation = cached.record.access = cached.record.write = now;
            cached.unsaved = true;
        }
        it = w.meta.emplace(host, cached).first;
    }
    return it->second;
}

// The record of a file or folder by its real path, to read it, or to change it.
const FileMeta& MetaFor(const std::string& host, bool directory) { return CachedMetaFor(host, directory).record; }

FileMeta& ChangeMeta(const std::string& host, bool directory)
{
    CachedMeta& cached = CachedMetaFor(host, directory);
    cached.unsaved = true;
    return cached.record;
}

// A record for a path that now holds another file or folder.
void PutMeta(const std::string& host, const FileMeta& record, bool unsaved)
{
    CachedMeta& cached = World().meta[host];
    cached.record = record;
    cached.unsaved = unsaved;
}

// When the last handle to a file closes, its record goes to the file through that handle.
void SaveMetaOnClose(const HandleObject& object)
{
    auto it = World().meta.find(object.host);
    if (it == World().meta.end() || !it->second.unsaved || object.fd < 0) return;
    for (const auto& [handle, other] : World().handles)
        if (&other != &object && other.kind == HandleKind::File && other.host == object.host) return;
    unsigned char bytes[kMetaSize];
    EncodeMeta(it->second.record, bytes);
    if (::fsetxattr(object.fd, kMetaAttribute, bytes, sizeof bytes, 0) == 0) it->second.unsaved = false;
}

// The record goes with the file; a folder's go with everything below it.
void DropMeta(const std::string& host, bool folder)
{
    WorldState& w = World();
    w.meta.erase(host);
    w.metaKept.erase(host);
    if (!folder) return;
    const std::string below = host + "/";
    auto under = [&](const std::string& path) { return path.compare(0, below.size(), below) == 0; };
    for (auto it = w.meta.begin(); it != w.meta.end();) it = under(it->first) ? w.meta.erase(it) : std::next(it);
    for (auto it = w.metaKept.begin(); it != w.metaKept.end();) it = under(it->first) ? w.metaKept.erase(it) : std::next(it);
}

// A record for a file or folder just made: nothing is read.
FileMeta& FreshMeta(const std::string& host, bool directory)
{
    DropMeta(host, false);
    FileMeta record;
    record.attributes = directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    FILETIME now = Now();
    record.creation = record.access = record.write = now;
    PutMeta(host, record, true);
    return World().meta[host].record;
}

// Before a folder is moved: the records below it are written to their files, which take them
// along.
void FlushMetaBelow(const std::string& folder)
{
    WorldState& w = World();
    const std::string below = folder + "/";
    for (auto it = w.meta.begin(); it != w.meta.end();) {
        if (it->first.compare(0, below.size(), below) != 0) {
            ++it;
            continue;
        }
        if (it->second.unsaved) SaveMeta(it->first, it->second.record);
        it = w.meta.erase(it);
    }
}

// After it was moved: records the file system refused move in memory.
void MoveKeptMetaBelow(const std::string& from, const std::string& to)
{
    WorldState& w = World();
    const std::string below = from + "/";
    std::vector<std::pair<std::string, FileMeta>> moved;
    for (auto it = w.metaKept.begin(); it != w.metaKept.end();) {
        if (it->first.compare(0, below.size(), below) != 0) {
            ++it;
            continue;
        }
        moved.emplace_back(to + it->first.substr(from.size()), it->second);
        it = w.metaKept.erase(it);
    }
    for (auto& [path, meta] : moved) w.metaKept[path] = meta;
}

// The sharing rule of CreateFile: every open handle must share what the new one asks for, and the
// new share mode must allow what the open handles already do.
bool SharingConflict(const std::wstring& key, DWORD access, DWORD share)
{
    bool wantsRead = access & (GENERIC_READ | GENERIC_ALL);
    bool wantsWrite = access & (GENERIC_WRITE | GENERIC_ALL);
    bool wantsDelete = access & DELETE;
    if (World().locked.count(key) && (wantsWrite || wantsDelete)) return true;
    for (auto& [handle, object] : World().handles) {
        if (object.kind != HandleKind::File || object.key != key) continue;
        bool hasRead = object.access & (GENERIC_READ | GENERIC_ALL);
        bool hasWrite = object.access & (GENERIC_WRITE | GENERIC_ALL);
        bool hasDelete = object.access & DELETE;
        if ((wantsRead && !(object.share & FILE_SHARE_READ)) || (wantsWrite && !(object.share & FILE_SHARE_WRITE)) ||
            (wantsDelete && !(object.share & FILE_SHARE_DELETE)))
            return true;
        if ((hasRead && !(share & FILE_SHARE_READ)) || (hasWrite && !(share & FILE_SHARE_WRITE)) ||
            (hasDelete && !(share & FILE_SHARE_DELETE)))
            return true;
    }
    return false;
}

// Keeps a resolved folder as the current directory: without a trailing separator, but for a
// drive root (C:\).
void KeepCurrentDirectory(const std::wstring& full)
{
    World().currentDirectory = full.size() > 3 && full.back() == L'\\' ? full.substr(0, full.size() - 1) : full;
}

bool Fail(DWORD error)
{
    SetLastError(error);
    return false;
}

}  // namespace

std::string ToUtf8(const std::wstring& text)
{
    std::string out;
    AppendUtf8(out, text.data(), text.size());
    return out;
}

std::wstring FromUtf8(const std::string& text) { return DecodeText(CP_UTF8, text); }

bool OpenedWithoutShare(const std::wstring& key, DWORD shareNeeded)
{
    for (auto& [handle, object] : World().handles)
        if (object.kind == HandleKind::File && object.key == key && !(object.share & shareNeeded)) return true;
    return World().locked.count(key) > 0;
}

ResolvedPath Resolve(const std::wstring& input)
{
    TrimMeta();
    ResolvedPath result;
    std::wstring path = input;
    if (path.rfind(L"\\\\?\\", 0) == 0) path = path.substr(4);
    if (path.empty()) return result;

    if (IsPipePath(path)) {
        result.ok = true;
        result.isPipe = true;
        result.pipeName = UpperCase(path.substr(9));
        result.full = path;
        return result;
    }

    std::wstring root;       // "C:" or "\\server\share"
    std::wstring hostRoot;   // sandbox folder of that root
    std::wstring rest;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        // UNC: \\server\share\rest
        size_t serverEnd = path.find_first_of(L"\\/", 2);
        if (serverEnd == std::wstring::npos) return result;
        size_t shareEnd = path.find_first_of(L"\\/", serverEnd + 1);
        std::wstring server = path.substr(2, serverEnd - 2);
        std::wstring share = path.substr(serverEnd + 1, shareEnd == std::wstring::npos ? std::wstring::npos : shareEnd - serverEnd - 1);
        if (server.empty() || share.empty()) return result;
        root = L"\\\\" + server + L"\\" + share;
        hostRoot = L"UNC/" + UpperCase(server) + L"/" + UpperCase(share);
        rest = shareEnd == std::wstring::npos ? L"" : path.substr(shareEnd);
    } else if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == L':') {
        root = std::wstring(1, static_cast<wchar_t>(std::towupper(path[0]))) + L":";
        hostRoot = root.substr(0, 1);
        rest = path.substr(2);
        if (rest.empty() || !IsSeparator(rest[0])) {
            // Drive-relative: against the current directory when it is on that drive.
            if (UpperCase(CurrentDrive()) == root)
                rest = World().currentDirectory.substr(2) + L"\\" + rest;
            else
                rest = L"\\" + rest;
        }
    } else if (IsSeparator(path[0])) {
        root = CurrentDrive();
        hostRoot = root.substr(0, 1);
        rest = path;
    } else {
        return Resolve(World().currentDirectory + L"\\" + path);
    }

    // The parts of rest, as ranges of it: ".." takes the part before it away, "." and empty parts
    // go, and Win32 drops trailing dots and blanks.
    struct Part {
        size_t begin;
        size_t length;
    };
    std::vector<Part> parts;
    parts.reserve(16);
    size_t pos = 0;
    while (pos <= rest.size()) {
        const size_t next = rest.find_first_of(L"\\/", pos);
        const wchar_t* component = rest.data() + pos;
        size_t length = (next == std::wstring::npos ? rest.size() : next) - pos;
        const bool dot = length == 1 && component[0] == L'.';
        const bool dots = length == 2 && component[0] == L'.' && component[1] == L'.';
        if (!dot && !dots)
            while (length > 0 && (component[length - 1] == L'.' || component[length - 1] == L' ')) --length;
        if (dots) {
            if (!parts.empty()) parts.pop_back();
        } else if (length > 0 && !dot) {
            if (HasInvalidCharacter(component, length)) return result;
            parts.push_back(Part{pos, length});
        }
        if (next == std::wstring::npos) break;
        pos = next + 1;
    }

    std::wstring full;
    full.reserve(root.size() + rest.size() + 1);
    full = root;
    for (const Part& part : parts) full.append(1, L'\\').append(rest, part.begin, part.length);
    if (parts.empty()) full += L'\\';
    result.ok = true;
    result.key = UpperName(full);
    result.full = std::move(full);

    // Each part is looked up in what the model knows of the folder it is in. Once a part is
    // missing, the rest is spelled as given. The upper-cased parts are read off the key.
    std::string host;
    host.reserve(World().sandbox.size() + 2 * result.full.size() + 8);
    host = World().sandbox;
    host += '/';
    AppendUtf8(host, hostRoot.data(), hostRoot.size());
    bool certain = true;
    bool missing = !MirrorOf(host);  // a drive that was never made
    bool directory = !missing;
    std::wstring upperPart;
    size_t offset = root.size();
    for (size_t i = 0; i < parts.size(); ++i) {
        const wchar_t* part = rest.data() + parts[i].begin;
        const size_t partLength = parts[i].length;
        upperPart.assign(result.key, offset + 1, partLength);
        offset += 1 + partLength;
        if (i + 1 == parts.size()) {
            result.parentSeen = certain;
            result.parentExists = !missing;
            result.parentDirectory = directory;
        }
        if (!certain) {
            // Below a name told apart on disk, every name is.
            const std::string folder = host;
            host.append(1, '/').append(MatchOnDisk(folder, std::wstring(part, partLength)));
            continue;
        }
        const FolderMirror* mirror = missing || !directory ? nullptr : MirrorOf(host);
        if (!mirror) {
            // Not a folder (or one that cannot be read): nothing below it.
            missing = true;
            directory = false;
            host += '/';
            AppendUtf8(host, part, partLength);
            continue;
        }
        auto it = mirror->entries.find(upperPart);
        if (it == mirror->entries.end() && !mirror->oddNames) {
            missing = true;
            directory = false;
            host += '/';
            AppendUtf8(host, part, partLength);
        } else if (it == mirror->entries.end() || it->second.uncertain) {
            // Told apart on disk; from here on the call looks on disk too.
            certain = false;
            const std::string folder = host;
            host.append(1, '/').append(MatchOnDisk(folder, std::wstring(part, partLength)));
        } else {
            directory = it->second.directory;
            host.append(1, '/').append(it->second.name);
        }
    }
    result.host = std::move(host);
    result.seen = certain;
    result.exists = !missing;
    result.directory = directory;
    return result;
}

void NoteCreated(const std::string& host, bool directory)
{
    FolderMirror* mirror = KnownMirror(ParentHost(host));
    if (!mirror) return;
    const std::string name = LeafOf(host);
    FolderEntry entry;
    entry.name = name;
    entry.directory = directory;
    auto [it, added] = mirror->entries.emplace(UpperName(FromUtf8(name)), entry);
    // Another spelling of the same name was there already: tell them apart on disk.
    if (!added && it->second.name != name) it->second.uncertain = true;
    if (!added && it->second.name == name) it->second.directory = directory;
}

void NoteRemoved(const std::string& host)
{
    // A folder that goes takes what is known below it along.
    std::vector<FolderMirror>& folders = World().folders;
    const std::string below = host + "/";
    folders.erase(std::remove_if(folders.begin(), folders.end(),
                                 [&](const FolderMirror& m) {
                                     return m.folder == host || m.folder.compare(0, below.size(), below) == 0;
                                 }),
                  folders.end());
    FolderMirror* mirror = KnownMirror(ParentHost(host));
    if (!mirror) return;
    auto it = mirror->entries.find(UpperName(FromUtf8(LeafOf(host))));
    if (it == mirror->entries.end()) return;
    // With several spellings only the disk knows which are left.
    if (it->second.uncertain)
        ForgetFolder(mirror->folder);
    else
        mirror->entries.erase(it);
}

void ForgetFolder(const std::string& hostFolder)
{
    std::vector<FolderMirror>& folders = World().folders;
    folders.erase(std::remove_if(folders.begin(), folders.end(),
                                 [&](const FolderMirror& m) { return m.folder == hostFolder; }),
                  folders.end());
}

void ForgetFolders() { World().folders.clear(); }

SandboxFolder::~SandboxFolder()
{
    if (fd >= 0) ::close(fd);
}

void ForgetMeta(const std::string& host) { DropMeta(host, false); }

std::string SandboxRoot()
{
    FlushGatheredWrites();
    return World().sandbox;
}

std::string HostPath(const std::wstring& windowsPath)
{
    FlushGatheredWrites();
    return Resolve(windowsPath).host;
}

void MakeFolder(const std::wstring& windowsPath)
{
    ResolvedPath r = Resolve(windowsPath);
    std::error_code ignored;
    std::filesystem::create_directories(r.host, ignored);
    // Any folder on the way may be new.
    ForgetFolders();
}

void WriteFile(const std::wstring& windowsPath, const std::string& bytes)
{
    ResolvedPath r = Resolve(windowsPath);
    MakeFolder(r.full.substr(0, r.full.find_last_of(L'\\') + 1));
    r = Resolve(windowsPath);
    int fd = ::open(r.host.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    if (!r.exists) NoteCreated(r.host, false);
    ssize_t ignored = ::write(fd, bytes.data(), bytes.size());
    (void)ignored;
    ::close(fd);
    (void)MetaFor(r.host, false);
}

bool ReadWholeFile(const std::wstring& windowsPath, std::string* bytes)
{
    FlushGatheredWrites();
    ResolvedPath r = Resolve(windowsPath);
    if (!r.ok || r.isPipe) return false;
    int fd = ::open(r.host.c_str(), O_RDONLY);
    if (fd < 0) return false;
    bytes->clear();
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) bytes->append(buffer, static_cast<size_t>(n));
    ::close(fd);
    return true;
}

bool Exists(const std::wstring& windowsPath)
{
    FlushGatheredWrites();
    ResolvedPath r = Resolve(windowsPath);
    return r.ok && !r.isPipe && InspectResolved(r).exists;
}

DWORD Attributes(const std::wstring& windowsPath)
{
    FlushGatheredWrites();
    ResolvedPath r = Resolve(windowsPath);
    HostInfo info = InspectResolved(r);
    if (!r.ok || !info.exists) return INVALID_FILE_ATTRIBUTES;
    DWORD attributes = MetaFor(r.host, info.directory).attributes;
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

void SetAttributes(const std::wstring& windowsPath, DWORD attributes)
{
    ResolvedPath r = Resolve(windowsPath);
    HostInfo info = InspectResolved(r);
    ChangeMeta(r.host, info.directory).attributes =
        (attributes & ~FILE_ATTRIBUTE_NORMAL) | (info.directory ? FILE_ATTRIBUTE_DIRECTORY : 0);
}

void LockFile(const std::wstring& windowsPath, bool locked)
{
    std::wstring key = Resolve(windowsPath).key;
    if (locked)
        World().locked.insert(key);
    else
        World().locked.erase(key);
}

void SetWriteLimit(long long bytes)
{
    World().writeLimit = bytes;
    World().written = 0;
}

long OpenFileHandles()
{
    long count = 0;
    for (auto& [handle, object] : World().handles)
        if (object.kind == HandleKind::File) ++count;
    return count;
}

void SetCurrentDirectory(const std::wstring& windowsPath)
{
    MakeFolder(windowsPath);
    KeepCurrentDirectory(Resolve(windowsPath).full);
}

std::wstring CurrentDirectory() { return World().currentDirectory; }

// Pipes live in pipes.cpp; CreateFileW hands them over.
HANDLE OpenPipeClient(const ResolvedPath& path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
BOOL WritePipe(HandleObject& pipe, LPCVOID buffer, DWORD toWrite, LPDWORD written);

}  // namespace winmodel

using namespace winmodel;

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE)
{
    MODEL_CALL("CreateFileW", INVALID_HANDLE_VALUE);
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    ResolvedPath r = Resolve(name);
    if (!r.ok) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    if (r.isPipe) return OpenPipeClient(r, access, share, disposition, flagsAndAttributes);
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    HostInfo parent = InspectParent(r);
    if (!parent.exists || !parent.directory) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    HostInfo info = InspectResolved(r);
    if (info.directory) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    bool wantsWrite = access & (GENERIC_WRITE | GENERIC_ALL | DELETE);
    DWORD requested = flagsAndAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                            FILE_ATTRIBUTE_ARCHIVE);
    bool truncate = false;
    if (info.exists) {
        DWORD attributes = MetaFor(r.host, false).attributes;
        if (disposition == CREATE_NEW) {
            SetLastError(ERROR_FILE_EXISTS);
            return INVALID_HANDLE_VALUE;
        }
        if ((attributes & FILE_ATTRIBUTE_READONLY) &&
            (wantsWrite || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        // Overwriting a hidden or system file must name those attributes again.
        if (disposition == CREATE_ALWAYS &&
            (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) & ~requested) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        truncate = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    } else if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (SharingConflict(r.key, access, share)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    const AtPath at = At(r.host);
    int fd = ::openat(at.folder, at.path, O_RDWR | O_CREAT | (truncate ? O_TRUNC : 0), 0644);
    if (fd < 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (!info.exists) NoteCreated(r.host, false);
    if (!info.exists || truncate) {
        // A truncated file keeps its creation time.
        FileMeta& record = info.exists ? ChangeMeta(r.host, false) : FreshMeta(r.host, false);
        record.attributes = requested | FILE_ATTRIBUTE_ARCHIVE;
        record.timesSet = false;
    }
    HandleObject object;
    object.kind = HandleKind::File;
    object.fd = fd;
    object.key = r.key;
    object.host = r.host;
    object.access = access;
    object.share = share;
    SetLastError(info.exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                             : ERROR_SUCCESS);
    return NewHandle(object);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED)
{
    if (read) *read = 0;
    MODEL_CALL("ReadFile", FALSE);
    HandleObject* object = FindHandle(file);
    if (!object || object->kind != HandleKind::File) return Fail(ERROR_INVALID_HANDLE);
    if (!(object->access & (GENERIC_READ | GENERIC_ALL))) return Fail(ERROR_ACCESS_DENIED);
    DWORD total = 0;
    while (total < toRead) {
        ssize_t n = ::read(object->fd, static_cast<char*>(buffer) + total, toRead - total);
        if (n < 0) return Fail(ERROR_READ_FAULT);
        if (n == 0) break;
        total += static_cast<DWORD>(n);
    }
    if (read) *read = total;
    return TRUE;
}

namespace {

bool WriteWhole(int fd, const char* bytes, size_t count)
{
    size_t total = 0;
    while (total < count) {
        ssize_t n = ::write(fd, bytes + total, count - total);
        if (n <= 0) return false;
        total += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

void winmodel::FlushGatheredWrites()
{
    WorldState& w = World();
    if (w.gathered.empty()) return;
    HandleObject* object = FindHandle(w.gatheredHandle);
    // The write was already reported done; only the host's own disk can fail it now, and a test
    // must not go on over a file that silently lacks data.
    if (!object || !WriteWhole(object->fd, w.gathered.data(), w.gathered.size())) {
        std::fprintf(stderr, "winmodel: gathered writes could not reach the host file\n");
        std::abort();
    }
    w.gathered.clear();
    w.gatheredHandle = nullptr;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED)
{
    if (written) *written = 0;
    MODEL_CALL("WriteFile", FALSE);
    WorldState& w = World();
    if (w.gatheredHandle != file) FlushGatheredWrites();
    HandleObject* object = FindHandle(file);
    if (!object) return Fail(ERROR_INVALID_HANDLE);
    if (object->kind == HandleKind::Pipe) return WritePipe(*object, buffer, toWrite, written);
    if (object->kind != HandleKind::File) return Fail(ERROR_INVALID_HANDLE);
    if (!(object->access & (GENERIC_WRITE | GENERIC_ALL))) return Fail(ERROR_ACCESS_DENIED);
    if (w.writeLimit >= 0 && w.written + toWrite > w.writeLimit) return Fail(ERROR_DISK_FULL);
    const char* bytes = static_cast<const char*>(buffer);
    const DWORD total = toWrite;
    if (w.gathered.size() + toWrite > kGatherBytes) FlushGatheredWrites();
    if (toWrite >= kGatherBytes) {
        if (!WriteWhole(object->fd, bytes, toWrite)) return Fail(ERROR_WRITE_FAULT);
    } else if (toWrite > 0) {
        if (w.gathered.capacity() < kGatherBytes) w.gathered.reserve(kGatherBytes);
        w.gathered.insert(w.gathered.end(), bytes, bytes + toWrite);
        w.gatheredHandle = file;
        if (w.gathered.size() == kGatherBytes) FlushGatheredWrites();
    }
    w.written += total;
    if (!MetaFor(object->host, false).timesSet) ChangeMeta(object->host, false).write = Now();
    if (written) *written = total;
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method)
{
    MODEL_CALL("SetFilePointer", INVALID_SET_FILE_POINTER);
    HandleObject* object = FindHandle(file);
    if (!object || object->kind != HandleKind::File) {
        SetLastError(object ? 1 /* ERROR_INVALID_FUNCTION */ : ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    long long move = distanceHigh ? (static_cast<long long>(*distanceHigh) << 32) | static_cast<DWORD>(distance)
                                  : static_cast<long long>(distance);
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
    if (method > FILE_END) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    off_t base = whence == SEEK_SET ? 0 : ::lseek(object->fd, 0, whence);
    if (base + move < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    off_t position = ::lseek(object->fd, static_cast<off_t>(base + move), SEEK_SET);
    if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<long long>(position) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(position & 0xFFFFFFFF);
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh)
{
    MODEL_CALL("GetFileSize", INVALID_FILE_ATTRIBUTES);
    HandleObject* object = FindHandle(file);
    struct stat st;
    if (!object || object->kind != HandleKind::File || ::fstat(object->fd, &st) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return static_cast<DWORD>(-1);
    }
    if (sizeHigh) *sizeHigh = static_cast<DWORD>(static_cast<unsigned long long>(st.st_size) >> 32);
    return static_cast<DWORD>(st.st_size & 0xFFFFFFFF);
}

BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access, const FILETIME* write)
{
    MODEL_CALL("SetFileTime", FALSE);
    HandleObject* object = FindHandle(file);
    if (!object || object->kind != HandleKind::File) return Fail(ERROR_INVALID_HANDLE);
    if (!(object->access & (GENERIC_WRITE | GENERIC_ALL))) return Fail(ERROR_ACCESS_DENIED);
    FileMeta& meta = ChangeMeta(object->host, false);
    if (creation) meta.creation = *creation;
    if (access) meta.access = *access;
    if (write) meta.write = *write;
    meta.timesSet = true;
    return TRUE;
}

BOOL GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME access, LPFILETIME write)
{
    MODEL_CALL("GetFileTime", FALSE);
    HandleObject* object = FindHandle(file);
    if (!object || object->kind != HandleKind::File) return Fail(ERROR_INVALID_HANDLE);
    const FileMeta& meta = MetaFor(object->host, false);
    if (creation) *creation = meta.creation;
    if (access) *access = meta.access;
    if (write) *write = meta.write;
    return TRUE;
}

BOOL CloseHandle(HANDLE handle)
{
    MODEL_CALL("CloseHandle", FALSE);
    auto it = World().handles.find(handle);
    if (it == World().handles.end()) return Fail(ERROR_INVALID_HANDLE);
    if (it->second.kind == HandleKind::File) SaveMetaOnClose(it->second);
    if (it->second.fd >= 0) ::close(it->second.fd);
    World().handles.erase(it);
    return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR name)
{
    MODEL_CALL("GetFileAttributesW", INVALID_FILE_ATTRIBUTES);
    ResolvedPath r = Resolve(name ? name : L"");
    if (!r.ok || r.isPipe) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_FILE_ATTRIBUTES;
    }
    HostInfo info = InspectResolved(r);
    if (!info.exists) {
        SetLastError(InspectParent(r).exists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = MetaFor(r.host, info.directory).attributes;
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

BOOL SetFileAttributesW(LPCWSTR name, DWORD attributes)
{
    MODEL_CALL("SetFileAttributesW", FALSE);
    ResolvedPath r = Resolve(name ? name : L"");
    HostInfo info = InspectResolved(r);
    if (!r.ok || !info.exists) return Fail(ERROR_FILE_NOT_FOUND);
    const DWORD settable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                           FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY;
    ChangeMeta(r.host, info.directory).attributes = (attributes & settable) | (info.directory ? FILE_ATTRIBUTE_DIRECTORY : 0);
    return TRUE;
}

BOOL CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES)
{
    MODEL_CALL("CreateDirectoryW", FALSE);
    ResolvedPath r = Resolve(name ? name : L"");
    if (!r.ok || r.isPipe) return Fail(ERROR_INVALID_NAME);
    if (InspectResolved(r).exists) return Fail(ERROR_ALREADY_EXISTS);
    HostInfo parent = InspectParent(r);
    if (!parent.exists || !parent.directory) return Fail(ERROR_PATH_NOT_FOUND);
    const AtPath at = At(r.host);
    if (::mkdirat(at.folder, at.path, 0755) != 0) return Fail(ERROR_ACCESS_DENIED);
    NoteCreated(r.host, true);
    FreshMeta(r.host, true);
    return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR name)
{
    MODEL_CALL("RemoveDirectoryW", FALSE);
    ResolvedPath r = Resolve(name ? name : L"");
    HostInfo info = InspectResolved(r);
    if (!r.ok || !info.exists) return Fail(ERROR_FILE_NOT_FOUND);
    if (!info.directory) return Fail(267 /* ERROR_DIRECTORY */);
    if (::rmdir(r.host.c_str()) != 0) return Fail(ERROR_DIR_NOT_EMPTY);
    NoteRemoved(r.host);
    DropMeta(r.host, info.directory);
    return TRUE;
}

BOOL DeleteFileW(LPCWSTR name)
{
    MODEL_CALL("DeleteFileW", FALSE);
    ResolvedPath r = Resolve(name ? name : L"");
    if (!r.ok || r.isPipe) return Fail(ERROR_INVALID_NAME);
    HostInfo info = InspectResolved(r);
    if (!info.exists) return Fail(InspectParent(r).exists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    if (info.directory) return Fail(ERROR_ACCESS_DENIED);
    if (MetaFor(r.host, false).attributes & FILE_ATTRIBUTE_READONLY) return Fail(ERROR_ACCESS_DENIED);
    if (OpenedWithoutShare(r.key, FILE_SHARE_DELETE)) return Fail(ERROR_SHARING_VIOLATION);
    if (::unlink(r.host.c_str()) != 0) return Fail(ERROR_ACCESS_DENIED);
    NoteRemoved(r.host);
    DropMeta(r.host, info.directory);
    return TRUE;
}

BOOL MoveFileExW(LPCWSTR existing, LPCWSTR target, DWORD flags)
{
    MODEL_CALL("MoveFileExW", FALSE);
    ResolvedPath from = Resolve(existing ? existing : L"");
    ResolvedPath to = Resolve(target ? target : L"");
    if (!from.ok || !to.ok || from.isPipe || to.isPipe) return Fail(ERROR_INVALID_NAME);
    HostInfo source = InspectResolved(from);
    if (!source.exists) return Fail(ERROR_FILE_NOT_FOUND);
    if (OpenedWithoutShare(from.key, FILE_SHARE_DELETE)) return Fail(ERROR_SHARING_VIOLATION);
    HostInfo destination = InspectResolved(to);
    HostInfo toParent = InspectParent(to);
    if (!toParent.exists || !toParent.directory) return Fail(ERROR_PATH_NOT_FOUND);
    if (destination.exists && from.key != to.key) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) return Fail(ERROR_ALREADY_EXISTS);
        if (destination.directory || source.directory) return Fail(ERROR_ACCESS_DENIED);
        if (MetaFor(to.host, false).attributes & FILE_ATTRIBUTE_READONLY) return Fail(ERROR_ACCESS_DENIED);
        if (OpenedWithoutShare(to.key, FILE_SHARE_DELETE)) return Fail(ERROR_ACCESS_DENIED);
    }
    const FileMeta meta = MetaFor(from.host, source.directory);
    // A record the file holds already travels with it.
    const bool unsaved = World().meta[from.host].unsaved;
    // Keep the target's own spelling when the name only changes letter case.
    std::string hostTarget = to.host;
    bool targetRemoved = false;
    if (destination.exists && from.key != to.key) {
        targetRemoved = ::unlink(to.host.c_str()) == 0;
        // Only the disk knows what became of a target that could not be removed.
        if (!targetRemoved) ForgetFolder(ParentHost(to.host));
    }
    if (!destination.exists) hostTarget = ParentHost(to.host) + "/" + ToUtf8(to.full.substr(to.full.find_last_of(L'\\') + 1));
    if (source.directory && from.host != hostTarget) FlushMetaBelow(from.host);
    const AtPath moved = At(from.host);
    const AtPath place = At(hostTarget);
    if (::renameat(moved.folder, moved.path, place.folder, place.path) != 0) {
        if (targetRemoved) NoteRemoved(to.host);
        return Fail(ERROR_ACCESS_DENIED);
    }
    if (from.host != hostTarget) {
        NoteRemoved(from.host);
        // A replaced target keeps its name in its folder.
        if (!destination.exists) NoteCreated(hostTarget, source.directory);
        if (source.directory) MoveKeptMetaBelow(from.host, hostTarget);
        DropMeta(from.host, source.directory);
    }
    PutMeta(hostTarget, meta, unsaved);
    return TRUE;
}

namespace {

BOOL CopyWide(LPCWSTR existing, LPCWSTR target, BOOL failIfExists)
{
    ResolvedPath from = Resolve(existing ? existing : L"");
    ResolvedPath to = Resolve(target ? target : L"");
    if (!from.ok || !to.ok || from.isPipe || to.isPipe) return Fail(ERROR_INVALID_NAME);
    HostInfo source = InspectResolved(from);
    if (!source.exists) return Fail(InspectParent(from).exists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    if (source.directory) return Fail(ERROR_ACCESS_DENIED);
    if (SharingConflict(from.key, GENERIC_READ, FILE_SHARE_READ)) return Fail(ERROR_SHARING_VIOLATION);
    HostInfo destination = InspectResolved(to);
    HostInfo toParent = InspectParent(to);
    if (!toParent.exists || !toParent.directory) return Fail(ERROR_PATH_NOT_FOUND);
    if (destination.exists) {
        if (failIfExists) return Fail(ERROR_FILE_EXISTS);
        if (destination.directory) return Fail(ERROR_ACCESS_DENIED);
        if (MetaFor(to.host, false).attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) return Fail(ERROR_ACCESS_DENIED);
        if (SharingConflict(to.key, GENERIC_WRITE, 0)) return Fail(ERROR_SHARING_VIOLATION);
    }
    std::error_code error;
    std::filesystem::copy_file(from.host, to.host, std::filesystem::copy_options::overwrite_existing, error);
    if (error) {
        // A copy that failed may have left a file or not.
        ForgetFolder(ParentHost(to.host));
        return Fail(ERROR_ACCESS_DENIED);
    }
    if (!destination.exists) NoteCreated(to.host, false);
    FileMeta meta = MetaFor(from.host, false);
    meta.attributes |= FILE_ATTRIBUTE_ARCHIVE;
    meta.creation = Now();
    PutMeta(to.host, meta, true);
    return TRUE;
}

}  // namespace

BOOL CopyFileA(LPCSTR existing, LPCSTR target, BOOL failIfExists)
{
    MODEL_CALL("CopyFileA", FALSE);
    std::wstring from = existing ? DecodeText(CP_ACP, existing) : L"";
    std::wstring to = target ? DecodeText(CP_ACP, target) : L"";
    return CopyWide(existing ? from.c_str() : nullptr, target ? to.c_str() : nullptr, failIfExists);
}

DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer)
{
    MODEL_CALL("GetCurrentDirectoryW", 0);
    const std::wstring& cwd = World().currentDirectory;
    if (size <= cwd.size() || !buffer) return static_cast<DWORD>(cwd.size() + 1);
    std::copy(cwd.begin(), cwd.end(), buffer);
    buffer[cwd.size()] = 0;
    return static_cast<DWORD>(cwd.size());
}

BOOL SetCurrentDirectoryW(LPCWSTR name)
{
    MODEL_CALL("SetCurrentDirectoryW", FALSE);
    ResolvedPath r = Resolve(name ? name : L"");
    if (!r.ok || r.isPipe) return Fail(ERROR_INVALID_NAME);
    // The current directory, with its trailing separator, must stay below MAX_PATH.
    if (r.full.size() + 1 >= MAX_PATH) return Fail(206 /* ERROR_FILENAME_EXCED_RANGE */);
    HostInfo info = InspectResolved(r);
    if (!info.exists) return Fail(ERROR_FILE_NOT_FOUND);
    if (!info.directory) return Fail(267 /* ERROR_DIRECTORY */);
    KeepCurrentDirectory(r.full);
    return TRUE;
}
