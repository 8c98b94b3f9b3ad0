// Linux model only: the steering surface for tests. Set up the world the launcher sees, read what
// it did, and plan faults. Every fixture starts with winmodel::Reset(), which gives a fresh
// sandbox folder and forgets every state, record and fault plan of the test before.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "api.h"

namespace winmodel {

void Reset();

// ---- Fault plan -------------------------------------------------------------------------------
// A call fails with the given error, as Windows reports that failure for the call (INVALID_HANDLE_VALUE,
// FALSE, a status code, an HRESULT ...). Names are the Win32 names ("CreateFileW").
struct FaultRule {
    std::string call;      // empty: any call counts (the N-th platform call of the run)
    long nth = 1;          // 1-based occurrence of that call (or of any call when call is empty)
    bool persistent = false;  // fail every occurrence from the nth on
    DWORD error = ERROR_ACCESS_DENIED;
};
void FailCall(const std::string& call, long nth = 1, DWORD error = ERROR_ACCESS_DENIED, bool persistent = false);
void FailNthCall(long n, bool persistent = false, DWORD error = ERROR_ACCESS_DENIED);
long CallCount();                              // platform calls made since Reset
long FaultsHit();                              // calls that were made to fail
const std::vector<std::string>& CallLog();     // names of all calls in order
// The record of names grows with every call; a program that makes millions of calls and never
// reads it (the update benchmark) switches it off. Counts are kept either way.
void KeepCallLog(bool keep);
// A run that makes more platform calls than this is taken for a hang: the model names the last
// call and aborts the process (0: no limit, the default).
void SetCallLimit(long calls);
long CallsNamed(const std::string& call);

// ---- Files ------------------------------------------------------------------------------------
// The sandbox is a real folder; Windows drive X: lives in <sandbox>/X. Paths given here are
// Windows paths.
std::string SandboxRoot();
std::string HostPath(const std::wstring& windowsPath);   // the real Linux path behind a Windows path
// The sandbox belongs to the model: it reads each folder once and keeps its own changes, so that
// names are found without asking the disk again. After changing the sandbox in another way than
// through the model (writing to a HostPath directly), call ForgetFolders.
void ForgetFolders();
void WriteFile(const std::wstring& windowsPath, const std::string& bytes);  // makes folders on the way
bool ReadWholeFile(const std::wstring& windowsPath, std::string* bytes);
bool Exists(const std::wstring& windowsPath);
void MakeFolder(const std::wstring& windowsPath);
DWORD Attributes(const std::wstring& windowsPath);       // INVALID_FILE_ATTRIBUTES when absent
void SetAttributes(const std::wstring& windowsPath, DWORD attributes);
// A file held open by another process with no sharing: opening it for writing or deleting it fails
// with ERROR_SHARING_VIOLATION (a running program's image, for example).
void LockFile(const std::wstring& windowsPath, bool locked = true);
// Writes to files on this path fail once more than limit bytes were written in total (disk full).
void SetWriteLimit(long long bytes);
long OpenFileHandles();                          // file handles not yet closed
void SetCurrentDirectory(const std::wstring& windowsPath);
std::wstring CurrentDirectory();

// ---- Module, code pages, clock, keys ----------------------------------------------------------
void SetModulePath(const std::wstring& windowsPath);
HINSTANCE ModuleInstance();
void SetAnsiCodePage(UINT codePage);   // 1252 (the default) or 936
void SetTimeZoneBiasMinutes(long bias); // UTC = local + bias, as Windows counts the bias
void SetKeyDown(int virtualKey, bool down);
std::vector<int> KeyStateQueries();

// ---- Processes --------------------------------------------------------------------------------
// The own process is listed in snapshots as well, under the file name of the module path.
struct ProcessOptions {
    bool openableWithoutPrivilege = true;  // OpenProcess works without SeDebugPrivilege
    bool openable = true;                  // false: never opened, even with the privilege
    bool terminable = true;
    std::wstring imagePath;                // locked while the process lives (see LockFile)
    DWORD lingerMilliseconds = 0;          // after its termination the process takes this long
                                           // (model clock) to end: until then it is listed,
                                           // can be opened and keeps its image locked
};
DWORD AddProcess(const std::wstring& exeName, const ProcessOptions& options = {});
struct ProcessRecord {
    DWORD pid;
    std::wstring exeName;
    bool alive;
    DWORD exitCode;
    bool terminated;
};
std::vector<ProcessRecord> Processes();
struct ProcessOpen {
    DWORD access;
    BOOL inherit;
    DWORD pid;
    bool granted;
};
std::vector<ProcessOpen> ProcessOpens();   // every OpenProcess call, in order
bool DebugPrivilegeEnabled();
long OpenProcessHandles();
long OpenHandles();   // every kernel handle not yet closed: files, pipes, snapshots, processes, tokens

// ---- Pipes ------------------------------------------------------------------------------------
struct PipeOptions {
    bool busy = false;          // every instance busy: opening fails with ERROR_PIPE_BUSY
    long acceptBytes = -1;      // a write takes at most this many bytes (-1: all)
    bool failWrites = false;
};
void ServePipe(const std::wstring& name, const PipeOptions& options = {});
std::vector<std::string> PipeMessages(const std::wstring& name);  // one entry per WriteFile
struct PipeOpen {
    DWORD access;
    DWORD share;
    DWORD disposition;
    DWORD flags;
};
std::vector<PipeOpen> PipeOpens(const std::wstring& name);

// ---- Registry ---------------------------------------------------------------------------------
struct RegValue {
    DWORD type = REG_NONE;
    std::string data;  // raw bytes as stored
};
void SetRegValue(HKEY root, const std::wstring& subKey, const std::wstring& name, const RegValue& value);
void SetRegString(HKEY root, const std::wstring& subKey, const std::wstring& name, const std::wstring& text);
bool GetRegValue(HKEY root, const std::wstring& subKey, const std::wstring& name, RegValue* value);
bool RegKeyExists(HKEY root, const std::wstring& subKey);
std::vector<std::wstring> RegKeys(HKEY root);   // every key under the root, upper-cased paths
std::vector<std::wstring> RegValueNames(HKEY root, const std::wstring& subKey);
// Key creation, opening for writing and value writes under that root are refused (no administrator
// rights for HKEY_CLASSES_ROOT, for example).
void DenyRegWrites(HKEY root, bool denied = true);
long OpenRegKeys();

// ---- User interface and shell -----------------------------------------------------------------
struct MessageBoxCall {
    std::wstring text;
    std::wstring caption;
    UINT type;
    bool ownerNull;
};
void AnswerMessageBoxes(int answer);   // IDOK or IDCANCEL; the default answer is IDCANCEL
const std::vector<MessageBoxCall>& MessageBoxes();
struct ShellExecuteCall {
    bool ownerNull;
    std::wstring verb, file, parameters;
    bool directoryNull;
    std::wstring directory;
    int show;
    std::wstring currentDirectory;  // the current directory at the moment of the call
};
const std::vector<ShellExecuteCall>& ShellExecutes();
struct PostedMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
const std::vector<PostedMessage>& PostedMessages();
HWND DesktopWindow();
struct ChangeNotification {
    LONG eventId;
    UINT flags;
    bool itemsNull;
};
const std::vector<ChangeNotification>& ChangeNotifications();
const std::vector<std::string>& DebugOutput();   // one entry per OutputDebugStringA call

// ---- Shell links and the all-users desktop ------------------------------------------------------
// The folder SHGetFolderLocation(CSIDL_COMMON_DESKTOPDIRECTORY) names. It must exist to be
// located; an empty path means the system has none (the call fails).
void SetCommonDesktop(const std::wstring& windowsPath);
struct ShellLinkData {
    std::wstring path, description, workingDirectory, iconPath;
    int iconIndex = 0;
};
// A link file as IPersistFile::Save writes it (folders are made on the way); ReadShellLink is false
// for a missing file or one that is no link.
bool MakeShellLink(const std::wstring& linkPath, const ShellLinkData& data);
bool ReadShellLink(const std::wstring& linkPath, ShellLinkData* data);
long ComInitCount();          // CoInitialize minus CoUninitialize
long LiveShellLinks();        // shell-link objects not yet released
long LiveFolderLocations();   // locations from SHGetFolderLocation not yet freed
long ShellLinksOutlivingCom();  // shell-link objects still alive when COM was last uninitialised
// One call of a shell-link method, with what it was given: the path or text, and the flags, mode,
// remember flag or icon index; pointerNull tells whether the window (Resolve) or the find data
// (GetPath) was null.
struct ShellLinkCall {
    std::string method;   // "Load", "Save", "GetPath", "Resolve", "SetPath", "SetIconLocation" ...
    std::wstring text;
    long value = 0;
    bool pointerNull = true;
};
const std::vector<ShellLinkCall>& ShellLinkCalls();

}  // namespace winmodel
