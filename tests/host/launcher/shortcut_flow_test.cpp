// The launch path's shortcut steps: ProductConfig.xml beside the launcher, the pair of names for
// the interface language, and the values the refresh is given.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "../support/installed_launcher.h"
#include "winapi/winapi.h"

namespace {

const wchar_t kConfig[] = L"C:\\Program Files\\kivo app\\ProductConfig.xml";
const wchar_t kIconFile[] = L"C:\\Program Files\\kivo app\\kivo.ico";
const wchar_t kDesktop[] = L"C:\\Users\\Public\\Desktop";

std::wstring Link(const std::wstring& name) { return std::wstring(kDesktop) + L"\\" + name + L".lnk"; }

std::string Config(const char* cn, const char* en, const char* newCn, const char* newEn)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config>\n";
    auto element = [&text](const char* name, const char* value) {
        if (value) text += std::string("  <") + name + ">" + value + "</" + name + ">\n";
    };
    element("shortcut_cn", cn);
    element("shortcut_en", en);
    element("shortcut_new_cn", newCn);
    element("shortcut_new_en", newEn);
    return text + "</config>\n";
}

// 旧 and 新 ("old" and "new") as the Chinese names, UTF-8 in the file.
const char kOldCnUtf8[] = "\xE6\x97\xA7";
const char kNewCnUtf8[] = "\xE6\x96\xB0";
const wchar_t kOldCn[] = L"\x65E7";
const wchar_t kNewCn[] = L"\x65B0";

winmodel::ShellLinkData LinkTo(const std::wstring& target)
{
    winmodel::ShellLinkData data;
    data.path = target;
    data.description = L"before";
    data.iconPath = L"C:\\Old\\old.ico";
    data.iconIndex = 2;
    return data;
}

class ShortcutFlow : public InstalledLauncher {
protected:
    void SetUp() override
    {
        InstalledLauncher::SetUp();
        winmodel::MakeFolder(kDesktop);
    }

    void Launch()
    {
        EXPECT_EQ(RunLauncher(L"--page 2"), 0);
        // Whatever happened to the shortcut, the main application is started.
        ASSERT_EQ(winmodel::ShellExecutes().size(), 1u);
        EXPECT_EQ(winmodel::ShellExecutes()[0].parameters, L"--page 2");
    }

    static winmodel::ShellLinkData Read(const std::wstring& path)
    {
        winmodel::ShellLinkData data;
        EXPECT_TRUE(winmodel::ReadShellLink(path, &data));
        return data;
    }
};

TEST_F(ShortcutFlow, TheChineseNamesRenameTheLinkToTheLauncher)
{
    winmodel::WriteFile(kConfig, Config(kOldCnUtf8, "Kivo", kNewCnUtf8, "Kivo Studio"));
    winmodel::WriteFile(kIconFile, "icon");
    ASSERT_TRUE(winmodel::MakeShellLink(Link(kOldCn), LinkTo(L"D:\\Old\\Fennowick.exe")));
    ASSERT_TRUE(winmodel::MakeShellLink(Link(L"Kivo"), LinkTo(L"D:\\Old\\Fennowick.exe")));

    Launch();

    winmodel::ShellLinkData data = Read(Link(kNewCn));
    EXPECT_EQ(data.path, kLauncher);
    EXPECT_EQ(data.description, L"kivo");
    EXPECT_EQ(data.workingDirectory, kInstall);
    EXPECT_EQ(data.iconPath, L"C:\\Program Files\\kivo app//kivo.ico");
    EXPECT_EQ(data.iconIndex, 0);
    EXPECT_FALSE(winmodel::Exists(Link(kOldCn)));
    // The English pair is not the interface language's: its link is left alone.
    EXPECT_EQ(Read(Link(L"Kivo")).description, L"before");
    EXPECT_FALSE(winmodel::Exists(Link(L"Kivo Studio")));
    EXPECT_EQ(winmodel::ComInitCount(), 0);
}

