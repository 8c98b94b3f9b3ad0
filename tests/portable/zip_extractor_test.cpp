// The zip extractor through the Win32 API only, so that it runs on the model and under Wine:
// names, extraction into folders, failed entries that leave the old file, and archives made by
// real tools extracted byte for byte with their write times.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/archive_folder.h"
#include "tests/support/tool_archives.h"
#include "tests/support/zip_builder.h"
#include "tests/support/zip_name_cases.h"
#include "update/zip_extractor.h"

using namespace update;
using ziptest::Archive;
using ziptest::Entry;
using ziptest::FileEntry;
using ziptest::FolderEntry;
using ziptest::Ticks;
using ziptest::ToolEntry;

namespace {

class Extraction : public ziptest::ArchiveFolder {
protected:
    void TearDown() override
    {
        CloseExtractor();
        ArchiveFolder::TearDown();
    }

    void CloseExtractor()
    {
        if (handle_) handle_->extractor->Close();
        handle_.reset();
    }

    ZipExtractor* Open(const std::string& bytes)
    {
        CloseExtractor();
        PlaceArchive(bytes);
        handle_ = OpenZipHandle();
        return handle_ ? handle_->extractor.get() : nullptr;
    }
    ZipExtractor* Open(const Archive& archive) { return Open(ziptest::Build(archive)); }

    std::string Content(const std::wstring& relative) const
    {
        std::string bytes;
        return ziptest::ReadWholeFile(Path(relative), &bytes) ? bytes : "<missing>";
    }

    static long long WriteTime(const std::wstring& path)
    {
        winapi::ScopedFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        FILETIME creation, access, write;
        if (!file || !GetFileTime(file.Get(), &creation, &access, &write)) return -1;
        return Ticks(write);
    }

