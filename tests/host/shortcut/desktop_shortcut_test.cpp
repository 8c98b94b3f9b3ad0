// The desktop shortcut refresh on the model: which link is opened, what it is saved as, when the
// old one is retired, and that COM and every object are given back on every path.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "../support/model_fixture.h"
#include "shortcut/desktop_shortcut.h"
#include "winapi/winapi.h"

namespace {

using shortcut::RefreshDesktopShortcut;
using winmodel::ShellLinkData;

const wchar_t kDesktop[] = L"C:\\Users\\Public\\Desktop";
const wchar_t kFolder[] = L"C:\\Program Files\\kivo app";
const wchar_t kLauncher[] = L"C:\\Program Files\\kivo app\\Fennowick.exe";
const wchar_t kMainApp[] = L"C:\\Program Files\\kivo app\\kivo.exe";
const wchar_t kIcon[] = L"C:\\Program Files\\kivo app//kivo.ico";

std::wstring Link(const std::wstring& name) { return std::wstring(kDesktop) + L"\\" + name + L".lnk"; }

ShellLinkData OldLinkTo(const std::wstring& target)
{
    ShellLinkData data;
    data.path = target;
    data.description = L"old description";
    data.workingDirectory = L"C:\\Old";
    data.iconPath = L"C:\\Old\\old.ico";
    data.iconIndex = 3;
    return data;
}

class DesktopShortcut : public ModelTest {
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        winmodel::MakeFolder(kDesktop);
        winmodel::WriteFile(kLauncher, "MZ");
        winmodel::WriteFile(kMainApp, "MZ");
        winmodel::WriteFile(kIcon, "icon");
    }

    int Refresh(const wchar_t* oldName, const wchar_t* newName, const wchar_t* target = kLauncher,
                const wchar_t* icon = kIcon)
    {
        return RefreshDesktopShortcut(oldName, newName, target, L"kivo", icon, kFolder);
    }

    static ShellLinkData Read(const std::wstring& linkPath)
    {
        ShellLinkData data;
        EXPECT_TRUE(winmodel::ReadShellLink(linkPath, &data)) << linkPath;
        return data;
    }

    static void ExpectRefreshed(const ShellLinkData& data, const std::wstring& iconPath = kIcon, int iconIndex = 0)
    {
        EXPECT_EQ(data.path, kLauncher);
        EXPECT_EQ(data.description, L"kivo");
        EXPECT_EQ(data.workingDirectory, kFolder);
        EXPECT_EQ(data.iconPath, iconPath);
        EXPECT_EQ(data.iconIndex, iconIndex);
    }

    static bool DesktopRefreshed()
    {
        return !winmodel::PostedMessages().empty() || !winmodel::ChangeNotifications().empty();
    }

    // COM given back, every object released, the folder location freed.
    static void ExpectEverythingReleased()
    {
        EXPECT_EQ(winmodel::ComInitCount(), 0);
        EXPECT_EQ(winmodel::LiveShellLinks(), 0);
        EXPECT_EQ(winmodel::LiveFolderLocations(), 0);
        EXPECT_EQ(winmodel::ShellLinksOutlivingCom(), 0);
    }
};

// ---- Which link is opened, where it is saved, what happens to the old one -------------------------

enum class After { Absent, Unchanged, Refreshed };

struct EffectCase {
    const char* name;
    const wchar_t* oldTarget;  // null: no old link
    const wchar_t* newName;    // null: no new name
    bool newLinkExists;
    int result;
    After oldLink;
    After newLink;
    bool desktopRefreshed;
};

