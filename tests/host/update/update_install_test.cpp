// Staging and installing the update on the model: the leftovers, the pending and the staged
// archive, and an install folder that a failed or corrupt update never damages.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "../support/model_fixture.h"
#include "tests/support/zip_builder.h"
#include "update/update_install.h"
#include "winapi/scoped_handle.h"
#include "winapi/winapi.h"

using ziptest::Archive;
using ziptest::DeflatedEntry;
using ziptest::Entry;
using ziptest::FileEntry;
using ziptest::FolderEntry;

namespace {

const std::wstring kInstall = L"C:\\Program Files\\kivo";

std::string UpdateArchive()
{
    Archive archive;
    archive.entries = {FolderEntry("bin/"), DeflatedEntry("bin/a.dll", std::string(70000, 'A') + "new dll"),
                       DeflatedEntry("readme.txt", "new readme"), DeflatedEntry("kivo.exe", "new kivo")};
    archive.entries[1].externalAttributes = 0x21;  // read-only archive
    archive.entries[2].localExtra = ziptest::ExtendedTimestamp(1, {1700000000});
    return ziptest::Build(archive);
}

class UpdateInstall : public ModelTest {
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        UseInstallFolder(kInstall);
    }

    void UseInstallFolder(const std::wstring& folder)
    {
        install_ = folder;
        winmodel::WriteFile(install_ + L"\\Fennowick.exe", "MZ launcher");
        winmodel::SetModulePath(install_ + L"\\Fennowick.exe");
        winmodel::SetCurrentDirectory(install_);
    }

    void InstallOldFiles()
    {
        winmodel::WriteFile(At(L"bin\\a.dll"), "old dll");
        winmodel::WriteFile(At(L"readme.txt"), "old readme");
        winmodel::WriteFile(At(L"kivo.exe"), "old kivo");
        winmodel::WriteFile(At(L"other.dat"), "not in the update");
    }

    std::wstring At(const std::wstring& relative) const { return install_ + L"\\" + relative; }

    std::string Content(const std::wstring& relative) const
    {
        std::string bytes;
        return winmodel::ReadWholeFile(At(relative), &bytes) ? bytes : "<missing>";
    }

    bool Exists(const std::wstring& relative) const { return winmodel::Exists(At(relative)); }

    // Every file below the sandbox with its bytes.
    static std::map<std::string, std::string> Snapshot()
    {
        std::map<std::string, std::string> files;
        const std::filesystem::path root = winmodel::SandboxRoot();
        for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
            if (!item.is_regular_file()) continue;
            std::string bytes;
            std::ifstream in(item.path(), std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            files[std::filesystem::relative(item.path(), root).generic_string()] = bytes;
        }
        return files;
    }

    void RunUpdate()
    {
        update::StageUpdate();
        update::ApplyUpdateArchive();
    }

    void ExpectNewFilesInstalled()
    {
        EXPECT_TRUE(Content(L"bin\\a.dll") == std::string(70000, 'A') + "new dll");
        EXPECT_EQ(Content(L"readme.txt"), "new readme");
        EXPECT_EQ(Content(L"kivo.exe"), "new kivo");
        EXPECT_EQ(Content(L"other.dat"), "not in the update");
    }

    void ExpectOldFilesIntact()
    {
        EXPECT_EQ(Content(L"bin\\a.dll"), "old dll");
        EXPECT_EQ(Content(L"readme.txt"), "old readme");
        EXPECT_EQ(Content(L"kivo.exe"), "old kivo");
        EXPECT_EQ(Content(L"other.dat"), "not in the update");
    }

    std::wstring install_;
};