    std::optional<ZipHandle> handle_;
};

TEST_F(Extraction, NamesAreGuardedAndUnsafeOnesRefused)
{
    Archive archive;
    for (const ziptest::NameCase& c : ziptest::kNameCases) archive.entries.push_back(FileEntry(c.stored));
    archive.entries.push_back(FileEntry(std::string(300, 'n')));  // longer than the name buffer
    ZipExtractor* extractor = Open(archive);
    ASSERT_NE(extractor, nullptr);

    for (size_t i = 0; i < std::size(ziptest::kNameCases); ++i) {
        const ziptest::NameCase& c = ziptest::kNameCases[i];
        SCOPED_TRACE(c.stored);
        EntryRecord record;
        record.name[0] = L'#';
        const ZipResult result = extractor->QueryEntry(static_cast<int32_t>(i), record);
        if (c.name) {
            ASSERT_EQ(result, ZipOk);
            EXPECT_STREQ(record.name, c.name);
        } else {
            EXPECT_EQ(result, ZipNameRefused);
            EXPECT_EQ(record.name[0], L'#');  // the record is not touched
            EXPECT_EQ(extractor->ExtractEntry(static_cast<int32_t>(i), L"anything.txt"), ZipNameRefused);
            EXPECT_EQ(GetFileAttributesW(Path(L"anything.txt").c_str()), INVALID_FILE_ATTRIBUTES);
        }
    }
    EntryRecord record;
    EXPECT_EQ(extractor->QueryEntry(static_cast<int32_t>(std::size(ziptest::kNameCases)), record), ZipNameRefused);
}

TEST_F(Extraction, CreatesFoldersAndWritesWhereTheTargetSays)
{
    for (const wchar_t* made : {L"sub", L"sub\\dir", L"sub\\deeper", L"sub\\deeper\\file.txt", L"x.txt", L"own",
                                L"own\\place", L"own\\place\\e.txt", L"back", L"back\\slash", L"back\\slash\\f.txt",
                                L"empty.txt"})
        WillRemove(made);
    Archive archive;
    archive.entries = {FolderEntry("sub/dir/"), FileEntry("sub/deeper/file.txt", "deep"), FileEntry("x.txt", "top"),
                       FileEntry("elsewhere.txt", "own path"), FileEntry("back\\slash\\f.txt", "bs"),
                       FileEntry("empty.txt", "")};
    ZipExtractor* extractor = Open(archive);
    ASSERT_NE(extractor, nullptr);
    EXPECT_EQ(extractor->ExtractEntry(0, L"sub/dir/"), ZipOk);
    EXPECT_EQ(GetFileAttributesW(Path(L"sub").c_str()) & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesW(Path(L"sub\\dir").c_str()) & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(extractor->ExtractEntry(1, L"sub/deeper/file.txt"), ZipOk);
    EXPECT_EQ(Content(L"sub\\deeper\\file.txt"), "deep");
    EXPECT_EQ(extractor->ExtractEntry(2, L"x.txt"), ZipOk);
    EXPECT_EQ(Content(L"x.txt"), "top");
    // A target with a drive is a path of its own.
    EXPECT_EQ(extractor->ExtractEntry(3, Path(L"own\\place\\e.txt").c_str()), ZipOk);
    EXPECT_EQ(Content(L"own\\place\\e.txt"), "own path");
    EXPECT_EQ(extractor->ExtractEntry(4, L"back\\slash\\f.txt"), ZipOk);
    EXPECT_EQ(Content(L"back\\slash\\f.txt"), "bs");
    // A target that names a folder cannot be a file.
    EXPECT_EQ(extractor->ExtractEntry(2, L"sub/"), ZipFileUnavailable);

    // An empty entry becomes an empty file with its times.
    EntryRecord record;
    ASSERT_EQ(extractor->QueryEntry(5, record), ZipOk);
    EXPECT_EQ(extractor->ExtractEntry(5, record.name), ZipOk);
    EXPECT_EQ(Content(L"empty.txt"), "");
    EXPECT_EQ(WriteTime(Path(L"empty.txt")), Ticks(record.lastWriteTime));
}

// A failed or corrupt entry leaves the file it would replace as it was, and nothing beside it:
// each case has a folder of its own that must be empty again once the old file is deleted.
TEST_F(Extraction, AFailedEntryLeavesTheOldFileInPlace)
{
    const std::string text = std::string(50000, 'n') + "new content";
    struct FailCase {
        const char* name;
        Entry entry;
        ZipResult result;
        const char* password;
    };
    std::vector<FailCase> cases;
    Entry e = FileEntry("target.bin", text);
    e.method = 8;
    e.crc = 0x12345678;
    cases.push_back({"CRC-32 mismatch", e, ZipDataFailed, nullptr});
    e = FileEntry("target.bin", text);
    e.method = 8;
    e.uncompressedSize = static_cast<uint32_t>(text.size() + 10);
    cases.push_back({"deflate stream ends early", e, ZipDataFailed, nullptr});
    e = FileEntry("target.bin", text);
    e.method = 8;
    e.storedBytes = ziptest::RawDeflate(text);
    e.storedBytes->resize(e.storedBytes->size() / 2);
    cases.push_back({"deflate stream cut", e, ZipDataFailed, nullptr});
    e = FileEntry("target.bin", text);
    e.storedBytes = text.substr(0, 30000);
    e.uncompressedSize = static_cast<uint32_t>(text.size());
    cases.push_back({"stored, compressed size too small", e, ZipDataFailed, nullptr});
    e = FileEntry("target.bin", text);
    e.password = "right";
    e.checkByte = static_cast<unsigned char>((ziptest::Crc(text) >> 24) ^ 0x5A);
    cases.push_back({"wrong password", e, ZipWrongPassword, "right"});
    e = FileEntry("target.bin", text);
    e.password = "right";
    cases.push_back({"no password for an encrypted entry", e, ZipWrongPassword, nullptr});

    for (size_t i = 0; i < cases.size(); ++i) {
        const FailCase& c = cases[i];
        SCOPED_TRACE(c.name);
        const std::wstring folder = L"case" + std::to_wstring(i);
        ASSERT_TRUE(CreateDirectoryW(Path(folder).c_str(), nullptr));
        ASSERT_TRUE(ziptest::WriteWholeFile(Path(folder + L"\\target.bin"), "old content"));
        Archive archive;
        archive.entries = {c.entry};
        ZipExtractor* extractor = Open(archive);
        ASSERT_NE(extractor, nullptr);
        if (c.password) extractor->SetPassword(c.password);
        EXPECT_EQ(extractor->ExtractEntry(0, (folder + L"\\target.bin").c_str()), c.result);
        EXPECT_TRUE(Content(folder + L"\\target.bin") == "old content");
        EXPECT_TRUE(DeleteFileW(Path(folder + L"\\target.bin").c_str()));
        EXPECT_TRUE(RemoveDirectoryW(Path(folder).c_str())) << "something was left beside the target";
    }
}

TEST_F(Extraction, AReadOnlyTargetIsNotReplaced)
{
    WillRemove(L"ro.txt");
    WillRemove(L"plain.txt");
    ASSERT_TRUE(ziptest::WriteWholeFile(Path(L"ro.txt"), "old"));
    ASSERT_TRUE(SetFileAttributesW(Path(L"ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(ziptest::WriteWholeFile(Path(L"plain.txt"), "old"));
    Archive archive;
    archive.entries = {FileEntry("ro.txt", "new"), FileEntry("plain.txt", "new")};
    ZipExtractor* extractor = Open(archive);
    ASSERT_NE(extractor, nullptr);
    EXPECT_EQ(extractor->ExtractEntry(0, L"ro.txt"), ZipFileUnavailable);
    EXPECT_EQ(Content(L"ro.txt"), "old");
    EXPECT_EQ(extractor->ExtractEntry(1, L"plain.txt"), ZipOk);
    EXPECT_EQ(Content(L"plain.txt"), "new");
}

TEST_F(Extraction, AnEncryptedEntryWithItsPasswordIsWritten)
{
    WillRemove(L"secret.txt");
    Entry e = FileEntry("secret.txt", std::string(30000, 's'));
    e.method = 8;
    e.password = "pw";
    Archive archive;
    archive.entries = {e};
    ZipExtractor* extractor = Open(archive);
    ASSERT_NE(extractor, nullptr);
    extractor->SetPassword("pw");
    EXPECT_EQ(extractor->ExtractEntry(0, L"secret.txt"), ZipOk);
    EXPECT_TRUE(Content(L"secret.txt") == e.data);
}

// ---- archives made by real tools ----------------------------------------------------------------

// The write time as the extractor must compute it: the extended timestamp, or the DOS time taken
// as local time with the bias in force now.
long long ExpectedWriteTime(const ToolEntry& e)
{
    if (e.unixTimes[0] != "-") return ziptest::UnixTicks(std::stoll(e.unixTimes[0]));
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(e.dos[0]);
    st.wMonth = static_cast<WORD>(e.dos[1]);
    st.wDay = static_cast<WORD>(e.dos[2]);
    st.wHour = static_cast<WORD>(e.dos[3]);
    st.wMinute = static_cast<WORD>(e.dos[4]);
    st.wSecond = static_cast<WORD>(e.dos[5]);
    FILETIME local = {}, utc = {};
    SystemTimeToFileTime(&st, &local);
    LocalFileTimeToFileTime(&local, &utc);
    return Ticks(utc);
}

TEST_F(Extraction, RealToolArchivesExtractByteForByte)
{
    const auto archives = ziptest::LoadToolArchives();
    ASSERT_EQ(archives.size(), 8u) << "the fixture script did not run";

    for (const auto& [archive, entries] : archives) {
        SCOPED_TRACE(archive);
        const std::string bytes = ziptest::ReadFixture(archive);
        ASSERT_FALSE(bytes.empty());
        ZipExtractor* extractor = Open(bytes);
        ASSERT_NE(extractor, nullptr);
        if (entries.front().password != "-") extractor->SetPassword(entries.front().password.c_str());
        EntryRecord count;
        ASSERT_EQ(extractor->QueryEntry(-1, count), ZipOk);
        ASSERT_EQ(count.index, static_cast<int32_t>(entries.size()));

        std::vector<std::wstring> files, folders;
        for (const ToolEntry& e : entries) {
            SCOPED_TRACE(e.name);
            EntryRecord record;
            ASSERT_EQ(extractor->QueryEntry(e.index, record), ZipOk);
            EXPECT_EQ(std::wstring(record.name), ziptest::Wide(e.name));
            EXPECT_EQ(record.attributes, e.attributes);
            ASSERT_EQ(extractor->ExtractEntry(e.index, record.name), ZipOk);
            const std::wstring path = Path(record.name);
            if (e.source == "-") {
                EXPECT_NE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
                folders.push_back(path);
                continue;
            }
            files.push_back(path);
            std::string written;
            ASSERT_TRUE(ziptest::ReadWholeFile(path, &written));
            EXPECT_TRUE(written == ziptest::ReadFixture("tree/" + e.source));
            EXPECT_EQ(WriteTime(path), ExpectedWriteTime(e));
            EXPECT_EQ(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, e.attributes & FILE_ATTRIBUTE_READONLY);
        }
        CloseExtractor();
        // Remove the tree again, innermost folders first; a folder that is not empty then means
        // something was written that the archive does not hold.
        for (const std::wstring& file : files) {
            SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            EXPECT_TRUE(DeleteFileW(file.c_str()));
        }
        std::sort(folders.begin(), folders.end(), [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
        for (const std::wstring& folder : folders) EXPECT_TRUE(RemoveDirectoryW(folder.c_str())) << "not empty";
    }
}

}  // namespace
