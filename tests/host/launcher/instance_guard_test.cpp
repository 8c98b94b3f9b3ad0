// The running-instance guard on the model: which processes are found, asked about, opened,
// terminated and waited for, and what is left when a step of it fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../support/model_fixture.h"
#include "launcher/instance_guard.h"
#include "winapi/winapi.h"

namespace {

using launcher::CheckRunningInstance;

const wchar_t kChineseQuestion[] = L"\x68C0\x6D4B\x5230\x7A0B\x5E8F\x6B63\x5728\x8FD0\x884C\xFF0C\x662F\x5426\x91CD\x65B0\x6253\x5F00!";
const wchar_t kChineseCaption[] = L"\x63D0\x793A";
const wchar_t kEnglishQuestion[] = L"Another program is already in progress, start new one?";

class InstanceGuard : public ModelTest {
protected:
    static std::vector<bool> Terminated()
    {
        std::vector<bool> result;
        for (const winmodel::ProcessRecord& p : winmodel::Processes()) result.push_back(p.terminated);
        return result;
    }

    static long CallsBeforeFirst(const std::string& call, const std::string& first)
    {
        const auto& log = winmodel::CallLog();
        auto end = std::find(log.begin(), log.end(), first);
        return static_cast<long>(std::count(log.begin(), end, call));
    }
};

struct GuardCase {
    const char* name;
    std::vector<const wchar_t*> processes;
    bool forced;
    int answer;
    bool result;
    size_t questions;
    std::vector<bool> terminated;  // per process, in the order added
};

const GuardCase kGuardCases[] = {
    {"nothing running", {L"explorer.exe"}, false, IDOK, true, 0, {false}},
    {"other letter case is another program", {L"KIVO.EXE", L"Kivo.exe"}, false, IDOK, true, 0, {false, false}},
    {"a longer or shorter name is another program",
     {L"kivo.exe2", L"xkivo.exe", L"kivo.ex", L"kivo.exe "}, false, IDOK, true, 0, {false, false, false, false}},
    {"two copies, OK", {L"kivo.exe", L"explorer.exe", L"kivo.exe"}, false, IDOK, true, 1, {true, false, true}},
    {"two copies, Cancel", {L"kivo.exe", L"kivo.exe"}, false, IDCANCEL, false, 1, {false, false}},
    {"box closed without an answer", {L"kivo.exe"}, false, 0, false, 1, {false}},
    {"forced", {L"kivo.exe", L"kivo.exe"}, true, IDCANCEL, true, 0, {true, true}},
    {"forced, nothing running", {L"KIVO.exe"}, true, IDCANCEL, true, 0, {false}},
};

TEST_F(InstanceGuard, FindsAsksAndTerminatesExactNameMatches)
{
    for (const GuardCase& c : kGuardCases) {
        SCOPED_TRACE(c.name);
        winmodel::Reset();
        for (const wchar_t* name : c.processes) winmodel::AddProcess(name);
        winmodel::AnswerMessageBoxes(c.answer);

        EXPECT_EQ(CheckRunningInstance(c.forced), c.result);
        EXPECT_EQ(winmodel::MessageBoxes().size(), c.questions);
        EXPECT_EQ(Terminated(), c.terminated);
        for (const winmodel::ProcessRecord& p : winmodel::Processes()) {
            EXPECT_EQ(p.alive, !p.terminated);
            if (p.terminated) {
                EXPECT_EQ(p.exitCode, 0u);
            }
        }
        EXPECT_EQ(winmodel::OpenHandles(), 0);
        EXPECT_EQ(winmodel::OpenRegKeys(), 0);
    }
}

TEST_F(InstanceGuard, AsksInTheLanguageReadAtTheMomentOfTheQuestion)
{
    struct LanguageCase {
        const wchar_t* value;  // nullptr: no value
        const wchar_t* text;
        const wchar_t* caption;
    };
    const LanguageCase cases[] = {
        {nullptr, kChineseQuestion, kChineseCaption},
        {L"zh-CN", kChineseQuestion, kChineseCaption},
        {L"en-US", kEnglishQuestion, L"Prompt"},
        {L"en-us", kChineseQuestion, kChineseCaption},
    };
    for (const LanguageCase& c : cases) {
        SCOPED_TRACE(c.value ? testing::PrintToString(std::wstring(c.value)) : "no value");
        winmodel::Reset();
        if (c.value) winmodel::SetRegString(HKEY_CURRENT_USER, L"SOFTWARE\\kivo\\Language", L"", c.value);
        winmodel::AddProcess(L"kivo.exe");

        EXPECT_FALSE(CheckRunningInstance(false));
        ASSERT_EQ(winmodel::MessageBoxes().size(), 1u);
        const winmodel::MessageBoxCall& box = winmodel::MessageBoxes()[0];
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.caption, c.caption);
        EXPECT_EQ(box.type, static_cast<UINT>(MB_OKCANCEL));
        EXPECT_TRUE(box.ownerNull);
        EXPECT_EQ(CallsBeforeFirst("RegOpenKeyExW", "Process32FirstW"), 0);
    }
}

