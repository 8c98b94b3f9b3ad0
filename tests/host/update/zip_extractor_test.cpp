// The zip extractor on the model: names and their guard, records, attributes and times, and the
// extraction that replaces a file only with a complete one.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../support/model_fixture.h"
#include "tests/support/zip_builder.h"
#include "tests/support/zip_name_cases.h"
#include "update/zip_extractor.h"
#include "winapi/winapi.h"

using namespace update;
using ziptest::Archive;
using ziptest::Entry;
using ziptest::FileEntry;
using ziptest::FolderEntry;
using ziptest::LocalToUtcTicks;
using ziptest::Ticks;
using ziptest::UnixTicks;
using ziptest::kNameCases;
using ziptest::NameCase;

namespace {

const wchar_t kBase[] = L"C:\\install";

class Extractor : public ModelTest {
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        winmodel::SetCurrentDirectory(kBase);
    }
    void TearDown() override
    {
        CloseExtractor();
        ModelTest::TearDown();
    }

    void CloseExtractor()
    {
        if (handle_) handle_->extractor->Close();
        handle_.reset();
    }

    // A new world for the next case of a table.
    void Fresh()
    {
        CloseExtractor();
        SetUp();
    }

    ZipExtractor* Open(const Archive& archive)
    {
        CloseExtractor();
        winmodel::WriteFile(std::wstring(kBase) + L"\\update.zip", ziptest::Build(archive));
        handle_ = OpenZipHandle();
        return handle_ ? handle_->extractor.get() : nullptr;
    }

    static std::string Content(const std::wstring& relative)
    {
        std::string bytes;
        if (!winmodel::ReadWholeFile(std::wstring(kBase) + L"\\" + relative, &bytes)) return "<missing>";
        return bytes;
    }

    // Every file and folder in the sandbox, as host paths relative to the sandbox.
    static std::vector<std::string> SandboxTree()
    {
        std::vector<std::string> paths;
        const std::filesystem::path root = winmodel::SandboxRoot();
        for (const auto& item : std::filesystem::recursive_directory_iterator(root))
            paths.push_back(std::filesystem::relative(item.path(), root).generic_string());
        std::sort(paths.begin(), paths.end());
        return paths;
    }

    // Names in the base folder that look like the extractor's files written beside their targets.
    static std::vector<std::string> Leftovers()
    {
        std::vector<std::string> found;
        for (const std::string& path : SandboxTree())
            if (path.find("~fw") != std::string::npos) found.push_back(path);
        return found;
    }

    std::optional<ZipHandle> handle_;
};

// ---- names --------------------------------------------------------------------------------------

// Whatever the names, extraction writes nothing outside the base folder.
TEST_F(Extractor, NoNameWritesOutsideTheBaseFolder)
{
    winmodel::MakeFolder(L"C:\\outside");
    winmodel::WriteFile(L"C:\\etc\\passwd", "root");
    const std::vector<std::string> before = SandboxTree();

    Archive archive;
    for (const NameCase& c : kNameCases) archive.entries.push_back(FileEntry(c.stored, "payload"));
    for (const char* folder : {"../escape/", "a/../../up/", "C:\\outside\\", "/../../outside2/"})
        archive.entries.push_back(FolderEntry(folder));
    ZipExtractor* extractor = Open(archive);
    ASSERT_NE(extractor, nullptr);
    EntryRecord count;
    ASSERT_EQ(extractor->QueryEntry(-1, count), ZipOk);
    for (int32_t i = 0; i < count.index; ++i) {
        EntryRecord record;
        if (extractor->QueryEntry(i, record) == ZipOk) (void)extractor->ExtractEntry(i, record.name);
    }

    std::string passwd;
    ASSERT_TRUE(winmodel::ReadWholeFile(L"C:\\etc\\passwd", &passwd));
    EXPECT_EQ(passwd, "root");
    for (const std::string& path : SandboxTree()) {
        const bool wasThere = std::find(before.begin(), before.end(), path) != before.end();
        if (!wasThere) {
            EXPECT_EQ(path.rfind("C/install/", 0), 0u) << path;
        }
    }
    EXPECT_EQ(Content(L"b\\c.txt"), "payload");
    EXPECT_EQ(Content(L"Apps\\a.dll"), "payload");
    EXPECT_TRUE(Leftovers().empty());
}