const EffectCase kEffects[] = {
    {"old link only: updated in place", kLauncher, nullptr, false, 1, After::Refreshed, After::Absent, false},
    {"new name differs only in case: saved over itself", kLauncher, L"KIVO", false, 1, After::Refreshed,
     After::Absent, false},
    // The model answers with the short form, as Windows does: FENNOW~1.EXE is not Fennowick.exe.
    {"old target is this launcher under its short name: old kept", kLauncher, L"Kivo Studio", false, 1,
     After::Unchanged, After::Refreshed, false},
    {"old target with the launcher's name elsewhere, not on disk: old retired", L"D:\\Old\\FENNOWICK.EXE",
     L"Kivo Studio", false, 1, After::Absent, After::Refreshed, true},
    {"old target is the main application: old kept", kMainApp, L"Kivo Studio", false, 1, After::Unchanged,
     After::Refreshed, false},
    {"both links exist: the old one is the source and is retired", L"D:\\Old\\fennowick.exe", L"Kivo Studio", true,
     1, After::Absent, After::Refreshed, true},
    {"both links exist, old target is another program: old kept", kMainApp, L"Kivo Studio", true, 1,
     After::Unchanged, After::Refreshed, false},
    {"only the new link exists: updated in place", nullptr, L"Kivo Studio", true, 1, After::Absent,
     After::Refreshed, false},
    {"neither link exists: nothing is made", nullptr, L"Kivo Studio", false, -3, After::Absent, After::Absent,
     false},
    {"no old link and no new name", nullptr, nullptr, false, -3, After::Absent, After::Absent, false},
};

TEST_F(DesktopShortcut, EffectByStartingSituation)
{
    const ShellLinkData newLinkBefore = OldLinkTo(L"C:\\Elsewhere\\new.exe");
    for (const EffectCase& c : kEffects) {
        SCOPED_TRACE(c.name);
        winmodel::Reset();
        SetUp();
        if (c.oldTarget) {
            ASSERT_TRUE(winmodel::MakeShellLink(Link(L"kivo"), OldLinkTo(c.oldTarget)));
        }
        if (c.newLinkExists) {
            ASSERT_TRUE(winmodel::MakeShellLink(Link(c.newName), newLinkBefore));
        }

        EXPECT_EQ(Refresh(L"kivo", c.newName), c.result);

        ShellLinkData data;
        const bool oldThere = winmodel::ReadShellLink(Link(L"kivo"), &data);
        EXPECT_EQ(oldThere, c.oldLink != After::Absent);
        if (c.oldLink == After::Unchanged) {
            EXPECT_EQ(data.path, c.oldTarget);
            EXPECT_EQ(data.description, L"old description");
        }
        if (c.oldLink == After::Refreshed) ExpectRefreshed(data);
        if (c.newName && c.oldLink != After::Refreshed) {
            if (c.newLink == After::Refreshed) {
                ExpectRefreshed(Read(Link(c.newName)));
            } else {
                EXPECT_FALSE(winmodel::Exists(Link(c.newName)));
            }
        }

        EXPECT_EQ(DesktopRefreshed(), c.desktopRefreshed);
        // COM only when there is a link to open.
        EXPECT_EQ(winmodel::CallsNamed("CoInitialize"), c.result == -3 ? 0 : 1);
        ExpectEverythingReleased();
    }
}