TEST_F(InstanceGuard, NoCopyRunningMeansNoLanguageLookup)
{
    winmodel::AddProcess(L"other.exe");
    EXPECT_TRUE(CheckRunningInstance(false));
    EXPECT_EQ(winmodel::CallsNamed("RegOpenKeyExW"), 0);
}

TEST_F(InstanceGuard, EachCopyIsOpenedWithFullAccessBeforeAnyIsTerminated)
{
    const DWORD first = winmodel::AddProcess(L"kivo.exe");
    const DWORD second = winmodel::AddProcess(L"kivo.exe");
    EXPECT_TRUE(CheckRunningInstance(true));

    const std::vector<winmodel::ProcessOpen> opens = winmodel::ProcessOpens();
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[0].pid, first);
    EXPECT_EQ(opens[1].pid, second);
    for (const winmodel::ProcessOpen& open : opens) {
        EXPECT_EQ(open.access, 0x1FFFFFu);
        EXPECT_EQ(open.inherit, FALSE);
    }
    EXPECT_EQ(CallsBeforeFirst("OpenProcess", "TerminateProcess"), 2);
    // Both terminations come before the wait, and the handles are closed after it.
    const auto& log = winmodel::CallLog();
    auto wait = std::find(log.begin(), log.end(), "WaitForMultipleObjects");
    ASSERT_NE(wait, log.end());
    EXPECT_EQ(std::count(log.begin(), wait, "TerminateProcess"), 2);
    EXPECT_EQ(std::count(wait, log.end(), "CloseHandle"), 2);
}

TEST_F(InstanceGuard, ASnapshotFailureSkipsTheQuestion)
{
    winmodel::AddProcess(L"kivo.exe");
    winmodel::FailCall("CreateToolhelp32Snapshot", 1);
    EXPECT_TRUE(CheckRunningInstance(false));
    EXPECT_TRUE(winmodel::MessageBoxes().empty());
    EXPECT_EQ(Terminated(), std::vector<bool>{true});  // the second snapshot worked

    winmodel::Reset();
    winmodel::AddProcess(L"kivo.exe");
    winmodel::FailCall("CreateToolhelp32Snapshot", 1, ERROR_NOT_ENOUGH_MEMORY, true);
    EXPECT_TRUE(CheckRunningInstance(false));
    EXPECT_TRUE(winmodel::MessageBoxes().empty());
    EXPECT_EQ(Terminated(), std::vector<bool>{false});

    winmodel::Reset();
    winmodel::AddProcess(L"kivo.exe");
    winmodel::FailCall("Process32FirstW", 1, ERROR_NO_MORE_FILES);
    EXPECT_TRUE(CheckRunningInstance(false));
    EXPECT_TRUE(winmodel::MessageBoxes().empty());
    EXPECT_EQ(Terminated(), std::vector<bool>{false});
    EXPECT_EQ(winmodel::OpenHandles(), 0);
}