// ---- records ------------------------------------------------------------------------------------

TEST_F(Extractor, AnswersCountCachedAndEarlierQueries)
{
    Archive archive;
    archive.entries = {FileEntry("one.txt", "1"), FileEntry("two.txt", "22"), FileEntry("three.txt", "333")};
    archive.entries[1].method = 8;
    ZipExtractor* extractor = Open(archive);
    ASSERT_NE(extractor, nullptr);

    EntryRecord record;
    ASSERT_EQ(extractor->QueryEntry(-1, record), ZipOk);
    EXPECT_EQ(record.index, 3);
    EXPECT_EQ(record.name[0], 0);
    EXPECT_EQ(record.attributes, 0u);
    EXPECT_EQ(Ticks(record.lastWriteTime) + Ticks(record.creationTime) + Ticks(record.lastAccessTime), 0);
    EXPECT_EQ(record.compressedSize + record.uncompressedSize, 0u);

    ASSERT_EQ(extractor->QueryEntry(2, record), ZipOk);
    EXPECT_STREQ(record.name, L"three.txt");
    EXPECT_EQ(record.index, 2);
    EXPECT_EQ(record.uncompressedSize, 3u);
    const long calls = winmodel::CallCount();
    EntryRecord again;
    ASSERT_EQ(extractor->QueryEntry(2, again), ZipOk);
    EXPECT_EQ(winmodel::CallCount(), calls);  // from the cache, without reading
    EXPECT_STREQ(again.name, L"three.txt");

    ASSERT_EQ(extractor->QueryEntry(0, record), ZipOk);  // rewinds
    EXPECT_STREQ(record.name, L"one.txt");
    ASSERT_EQ(extractor->QueryEntry(1, record), ZipOk);
    EXPECT_STREQ(record.name, L"two.txt");
    EXPECT_EQ(record.compressedSize, static_cast<uint32_t>(ziptest::RawDeflate("22").size()));

    record.index = 99;
    EXPECT_EQ(extractor->QueryEntry(-2, record), ZipBadIndex);
    EXPECT_EQ(extractor->QueryEntry(3, record), ZipBadIndex);
    EXPECT_EQ(record.index, 99);
    EXPECT_EQ(extractor->ExtractEntry(-1, L"x"), ZipBadIndex);
    EXPECT_EQ(extractor->ExtractEntry(3, L"x"), ZipBadIndex);
}

TEST_F(Extractor, RecordsThatCannotBeHadAreNeitherBuiltNorWritten)
{
    Archive archive;
    archive.entries = {FileEntry("a.txt", "a"), FileEntry("b.txt", "b"), FileEntry("c.txt", "c"), FileEntry("d.txt", "d")};
    archive.entries[1].localMethod = 8;  // local header differs from the central record
    // The local extra field of c.txt claims more bytes than the file has left.
    std::string bytes = ziptest::Build(archive);
    const size_t thirdLocal = bytes.find("c.txt") - 30;
    bytes[thirdLocal + 28] = static_cast<char>(0xFF);
    bytes[thirdLocal + 29] = static_cast<char>(0xFF);
    // Spoil the central record of d.txt.
    const size_t fourthCentral = bytes.rfind(std::string("PK\x01\x02", 4));
    bytes[fourthCentral + 2] = 'X';
    winmodel::WriteFile(L"C:\\install\\update.zip", bytes);
    handle_ = OpenZipHandle();
    ASSERT_TRUE(handle_);
    ZipExtractor* extractor = handle_->extractor.get();

    EntryRecord record;
    EXPECT_EQ(extractor->QueryEntry(1, record), ZipHeaderMismatch);
    EXPECT_EQ(extractor->ExtractEntry(1, L"b.txt"), ZipHeaderMismatch);
    EXPECT_EQ(extractor->QueryEntry(2, record), ZipExtraUnreadable);
    EXPECT_EQ(extractor->ExtractEntry(2, L"c.txt"), ZipExtraUnreadable);
    EXPECT_EQ(extractor->QueryEntry(3, record), ZipRecordUnreadable);
    EXPECT_EQ(extractor->ExtractEntry(3, L"d.txt"), ZipRecordUnreadable);
    EXPECT_EQ(Content(L"b.txt"), "<missing>");
    EXPECT_EQ(Content(L"c.txt"), "<missing>");
    EXPECT_EQ(Content(L"d.txt"), "<missing>");
    // The walk starts again from the front for an earlier entry.
    ASSERT_EQ(extractor->QueryEntry(0, record), ZipOk);
    EXPECT_EQ(extractor->ExtractEntry(0, record.name), ZipOk);
    EXPECT_EQ(Content(L"a.txt"), "a");
}