TEST_F(UpdateInstall, FindsTheModuleFolderInTheAnsiCodePage)
{
    char folder[1024];
    ASSERT_TRUE(update::GetModuleFolderAnsi(folder));
    EXPECT_STREQ(folder, "C:\\Program Files\\kivo\\");

    winmodel::SetModulePath(L"C:\\Caf\x00E9\\Fennowick.exe");
    ASSERT_TRUE(update::GetModuleFolderAnsi(folder));
    EXPECT_STREQ(folder, "C:\\Caf\xE9\\");

    struct Case {
        const char* name;
        std::wstring modulePath;
        bool fails;
    } cases[] = {
        {"no backslash", L"Fennowick.exe", true},
        {"a path cut by the buffer", L"C:\\" + std::wstring(1100, L'x') + L"\\Fennowick.exe", true},
        {"just fits", L"C:\\" + std::wstring(1004, L'x') + L"\\Fennowick.exe", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        winmodel::SetModulePath(c.modulePath);
        EXPECT_EQ(update::GetModuleFolderAnsi(folder), !c.fails);
    }
    winmodel::SetModulePath(At(L"Fennowick.exe"));
    winmodel::FailCall("GetModuleFileNameA", winmodel::CallsNamed("GetModuleFileNameA") + 1);
    EXPECT_FALSE(update::GetModuleFolderAnsi(folder));
}

TEST_F(UpdateInstall, LeftoversAloneAreDeletedAndNothingElseChanges)
{
    InstallOldFiles();
    for (const wchar_t* leftover : {L"Updater.exe", L"update.td", L"update.td0", L"update.td1", L"update.td2", L"update.td3"})
        winmodel::WriteFile(At(L"temp\\") + leftover, "leftover");
    winmodel::WriteFile(At(L"temp\\keep.me"), "kept");
    winmodel::WriteFile(At(L"temp\\update.td4"), "kept");
    auto before = Snapshot();
    RunUpdate();
    auto after = Snapshot();
    for (const char* leftover : {"Updater.exe", "update.td", "update.td0", "update.td1", "update.td2", "update.td3"})
        EXPECT_EQ(before.erase(std::string("C/Program Files/kivo/temp/") + leftover), 1u) << leftover;
    EXPECT_EQ(after, before);
    // Six deletions, in their order, and no other file call.
    EXPECT_EQ(winmodel::CallsNamed("_unlink"), 6);
    EXPECT_EQ(winmodel::CallsNamed("CopyFileA"), 0);
    EXPECT_EQ(winmodel::CallsNamed("CreateFileW"), 0);
}

TEST_F(UpdateInstall, APendingUpdateOverAStagedOneIsInstalledAndBothArchivesGo)
{
    InstallOldFiles();
    Archive older;
    older.entries = {DeflatedEntry("readme.txt", "older readme"), DeflatedEntry("only-old.txt", "from the older update")};
    winmodel::WriteFile(At(L"update.zip"), ziptest::Build(older));
    winmodel::WriteFile(At(L"temp\\update.zip"), UpdateArchive());
    RunUpdate();
    ExpectNewFilesInstalled();
    EXPECT_FALSE(Exists(L"only-old.txt"));
    EXPECT_FALSE(Exists(L"update.zip"));
    EXPECT_FALSE(Exists(L"temp\\update.zip"));
}

TEST_F(UpdateInstall, FoldersFilesAttributesAndTimesAreInstalled)
{
    winmodel::SetTimeZoneBiasMinutes(-60);
    winmodel::WriteFile(At(L"readme.txt"), "old readme");
    winmodel::WriteFile(At(L"update.zip"), UpdateArchive());
    update::ApplyUpdateArchive();
    EXPECT_EQ(winmodel::Attributes(At(L"bin")), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(winmodel::Attributes(At(L"bin\\a.dll")), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(Content(L"readme.txt"), "new readme");
    EXPECT_EQ(winmodel::Attributes(At(L"readme.txt")), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));

    auto writeTime = [&](const std::wstring& relative) {
        winapi::ScopedFile file(CreateFileW(At(relative).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        FILETIME creation, access, write;
        GetFileTime(file.Get(), &creation, &access, &write);
        return (static_cast<long long>(write.dwHighDateTime) << 32) | write.dwLowDateTime;
    };
    EXPECT_EQ(writeTime(L"readme.txt"), (1700000000LL + 11644473600LL) * 10000000LL);
    // 2021-03-04 10:20:30 local, one hour ahead of UTC.
    SYSTEMTIME st = {2021, 3, 0, 4, 9, 20, 30, 0};
    FILETIME utc;
    SystemTimeToFileTime(&st, &utc);
    EXPECT_EQ(writeTime(L"kivo.exe"), (static_cast<long long>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime);
    EXPECT_FALSE(Exists(L"update.zip"));
}

TEST_F(UpdateInstall, AReadOnlyTargetStaysAndTheRestIsInstalled)
{
    InstallOldFiles();
    winmodel::SetAttributes(At(L"readme.txt"), FILE_ATTRIBUTE_READONLY);
    winmodel::WriteFile(At(L"temp\\update.zip"), UpdateArchive());
    RunUpdate();
    EXPECT_EQ(Content(L"readme.txt"), "old readme");
    EXPECT_EQ(winmodel::Attributes(At(L"readme.txt")), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(Content(L"kivo.exe"), "new kivo");
    EXPECT_TRUE(Content(L"bin\\a.dll") == std::string(70000, 'A') + "new dll");
    EXPECT_FALSE(Exists(L"update.zip"));
}

// The running kivo.exe holds its image without sharing: it cannot be replaced until the guard has
// ended it; the same update then replaces it.
TEST_F(UpdateInstall, ALockedProgramIsReplacedOnceItsLockIsGone)
{
    InstallOldFiles();
    winmodel::LockFile(At(L"kivo.exe"));
    winmodel::WriteFile(At(L"temp\\update.zip"), UpdateArchive());
    RunUpdate();
    EXPECT_EQ(Content(L"kivo.exe"), "old kivo");
    EXPECT_EQ(Content(L"readme.txt"), "new readme");

    winmodel::LockFile(At(L"kivo.exe"), false);
    winmodel::WriteFile(At(L"temp\\update.zip"), UpdateArchive());
    RunUpdate();
    ExpectNewFilesInstalled();
}

TEST_F(UpdateInstall, BrokenUpdatesLeaveTheInstalledFilesIntact)
{
    const std::string good = UpdateArchive();
    Archive badCrc;
    badCrc.entries = {DeflatedEntry("readme.txt", "new readme"), DeflatedEntry("kivo.exe", "new kivo"),
                      DeflatedEntry("bin/a.dll", "new dll")};
    for (Entry& e : badCrc.entries) e.crc = 0xBADC0DE;
    Archive stored;
    stored.entries = {FileEntry("kivo.exe", std::string(5000, 'k'))};
    std::string storedBytes = ziptest::Build(stored);
    storedBytes[storedBytes.find("kivo.exe") + 8 + 100] ^= 0x55;  // one data byte changed
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"not an archive", "MZ\x90\x00 this is a program"},
        {"empty file", ""},
        {"only an end record", ziptest::Build(Archive{})},
        {"truncated in its data", good.substr(0, good.size() / 2)},
        {"truncated in its central directory", good.substr(0, good.size() - 40)},
        {"every entry with a bad CRC-32", ziptest::Build(badCrc)},
        {"a changed data byte", storedBytes},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        winmodel::Reset();
        SetUp();
        InstallOldFiles();
        winmodel::WriteFile(At(L"temp\\update.zip"), c.bytes);
        RunUpdate();
        ExpectOldFilesIntact();
        EXPECT_FALSE(Exists(L"update.zip"));
        EXPECT_FALSE(Exists(L"temp\\update.zip"));
        EXPECT_EQ(winmodel::OpenFileHandles(), 0);
    }
}

// A copy that fails keeps the pending update for the next launch instead of losing it.
TEST_F(UpdateInstall, AFailedCopyKeepsThePendingUpdate)
{
    InstallOldFiles();
    winmodel::WriteFile(At(L"temp\\update.zip"), UpdateArchive());
    winmodel::FailCall("CopyFileA", 1, ERROR_DISK_FULL);
    RunUpdate();
    ExpectOldFilesIntact();
    EXPECT_TRUE(Exists(L"temp\\update.zip"));
    EXPECT_FALSE(Exists(L"update.zip"));

    RunUpdate();  // the next launch
    ExpectNewFilesInstalled();
    EXPECT_FALSE(Exists(L"temp\\update.zip"));
}

// An install folder the ANSI code page cannot spell: nothing is staged, but a staged update.zip
// is still applied through the current directory.
TEST_F(UpdateInstall, AnInstallFolderOutsideTheAnsiCodePage)
{
    UseInstallFolder(L"C:\\Program Files\\\x30AD\x30DC");
    InstallOldFiles();
    winmodel::WriteFile(At(L"temp\\update.zip"), UpdateArchive());
    winmodel::WriteFile(At(L"temp\\update.td"), "leftover");
    RunUpdate();
    EXPECT_TRUE(Exists(L"temp\\update.zip"));
    EXPECT_TRUE(Exists(L"temp\\update.td"));
    ExpectOldFilesIntact();

    winmodel::WriteFile(At(L"update.zip"), UpdateArchive());
    RunUpdate();
    ExpectNewFilesInstalled();
    EXPECT_FALSE(Exists(L"update.zip"));
}

// Nothing is deleted ahead of the extractor: a name the narrow code page would have turned into
// another file's name, and an entry that fails, leave the installed files as they were.
TEST_F(UpdateInstall, NoFileIsDeletedBeforeItsReplacementIsComplete)
{
    InstallOldFiles();
    Archive archive;
    archive.entries = {DeflatedEntry("\xEF\xBD\x92\xEF\xBD\x85\xEF\xBD\x81\xEF\xBD\x84\xEF\xBD\x8D\xEF\xBD\x85.txt", "full-width"),
                       DeflatedEntry("kivo.exe", "new kivo")};
    archive.entries[1].crc = 1;
    winmodel::WriteFile(At(L"update.zip"), ziptest::Build(archive));
    update::ApplyUpdateArchive();
    EXPECT_EQ(Content(L"\xFF52\xFF45\xFF41\xFF44\xFF4D\xFF45.txt"), "full-width");
    ExpectOldFilesIntact();
}

TEST_F(UpdateInstall, WithoutUpdateZipNothingIsOpened)
{
    update::ApplyUpdateArchive();
    EXPECT_EQ(winmodel::CallsNamed("CreateFileW"), 0);
    EXPECT_EQ(winmodel::CallsNamed("_unlink"), 0);
}

// ---- in the launch flow -------------------------------------------------------------------------

class UpdateInLaunch : public UpdateInstall {
protected:
    int Launch()
    {
        std::wstring commandLine;
        return wWinMain(winmodel::ModuleInstance(), nullptr, commandLine.data(), SW_SHOWNORMAL);
    }
};

TEST_F(UpdateInLaunch, TheLaunchInstallsThePendingUpdateBeforeStartingKivo)
{
    InstallOldFiles();
    winmodel::SetCurrentDirectory(L"C:\\Users\\someone");
    winmodel::WriteFile(At(L"temp\\update.zip"), UpdateArchive());
    EXPECT_EQ(Launch(), 0);
    ExpectNewFilesInstalled();
    ASSERT_EQ(winmodel::ShellExecutes().size(), 1u);
    EXPECT_EQ(winmodel::ShellExecutes()[0].currentDirectory, kInstall);
}

// With administrator rights, a launcher that could not move to its own folder must not extract
// an update.zip from wherever it was started.
TEST_F(UpdateInLaunch, NoUpdateWhenTheLauncherFolderCannotBeEntered)
{
    InstallOldFiles();
    winmodel::SetCurrentDirectory(L"C:\\Users\\someone");
    Archive foreign;
    foreign.entries = {DeflatedEntry("planted.txt", "from the start folder")};
    winmodel::WriteFile(L"C:\\Users\\someone\\update.zip", ziptest::Build(foreign));
    winmodel::WriteFile(At(L"temp\\update.zip"), UpdateArchive());
    winmodel::WriteFile(At(L"temp\\update.td"), "leftover");
    winmodel::FailCall("SetCurrentDirectoryW", 1);
    EXPECT_EQ(Launch(), 0);
    EXPECT_FALSE(winmodel::Exists(L"C:\\Users\\someone\\planted.txt"));
    EXPECT_TRUE(winmodel::Exists(L"C:\\Users\\someone\\update.zip"));
    EXPECT_TRUE(Exists(L"temp\\update.zip"));
    EXPECT_TRUE(Exists(L"temp\\update.td"));
    ExpectOldFilesIntact();
    EXPECT_EQ(winmodel::ShellExecutes().size(), 1u);  // the launch goes on
}

}  // namespace
