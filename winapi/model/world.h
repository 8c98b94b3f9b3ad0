// Linux model only: the one object that holds the model's state. Area sources share it through
// World(); tests reach it only through steering.h.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "steering.h"

namespace winmodel {

// Every model call starts with MODEL_CALL("Name"): it counts and logs the call and, when the
// fault plan says so, sets the last error and makes the call return its failure value.
bool EnterCall(const char* name);
#define MODEL_CALL(name, failure)  \
    do {                           \
        if (::winmodel::EnterCall(name)) return failure; \
    } while (0)

struct ResolvedPath {
    bool ok = false;            // syntactically a usable local path
    std::wstring full;          // normalised Windows path: "C:\dir\name" (no trailing separator)
    std::string host;           // real path in the sandbox, matched without letter case
    std::wstring key;           // upper-cased full path: identity of a file for side tables
    bool isPipe = false;        // \\.\pipe\name
    std::wstring pipeName;      // upper-cased pipe name
    // What Resolve found of host and of the folder it is in, so that the call need not look
    // again; where it could not tell (a symbolic link, or names that differ only in letter case,
    // on the way), the call looks on disk.
    bool seen = false;
    bool exists = false;
    bool directory = false;
    bool parentSeen = false;
    bool parentExists = false;
    bool parentDirectory = false;
};
ResolvedPath Resolve(const std::wstring& path);
// The model's own changes to the names in the sandbox, for its memory of the folders (files.cpp).
void NoteCreated(const std::string& host, bool directory);
void NoteRemoved(const std::string& host);
void ForgetFolder(const std::string& hostFolder);
// The attributes and times of a file that is gone.
void ForgetMeta(const std::string& host);
// Whether a handle open on the file (by its key), or another process (LockFile), withholds the
// given sharing: a delete, for example, needs FILE_SHARE_DELETE from every holder.
bool OpenedWithoutShare(const std::wstring& key, DWORD shareNeeded);
std::wstring UpperCase(const std::wstring& text);
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);
// Conversions for the model's own use; they are not platform calls and never fail on purpose.
std::wstring DecodeText(UINT codePage, const std::string& bytes);   // CP_ACP means the ANSI code page
std::string EncodeText(UINT codePage, const std::wstring& text);
// Moves the clock that GetTickCount reads, as Sleep does, for model calls that wait (a timed-out
// wait costs its time-out).
void AdvanceClock(DWORD milliseconds);
long long ModelClock();   // milliseconds that Sleep and waits have advanced the clock so far

// What the model knows of one real folder: its entries by upper-cased name. Read from the disk
// once, then kept current by the model's own changes (see ForgetFolders in steering.h).
struct FolderEntry {
    std::string name;         // as on disk
    bool directory = false;
    bool uncertain = false;   // a symbolic link, a type readdir does not tell, or several names
                              // that differ only in letter case: looked up on disk each time
};
struct FolderMirror {
    std::string folder;       // real path
    std::unordered_map<std::wstring, FolderEntry> entries;
    bool oddNames = false;    // names that are not UTF-8 as the model writes it: a name not found
                              // among the entries is looked up on disk
    unsigned long long lastUse = 0;
};

struct FileMeta {
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
    FILETIME creation{}, access{}, write{};
    bool timesSet = false;
};

// A record in use (files.cpp); unsaved until the file holds it.
struct CachedMeta {
    FileMeta record;
    bool unsaved = false;
};

enum class HandleKind { File, Pipe, Snapshot, Process, Token, Other };

struct HandleObject {
    HandleKind kind = HandleKind::Other;
    // files
    int fd = -1;
    std::wstring key;
    std::string host;
    DWORD access = 0, share = 0;
    // pipes
    std::wstring pipeName;
    // snapshots
    std::vector<DWORD> snapshotPids;
    size_t snapshotPos = 0;
    // processes and tokens (their access is kept in `access` above)
    DWORD pid = 0;
};

struct ProcessState {
    DWORD pid;
    std::wstring exeName;
    ProcessOptions options;
    bool alive = true;
    bool terminated = false;
    DWORD exitCode = STILL_ACTIVE;
    DWORD pendingExitCode = 0;   // the code it ends with once a lingering termination completes
    long long endsAt = 0;        // ModelClock() at which a terminated process ends
};

