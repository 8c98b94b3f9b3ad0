// The launch path end to end on the model: what reaches kivo.exe, from where, and in which order.
#include <gtest/gtest.h>

#include <algorithm>

#include "../support/installed_launcher.h"
#include "winapi/winapi.h"

namespace {

using MainFlow = InstalledLauncher;

struct ParameterCase {
    const char* name;
    const wchar_t* commandLine;
    const wchar_t* parameters;
};

const ParameterCase kParameterCases[] = {
    {"empty", L"", L""},
    {"text without prefixes", L"--page 2", L"--page 2"},
    {"forced text", L"forcerun:--page 2", L"--page 2"},
    {"quoted link", L"\"tessaluvian://open?x=1\"", L"open?x=1\""},
    {"forced link", L"forcerun:tessaluvian://open", L"open"},
    {"text link text", L"a tessaluvian://b c", L"b c"},
};

TEST_F(MainFlow, StartsKivoWithTheParametersFromTheInstallFolder)
{
    for (const ParameterCase& c : kParameterCases) {
        SCOPED_TRACE(c.name);
        winmodel::Reset();
        SetUp();
        EXPECT_EQ(Run(c.commandLine), 0);
        ASSERT_EQ(winmodel::ShellExecutes().size(), 1u);
        const winmodel::ShellExecuteCall& call = winmodel::ShellExecutes()[0];
        EXPECT_TRUE(call.ownerNull);
        EXPECT_EQ(call.verb, L"open");
        EXPECT_EQ(call.file, L"kivo.exe");
        EXPECT_EQ(call.parameters, c.parameters);
        EXPECT_TRUE(call.directoryNull);
        EXPECT_EQ(call.show, SW_SHOW);
        EXPECT_EQ(call.currentDirectory, kInstall);
    }
}

TEST_F(MainFlow, ControlAndAltAppendIsAdminAfterTheShortcutStep)
{
    struct KeyCase {
        bool control, alt;
        const wchar_t* commandLine;
        const wchar_t* parameters;
        std::vector<int> queries;
    };
    const KeyCase cases[] = {
        {true, true, L"", L" IsAdmin", {VK_CONTROL, VK_MENU}},
        {true, true, L"x", L"x IsAdmin", {VK_CONTROL, VK_MENU}},
        {true, false, L"x", L"x", {VK_CONTROL, VK_MENU}},
        {false, true, L"x", L"x", {VK_CONTROL}},  // Alt is not asked when Ctrl is up
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.control << c.alt);
        winmodel::Reset();
        SetUp();
        winmodel::SetKeyDown(VK_CONTROL, c.control);
        winmodel::SetKeyDown(VK_MENU, c.alt);
        EXPECT_EQ(Run(c.commandLine), 0);
        ASSERT_EQ(winmodel::ShellExecutes().size(), 1u);
        EXPECT_EQ(winmodel::ShellExecutes()[0].parameters, c.parameters);
        EXPECT_EQ(winmodel::KeyStateQueries(), c.queries);
    }
}

TEST_F(MainFlow, KeysAreReadJustBeforeTheStart)
{
    Run(L"");
    const auto& log = winmodel::CallLog();
    auto key = std::find(log.begin(), log.end(), "GetAsyncKeyState");
    auto start = std::find(log.begin(), log.end(), "ShellExecuteW");
    auto folder = std::find(log.begin(), log.end(), "SetCurrentDirectoryW");
    ASSERT_NE(key, log.end());
    EXPECT_LT(folder, key);
    EXPECT_LT(key, start);
}

TEST_F(MainFlow, FailuresOfEarlierStepsDoNotStopTheLaunch)
{
    for (const char* call : {"SetCurrentDirectoryW", "GetModuleFileNameW", "GetAsyncKeyState"}) {
        SCOPED_TRACE(call);
        winmodel::Reset();
        SetUp();
        winmodel::FailCall(call);
        EXPECT_EQ(Run(L"p"), 0);
        ASSERT_EQ(winmodel::ShellExecutes().size(), 1u);
        EXPECT_EQ(winmodel::ShellExecutes()[0].parameters, L"p");
    }
}

TEST_F(MainFlow, AFailedStartStillReturnsZero)
{
    winmodel::FailCall("ShellExecuteW");
    EXPECT_EQ(Run(L""), 0);
}

TEST_F(MainFlow, ALauncherFolderTooLongForThePathBuffersSkipsOnlyTheShortcut)
{
    // 250 characters of folder: the configuration path would need more than 260 units.
    std::wstring folder = L"C:\\" + std::wstring(246, L'f');
    winmodel::MakeFolder(folder);
    winmodel::SetModulePath(folder + L"\\F.exe");
    EXPECT_EQ(Run(L"x"), 0);
    ASSERT_EQ(winmodel::ShellExecutes().size(), 1u);
    EXPECT_EQ(winmodel::ShellExecutes()[0].currentDirectory, folder);
}

TEST_F(MainFlow, AModulePathFillingTheBufferIsCutNotOverrun)
{
    std::wstring path = L"C:\\" + std::wstring(400, L'p') + L"\\F.exe";
    winmodel::SetModulePath(path);
    EXPECT_EQ(Run(L"x"), 0);
    EXPECT_EQ(winmodel::ShellExecutes().size(), 1u);
}

}  // namespace
