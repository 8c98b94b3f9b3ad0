#include "launcher/instance_guard.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <string_view>

#include "launcher/interface_language.h"
#include "launcher/main_application.h"
#include "winapi/scoped_handle.h"
#include "winapi/winapi.h"

namespace launcher {

namespace {

#if defined(_WIN64)
static_assert(sizeof(PROCESSENTRY32W) == 568, "the x86_64 process entry is 568 bytes");
#elif defined(_WIN32)
static_assert(sizeof(PROCESSENTRY32W) == 556, "the 32-bit process entry is 556 bytes");
#endif

// PROCESS_ALL_ACCESS as Windows Vista and later define it; the headers' value depends on the
// Windows version they target.
constexpr DWORD kProcessAllAccess = 0x1FFFFF;

constexpr size_t kHandleSlots = 1024;

// TerminateProcess only starts the termination. The update that follows replaces the copies'
// files, which cannot happen while a copy is still running, so wait a little for them to end.
constexpr DWORD kTerminationWaitMilliseconds = 5000;

constexpr wchar_t kQuestionChinese[] = L"检测到程序正在运行\uFF0C是否重新打开!";  // full-width comma
constexpr wchar_t kCaptionChinese[] = L"提示";
constexpr wchar_t kQuestionEnglish[] = L"Another program is already in progress, start new one?";
constexpr wchar_t kCaptionEnglish[] = L"Prompt";

// The entry's executable file name, as far as its terminator (or the end of the field).
std::wstring_view ExeName(const PROCESSENTRY32W& entry)
{
    const wchar_t* end = std::find(std::begin(entry.szExeFile), std::end(entry.szExeFile), L'\0');
    return std::wstring_view(entry.szExeFile, static_cast<size_t>(end - entry.szExeFile));
}

PROCESSENTRY32W EmptyEntry()
{
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(PROCESSENTRY32W);
    return entry;
}

// The opened copies of one walk. TerminateAll terminates them, waits for those that accepted
// the termination to end, and closes every handle. The wait is bounded for the whole walk, however
// many times the table is filled.
class TerminationTable {
public:
    // The slot for the next copy's handle; a full table is terminated and emptied first.
    winapi::ScopedKernelHandle& FreeSlot()
    {
        if (count_ == std::size(handles_)) TerminateAll();
        return handles_[count_];
    }

    // Counts the free slot as used once it holds a handle.
    void TakeSlot()
    {
        if (handles_[count_]) ++count_;
    }

    void TerminateAll()
    {
        std::array<HANDLE, kHandleSlots> terminated = {};
        size_t terminatedCount = 0;
        for (size_t i = 0; i < count_; ++i) {
            if (TerminateProcess(handles_[i].Get(), 0)) terminated[terminatedCount++] = handles_[i].Get();
        }
        if (terminatedCount > 0 && !deadlineSet_) {
            deadline_ = GetTickCount() + kTerminationWaitMilliseconds;
            deadlineSet_ = true;
        }
        // One wait takes at most MAXIMUM_WAIT_OBJECTS handles.
        for (size_t first = 0; first < terminatedCount; first += MAXIMUM_WAIT_OBJECTS) {
            const auto chunk = static_cast<DWORD>(std::min<size_t>(MAXIMUM_WAIT_OBJECTS, terminatedCount - first));
            // A copy that has not ended in time is left to end on its own.
            (void)WaitForMultipleObjects(chunk, &terminated[first],
                                         TRUE,  // all of them
                                         RemainingTime());
        }
        for (size_t i = 0; i < count_; ++i) handles_[i].Reset();
        count_ = 0;
    }

private:
    DWORD RemainingTime() const
    {
        // A difference of tick counts stays right across the counter's wrap-around.
        const auto left = static_cast<LONG>(deadline_ - GetTickCount());
        return left > 0 ? static_cast<DWORD>(left) : 0;
    }

    std::array<winapi::ScopedKernelHandle, kHandleSlots> handles_;
    size_t count_ = 0;
    DWORD deadline_ = 0;
    bool deadlineSet_ = false;
};

HANDLE OpenForTermination(DWORD processId)
{
    return OpenProcess(kProcessAllAccess,
                       FALSE,  // not inheritable
                       processId);
}

}  // namespace

bool CheckRunningInstance(bool forcedMode)
{
    winapi::ScopedSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        // Without a list there is nothing to ask about; try to clear the way all the same.
        TerminateProcessesByName(kMainAppFileName);
        return true;
    }

    PROCESSENTRY32W entry = EmptyEntry();
    BOOL more = Process32FirstW(snapshot.Get(), &entry);
    while (more && ExeName(entry) != kMainAppFileName) more = Process32NextW(snapshot.Get(), &entry);
    if (!more) return true;  // no copy running

    if (!forcedMode) {
        const bool chinese = IsChineseUi();
        const int answer = MessageBoxW(nullptr,  // no owner window
                                       chinese ? kQuestionChinese : kQuestionEnglish,
                                       chinese ? kCaptionChinese : kCaptionEnglish,
                                       MB_OKCANCEL);
        if (answer != IDOK) return false;
    }

    snapshot.Reset();
    TerminateProcessesByName(kMainAppFileName);
    return true;
}

void TerminateProcessesByName(std::wstring processName)
{
    winapi::ScopedSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return;

    PROCESSENTRY32W entry = EmptyEntry();
    if (!Process32FirstW(snapshot.Get(), &entry)) return;

    // Every copy is opened before any is terminated, so that one that cannot be opened does not
    // keep the others alive. Past 1024 copies the full table is terminated and emptied, and the
    // walk goes on filling it again: every copy still goes, and the table is never overrun.
    TerminationTable table;
    do {
        if (ExeName(entry) != processName) continue;
        winapi::ScopedKernelHandle& slot = table.FreeSlot();
        slot.Reset(OpenForTermination(entry.th32ProcessID));
        if (!slot) {
            EnableDebugPrivilege();
            slot.Reset(OpenForTermination(entry.th32ProcessID));
        }
        table.TakeSlot();  // a copy that cannot be opened is left running, silently
    } while (Process32NextW(snapshot.Get(), &entry));
    snapshot.Reset();

    table.TerminateAll();
}

void EnableDebugPrivilege()
{
    winapi::ScopedKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.Receive())) return;

    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // Neither result is examined: without the privilege the second OpenProcess simply fails too.
    (void)LookupPrivilegeValueW(nullptr,  // the local system
                                L"SeDebugPrivilege", &privileges.Privileges[0].Luid);
    (void)AdjustTokenPrivileges(token.Get(),
                                FALSE,  // do not disable all privileges
                                &privileges, sizeof privileges,
                                nullptr,   // no previous state
                                nullptr);  // no returned length
}

}  // namespace launcher