TEST_F(ShortcutFlow, TheLanguageValuePicksThePairOfNames)
{
    struct LanguageCase {
        const wchar_t* value;  // null: no value at all
        bool english;
    };
    const LanguageCase cases[] = {{L"en-US", true}, {L"zh-CN", false}, {L"en-us", false}, {nullptr, false}};
    for (const LanguageCase& c : cases) {
        SCOPED_TRACE(c.value ? testing::PrintToString(std::wstring(c.value)) : "no value");
        winmodel::Reset();
        SetUp();
        if (c.value) winmodel::SetRegString(HKEY_CURRENT_USER, L"SOFTWARE\\kivo\\Language", L"", c.value);
        winmodel::WriteFile(kConfig, Config(kOldCnUtf8, "Kivo", kNewCnUtf8, "Kivo Studio"));
        ASSERT_TRUE(winmodel::MakeShellLink(Link(kOldCn), LinkTo(L"D:\\Old\\Fennowick.exe")));
        ASSERT_TRUE(winmodel::MakeShellLink(Link(L"Kivo"), LinkTo(L"D:\\Old\\Fennowick.exe")));

        Launch();

        const std::wstring renamed = c.english ? Link(L"Kivo Studio") : Link(kNewCn);
        const std::wstring untouched = c.english ? Link(kOldCn) : Link(L"Kivo");
        EXPECT_EQ(Read(renamed).path, kLauncher);
        EXPECT_EQ(Read(untouched).description, L"before");
        EXPECT_FALSE(winmodel::Exists(c.english ? Link(L"Kivo") : Link(kOldCn)));
        EXPECT_FALSE(winmodel::Exists(c.english ? Link(kNewCn) : Link(L"Kivo Studio")));
    }
}

TEST_F(ShortcutFlow, ARefreshHappensAfterTheUpdateAndBeforeTheStart)
{
    winmodel::WriteFile(kConfig, Config(kOldCnUtf8, nullptr, nullptr, nullptr));
    ASSERT_TRUE(winmodel::MakeShellLink(Link(kOldCn), LinkTo(L"D:\\Old\\Fennowick.exe")));
    Launch();
    const auto& log = winmodel::CallLog();
    auto folder = std::find(log.begin(), log.end(), "SetCurrentDirectoryW");
    auto com = std::find(log.begin(), log.end(), "CoInitialize");
    auto start = std::find(log.begin(), log.end(), "ShellExecuteW");
    ASSERT_NE(com, log.end());
    EXPECT_LT(folder, com);
    EXPECT_LT(com, start);
}

TEST_F(ShortcutFlow, WhatTheConfigurationGivesDecidesTheRefresh)
{
    struct FlowCase {
        const char* name;
        std::string config;  // empty: no ProductConfig.xml
        bool iconFile;
        // What the old link (named 旧) holds afterwards, or that the new one (新) was made.
        bool oldRefreshed;
        bool newMade;
    };
    const FlowCase cases[] = {
        {"no configuration file", "", true, false, false},
        {"malformed file", "<config><shortcut_cn>" + std::string(kOldCnUtf8) + "</shortcut_cn>", true, false, false},
        {"root without children: no old name", "<config/>", true, false, false},
        {"only English names: no Chinese old name", Config(nullptr, "Kivo", nullptr, "Kivo Studio"), true, false,
         false},
        {"no new name: updated in place", Config(kOldCnUtf8, nullptr, nullptr, nullptr), true, true, false},
        {"empty new name counts as none", Config(kOldCnUtf8, nullptr, "", nullptr), true, true, false},
        {"byte-order mark", "\xEF\xBB\xBF" + Config(kOldCnUtf8, nullptr, kNewCnUtf8, nullptr), true, false, true},
        {"missing icon keeps the link's own", Config(kOldCnUtf8, nullptr, nullptr, nullptr), false, true, false},
    };
    for (const FlowCase& c : cases) {
        SCOPED_TRACE(c.name);
        winmodel::Reset();
        SetUp();
        if (!c.config.empty()) winmodel::WriteFile(kConfig, c.config);
        if (c.iconFile) winmodel::WriteFile(kIconFile, "icon");
        ASSERT_TRUE(winmodel::MakeShellLink(Link(kOldCn), LinkTo(L"D:\\Old\\Fennowick.exe")));

        Launch();

        winmodel::ShellLinkData data;
        const bool oldThere = winmodel::ReadShellLink(Link(kOldCn), &data);
        EXPECT_EQ(oldThere, !c.newMade);
        EXPECT_EQ(winmodel::Exists(Link(kNewCn)), c.newMade);
        if (c.newMade) data = Read(Link(kNewCn));
        const bool refreshed = c.oldRefreshed || c.newMade;
        EXPECT_EQ(data.description, refreshed ? L"kivo" : L"before");
        if (refreshed) {
            EXPECT_EQ(data.path, kLauncher);
            EXPECT_EQ(data.iconPath, c.iconFile ? L"C:\\Program Files\\kivo app//kivo.ico" : L"C:\\Old\\old.ico");
        }
        EXPECT_EQ(winmodel::CallsNamed("CoInitialize"), refreshed ? 1 : 0);
        EXPECT_EQ(winmodel::ComInitCount(), 0);
    }
}

}  // namespace