TEST_F(DesktopShortcut, RetirementPostsF5ToTheDesktopAndNotifiesTheShell)
{
    ASSERT_TRUE(winmodel::MakeShellLink(Link(L"kivo"), OldLinkTo(L"D:\\Old\\Fennowick.exe")));
    EXPECT_EQ(Refresh(L"kivo", L"Kivo Studio"), 1);
    EXPECT_FALSE(winmodel::Exists(Link(L"kivo")));
    ASSERT_EQ(winmodel::PostedMessages().size(), 1u);
    const winmodel::PostedMessage& key = winmodel::PostedMessages()[0];
    EXPECT_EQ(key.window, winmodel::DesktopWindow());
    EXPECT_EQ(key.message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(key.wParam, static_cast<WPARAM>(VK_F5));
    EXPECT_EQ(key.lParam, 0);
    ASSERT_EQ(winmodel::ChangeNotifications().size(), 1u);
    const winmodel::ChangeNotification& notification = winmodel::ChangeNotifications()[0];
    EXPECT_EQ(notification.eventId, SHCNE_ASSOCCHANGED);
    EXPECT_EQ(notification.flags, static_cast<UINT>(SHCNF_FLUSH));
    EXPECT_TRUE(notification.itemsNull);
    // The old link goes only after its replacement was saved.
    const auto& log = winmodel::CallLog();
    auto save = std::find(log.begin(), log.end(), "IPersistFile::Save");
    auto remove = std::find(log.begin(), log.end(), "DeleteFileW");
    ASSERT_NE(remove, log.end());
    EXPECT_LT(save, remove);
}

TEST_F(DesktopShortcut, TheFileNameRuleComparesTheOldTargetsShortForm)
{
    struct RuleCase {
        const char* name;
        const wchar_t* launcher;   // targetPath, made on disk
        const wchar_t* oldTarget;  // made on disk when onDisk
        bool onDisk;
        bool retired;
    };
    const RuleCase cases[] = {
        // An 8.3 launcher name has no other short form: the folders may differ.
        {"8.3 name, old target in a long-named folder", L"C:\\kivo\\Launch.exe", L"C:\\Old Programs\\launch.exe",
         true, true},
        {"8.3 name, old target elsewhere, gone from disk", L"C:\\kivo\\Launch.exe", L"E:\\launch.EXE", false, true},
        {"long name, old target on disk: short form differs", L"C:\\kivo\\Fennowick.exe", L"C:\\kivo\\Fennowick.exe",
         true, false},
        {"long name, old target gone: the long form is compared", L"C:\\kivo\\Fennowick.exe",
         L"C:\\Gone\\Fennowick.exe", false, true},
        {"a forward slash is no separator", L"C:\\kivo\\Launch.exe", L"E:\\x/launch.exe", false, false},
        {"other file name", L"C:\\kivo\\Launch.exe", L"C:\\kivo\\kivo.exe", true, false},
    };
    for (const RuleCase& c : cases) {
        SCOPED_TRACE(c.name);
        winmodel::Reset();
        SetUp();
        winmodel::WriteFile(c.launcher, "MZ");
        if (c.onDisk) winmodel::WriteFile(c.oldTarget, "MZ");
        ASSERT_TRUE(winmodel::MakeShellLink(Link(L"kivo"), OldLinkTo(c.oldTarget)));
        EXPECT_EQ(Refresh(L"kivo", L"new", c.launcher), 1);
        EXPECT_EQ(winmodel::Exists(Link(L"kivo")), !c.retired);
        EXPECT_EQ(DesktopRefreshed(), c.retired);
        EXPECT_TRUE(winmodel::Exists(Link(L"new")));
    }
}

TEST_F(DesktopShortcut, NamesThatDifferOnlyInLetterCaseNameOneFile)
{
    // Non-ASCII letters too: retiring "the old one" would delete the link just saved.
    ASSERT_TRUE(winmodel::MakeShellLink(Link(L"Kiv\x00F6 \x0441\x0442\x0443\x0434\x0438\x044F"),
                                        OldLinkTo(L"D:\\Old\\Fennowick.exe")));
    EXPECT_EQ(Refresh(L"Kiv\x00F6 \x0441\x0442\x0443\x0434\x0438\x044F", L"KIV\x00D6 \x0421\x0422\x0423\x0414\x0418\x042F"),
              1);
    ExpectRefreshed(Read(Link(L"kiv\x00F6 \x0441\x0442\x0443\x0434\x0438\x044F")));
    EXPECT_FALSE(DesktopRefreshed());
}

TEST_F(DesktopShortcut, EarlyEndsTouchNeitherCOMNorLinks)
{
    ASSERT_TRUE(winmodel::MakeShellLink(Link(L"new"), OldLinkTo(kLauncher)));
    EXPECT_EQ(Refresh(nullptr, L"new"), -1);
    EXPECT_EQ(winmodel::CallCount(), 0);  // nothing was looked at

    // A shortcut on the user's own desktop is not the all-users one.
    ASSERT_TRUE(winmodel::MakeShellLink(L"C:\\Users\\someone\\Desktop\\kivo.lnk", OldLinkTo(kLauncher)));
    EXPECT_EQ(Refresh(L"kivo", nullptr), -3);

    winmodel::SetCommonDesktop(L"C:\\No\\Such\\Desktop");
    EXPECT_EQ(Refresh(L"kivo", L"new"), -2);
    winmodel::SetCommonDesktop(L"");
    EXPECT_EQ(Refresh(L"kivo", L"new"), -2);

    EXPECT_EQ(winmodel::CallsNamed("CoInitialize"), 0);
    EXPECT_EQ(Read(Link(L"new")).description, L"old description");
    ExpectEverythingReleased();
}

TEST_F(DesktopShortcut, ADesktopWithoutAPathIsNotTheDriveRoot)
{
    // Without a folder path the link path would be "\kivo.lnk" in the current drive's root.
    ASSERT_TRUE(winmodel::MakeShellLink(L"C:\\kivo.lnk", OldLinkTo(kLauncher)));
    winmodel::FailCall("SHGetPathFromIDListW");
    EXPECT_EQ(Refresh(L"kivo", nullptr), -2);
    EXPECT_EQ(Read(L"C:\\kivo.lnk").description, L"old description");
    ExpectEverythingReleased();

    winmodel::FailCall("SHGetFolderLocation", 2);
    EXPECT_EQ(Refresh(L"kivo", nullptr), -2);
    ExpectEverythingReleased();
}

TEST_F(DesktopShortcut, LinkPathsBeyondMaxPathChangeNothing)
{
    // The desktop path (23), a backslash and ".lnk" leave 231 units for a name.
    const std::wstring fits(231, L'n');
    const std::wstring tooLong(232, L'n');
    ASSERT_TRUE(winmodel::MakeShellLink(Link(L"kivo"), OldLinkTo(L"D:\\Old\\Fennowick.exe")));

    EXPECT_EQ(Refresh(tooLong.c_str(), nullptr), -3);
    EXPECT_EQ(Refresh(L"kivo", tooLong.c_str()), -3);
    EXPECT_EQ(Read(Link(L"kivo")).description, L"old description");
    EXPECT_EQ(winmodel::CallsNamed("CoInitialize"), 0);

    EXPECT_EQ(Refresh(L"kivo", fits.c_str()), 1);
    ExpectRefreshed(Read(Link(fits)));
    EXPECT_FALSE(winmodel::Exists(Link(L"kivo")));
    ExpectEverythingReleased();
}

// ---- The link's properties -----------------------------------------------------------------------

TEST_F(DesktopShortcut, TheIconIsSetOnlyWhenItsFileExists)
{
    struct IconCase {
        const char* name;
        const wchar_t* iconPath;
        bool iconOnDisk;
        const wchar_t* expectedPath;
        int expectedIndex;
    };
    const IconCase cases[] = {
        {"icon file present", kIcon, true, kIcon, 0},
        {"icon file missing: the old location is written back", kIcon, false, L"C:\\Old\\old.ico", 3},
        {"no icon path: as if missing", nullptr, true, L"C:\\Old\\old.ico", 3},
    };
    for (const IconCase& c : cases) {
        SCOPED_TRACE(c.name);
        winmodel::Reset();
        SetUp();
        if (!c.iconOnDisk) {
            ASSERT_TRUE(DeleteFileW(kIcon));
        }
        ASSERT_TRUE(winmodel::MakeShellLink(Link(L"kivo"), OldLinkTo(kMainApp)));
        EXPECT_EQ(Refresh(L"kivo", nullptr, kLauncher, c.iconPath), 1);
        ShellLinkData data = Read(Link(L"kivo"));
        EXPECT_EQ(data.iconPath, c.expectedPath);
        EXPECT_EQ(data.iconIndex, c.expectedIndex);
    }
}

TEST_F(DesktopShortcut, AbsentValuesLeaveTheLoadedProperties)
{
    ASSERT_TRUE(winmodel::MakeShellLink(Link(L"kivo"), OldLinkTo(L"D:\\Old\\Fennowick.exe")));
    EXPECT_EQ(RefreshDesktopShortcut(L"kivo", L"new", nullptr, nullptr, kIcon, nullptr), 1);
    ShellLinkData data = Read(Link(L"new"));
    EXPECT_EQ(data.path, L"D:\\Old\\Fennowick.exe");
    EXPECT_EQ(data.description, L"old description");
    EXPECT_EQ(data.workingDirectory, L"C:\\Old");
    EXPECT_EQ(data.iconPath, kIcon);
    // Without a target there is nothing to compare: the old link stays.
    EXPECT_TRUE(winmodel::Exists(Link(L"kivo")));
}

TEST_F(DesktopShortcut, TheShellLinkIsDrivenAsTheSystemExpects)
{
    ASSERT_TRUE(winmodel::MakeShellLink(Link(L"kivo"), OldLinkTo(kLauncher)));
    EXPECT_EQ(Refresh(L"kivo", L"new"), 1);
    std::vector<std::string> methods;
    for (const winmodel::ShellLinkCall& call : winmodel::ShellLinkCalls()) {
        methods.push_back(call.method);
        SCOPED_TRACE(call.method);
        if (call.method == "Load") {
            EXPECT_EQ(call.text, Link(L"kivo"));
            EXPECT_EQ(call.value, static_cast<long>(STGM_READWRITE));
        } else if (call.method == "GetPath") {
            EXPECT_EQ(call.value, static_cast<long>(SLGP_SHORTPATH));
            EXPECT_TRUE(call.pointerNull);  // no find data
        } else if (call.method == "Resolve") {
            EXPECT_EQ(call.value, static_cast<long>(SLR_UPDATE));
            EXPECT_TRUE(call.pointerNull);  // no window
        } else if (call.method == "Save") {
            EXPECT_EQ(call.text, Link(L"new"));
            EXPECT_EQ(call.value, TRUE);
        } else if (call.method == "SetIconLocation") {
            EXPECT_EQ(call.text, kIcon);
            EXPECT_EQ(call.value, 0);
        }
    }
    const std::vector<std::string> expected = {"Load", "GetPath", "Resolve", "SetPath", "SetIconLocation",
                                               "SetWorkingDirectory", "SetDescription", "Save"};
    EXPECT_EQ(methods, expected);
    const auto& log = winmodel::CallLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), "CoInitialize"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "CoUninitialize"), 1);
    EXPECT_EQ(log.back(), "CoUninitialize");
    ExpectEverythingReleased();
}