TEST_F(InstanceGuard, TheDebugPrivilegeOpensProtectedCopies)
{
    winmodel::ProcessOptions protectedCopy;
    protectedCopy.openableWithoutPrivilege = false;
    winmodel::AddProcess(L"kivo.exe", protectedCopy);
    winmodel::AddProcess(L"kivo.exe", protectedCopy);

    EXPECT_TRUE(CheckRunningInstance(true));
    EXPECT_TRUE(winmodel::DebugPrivilegeEnabled());
    EXPECT_EQ(Terminated(), (std::vector<bool>{true, true}));
    const std::vector<winmodel::ProcessOpen> opens = winmodel::ProcessOpens();
    ASSERT_EQ(opens.size(), 3u);  // the second copy opens at once: the privilege stays enabled
    EXPECT_FALSE(opens[0].granted);
    EXPECT_TRUE(opens[1].granted);
    EXPECT_EQ(opens[1].pid, opens[0].pid);
    EXPECT_TRUE(opens[2].granted);
    EXPECT_EQ(winmodel::CallsNamed("OpenProcessToken"), 1);
    EXPECT_EQ(winmodel::OpenHandles(), 0);
}

TEST_F(InstanceGuard, CopiesThatNeverOpenAreLeftRunningSilently)
{
    winmodel::ProcessOptions locked;
    locked.openable = false;
    winmodel::AddProcess(L"kivo.exe", locked);
    winmodel::AddProcess(L"kivo.exe");
    winmodel::AddProcess(L"kivo.exe", locked);

    EXPECT_TRUE(CheckRunningInstance(true));
    EXPECT_EQ(Terminated(), (std::vector<bool>{false, true, false}));
    // The privilege is asked for again for every copy that fails its first open.
    EXPECT_EQ(winmodel::CallsNamed("OpenProcessToken"), 2);
    EXPECT_EQ(winmodel::CallsNamed("OpenProcess"), 5);
    EXPECT_TRUE(winmodel::MessageBoxes().empty());
}

TEST_F(InstanceGuard, MoreThan1024CopiesAreTerminatedInFullTables)
{
    const int copies = 1024 + 70;
    for (int i = 0; i < copies; ++i) winmodel::AddProcess(L"kivo.exe");

    EXPECT_TRUE(CheckRunningInstance(true));
    const std::vector<bool> terminated = Terminated();
    EXPECT_EQ(std::count(terminated.begin(), terminated.end(), true), copies);
    // The first table is full before anything is terminated, and no more is held at once.
    EXPECT_EQ(CallsBeforeFirst("OpenProcess", "TerminateProcess"), 1024);
    EXPECT_EQ(winmodel::OpenHandles(), 0);
    // 1024 handles in waits of 64, then the 70 of the second table in two.
    EXPECT_EQ(winmodel::CallsNamed("WaitForMultipleObjects"), 16 + 2);
}

TEST_F(InstanceGuard, TerminatedCopiesAreWaitedForSoTheirFilesAreFree)
{
    winmodel::ProcessOptions slow;
    slow.lingerMilliseconds = 1500;
    for (int i = 0; i < 70; ++i) winmodel::AddProcess(L"kivo.exe", slow);
    slow.imagePath = L"C:\\Program Files\\kivo\\kivo.exe";
    winmodel::WriteFile(slow.imagePath, "MZ");
    winmodel::AddProcess(L"kivo.exe", slow);

    const DWORD before = GetTickCount();
    EXPECT_TRUE(CheckRunningInstance(true));
    const DWORD waited = GetTickCount() - before;
    EXPECT_GE(waited, 1500u);
    EXPECT_LT(waited, 4000u);  // no longer than it took them
    for (const winmodel::ProcessRecord& p : winmodel::Processes()) {
        EXPECT_FALSE(p.alive);
        EXPECT_EQ(p.exitCode, 0u);
    }
    // The image is free again: the update can replace it.
    EXPECT_TRUE(DeleteFileW(slow.imagePath.c_str()));
    EXPECT_EQ(winmodel::OpenHandles(), 0);
}