// ---- attributes ---------------------------------------------------------------------------------

struct AttributeCase {
    const char* name;
    uint16_t versionMadeBy;
    uint32_t external;
    DWORD attributes;
};

const AttributeCase kAttributeCases[] = {
    {"FAT archive", 0x0014, 0x20, 0x20},
    {"FAT read-only archive", 0x0014, 0x21, 0x21},
    {"FAT hidden system", 0x0014, 0x06, 0x06},
    {"FAT nothing", 0x0014, 0x00, 0x00},
    {"FAT directory", 0x0014, 0x10, 0x10},
    {"Macintosh", 0x0714, 0x23, 0x23},
    {"NTFS", 0x0B14, 0x27, 0x27},
    {"VFAT", 0x0E14, 0x02, 0x02},
    {"Unix file rw-r--r--", 0x031E, 0100644u << 16, 0x20},
    {"Unix file r--r--r--", 0x031E, 0100444u << 16, 0x21},
    {"Unix directory rwxr-xr-x", 0x031E, (040755u << 16) | 0x10, 0x30},
    {"Unix directory r-x", 0x031E, 040555u << 16, 0x31},
    {"Unix ignores the DOS bits", 0x031E, (0100644u << 16) | 0x07, 0x20},
    {"OS/2 counts as Unix", 0x0614, 0x01, 0x21},
};