// ---- Failures --------------------------------------------------------------------------------------

TEST_F(DesktopShortcut, ALinkThatCannotBeOpenedIsLeftAlone)
{
    struct OpenCase {
        const char* name;
        const char* failingCall;
        bool oldLink;
    };
    const OpenCase cases[] = {
        {"no shell-link object", "CoCreateInstance", true},
        {"no IPersistFile", "QueryInterface", true},
        {"old link: GetPath fails", "IShellLinkW::GetPath", true},
        {"new link only: Load fails", "IPersistFile::Load", false},
    };
    for (const OpenCase& c : cases) {
        SCOPED_TRACE(c.name);
        winmodel::Reset();
        SetUp();
        const std::wstring link = Link(c.oldLink ? L"kivo" : L"new");
        ASSERT_TRUE(winmodel::MakeShellLink(link, OldLinkTo(L"D:\\Old\\Fennowick.exe")));
        winmodel::FailCall(c.failingCall);
        EXPECT_EQ(Refresh(L"kivo", L"new"), 0);
        EXPECT_EQ(Read(link).description, L"old description");
        EXPECT_EQ(winmodel::CallsNamed("IPersistFile::Save"), 0);
        EXPECT_EQ(winmodel::CallsNamed("CoUninitialize"), 1);
        ExpectEverythingReleased();
    }
}

