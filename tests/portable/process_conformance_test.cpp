// The process, token and pipe calls of the running-instance guard and the link hand-off, run on
// the Linux model and on the real API under Wine. The own process stands in for a running copy.
#include <gtest/gtest.h>

#include <string>

#include "winapi/scoped_handle.h"
#include "winapi/winapi.h"

namespace {

std::wstring OwnExeName()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text = path;
    return text.substr(text.find_last_of(L"\\/") + 1);
}

TEST(ProcessConformance, TheEntrySizeMustCoverTheWholeRecord)
{
    winapi::ScopedSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    ASSERT_TRUE(snapshot);
    for (DWORD size : {DWORD{0}, static_cast<DWORD>(sizeof(PROCESSENTRY32W) - 1)}) {
        SCOPED_TRACE(size);
        PROCESSENTRY32W entry = {};
        entry.dwSize = size;
        EXPECT_FALSE(Process32FirstW(snapshot.Get(), &entry));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    }
}

TEST(ProcessConformance, TheSnapshotListsTheOwnProcessByFileName)
{
    winapi::ScopedSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    ASSERT_TRUE(snapshot);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    bool found = false;
    DWORD highest = 0;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID > highest) highest = entry.th32ProcessID;
        if (entry.th32ProcessID == GetCurrentProcessId()) {
            found = true;
            EXPECT_EQ(std::wstring(entry.szExeFile), OwnExeName());
        }
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(found);

    // A process identifier that nothing uses cannot be opened.
    EXPECT_EQ(OpenProcess(0x1FFFFF, FALSE, highest + 0x40000), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(ProcessConformance, ARunningProcessIsNotSignalled)
{
    winapi::ScopedKernelHandle self(OpenProcess(0x1FFFFF, FALSE, GetCurrentProcessId()));
    ASSERT_TRUE(self);
    EXPECT_EQ(WaitForSingleObject(self.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    HANDLE handles[] = {self.Get()};
    EXPECT_EQ(WaitForMultipleObjects(1, handles, TRUE, 10), static_cast<DWORD>(WAIT_TIMEOUT));
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(self.Get(), &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));

    // One wait takes 1 to 64 handles.
    HANDLE many[MAXIMUM_WAIT_OBJECTS + 1];
    for (HANDLE& h : many) h = self.Get();
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, many, TRUE, 0), static_cast<DWORD>(WAIT_FAILED));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(ProcessConformance, TheDebugPrivilegeIsLookedUpAndAdjusted)
{
    winapi::ScopedKernelHandle token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.Receive()));
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    ASSERT_TRUE(LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid));
    EXPECT_EQ(privileges.Privileges[0].Luid.LowPart, 20u);
    EXPECT_EQ(privileges.Privileges[0].Luid.HighPart, 0);
    EXPECT_TRUE(AdjustTokenPrivileges(token.Get(), FALSE, &privileges, sizeof privileges, nullptr, nullptr));
    EXPECT_EQ(sizeof privileges, 16u);

    LUID unknown = {};
    EXPECT_FALSE(LookupPrivilegeValueW(nullptr, L"SeNoSuchPrivilege", &unknown));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_PRIVILEGE));
}

TEST(PipeConformance, APipeThatNobodyServesIsNotFound)
{
    wchar_t name[64];
    wsprintfW(name, L"\\\\.\\Pipe\\fw-nobody-%u", static_cast<unsigned>(GetCurrentProcessId()));
    EXPECT_EQ(CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