TEST_F(Extractor, MapsAttributesByHostSystem)
{
    Archive archive;
    for (const AttributeCase& c : kAttributeCases) {
        Entry e = FileEntry(std::string("f-") + std::to_string(archive.entries.size()));
        e.versionMadeBy = c.versionMadeBy;
        e.externalAttributes = c.external;
        archive.entries.push_back(e);
    }
    ZipExtractor* extractor = Open(archive);
    ASSERT_NE(extractor, nullptr);
    for (size_t i = 0; i < std::size(kAttributeCases); ++i) {
        SCOPED_TRACE(kAttributeCases[i].name);
        EntryRecord record;
        ASSERT_EQ(extractor->QueryEntry(static_cast<int32_t>(i), record), ZipOk);
        EXPECT_EQ(record.attributes, kAttributeCases[i].attributes);
        ASSERT_EQ(extractor->ExtractEntry(static_cast<int32_t>(i), record.name), ZipOk);
        const std::wstring path = std::wstring(kBase) + L"\\" + record.name;
        if (record.attributes & FILE_ATTRIBUTE_DIRECTORY) {
            EXPECT_EQ(winmodel::Attributes(path), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
        } else {
            // Written files carry the entry's bits and, as every new file, the archive bit.
            EXPECT_EQ(winmodel::Attributes(path), record.attributes | FILE_ATTRIBUTE_ARCHIVE);
            EXPECT_EQ(Content(record.name), "x");
        }
    }
}

// ---- times --------------------------------------------------------------------------------------

TEST_F(Extractor, TimesComeFromTheDosTimeAndTheLocalExtendedTimestamp)
{
    const long bias = -480;  // UTC+8
    winmodel::SetTimeZoneBiasMinutes(bias);
    const long long dos = LocalToUtcTicks(2021, 3, 4, 10, 20, 30, bias);
    const int32_t m = 1600000000, a = 1600000100, c = 1600000200;

    struct TimeCase {
        const char* name;
        std::string localExtra, centralExtra;
        long long write, access, creation;
    };
    const std::string pad300 = ziptest::ExtraBlock(0x9999, std::string(300, 'p'));
    std::string cut = ziptest::ExtendedTimestamp(7, {m, a, c});
    cut.resize(cut.size() - 6);  // the access time is cut, the creation time gone
    const TimeCase cases[] = {
        {"DOS time only", "", "", dos, dos, dos},
        {"all three", ziptest::ExtendedTimestamp(7, {m, a, c}), "", UnixTicks(m), UnixTicks(a), UnixTicks(c)},
        {"flags 1: modification only", ziptest::ExtendedTimestamp(1, {m}), "", UnixTicks(m), dos, dos},
        {"flags 2: access only", ziptest::ExtendedTimestamp(2, {a}), "", dos, UnixTicks(a), dos},
        {"behind a 300-byte block", pad300 + ziptest::ExtendedTimestamp(3, {m, a}), "", UnixTicks(m), UnixTicks(a), dos},
        {"central extra field only: not used", "", ziptest::ExtendedTimestamp(1, {m}), dos, dos, dos},
        {"the first block ends the walk", ziptest::ExtendedTimestamp(1, {m}) + ziptest::ExtendedTimestamp(3, {a, c}), "",
         UnixTicks(m), dos, dos},
        {"values announced beyond the field", cut, "", UnixTicks(m), dos, dos},
        {"a negative Unix time", ziptest::ExtendedTimestamp(1, {-86400}), "", UnixTicks(-86400), dos, dos},
        {"a block header only", std::string("UT\x00\x00", 4), "", dos, dos, dos},
        {"a block size that runs past the field", ziptest::ExtraBlock(0x0001, "abc").substr(0, 4) + "\xFF", "", dos, dos, dos},
    };
    Archive archive;
    for (const TimeCase& t : cases) {
        Entry e = FileEntry("t" + std::to_string(archive.entries.size()));
        e.localExtra = t.localExtra;
        e.centralExtra = t.centralExtra;
        archive.entries.push_back(e);
    }
    ZipExtractor* extractor = Open(archive);
    ASSERT_NE(extractor, nullptr);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        EntryRecord record;
        ASSERT_EQ(extractor->QueryEntry(static_cast<int32_t>(i), record), ZipOk);
        EXPECT_EQ(Ticks(record.lastWriteTime), cases[i].write);
        EXPECT_EQ(Ticks(record.lastAccessTime), cases[i].access);
        EXPECT_EQ(Ticks(record.creationTime), cases[i].creation);
        ASSERT_EQ(extractor->ExtractEntry(static_cast<int32_t>(i), record.name), ZipOk);
        winapi::ScopedFile file(CreateFileW((std::wstring(kBase) + L"\\" + record.name).c_str(), GENERIC_READ,
                                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        FILETIME creation, access, write;
        ASSERT_TRUE(GetFileTime(file.Get(), &creation, &access, &write));
        EXPECT_EQ(Ticks(write), cases[i].write);
        EXPECT_EQ(Ticks(access), cases[i].access);
        EXPECT_EQ(Ticks(creation), cases[i].creation);
    }
}

TEST_F(Extractor, DosTimesConvertInTwoSecondStepsAndInvalidDatesGiveTheExtractionTime)
{
    struct DosCase {
        uint16_t date, time;
        int year, month, day, hour, minute, second;  // 0 year: not a date
    };
    const DosCase cases[] = {
        {static_cast<uint16_t>((41 << 9) | (3 << 5) | 4), static_cast<uint16_t>((10 << 11) | (20 << 5) | 15), 2021, 3, 4, 10, 20, 30},
        {static_cast<uint16_t>((0 << 9) | (1 << 5) | 1), 0, 1980, 1, 1, 0, 0, 0},
        {static_cast<uint16_t>((127 << 9) | (12 << 5) | 31), static_cast<uint16_t>((23 << 11) | (59 << 5) | 29), 2107, 12, 31, 23, 59, 58},
        {static_cast<uint16_t>((40 << 9) | (2 << 5) | 29), 0, 2020, 2, 29, 0, 0, 0},
        {static_cast<uint16_t>((41 << 9) | (0 << 5) | 4), 0, 0, 0, 0, 0, 0, 0},    // month 0
        {static_cast<uint16_t>((41 << 9) | (13 << 5) | 4), 0, 0, 0, 0, 0, 0, 0},   // month 13
        {static_cast<uint16_t>((41 << 9) | (2 << 5) | 29), 0, 0, 0, 0, 0, 0, 0},   // 2021-02-29
        {static_cast<uint16_t>((41 << 9) | (3 << 5) | 0), 0, 0, 0, 0, 0, 0, 0},    // day 0
        {static_cast<uint16_t>((41 << 9) | (3 << 5) | 4), static_cast<uint16_t>((24 << 11)), 0, 0, 0, 0, 0, 0},
        {static_cast<uint16_t>((41 << 9) | (3 << 5) | 4), static_cast<uint16_t>((60 << 5)), 0, 0, 0, 0, 0, 0},
        {static_cast<uint16_t>((41 << 9) | (3 << 5) | 4), static_cast<uint16_t>(30), 0, 0, 0, 0, 0, 0},  // second 60
    };
    Archive archive;
    for (const DosCase& c : cases) {
        SCOPED_TRACE(c.date);
        const FILETIME local = DosTimeToFileTime(c.date, c.time);
        if (c.year == 0) {
            EXPECT_EQ(Ticks(local), 0);
        } else {
            EXPECT_EQ(Ticks(local), LocalToUtcTicks(c.year, c.month, c.day, c.hour, c.minute, c.second, 0));
        }
        Entry e = FileEntry("d" + std::to_string(archive.entries.size()));
        e.dosDateTime = (static_cast<uint32_t>(c.date) << 16) | c.time;
        archive.entries.push_back(e);
    }
    winmodel::SetTimeZoneBiasMinutes(60);
    ZipExtractor* extractor = Open(archive);
    ASSERT_NE(extractor, nullptr);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EntryRecord record;
        ASSERT_EQ(extractor->QueryEntry(static_cast<int32_t>(i), record), ZipOk);
        const DosCase& c = cases[i];
        if (c.year != 0) {
            EXPECT_EQ(Ticks(record.lastWriteTime), LocalToUtcTicks(c.year, c.month, c.day, c.hour, c.minute, c.second, 60));
        } else {
            EXPECT_GE(Ticks(record.lastWriteTime), Ticks(now));
            EXPECT_LE(Ticks(record.lastWriteTime), Ticks(now) + 600LL * 10000000LL);
        }
        EXPECT_EQ(Ticks(record.creationTime), Ticks(record.lastWriteTime));
    }
}

// ---- extraction ---------------------------------------------------------------------------------

TEST_F(Extractor, ReplacesHiddenTargetsButNotReadOnlyOrLockedOnes)
{
    struct TargetCase {
        const char* name;
        DWORD attributes;
        bool locked;
        ZipResult result;
    };
    const TargetCase cases[] = {
        {"plain", FILE_ATTRIBUTE_ARCHIVE, false, ZipOk},
        {"hidden", FILE_ATTRIBUTE_HIDDEN, false, ZipOk},
        {"system", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN, false, ZipOk},
        {"read-only", FILE_ATTRIBUTE_READONLY, false, ZipFileUnavailable},
        {"in use", FILE_ATTRIBUTE_ARCHIVE, true, ZipFileUnavailable},
    };
    Archive archive;
    archive.entries = {FileEntry("kivo.exe", "new program")};
    for (const TargetCase& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        winmodel::WriteFile(L"C:\\install\\kivo.exe", "old program");
        winmodel::SetAttributes(L"C:\\install\\kivo.exe", c.attributes);
        if (c.locked) winmodel::LockFile(L"C:\\install\\kivo.exe");
        ZipExtractor* extractor = Open(archive);
        ASSERT_NE(extractor, nullptr);
        EXPECT_EQ(extractor->ExtractEntry(0, L"kivo.exe"), c.result);
        EXPECT_EQ(Content(L"kivo.exe"), c.result == ZipOk ? "new program" : "old program");
        EXPECT_EQ(winmodel::Attributes(L"C:\\install\\kivo.exe"),
                  c.result == ZipOk ? static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE) : c.attributes);
        EXPECT_TRUE(Leftovers().empty());
    }
}