TEST_F(DesktopShortcut, TheOldLinksPathDecidesNotItsLoad)
{
    // A load that fails leaves an empty link, whose path reads as empty but successfully: it is
    // filled in and saved, and with no old target nothing is retired.
    ASSERT_TRUE(winmodel::MakeShellLink(Link(L"kivo"), OldLinkTo(L"D:\\Old\\Fennowick.exe")));
    winmodel::FailCall("IPersistFile::Load");
    EXPECT_EQ(Refresh(L"kivo", L"new"), 1);
    ShellLinkData saved = Read(Link(L"new"));
    EXPECT_EQ(saved.path, kLauncher);
    EXPECT_EQ(saved.iconPath, kIcon);
    EXPECT_TRUE(winmodel::Exists(Link(L"kivo")));
    EXPECT_FALSE(DesktopRefreshed());
}

TEST_F(DesktopShortcut, AFailedSaveNeverRetiresTheOldLink)
{
    struct SaveCase {
        const char* name;
        bool readOnlyNewLink;
    };
    for (const SaveCase& c : {SaveCase{"save refused", false}, SaveCase{"new link read-only", true}}) {
        SCOPED_TRACE(c.name);
        winmodel::Reset();
        SetUp();
        ASSERT_TRUE(winmodel::MakeShellLink(Link(L"kivo"), OldLinkTo(L"D:\\Old\\Fennowick.exe")));
        if (c.readOnlyNewLink) {
            ASSERT_TRUE(winmodel::MakeShellLink(Link(L"new"), OldLinkTo(kMainApp)));
            winmodel::SetAttributes(Link(L"new"), FILE_ATTRIBUTE_READONLY);
        } else {
            winmodel::FailCall("IPersistFile::Save");
        }
        EXPECT_EQ(Refresh(L"kivo", L"new"), 1);
        EXPECT_EQ(Read(Link(L"kivo")).description, L"old description");
        EXPECT_EQ(winmodel::CallsNamed("DeleteFileW"), 0);
        EXPECT_FALSE(DesktopRefreshed());
        ExpectEverythingReleased();
    }
}

