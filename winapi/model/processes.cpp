// Linux model only: processes, toolhelp snapshots, waits and the process token. The process list
// is what tests add with AddProcess, plus the own process. A terminated process ends at once, or
// lingerMilliseconds of model time later; until it ends it is listed, can be opened and keeps its
// image locked, as a Windows process does while its termination is still in progress. Waits do
// not take real time: they move the model clock (GetTickCount) by the time they would take. A
// lingering process is seen to end by the next process call after its time.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "world.h"

namespace winmodel {

namespace {

// The LUID that Windows gives SeDebugPrivilege.
constexpr DWORD kDebugPrivilegeLuid = 20;

ProcessState* FindProcess(DWORD pid)
{
    for (ProcessState& p : World().processes)
        if (p.pid == pid) return &p;
    return nullptr;
}

std::wstring OwnExeName()
{
    const std::wstring& path = World().modulePath;
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void EndProcess(ProcessState& process, DWORD exitCode)
{
    process.alive = false;
    process.exitCode = exitCode;
    if (!process.options.imagePath.empty()) LockFile(process.options.imagePath, false);
}

bool IsOwnProcessHandle(HANDLE handle) { return handle == GetCurrentProcess(); }

// The process behind a handle that grants the given access; nullptr with the last error set
// otherwise. The own process has no ProcessState: *own tells that case apart.
bool ResolveProcessHandle(HANDLE handle, DWORD access, ProcessState** process, bool* own)
{
    *process = nullptr;
    *own = false;
    if (IsOwnProcessHandle(handle)) {
        *own = true;
        return true;
    }
    HandleObject* object = FindHandle(handle);
    if (!object || object->kind != HandleKind::Process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if ((object->access & access) != access) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (object->pid == GetCurrentProcessId()) {
        *own = true;
        return true;
    }
    *process = FindProcess(object->pid);
    return *process != nullptr;
}

// Ends the terminated processes whose time has come.
void SettleProcesses()
{
    for (ProcessState& p : World().processes)
        if (p.alive && p.terminated && p.endsAt <= ModelClock()) EndProcess(p, p.pendingExitCode);
}

constexpr long long kNever = -1;

// Model milliseconds until the process ends: 0 when it has, kNever when nothing will end it.
long long TimeToEnd(const ProcessState* process, bool own)
{
    if (own) return kNever;
    if (!process->alive) return 0;
    if (!process->terminated) return kNever;
    return std::max(0LL, process->endsAt - ModelClock());
}

// Lets the wait take `needed` milliseconds (kNever: the whole time-out) and reports whether the
// awaited state was reached within the time-out.
bool PassTime(long long needed, DWORD milliseconds)
{
    if (needed != kNever && (milliseconds == INFINITE || needed <= static_cast<long long>(milliseconds))) {
        AdvanceClock(static_cast<DWORD>(needed));
        SettleProcesses();
        return true;
    }
    if (milliseconds == INFINITE) {
        // A real wait would never return: the test has a fault, not the code under test.
        std::fputs("winmodel: an INFINITE wait on a process that never ends\n", stderr);
        std::abort();
    }
    AdvanceClock(milliseconds);
    SettleProcesses();
    return false;
}

}  // namespace

DWORD AddProcess(const std::wstring& exeName, const ProcessOptions& options)
{
    WorldState& w = World();
    ProcessState process{w.nextPid, exeName, options};
    w.nextPid += 4;
    w.processes.push_back(process);
    if (!options.imagePath.empty()) LockFile(options.imagePath, true);
    return process.pid;
}

std::vector<ProcessRecord> Processes()
{
    SettleProcesses();
    std::vector<ProcessRecord> records;
    for (const ProcessState& p : World().processes)
        records.push_back(ProcessRecord{p.pid, p.exeName, p.alive, p.exitCode, p.terminated});
    return records;
}

std::vector<ProcessOpen> ProcessOpens() { return World().processOpens; }

bool DebugPrivilegeEnabled() { return World().debugPrivilege; }

long OpenProcessHandles()
{
    long count = 0;
    for (auto& [handle, object] : World().handles)
        if (object.kind == HandleKind::Process) ++count;
    return count;
}

long OpenHandles() { return static_cast<long>(World().handles.size()); }

}  // namespace winmodel

using namespace winmodel;

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD)
{
    MODEL_CALL("CreateToolhelp32Snapshot", INVALID_HANDLE_VALUE);
    SettleProcesses();
    HandleObject object;
    object.kind = HandleKind::Snapshot;
    if (flags & TH32CS_SNAPPROCESS) {
        object.snapshotPids.push_back(GetCurrentProcessId());
        for (const ProcessState& p : World().processes)
            if (p.alive) object.snapshotPids.push_back(p.pid);
    }
    SetLastError(ERROR_SUCCESS);
    return NewHandle(object);
}

namespace {

// The walk delivers what the snapshot saw, even for a process that has ended since.
BOOL DeliverEntry(HANDLE snapshot, LPPROCESSENTRY32W entry, bool first)
{
    HandleObject* object = FindHandle(snapshot);
    if (!object || object->kind != HandleKind::Snapshot) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!entry || entry->dwSize < sizeof(PROCESSENTRY32W)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (first) object->snapshotPos = 0;
    if (object->snapshotPos >= object->snapshotPids.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    DWORD pid = object->snapshotPids[object->snapshotPos++];
    const ProcessState* process = FindProcess(pid);
    std::wstring name = process ? process->exeName : OwnExeName();
    DWORD size = entry->dwSize;
    *entry = PROCESSENTRY32W{};
    entry->dwSize = size;
    entry->cntThreads = 1;
    entry->th32ProcessID = pid;
    size_t length = std::min(name.size(), std::size(entry->szExeFile) - 1);
    std::copy(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(length), entry->szExeFile);
    entry->szExeFile[length] = 0;
    return TRUE;
}

}  // namespace

BOOL Process32FirstW(HANDLE snapshot, LPPROCESSENTRY32W entry)
{
    MODEL_CALL("Process32FirstW", FALSE);
    return DeliverEntry(snapshot, entry, true);
}

BOOL Process32NextW(HANDLE snapshot, LPPROCESSENTRY32W entry)
{
    MODEL_CALL("Process32NextW", FALSE);
    return DeliverEntry(snapshot, entry, false);
}

HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId)
{
    MODEL_CALL("OpenProcess", nullptr);
    SettleProcesses();
    WorldState& w = World();
    w.processOpens.push_back(ProcessOpen{access, inherit, processId, false});
    ProcessState* process = FindProcess(processId);
    bool own = processId == GetCurrentProcessId();
    if (!own && (!process || !process->alive)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (process && (!process->options.openable || (!process->options.openableWithoutPrivilege && !w.debugPrivilege))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    w.processOpens.back().granted = true;
    HandleObject object;
    object.kind = HandleKind::Process;
    object.pid = processId;
    object.access = access;
    SetLastError(ERROR_SUCCESS);
    return NewHandle(object);
}

BOOL TerminateProcess(HANDLE handle, UINT exitCode)
{
    MODEL_CALL("TerminateProcess", FALSE);
    SettleProcesses();
    ProcessState* process = nullptr;
    bool own = false;
    if (!ResolveProcessHandle(handle, PROCESS_TERMINATE, &process, &own)) return FALSE;
    if (own) {
        std::fputs("winmodel: the test process was asked to terminate itself\n", stderr);
        std::abort();
    }
    if (!process->alive || !process->options.terminable) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!process->terminated) {
        process->terminated = true;
        process->pendingExitCode = exitCode;
        process->endsAt = ModelClock() + process->options.lingerMilliseconds;
        if (process->options.lingerMilliseconds == 0) EndProcess(*process, exitCode);
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL GetExitCodeProcess(HANDLE handle, LPDWORD exitCode)
{
    MODEL_CALL("GetExitCodeProcess", FALSE);
    SettleProcesses();
    ProcessState* process = nullptr;
    bool own = false;
    if (!ResolveProcessHandle(handle, 0, &process, &own)) return FALSE;
    HandleObject* object = FindHandle(handle);
    if (object && !(object->access & (PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    *exitCode = own ? STILL_ACTIVE : process->exitCode;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    MODEL_CALL("WaitForSingleObject", WAIT_FAILED);
    SettleProcesses();
    ProcessState* process = nullptr;
    bool own = false;
    if (!ResolveProcessHandle(handle, SYNCHRONIZE, &process, &own)) return WAIT_FAILED;
    return PassTime(TimeToEnd(process, own), milliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds)
{
    MODEL_CALL("WaitForMultipleObjects", WAIT_FAILED);
    SettleProcesses();
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<long long> times;
    for (DWORD i = 0; i < count; ++i) {
        ProcessState* process = nullptr;
        bool own = false;
        if (!ResolveProcessHandle(handles[i], SYNCHRONIZE, &process, &own)) return WAIT_FAILED;
        times.push_back(TimeToEnd(process, own));
    }
    if (waitAll) {
        long long needed = 0;
        for (long long t : times) needed = (t == kNever || needed == kNever) ? kNever : std::max(needed, t);
        return PassTime(needed, milliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }
    // The first handle to be signalled, the lowest index among equals.
    DWORD first = 0;
    for (DWORD i = 1; i < count; ++i)
        if (times[i] != kNever && (times[first] == kNever || times[i] < times[first])) first = i;
    return PassTime(times[first], milliseconds) ? WAIT_OBJECT_0 + first : WAIT_TIMEOUT;
}

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }
DWORD GetCurrentProcessId() { return 4; }

BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token)
{
    MODEL_CALL("OpenProcessToken", FALSE);
    // The model knows only the own process's token.
    if (!IsOwnProcessHandle(process)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    HandleObject object;
    object.kind = HandleKind::Token;
    object.access = access;
    *token = NewHandle(object);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL LookupPrivilegeValueW(LPCWSTR system, LPCWSTR name, PLUID luid)
{
    MODEL_CALL("LookupPrivilegeValueW", FALSE);
    if (system && *system) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (!name || UpperCase(name) != UpperCase(SE_DEBUG_NAME)) {
        SetLastError(ERROR_NO_SUCH_PRIVILEGE);
        return FALSE;
    }
    luid->LowPart = kDebugPrivilegeLuid;
    luid->HighPart = 0;
    return TRUE;
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD, PTOKEN_PRIVILEGES previousState,
                           PDWORD returnLength)
{
    MODEL_CALL("AdjustTokenPrivileges", FALSE);
    HandleObject* object = FindHandle(token);
    if (!object || object->kind != HandleKind::Token) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!(object->access & TOKEN_ADJUST_PRIVILEGES)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (previousState || returnLength) {
        // The launcher asks for neither; the model does not keep the token's other privileges.
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    WorldState& w = World();
    if (disableAll) {
        w.debugPrivilege = false;
    } else if (newState) {
        const LUID_AND_ATTRIBUTES* entries = newState->Privileges;
        for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
            if (entries[i].Luid.LowPart == kDebugPrivilegeLuid && entries[i].Luid.HighPart == 0)
                w.debugPrivilege = (entries[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