TEST_F(Extractor, WriteFailuresAndRefusedMovesCleanUp)
{
    const std::string data(100000, 'd');
    Archive archive;
    archive.entries = {FileEntry("f.bin", data)};

    winmodel::WriteFile(L"C:\\install\\f.bin", "old");
    ZipExtractor* extractor = Open(archive);
    ASSERT_NE(extractor, nullptr);
    winmodel::SetWriteLimit(40000);
    EXPECT_EQ(extractor->ExtractEntry(0, L"f.bin"), ZipWriteFailed);
    EXPECT_EQ(Content(L"f.bin"), "old");
    EXPECT_TRUE(Leftovers().empty());
    winmodel::SetWriteLimit(-1);

    winmodel::FailCall("MoveFileExW", winmodel::CallsNamed("MoveFileExW") + 1);
    EXPECT_EQ(extractor->ExtractEntry(0, L"f.bin"), ZipFileUnavailable);
    EXPECT_EQ(Content(L"f.bin"), "old");
    EXPECT_TRUE(Leftovers().empty());

    // A name already taken beside the target: the next name is tried.
    winmodel::FailCall("CreateFileW", winmodel::CallsNamed("CreateFileW") + 1, ERROR_FILE_EXISTS);
    EXPECT_EQ(extractor->ExtractEntry(0, L"f.bin"), ZipOk);
    EXPECT_EQ(Content(L"f.bin"), data);
    // Any other failure to create it ends the entry.
    winmodel::FailCall("CreateFileW", winmodel::CallsNamed("CreateFileW") + 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(extractor->ExtractEntry(0, L"f.bin"), ZipFileUnavailable);
    EXPECT_TRUE(Leftovers().empty());
}

// Entries of one folder look for its folders once; a folder that went away between two entries is
// made again, as for any entry.
TEST_F(Extractor, FoldersOfARunOfEntriesAreLookedForOnceAndMadeAgainWhenGone)
{
    winmodel::MakeFolder(L"C:\\install\\sub\\deep");
    Archive archive;
    archive.entries = {FileEntry("sub/deep/a.txt", "a"), FileEntry("sub/deep/b.txt", "b"),
                       FileEntry("sub/deep/c.txt", "c")};
    ZipExtractor* extractor = Open(archive);
    ASSERT_NE(extractor, nullptr);
    ASSERT_EQ(extractor->ExtractEntry(0, L"sub/deep/a.txt"), ZipOk);
    const long looks = winmodel::CallsNamed("GetFileAttributesW");
    ASSERT_EQ(extractor->ExtractEntry(1, L"sub/deep/b.txt"), ZipOk);
    // Only the target's own look, for a read-only file in its place: the folder was there before.
    EXPECT_EQ(winmodel::CallsNamed("GetFileAttributesW"), looks + 1);

    ASSERT_TRUE(DeleteFileW(L"C:\\install\\sub\\deep\\a.txt"));
    ASSERT_TRUE(DeleteFileW(L"C:\\install\\sub\\deep\\b.txt"));
    ASSERT_TRUE(RemoveDirectoryW(L"C:\\install\\sub\\deep"));
    ASSERT_TRUE(RemoveDirectoryW(L"C:\\install\\sub"));
    EXPECT_EQ(extractor->ExtractEntry(2, L"sub/deep/c.txt"), ZipOk);
    EXPECT_EQ(Content(L"sub\\deep\\c.txt"), "c");
    EXPECT_TRUE(Leftovers().empty());
}

// In a folder the extraction made, targets are not looked for: nothing was there. What the
// extraction itself puts there, a read-only file or a folder, is still refused as anywhere else.
TEST_F(Extractor, TargetsInFoldersItMadeAreLookedForOnlyOnceSomethingIsInTheWay)
{
    Entry readOnly = FileEntry("new/ro.txt", "first");
    readOnly.versionMadeBy = 0x0014;  // MS-DOS: the external attributes are DOS attributes
    readOnly.externalAttributes = 0x21;
    Archive archive;
    archive.entries = {FileEntry("new/a.txt", "a"), FileEntry("new/b.txt", "b"), readOnly,
                       FileEntry("new/ro.txt", "second"), FolderEntry("new/x/"), FileEntry("new/x", "file")};
    ZipExtractor* extractor = Open(archive);
    ASSERT_NE(extractor, nullptr);
    const long looks = winmodel::CallsNamed("GetFileAttributesW");
    ASSERT_EQ(extractor->ExtractEntry(0, L"new/a.txt"), ZipOk);
    ASSERT_EQ(extractor->ExtractEntry(1, L"new/b.txt"), ZipOk);
    // The base folder and the new folder, twice each (with and without its separator); no target.
    EXPECT_EQ(winmodel::CallsNamed("GetFileAttributesW"), looks + 3);
    ASSERT_EQ(extractor->ExtractEntry(2, L"new/ro.txt"), ZipOk);
    // Refused before anything is written.
    const long creates = winmodel::CallsNamed("CreateFileW");
    EXPECT_EQ(extractor->ExtractEntry(3, L"new/ro.txt"), ZipFileUnavailable);
    EXPECT_EQ(Content(L"new\\ro.txt"), "first");
    ASSERT_EQ(extractor->ExtractEntry(4, L"new/x/"), ZipOk);
    EXPECT_EQ(extractor->ExtractEntry(5, L"new/x"), ZipFileUnavailable);
    EXPECT_EQ(winmodel::CallsNamed("CreateFileW"), creates);
    EXPECT_TRUE(Leftovers().empty());
    // The same again in a folder made fresh, where nothing read-only came first.
    Archive other;
    other.entries = {FolderEntry("fresh/x/"), FileEntry("fresh/x", "file")};
    extractor = Open(other);
    ASSERT_NE(extractor, nullptr);
    ASSERT_EQ(extractor->ExtractEntry(0, L"fresh/x/"), ZipOk);
    const long freshCreates = winmodel::CallsNamed("CreateFileW");
    EXPECT_EQ(extractor->ExtractEntry(1, L"fresh/x"), ZipFileUnavailable);
    EXPECT_EQ(winmodel::CallsNamed("CreateFileW"), freshCreates);
    EXPECT_TRUE(Leftovers().empty());
}

// Every platform call of an extraction made to fail in turn: either the new file is in place, or
// the old one is, untouched.
TEST_F(Extractor, EveryFailingCallLeavesTheOldOrTheNewFile)
{
    Archive archive;
    archive.entries = {FolderEntry("bin/"), FileEntry("bin/a.dll", std::string(40000, 'a')),
                       FileEntry("readme.txt", "read me")};
    archive.entries[1].method = 8;
    const std::string bytes = ziptest::Build(archive);
    auto run = [&]() {
        std::optional<ZipHandle> handle = OpenZipHandle();
        if (!handle) return;
        for (int32_t i = 0; i < 3; ++i) {
            EntryRecord record;
            if (handle->extractor->QueryEntry(i, record) == ZipOk) (void)handle->extractor->ExtractEntry(i, record.name);
        }
        handle->extractor->Close();
    };
    auto prepare = [&]() {
        winmodel::Reset();
        winmodel::SetCurrentDirectory(kBase);
        winmodel::WriteFile(L"C:\\install\\update.zip", bytes);
        winmodel::WriteFile(L"C:\\install\\bin\\a.dll", "old dll");
        winmodel::WriteFile(L"C:\\install\\readme.txt", "old readme");
    };
    prepare();
    run();
    ASSERT_EQ(Content(L"bin\\a.dll"), std::string(40000, 'a'));
    const long calls = winmodel::CallCount();
    for (long n = 1; n <= calls; ++n) {
        SCOPED_TRACE(n);
        prepare();
        winmodel::FailNthCall(n);
        run();
        const std::string& failed = winmodel::CallLog().size() >= static_cast<size_t>(n) ? winmodel::CallLog()[n - 1] : "";
        const std::string dll = Content(L"bin\\a.dll");
        const std::string readme = Content(L"readme.txt");
        EXPECT_TRUE(dll == "old dll" || dll == std::string(40000, 'a')) << failed;
        EXPECT_TRUE(readme == "old readme" || readme == "read me") << failed;
        // Only a failed clean-up may leave the written file beside its target.
        if (failed != "DeleteFileW" && failed != "SetFileAttributesW" && failed != "CloseHandle") {
            EXPECT_TRUE(Leftovers().empty()) << failed;
        }
    }
}

TEST_F(Extractor, OpensOnceWithABaseFolder)
{
    Archive archive;
    archive.entries = {FileEntry("a.txt")};
    ZipExtractor* extractor = Open(archive);
    ASSERT_NE(extractor, nullptr);
    EntryRecord first;
    ASSERT_EQ(extractor->QueryEntry(0, first), ZipOk);
    EXPECT_EQ(extractor->Open(), ZipAlreadyOpen);
    EXPECT_EQ(extractor->Close(), ZipOk);
    EntryRecord record;
    EXPECT_EQ(extractor->QueryEntry(0, record), ZipFileUnavailable);  // closed: no archive
    // Opened again on another archive, it forgets the record it cached from the first.
    Archive other;
    other.entries = {FileEntry("b.txt")};
    winmodel::WriteFile(L"C:\\install\\update.zip", ziptest::Build(other));
    ASSERT_EQ(extractor->Open(), ZipOk);
    ASSERT_EQ(extractor->QueryEntry(0, record), ZipOk);
    EXPECT_STREQ(record.name, L"b.txt");
    extractor->Close();

    ZipExtractor fresh;
    winmodel::FailCall("GetCurrentDirectoryW", winmodel::CallsNamed("GetCurrentDirectoryW") + 1);
    EXPECT_EQ(fresh.Open(), ZipFileUnavailable);

    // A base folder that has no room left for its separator.
    const std::wstring deep = L"C:\\" + std::wstring(128, L'd') + L"\\" + std::wstring(127, L'e');
    winmodel::SetCurrentDirectory(deep);
    ASSERT_EQ(winmodel::CurrentDirectory().size(), 259u);
    EXPECT_EQ(fresh.Open(), ZipFileUnavailable);

    winmodel::SetCurrentDirectory(L"C:\\nothing-here");
    EXPECT_FALSE(OpenZipHandle().has_value());
    winmodel::WriteFile(L"C:\\nothing-here\\update.zip", "not an archive");
    EXPECT_FALSE(OpenZipHandle().has_value());
    EXPECT_EQ(winmodel::OpenFileHandles(), 0);
}

TEST_F(Extractor, PathsLongerThan259UnitsAreRefused)
{
    // C:\install\ is 11 units: a 248-unit name makes a 259-unit path.
    const std::string fits = std::string(100, 'a') + "/" + std::string(147, 'b');
    const std::string tooLong = fits + "c";
    Archive archive;
    archive.entries = {FileEntry(fits, "fits"), FileEntry(tooLong, "long")};
    ZipExtractor* extractor = Open(archive);
    ASSERT_NE(extractor, nullptr);
    EntryRecord record;
    ASSERT_EQ(extractor->QueryEntry(0, record), ZipOk);
    EXPECT_EQ(extractor->ExtractEntry(0, record.name), ZipOk);
    EXPECT_EQ(Content(std::wstring(record.name)), "fits");
    ASSERT_EQ(extractor->QueryEntry(1, record), ZipOk);
    EXPECT_EQ(extractor->ExtractEntry(1, record.name), ZipNameRefused);
    EXPECT_EQ(extractor->ExtractEntry(1, std::wstring(300, L'x').c_str()), ZipNameRefused);
    EXPECT_TRUE(Leftovers().empty());
}

}  // namespace