TEST_F(DesktopShortcut, AnOldLinkThatWillNotGoStillRefreshesTheDesktop)
{
    ASSERT_TRUE(winmodel::MakeShellLink(Link(L"kivo"), OldLinkTo(L"D:\\Old\\Fennowick.exe")));
    winmodel::FailCall("DeleteFileW");
    EXPECT_EQ(Refresh(L"kivo", L"new"), 1);
    EXPECT_TRUE(winmodel::Exists(Link(L"kivo")));
    EXPECT_EQ(winmodel::PostedMessages().size(), 1u);
    EXPECT_EQ(winmodel::ChangeNotifications().size(), 1u);
}

TEST_F(DesktopShortcut, COMIsBalancedEvenWhenItsInitialisationIsRefused)
{
    ASSERT_TRUE(winmodel::MakeShellLink(Link(L"kivo"), OldLinkTo(kLauncher)));
    winmodel::FailCall("CoInitialize");
    // Without COM the shell-link object cannot be made; nothing is uninitialised that was not set up.
    EXPECT_EQ(Refresh(L"kivo", nullptr), 0);
    EXPECT_EQ(winmodel::CallsNamed("CoUninitialize"), 0);
    ExpectEverythingReleased();
}

// Whatever call fails, COM and every object are given back, and the old link is gone only when
// its replacement is on the desktop (which for a name differing only in case is the same
// file: it must never go).
TEST_F(DesktopShortcut, EveryFailingCallKeepsTheInvariants)
{
    for (const wchar_t* newName : {L"new", L"KIVO"}) {
        const bool rename = std::wstring(newName) == L"new";
        for (long n = 1;; ++n) {
            SCOPED_TRACE(testing::Message() << newName << " failing call " << n);
            winmodel::Reset();
            SetUp();
            ASSERT_TRUE(winmodel::MakeShellLink(Link(L"kivo"), OldLinkTo(L"D:\\Old\\Fennowick.exe")));
            winmodel::FailNthCall(n);
            const int result = Refresh(L"kivo", newName);
            const bool faultHit = winmodel::FaultsHit() > 0;
            EXPECT_TRUE(result == -2 || result == -3 || result == 0 || result == 1) << result;
            // A failing setter does not stop the save, so the replacement may keep old values.
            if (!winmodel::Exists(Link(L"kivo"))) {
                EXPECT_TRUE(rename);
                Read(Link(newName));
            }
            if (result < 0) {
                EXPECT_EQ(winmodel::CallsNamed("CoInitialize"), 0);
            }
            ExpectEverythingReleased();
            if (!faultHit) {
                EXPECT_EQ(result, 1);
                EXPECT_EQ(winmodel::Exists(Link(L"kivo")), !rename);
                break;
            }
        }
    }
}

}  // namespace
