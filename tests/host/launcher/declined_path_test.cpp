// The run in which the user declines to restart the running copy: with a link the payload is
// handed over and its result is the exit code; without one the run ends at once. Either way
// nothing else happens: no registration, no folder change, no update, no shortcut, no start.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "../support/installed_launcher.h"
#include "winapi/winapi.h"

namespace {

const wchar_t kPipe[] = L"\\\\.\\Pipe\\ZUREZU_kivo";

class DeclinedRestart : public InstalledLauncher {
protected:
    void SetUp() override
    {
        InstalledLauncher::SetUp();
        winmodel::WriteFile(std::wstring(kInstall) + L"\\temp\\update.zip", "PK");
        winmodel::WriteFile(std::wstring(kInstall) + L"\\ProductConfig.xml", "<x/>");
        runningCopy_ = winmodel::AddProcess(L"kivo.exe");
        winmodel::AnswerMessageBoxes(IDCANCEL);
    }

    // The calls a declined run may make: the guard with its question, and the hand-off.
    void ExpectNothingElseHappened() const
    {
        const std::set<std::string> allowed = {
            "CreateToolhelp32Snapshot", "Process32FirstW", "Process32NextW", "CloseHandle",
            "RegOpenKeyExW",            "RegQueryValueExA", "RegCloseKey",   "MessageBoxW",
            "WideCharToMultiByte",      "CreateFileW",      "WriteFile"};
        for (const std::string& call : winmodel::CallLog()) EXPECT_TRUE(allowed.count(call)) << call;
        EXPECT_TRUE(winmodel::RegKeys(HKEY_CLASSES_ROOT).empty());
        EXPECT_TRUE(winmodel::ShellExecutes().empty());
        EXPECT_TRUE(winmodel::DebugOutput().empty());
        EXPECT_EQ(winmodel::CurrentDirectory(), kStartFolder);
        EXPECT_TRUE(winmodel::Exists(std::wstring(kInstall) + L"\\temp\\update.zip"));
        ASSERT_EQ(winmodel::Processes().size(), 1u);
        EXPECT_TRUE(winmodel::Processes()[0].alive);
        EXPECT_EQ(winmodel::MessageBoxes().size(), 1u);
        EXPECT_EQ(winmodel::OpenHandles(), 0);
        EXPECT_EQ(winmodel::OpenRegKeys(), 0);
    }

    DWORD runningCopy_ = 0;
};

TEST_F(DeclinedRestart, WithoutALinkTheRunEndsAtOnce)
{
    for (const wchar_t* commandLine : {L"", L"--page 2", L"tessaluvian:/almost"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(commandLine)));
        winmodel::Reset();
        SetUp();
        winmodel::ServePipe(kPipe);
        EXPECT_EQ(Run(commandLine), 0);
        EXPECT_TRUE(winmodel::PipeOpens(kPipe).empty());
        ExpectNothingElseHappened();
    }
}

TEST_F(DeclinedRestart, WithALinkThePayloadIsHandedToTheRunningCopy)
{
    struct LinkCase {
        const wchar_t* commandLine;
        std::string message;
    };
    const LinkCase cases[] = {
        {L"\"tessaluvian://open?id=7\"", std::string("open?id=7\"") + '\0'},
        {L"tessaluvian://", std::string(1, '\0')},
        {L"a tessaluvian://b tessaluvian://c", std::string("b tessaluvian://c") + '\0'},
    };
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.commandLine)));
        winmodel::Reset();
        SetUp();
        winmodel::ServePipe(kPipe);
        EXPECT_EQ(Run(c.commandLine), 0);
        EXPECT_EQ(winmodel::PipeMessages(kPipe), std::vector<std::string>{c.message});
        ExpectNothingElseHappened();
    }
}

TEST_F(DeclinedRestart, TheHandOffResultIsTheExitCode)
{
    struct ServerCase {
        const char* name;
        bool served;
        winmodel::PipeOptions options;
        int exitCode;
    };
    const ServerCase cases[] = {
        {"a copy that serves no pipe", false, {}, 1},
        {"every pipe instance busy", true, {true, -1, false}, 1},
        {"short write", true, {false, 2, false}, 1},
    };
    for (const ServerCase& c : cases) {
        SCOPED_TRACE(c.name);
        winmodel::Reset();
        SetUp();
        if (c.served) winmodel::ServePipe(kPipe, c.options);
        EXPECT_EQ(Run(L"\"tessaluvian://open\""), c.exitCode);
        ExpectNothingElseHappened();
    }
}

TEST_F(DeclinedRestart, AgreeingTerminatesTheCopyAndLaunches)
{
    winmodel::AnswerMessageBoxes(IDOK);
    winmodel::ServePipe(kPipe);
    testing::internal::CaptureStderr();  // the launch records
    EXPECT_EQ(Run(L"\"tessaluvian://open\""), 0);
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(winmodel::Processes().size(), 1u);
    EXPECT_FALSE(winmodel::Processes()[0].alive);
    EXPECT_EQ(winmodel::Processes()[0].exitCode, 0u);
    EXPECT_TRUE(winmodel::PipeOpens(kPipe).empty());
    ASSERT_EQ(winmodel::ShellExecutes().size(), 1u);
    EXPECT_EQ(winmodel::ShellExecutes()[0].parameters, L"open\"");
    EXPECT_FALSE(winmodel::RegKeys(HKEY_CLASSES_ROOT).empty());  // the launch path registered
}

}  // namespace
