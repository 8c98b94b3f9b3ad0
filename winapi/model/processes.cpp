// Linux model only: processes, toolhelp snapshots, waits and the process token.
// Grown with the running-instance guard; until then every call reports that it cannot be done.
#include "world.h"

namespace winmodel {

DWORD AddProcess(const std::wstring& exeName, const ProcessOptions& options)
{
    WorldState& w = World();
    ProcessState process{w.nextPid, exeName, options};
    w.nextPid += 4;
    w.processes.push_back(process);
    return process.pid;
}

std::vector<ProcessRecord> Processes()
{
    std::vector<ProcessRecord> records;
    for (const ProcessState& p : World().processes)
        records.push_back(ProcessRecord{p.pid, p.exeName, p.alive, p.exitCode, p.terminated});
    return records;
}

bool DebugPrivilegeEnabled() { return World().debugPrivilege; }

long OpenProcessHandles()
{
    long count = 0;
    for (auto& [handle, object] : World().handles)
        if (object.kind == HandleKind::Process) ++count;
    return count;
}

}  // namespace winmodel

using namespace winmodel;

HANDLE CreateToolhelp32Snapshot(DWORD, DWORD)
{
    MODEL_CALL("CreateToolhelp32Snapshot", INVALID_HANDLE_VALUE);
    SetLastError(ERROR_NOT_SUPPORTED);
    return INVALID_HANDLE_VALUE;
}
BOOL Process32FirstW(HANDLE, LPPROCESSENTRY32W)
{
    MODEL_CALL("Process32FirstW", FALSE);
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
}
BOOL Process32NextW(HANDLE, LPPROCESSENTRY32W)
{
    MODEL_CALL("Process32NextW", FALSE);
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
}
HANDLE OpenProcess(DWORD, BOOL, DWORD)
{
    MODEL_CALL("OpenProcess", nullptr);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
}
BOOL TerminateProcess(HANDLE, UINT)
{
    MODEL_CALL("TerminateProcess", FALSE);
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}
BOOL GetExitCodeProcess(HANDLE, LPDWORD)
{
    MODEL_CALL("GetExitCodeProcess", FALSE);
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}
DWORD WaitForSingleObject(HANDLE, DWORD)
{
    MODEL_CALL("WaitForSingleObject", WAIT_FAILED);
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}
DWORD WaitForMultipleObjects(DWORD, const HANDLE*, BOOL, DWORD)
{
    MODEL_CALL("WaitForMultipleObjects", WAIT_FAILED);
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}
HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }
DWORD GetCurrentProcessId() { return 4; }
BOOL OpenProcessToken(HANDLE, DWORD, PHANDLE)
{
    MODEL_CALL("OpenProcessToken", FALSE);
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
BOOL LookupPrivilegeValueW(LPCWSTR, LPCWSTR, PLUID)
{
    MODEL_CALL("LookupPrivilegeValueW", FALSE);
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}
BOOL AdjustTokenPrivileges(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD)
{
    MODEL_CALL("AdjustTokenPrivileges", FALSE);
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}