struct PipeState {
    PipeOptions options;
    std::vector<std::string> messages;
    std::vector<PipeOpen> opens;
};

struct RegKeyState {
    std::map<std::wstring, std::pair<std::wstring, RegValue>> values;  // upper name -> (name, value)
};

struct OpenRegKey {
    ULONG_PTR root;
    std::wstring path;   // upper-cased, components joined by one backslash; empty for the root
    REGSAM access;
};

// A descriptor of the sandbox folder, closed with the world (files.cpp).
struct SandboxFolder {
    int fd = -1;
    SandboxFolder() = default;
    SandboxFolder(const SandboxFolder&) = delete;
    SandboxFolder& operator=(const SandboxFolder&) = delete;
    ~SandboxFolder();
};

struct WorldState {
    std::string sandbox;
    SandboxFolder sandboxFolder;
    DWORD lastError = 0;
    // fault plan and call record
    std::vector<FaultRule> faults;
    std::map<std::string, long, std::less<>> callCounts;
    std::vector<std::string> callLog;
    bool keepCallLog = true;
    long totalCalls = 0;
    long faultsHit = 0;
    long callLimit = 0;
    // handles
    std::map<HANDLE, HandleObject> handles;
    ULONG_PTR nextHandle = 0x1000;
    // files
    std::unordered_map<std::string, CachedMeta> meta;  // by real path: the records in use (files.cpp)
    std::map<std::string, FileMeta> metaKept;         // by real path: records the file system refused
    std::vector<FolderMirror> folders;           // the folders used last
    unsigned long long folderUses = 0;
    std::set<std::wstring> locked;
    long long writeLimit = -1, written = 0;
    // Writes to one file handle gathered before they reach the host file (FlushGatheredWrites).
    HANDLE gatheredHandle = nullptr;
    std::vector<char> gathered;
    std::wstring currentDirectory = L"C:\\";
    // module, code pages, clock, keys
    std::wstring modulePath = L"C:\\Program Files\\kivo\\Fennowick.exe";
    UINT ansiCodePage = 1252;
    long biasMinutes = 0;
    std::set<int> keysDown;
    std::vector<int> keyQueries;
    std::string crtLocale = "C";
    // processes
    std::vector<ProcessState> processes;
    DWORD nextPid = 1000;
    bool debugPrivilege = false;
    std::vector<ProcessOpen> processOpens;
    // pipes
    std::map<std::wstring, PipeState> pipes;   // by upper-cased pipe name
    // registry
    std::map<std::pair<ULONG_PTR, std::wstring>, RegKeyState> registry;  // (root, upper path)
    std::map<HKEY, OpenRegKey> openKeys;
    std::set<ULONG_PTR> deniedRoots;
    ULONG_PTR nextKey = 0x2000;
    // user interface and shell
    int messageBoxAnswer = IDCANCEL;
    std::vector<MessageBoxCall> messageBoxes;
    std::vector<ShellExecuteCall> shellExecutes;
    std::vector<PostedMessage> posted;
    std::vector<ChangeNotification> notifications;
    std::vector<std::string> debugOutput;
    // shell links
    std::wstring commonDesktop = L"C:\\Users\\Public\\Desktop";
    long comInit = 0;
    long liveShellLinks = 0;
    long shellLinksOutlivingCom = 0;
    std::set<const void*> folderLocations;
    std::vector<ShellLinkCall> shellLinkCalls;
};

WorldState& World();

// Sequential writes to one file are gathered in memory, up to kGatherBytes, before they reach the
// host file: writing a large file 16 KiB at a time otherwise costs a host call per write, which a
// cache on Windows would not. Every other platform call and every steering call that looks at
// files flushes them first, so nothing can tell the difference but the clock.
inline constexpr size_t kGatherBytes = 65536;
void FlushGatheredWrites();
HANDLE NewHandle(HandleObject object);
HandleObject* FindHandle(HANDLE handle);

}  // namespace winmodel
