// The two records of the launch path, as a run writes them: on the debugger output and on standard
// error, byte for byte, right after the move to the install folder and before the update.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "../support/installed_launcher.h"
#include "tests/portable/support/log_capture.h"
#include "winapi/winapi.h"

namespace {

const std::string kHeader = "[DID][I][2024-3-7 9:5:3] ";
const std::string kClassPath = kHeader + "class path: kivo.exe\n";

class LaunchRecords : public InstalledLauncher {
protected:
    // Runs the launcher and returns what it wrote to standard error (instead of its exit code).
    static std::string Run(const std::wstring& commandLine)
    {
        testing::internal::CaptureStderr();
        EXPECT_EQ(RunLauncher(commandLine), 0);
        return testing::internal::GetCapturedStderr();
    }

    // The debugger output joined, and cut into records at each newline.
    static std::vector<std::string> DebuggerRecords()
    {
        const std::vector<std::string>& pieces = winmodel::DebugOutput();
        const std::string all = std::accumulate(pieces.begin(), pieces.end(), std::string());
        std::vector<std::string> records;
        std::size_t start = 0;
        for (std::size_t end; (end = all.find('\n', start)) != std::string::npos; start = end + 1)
            records.push_back(all.substr(start, end - start + 1));
        if (start < all.size()) records.push_back(all.substr(start));
        return records;
    }

    logtest::FixedClock clock_{logtest::kMarch7th2024};
};

struct RecordCase {
    const char* name;
    const wchar_t* commandLine;
    std::string par;  // the text after "par: "
    bool controlAndAlt;
};

const RecordCase kRecordCases[] = {
    {"no parameters", L"", "", false},
    {"plain text", L"--page 2", "--page 2", false},
    {"forced mode", L"forcerun:--page 2", "--page 2", false},
    {"a link from the shell keeps its closing quote", L"\"tessaluvian://open?x=1\"", "open?x=1\"", false},
    {"Chinese text in code page 936", L"\x4E2D\x6587", "\xD6\xD0\xCE\xC4", false},
    {"a character outside code page 936 empties the text", L"x \x0E01 y", "", false},
    {"no administrator suffix", L"", "", true},
    {"no administrator suffix after text", L"p", "p", true},
};

TEST_F(LaunchRecords, ClassPathAndParametersReachBothOutputs)
{
    for (const RecordCase& c : kRecordCases) {
        SCOPED_TRACE(c.name);
        winmodel::Reset();
        SetUp();
        winmodel::SetKeyDown(VK_CONTROL, c.controlAndAlt);
        winmodel::SetKeyDown(VK_MENU, c.controlAndAlt);

        const std::string standardError = Run(c.commandLine);

        const std::string par = kHeader + "par: " + c.par + "\n";
        EXPECT_EQ(winmodel::DebugOutput(), (std::vector<std::string>{kClassPath, par}));
        EXPECT_EQ(standardError, kClassPath + par);
        ASSERT_EQ(winmodel::ShellExecutes().size(), 1u);
    }
}

TEST_F(LaunchRecords, AreWrittenRightAfterTheMoveToTheInstallFolder)
{
    Run(L"p");
    // Nothing but the records between the folder change and the last record: they are complete
    // before the update or any later step makes its first call.
    const std::vector<std::string>& log = winmodel::CallLog();
    auto folder = std::find(log.begin(), log.end(), "SetCurrentDirectoryW");
    ASSERT_NE(folder, log.end());
    auto lastRecord = std::find(log.rbegin(), log.rend(), "OutputDebugStringA").base();
    ASSERT_GT(lastRecord, folder + 1);
    EXPECT_EQ(std::count(folder + 1, lastRecord, "OutputDebugStringA"), lastRecord - (folder + 1));
    EXPECT_EQ(std::count(log.begin(), folder, "OutputDebugStringA"), 0);
    EXPECT_EQ(std::count(lastRecord, log.end(), "OutputDebugStringA"), 0);
    EXPECT_EQ(std::count(lastRecord, log.end(), "ShellExecuteW"), 1);
}

TEST_F(LaunchRecords, LongParametersAreCutAtTheLimitAndStillEndTheLine)
{
    const std::wstring parameters(30000, L'p');
    const std::string standardError = Run(parameters);

    const std::string par = kHeader + "par: " + std::string(20000 - kHeader.size() - 5 - 1, 'p') + "\n";
    ASSERT_EQ(par.size(), 20000u);
    EXPECT_EQ(DebuggerRecords(), (std::vector<std::string>{kClassPath, par}));
    EXPECT_TRUE(standardError == kClassPath + par);
    for (const std::string& piece : winmodel::DebugOutput()) EXPECT_LE(piece.size(), 256u);
    // The main application still gets all of it.
    ASSERT_EQ(winmodel::ShellExecutes().size(), 1u);
    EXPECT_EQ(winmodel::ShellExecutes()[0].parameters, parameters);
}

}  // namespace