TEST_F(InstanceGuard, TheWaitForTerminatedCopiesIsBounded)
{
    winmodel::ProcessOptions stuck;
    stuck.lingerMilliseconds = 1000000;
    for (int i = 0; i < 130; ++i) winmodel::AddProcess(L"kivo.exe", stuck);
    winmodel::ProcessOptions unkillable;
    unkillable.terminable = false;
    winmodel::AddProcess(L"kivo.exe", unkillable);

    const DWORD before = GetTickCount();
    EXPECT_TRUE(CheckRunningInstance(true));
    const DWORD waited = GetTickCount() - before;
    EXPECT_GE(waited, 5000u);
    EXPECT_LT(waited, 8000u);
    EXPECT_EQ(winmodel::CallsNamed("WaitForMultipleObjects"), 3);
    EXPECT_EQ(winmodel::OpenHandles(), 0);  // closed all the same
    for (const winmodel::ProcessRecord& p : winmodel::Processes()) EXPECT_TRUE(p.alive);
}

TEST_F(InstanceGuard, NothingIsWaitedForWhenNoTerminationWasAccepted)
{
    winmodel::ProcessOptions unkillable;
    unkillable.terminable = false;
    winmodel::AddProcess(L"kivo.exe", unkillable);
    EXPECT_TRUE(CheckRunningInstance(true));
    EXPECT_EQ(winmodel::CallsNamed("TerminateProcess"), 1);
    EXPECT_EQ(winmodel::CallsNamed("WaitForMultipleObjects"), 0);
    EXPECT_EQ(winmodel::OpenHandles(), 0);
}

TEST_F(InstanceGuard, EveryFailingCallLeavesNoHandleBehind)
{
    for (long n = 1;; ++n) {
        SCOPED_TRACE(n);
        winmodel::Reset();
        winmodel::SetRegString(HKEY_CURRENT_USER, L"SOFTWARE\\kivo\\Language", L"", L"en-US");
        winmodel::ProcessOptions protectedCopy;
        protectedCopy.openableWithoutPrivilege = false;
        protectedCopy.lingerMilliseconds = 10;
        winmodel::AddProcess(L"kivo.exe", protectedCopy);
        winmodel::AddProcess(L"kivo.exe");
        winmodel::AnswerMessageBoxes(IDOK);
        winmodel::FailNthCall(n);

        CheckRunningInstance(false);
        // A failed close keeps its handle in the model; every other fault must not leak one.
        const std::string failed = n <= winmodel::CallCount() ? winmodel::CallLog()[n - 1] : "";
        if (failed != "CloseHandle") {
            EXPECT_EQ(winmodel::OpenHandles(), 0);
        }
        if (failed != "RegCloseKey") {
            EXPECT_EQ(winmodel::OpenRegKeys(), 0);
        }
        if (winmodel::FaultsHit() == 0) break;
    }
}

TEST_F(InstanceGuard, EnableDebugPrivilegeClosesItsToken)
{
    launcher::EnableDebugPrivilege();
    EXPECT_TRUE(winmodel::DebugPrivilegeEnabled());
    EXPECT_EQ(winmodel::OpenHandles(), 0);

    for (const char* call : {"OpenProcessToken", "LookupPrivilegeValueW", "AdjustTokenPrivileges"}) {
        SCOPED_TRACE(call);
        winmodel::Reset();
        winmodel::FailCall(call);
        launcher::EnableDebugPrivilege();
        EXPECT_FALSE(winmodel::DebugPrivilegeEnabled());
        EXPECT_EQ(winmodel::OpenHandles(), 0);
    }
}

TEST_F(InstanceGuard, TerminateProcessesByNameComparesTheWholeNameWithCase)
{
    winmodel::AddProcess(L"notepad.exe");
    winmodel::AddProcess(L"NOTEPAD.EXE");
    winmodel::AddProcess(L"kivo.exe");
    launcher::TerminateProcessesByName(L"notepad.exe");
    EXPECT_EQ(Terminated(), (std::vector<bool>{true, false, false}));
}

}  // namespace
