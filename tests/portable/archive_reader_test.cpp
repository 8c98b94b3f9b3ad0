// The archive reader on hand-built archives: where it finds the end record, what it accepts, how
// it walks the central directory, compares local headers and delivers data.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/archive_folder.h"
#include "tests/support/zip_builder.h"
#include "update/archive_reader.h"

using namespace update;
using ziptest::Archive;
using ziptest::DeflatedEntry;
using ziptest::Entry;
using ziptest::FileEntry;

namespace {

std::string Pattern(size_t size, unsigned seed = 1)
{
    std::string data(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (char& c : data) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 23);
    }
    return data;
}

class ArchiveReading : public ziptest::ArchiveFolder {
protected:
    void TearDown() override
    {
        CloseArchiveReader(reader_);
        ArchiveFolder::TearDown();
    }

    ArchiveReader* Open(const std::string& bytes)
    {
        CloseArchiveReader(reader_);
        PlaceArchive(bytes);
        reader_ = OpenArchiveReader(OpenArchiveSource());
        return reader_.get();
    }

    // Reads the current entry to its end in chunks; the sizes of the reads, or a negative code as
    // the last element.
    std::vector<int> ReadAll(std::string* data, uint32_t chunk = kEntryBufferSize, const char* password = nullptr)
    {
        std::vector<int> sizes;
        data->clear();
        if (OpenEntryData(reader_.get(), password) != StatusOk) return {StatusBadArchive};
        std::vector<char> buffer(chunk);
        for (int guard = 0; guard < 100000; ++guard) {
            bool reachedEnd = false;
            const int n = ReadEntryData(reader_.get(), buffer.data(), chunk, &reachedEnd);
            sizes.push_back(n);
            if (n < 0) break;
            data->append(buffer.data(), static_cast<size_t>(n));
            if (reachedEnd || n == 0) break;
        }
        return sizes;
    }

    std::unique_ptr<ArchiveReader> reader_;
};

// ---- the end record -----------------------------------------------------------------------------

struct OpenCase {
    const char* name;
    Archive archive;
    bool opens;
    uint32_t entryCount;
    uint32_t bytesBefore;
    bool currentValid;
};

std::vector<OpenCase> OpenCases()
{
    std::vector<OpenCase> cases;
    Archive one;
    one.entries = {FileEntry("a.txt", "alpha")};

    cases.push_back({"only an end record", Archive{}, true, 0, 0, false});
    cases.push_back({"one entry", one, true, 1, 0, true});
    Archive before = one;
    before.before = std::string(100, 'x');
    cases.push_back({"100 bytes before the archive", before, true, 1, 100, true});
    Archive comment = one;
    comment.comment = std::string(2000, 'c');
    cases.push_back({"comment of 2000 bytes", comment, true, 1, 0, true});
    Archive longest = one;
    longest.comment = std::string(65513, 'c');
    cases.push_back({"comment of 65513 bytes", longest, true, 1, 0, true});
    Archive tooLong = one;
    tooLong.comment = std::string(65514, 'c');
    cases.push_back({"comment of 65514 bytes: end record out of reach", tooLong, false, 0, 0, false});

    // A copy of the end record inside the comment is found first; it is consistent, so the open
    // works with the wrong bytes before the archive, and no record is where it points.
    Archive copy = one;
    {
        std::string bytes = ziptest::Build(one);
        copy.comment = bytes.substr(bytes.size() - 22);
    }
    cases.push_back({"consistent end record copy in the comment", copy, true, 1, 22, false});
    Archive junkCopy = one;
    junkCopy.comment = std::string("PK\x05\x06\x01\x00", 6) + std::string(30, 'z');
    cases.push_back({"end signature in the comment, then junk", junkCopy, false, 0, 0, false});

    Archive disk = one;
    disk.thisDisk = 1;
    cases.push_back({"this disk 1", disk, false, 0, 0, false});
    Archive centralDisk = one;
    centralDisk.centralDisk = 1;
    cases.push_back({"central directory on disk 1", centralDisk, false, 0, 0, false});
    Archive counts = one;
    counts.entriesHere = 2;
    cases.push_back({"entry counts differ", counts, false, 0, 0, false});
    Archive beyond = one;
    beyond.centralOffset = 1000;
    cases.push_back({"central directory beyond the end record", beyond, false, 0, 0, false});
    Archive wraps = one;
    wraps.centralOffset = 0xFFFFFFF0u;
    wraps.centralSize = 0x20;
    cases.push_back({"offset and size wrap around 32 bits", wraps, false, 0, 0, false});
    return cases;
}

TEST_F(ArchiveReading, OpensWhatTheEndRecordAllows)
{
    for (const OpenCase& c : OpenCases()) {
        SCOPED_TRACE(c.name);
        ArchiveReader* reader = Open(ziptest::Build(c.archive));
        ASSERT_EQ(reader != nullptr, c.opens);
        if (!reader) continue;
        EXPECT_EQ(reader->entryCount, c.entryCount);
        EXPECT_EQ(reader->bytesBeforeArchive, c.bytesBefore);
        EXPECT_EQ(reader->currentValid, c.currentValid);
        EXPECT_EQ(reader->currentIndex, 0);
    }
}

TEST_F(ArchiveReading, RefusesWhatIsNoArchive)
{
    for (const std::string& bytes : {std::string(), std::string("PK"), std::string("PK\x05\x06", 4),
                                     std::string("MZ this is a program, not an archive"), Pattern(5000)}) {
        SCOPED_TRACE(bytes.size());
        EXPECT_EQ(Open(bytes), nullptr);
    }
    CloseArchiveReader(reader_);
    DeleteFileW(Path(L"update.zip").c_str());
    EXPECT_EQ(OpenArchiveSource(), nullptr);
}

// Around every window edge: the signature may lie whole in a window, across its lower edge, or
// in the 4 bytes two windows share.
TEST_F(ArchiveReading, FindsTheEndRecordAcrossWindowEdges)
{
    Archive archive;
    archive.entries = {FileEntry("a", "x")};
    std::vector<size_t> lengths;
    for (size_t n = 0; n < 16; ++n) lengths.push_back(n);
    for (size_t n = 995; n < 1015; ++n) lengths.push_back(n);
    for (size_t n = 2015; n < 2040; ++n) lengths.push_back(n);
    for (size_t n = 65500; n <= 65513; ++n) lengths.push_back(n);
    for (size_t n : lengths) {
        SCOPED_TRACE(n);
        archive.comment = std::string(n, '\0');
        ArchiveReader* reader = Open(ziptest::Build(archive));
        ASSERT_NE(reader, nullptr);
        EXPECT_TRUE(reader->currentValid);
        uint32_t position = 0;
        ASSERT_TRUE(FindEndRecord(*reader->source, &position));
        EXPECT_EQ(position, ziptest::Build(archive).size() - 22 - n);
    }
}

// ---- walking ------------------------------------------------------------------------------------

TEST_F(ArchiveReading, WalksTheCentralDirectoryWithNames)
{
    Archive archive;
    archive.before = "stub";
    archive.entries = {FileEntry("first.txt", "1"), DeflatedEntry("dir/second.bin", Pattern(300)),
                       FileEntry("third", "")};
    archive.entries[1].centralExtra = ziptest::ExtraBlock(0x7875, "ux-block");
    archive.entries[1].comment = "a comment that is skipped";
    ArchiveReader* reader = Open(ziptest::Build(archive));
    ASSERT_NE(reader, nullptr);

    const char* names[] = {"first.txt", "dir/second.bin", "third"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        if (i > 0) {
            ASSERT_TRUE(StepToNextEntry(reader));
        }
        EXPECT_EQ(reader->currentIndex, i);
        ASSERT_TRUE(reader->currentValid);
        char name[260] = {};
        CentralEntryInfo info;
        uint32_t offset = 0xDEAD;
        ASSERT_EQ(ReadCentralEntry(reader, &info, &offset, name, sizeof name), StatusOk);
        EXPECT_STREQ(name, names[i]);
        EXPECT_EQ(info.method, archive.entries[i].method);
        EXPECT_EQ(info.uncompressedSize, archive.entries[i].data.size());
        EXPECT_EQ(offset, reader->currentLocalHeaderOffset);
    }
    EXPECT_FALSE(StepToNextEntry(reader));  // no entry after the last
    EXPECT_EQ(reader->currentIndex, 2);
    EXPECT_EQ(RewindToFirstEntry(reader), StatusOk);
    EXPECT_EQ(reader->currentIndex, 0);
}

TEST_F(ArchiveReading, StopsAtAnUnreadableCentralRecord)
{
    Archive archive;
    archive.entries = {FileEntry("a", "1"), FileEntry("b", "2"), FileEntry("c", "3")};
    std::string bytes = ziptest::Build(archive);
    // Spoil the signature of the second central record.
    const size_t second = bytes.find(std::string("PK\x01\x02", 4), bytes.find(std::string("PK\x01\x02", 4)) + 1);
    bytes[second + 3] = 0x09;
    ArchiveReader* reader = Open(bytes);
    ASSERT_NE(reader, nullptr);
    EXPECT_TRUE(StepToNextEntry(reader));  // moves onto it ...
    EXPECT_FALSE(reader->currentValid);    // ... which cannot be read
    EXPECT_FALSE(StepToNextEntry(reader)); // and goes no further
    EXPECT_EQ(reader->currentIndex, 1);
    EXPECT_EQ(ReadCentralEntry(reader, nullptr, nullptr, nullptr, 0), StatusBadArchive);
}

TEST_F(ArchiveReading, NamesAreReadOnlyIntoBuffersThatTakeThem)
{
    Archive archive;
    archive.entries = {FileEntry(std::string(259, 'n'), "1"), FileEntry(std::string(260, 'm'), "2"),
                       FileEntry("", "3")};
    ArchiveReader* reader = Open(ziptest::Build(archive));
    ASSERT_NE(reader, nullptr);

    char name[260];
    std::memset(name, '#', sizeof name);
    ASSERT_EQ(ReadCentralEntry(reader, nullptr, nullptr, name, sizeof name), StatusOk);
    EXPECT_EQ(std::string(name), std::string(259, 'n'));

    ASSERT_TRUE(StepToNextEntry(reader));
    std::memset(name, '#', sizeof name);
    CentralEntryInfo info;
    info.method = 77;
    uint32_t offset = 77;
    EXPECT_EQ(ReadCentralEntry(reader, &info, &offset, name, sizeof name), StatusBadArgument);
    EXPECT_EQ(name[0], '#');  // untouched, like every other output
    EXPECT_EQ(info.method, 77u);
    EXPECT_EQ(offset, 77u);
    // Without a name buffer the record itself reads.
    EXPECT_EQ(ReadCentralEntry(reader, &info, nullptr, nullptr, 0), StatusOk);
    EXPECT_EQ(info.nameLength, 260u);

    ASSERT_TRUE(StepToNextEntry(reader));
    std::memset(name, '#', sizeof name);
    ASSERT_EQ(ReadCentralEntry(reader, nullptr, nullptr, name, sizeof name), StatusOk);
    EXPECT_EQ(name[0], 0);
}

// A central record, or a local header, that runs past the end of the file: the fields cut off
// count as failed reads, never as zeros taken for values.
TEST_F(ArchiveReading, FieldsCutOffByTheEndOfTheFileFail)
{
    // The directory claims 10 bytes just before the end record; its record runs through the end
    // record and past the end of the file.
    std::string bytes("PK\x01\x02" "ABCDEF", 10);
    std::string end;
    ziptest::Put32(end, 0x06054b50);
    ziptest::Put32(end, 0);
    ziptest::Put16(end, 1);
    ziptest::Put16(end, 1);
    ziptest::Put32(end, 10);
    ziptest::Put32(end, 0);
    ziptest::Put16(end, 0);
    ArchiveReader* reader = Open(bytes + end);
    ASSERT_NE(reader, nullptr);
    EXPECT_FALSE(reader->currentValid);
    EXPECT_EQ(RewindToFirstEntry(reader), StatusIoError);

    // A local header offset that points into the last bytes of the file.
    Archive archive;
    archive.entries = {FileEntry("a", "data")};
    std::string good = ziptest::Build(archive);
    const size_t record = good.find(std::string("PK\x01\x02", 4));
    const uint32_t offset = static_cast<uint32_t>(good.size() - 10);
    for (int i = 0; i < 4; ++i) good[record + 42 + i] = static_cast<char>((offset >> (8 * i)) & 0xFF);
    reader = Open(good);
    ASSERT_NE(reader, nullptr);
    ASSERT_TRUE(reader->currentValid);
    EXPECT_EQ(CheckLocalHeader(reader, nullptr), StatusIoError);
    EXPECT_EQ(OpenEntryData(reader, nullptr), StatusBadArchive);
}

// ---- local headers ------------------------------------------------------------------------------

struct LocalCase {
    const char* name;
    Entry entry;
    ReaderStatus status;
};

std::vector<LocalCase> LocalCases()
{
    std::vector<LocalCase> cases;
    const Entry base = DeflatedEntry("file.txt", Pattern(1000));
    cases.push_back({"matching", base, StatusOk});
    Entry e = base;
    e.localMethod = 0;
    cases.push_back({"method differs", e, StatusBadArchive});
    e = base;
    e.localName = "file.tx";
    cases.push_back({"name length differs", e, StatusBadArchive});
    e = base;
    e.localName = "FILE.TXT";
    cases.push_back({"same length, other letters: not compared", e, StatusOk});
    e = base;
    e.localCrc = 1;
    cases.push_back({"CRC differs", e, StatusBadArchive});
    e = base;
    e.localCompressedSize = 3;
    cases.push_back({"compressed size differs", e, StatusBadArchive});
    e = base;
    e.localCrc = 1;
    e.localFlags = 0x8;
    cases.push_back({"CRC differs under local bit 3", e, StatusOk});
    e = base;
    e.dataDescriptor = true;
    cases.push_back({"zero CRC and sizes with a data descriptor", e, StatusOk});
    e = base;
    e.method = 12;
    e.storedBytes = "not bzip2";
    cases.push_back({"method 12 on both sides", e, StatusBadArchive});
    e = base;
    e.localExtra = ziptest::ExtendedTimestamp(1, {1});
    cases.push_back({"a local extra field of its own", e, StatusOk});
    return cases;
}

TEST_F(ArchiveReading, ComparesTheLocalHeaderWithTheCentralRecord)
{
    for (const LocalCase& c : LocalCases()) {
        SCOPED_TRACE(c.name);
        Archive archive;
        archive.before = std::string(33, 'b');
        archive.entries = {c.entry};
        ArchiveReader* reader = Open(ziptest::Build(archive));
        ASSERT_NE(reader, nullptr);
        LocalHeaderInfo local;
        EXPECT_EQ(CheckLocalHeader(reader, &local), c.status);
        EXPECT_EQ(OpenEntryData(reader, nullptr), c.status == StatusOk ? StatusOk : StatusBadArchive);
        if (c.status != StatusOk) continue;
        const uint32_t nameLength = static_cast<uint32_t>((c.entry.localName ? *c.entry.localName : c.entry.name).size());
        EXPECT_EQ(local.extraOffset, 30 + nameLength);
        EXPECT_EQ(local.extraLength, c.entry.localExtra.size());
        EXPECT_EQ(local.nameAndExtraLength, nameLength + c.entry.localExtra.size());
        std::string data;
        ReadAll(&data);
        EXPECT_EQ(data, c.entry.data);
        EXPECT_EQ(CloseEntryData(reader), StatusOk);
    }
}

// ---- data ---------------------------------------------------------------------------------------

TEST_F(ArchiveReading, StoredDataComesInBufferSizedPieces)
{
    Archive archive;
    archive.entries = {FileEntry("big", Pattern(40000))};
    ASSERT_NE(Open(ziptest::Build(archive)), nullptr);
    std::string data;
    EXPECT_EQ(ReadAll(&data), (std::vector<int>{16384, 16384, 7232}));
    EXPECT_EQ(data, archive.entries[0].data);
    EXPECT_EQ(CloseEntryData(reader_.get()), StatusOk);
}

struct DataCase {
    const char* name;
    Entry entry;
    std::vector<int> reads;    // sizes with a 16 KiB buffer; a negative last one is the failure
    ReaderStatus closeStatus;  // after the reads
};

std::vector<DataCase> DataCases()
{
    std::vector<DataCase> cases;
    const std::string text = Pattern(30000, 7).substr(0, 5000) + std::string(25000, 'a');
    cases.push_back({"deflated", DeflatedEntry("d", text), {16384, 13616}, StatusOk});
    Entry e = DeflatedEntry("d", text);
    e.dataDescriptor = true;
    cases.push_back({"deflated with a data descriptor", e, {16384, 13616}, StatusOk});
    cases.push_back({"empty: no end reached", FileEntry("empty", ""), {0}, StatusOk});
    e = FileEntry("empty", "");
    e.crc = 0x12345678;
    cases.push_back({"empty with a CRC that is not 0", e, {0}, StatusCrcMismatch});
    e = FileEntry("s", "hello");
    e.crc = 0x1234;
    cases.push_back({"stored, wrong CRC", e, {5}, StatusCrcMismatch});
    e = DeflatedEntry("d", text);
    e.crc = 0x1234;
    cases.push_back({"deflated, wrong CRC", e, {16384, 13616}, StatusCrcMismatch});
    e = FileEntry("short", "0123456789");
    e.storedBytes = "01234";
    e.uncompressedSize = 10;
    cases.push_back({"stored, compressed size too small", e, {StatusBadArchive}, StatusOk});
    e = DeflatedEntry("cut", text);
    e.storedBytes = ziptest::RawDeflate(text).substr(0, 40);
    cases.push_back({"deflated, stream cut short", e, {Z_BUF_ERROR}, StatusOk});
    e = DeflatedEntry("junk", text);
    e.storedBytes = std::string("\xFF\xFF\xFF\xFF\xFF\xFF", 6);
    cases.push_back({"deflated, not a deflate stream", e, {Z_DATA_ERROR}, StatusOk});
    e = DeflatedEntry("early", text);
    e.uncompressedSize = 40000;
    cases.push_back({"deflate stream ends before the size", e, {16384, 13616}, StatusOk});
    e = DeflatedEntry("more", text);
    e.uncompressedSize = 100;
    cases.push_back({"size ends before the stream: the rest is not read", e, {100}, StatusCrcMismatch});

    e = FileEntry("secret", Pattern(20000, 3));
    e.password = "pw";
    cases.push_back({"encrypted stored: 12 header bytes, then the data", e, {16384, 3616}, StatusOk});
    e = FileEntry("secret", "x");
    e.password = "pw";
    e.checkByte = static_cast<unsigned char>((ziptest::Crc("x") >> 24) ^ 0xFF);
    cases.push_back({"encrypted, wrong check byte", e, {StatusWrongPassword}, StatusOk});
    e = FileEntry("tiny", "0123456789");
    e.password = "pw";
    e.storedBytes = "";
    e.compressedSize = 5;
    cases.push_back({"encrypted, shorter than its header", e, {StatusBadArchive}, StatusOk});
    return cases;
}

TEST_F(ArchiveReading, DeliversDataAndReportsItsFailures)
{
    for (const DataCase& c : DataCases()) {
        SCOPED_TRACE(c.name);
        Archive archive;
        archive.entries = {c.entry};
        ASSERT_NE(Open(ziptest::Build(archive)), nullptr);
        std::string data;
        const std::vector<int> reads = ReadAll(&data, kEntryBufferSize, c.entry.password ? c.entry.password->c_str() : nullptr);
        EXPECT_EQ(reads, c.reads);
        if (reads.back() >= 0 && c.closeStatus == StatusOk && !c.entry.uncompressedSize) {
            EXPECT_EQ(data, c.entry.data);
        }
        EXPECT_EQ(CloseEntryData(reader_.get()), c.closeStatus);
    }
}

// The check byte follows bit 3 of the central flags, whatever the local flags say.
TEST_F(ArchiveReading, CheckByteFollowsTheCentralFlags)
{
    struct FlagsCase {
        uint16_t central, local;
        bool fromTime;
    } cases[] = {{0x8, 0x0, true}, {0x0, 0x8, false}};
    for (const FlagsCase& c : cases) {
        SCOPED_TRACE(c.central);
        Entry e = FileEntry("s", "secret data");
        e.password = "right";
        e.flags = c.central;
        e.localFlags = static_cast<uint16_t>(c.local | 0x1);
        e.dosDateTime = ziptest::DosDateTime(2020, 1, 2, 13, 14, 16);
        const unsigned char fromTime = static_cast<unsigned char>((e.dosDateTime >> 8) & 0xFF);
        const unsigned char fromCrc = static_cast<unsigned char>(ziptest::Crc(e.data) >> 24);
        ASSERT_NE(fromTime, fromCrc);
        e.checkByte = c.fromTime ? fromTime : fromCrc;
        Archive archive;
        archive.entries = {e};
        ASSERT_NE(Open(ziptest::Build(archive)), nullptr);
        std::string data;
        EXPECT_EQ(ReadAll(&data, kEntryBufferSize, "right"), std::vector<int>{11});
        EXPECT_EQ(data, "secret data");
        EXPECT_EQ(CloseEntryData(reader_.get()), StatusOk);
        // The other byte is a wrong password.
        Archive wrong = archive;
        wrong.entries[0].checkByte = c.fromTime ? fromCrc : fromTime;
        ASSERT_NE(Open(ziptest::Build(wrong)), nullptr);
        EXPECT_EQ(ReadAll(&data, kEntryBufferSize, "right"), std::vector<int>{StatusWrongPassword});
    }
}

TEST_F(ArchiveReading, StreamsAreOpenedClosedAndCheckedForArguments)
{
    Archive archive;
    archive.entries = {FileEntry("a", "alpha"), FileEntry("b", "beta")};
    ArchiveReader* reader = Open(ziptest::Build(archive));
    ASSERT_NE(reader, nullptr);
    char buffer[8];
    bool reachedEnd = true;
    EXPECT_EQ(ReadEntryData(reader, buffer, sizeof buffer, &reachedEnd), StatusBadArgument);
    EXPECT_FALSE(reachedEnd);
    EXPECT_EQ(CloseEntryData(reader), StatusBadArgument);
    EXPECT_EQ(ReadEntryData(nullptr, buffer, sizeof buffer, nullptr), StatusBadArgument);
    EXPECT_EQ(OpenEntryData(nullptr, nullptr), StatusBadArgument);
    EXPECT_EQ(RewindToFirstEntry(nullptr), StatusBadArgument);
    EXPECT_FALSE(StepToNextEntry(nullptr));

    ASSERT_EQ(OpenEntryData(reader, nullptr), StatusOk);
    EXPECT_EQ(ReadEntryData(reader, buffer, 0, &reachedEnd), 0);
    EXPECT_EQ(ReadEntryData(reader, buffer, 2, &reachedEnd), 2);
    EXPECT_FALSE(reachedEnd);
    // Closing part-way compares nothing.
    EXPECT_EQ(CloseEntryData(reader), StatusOk);

    // Opening the next entry's data closes the open stream first.
    ASSERT_EQ(OpenEntryData(reader, nullptr), StatusOk);
    ASSERT_TRUE(StepToNextEntry(reader));
    ASSERT_EQ(OpenEntryData(reader, nullptr), StatusOk);
    EXPECT_EQ(ReadEntryData(reader, buffer, sizeof buffer, &reachedEnd), 4);
    EXPECT_TRUE(reachedEnd);
    EXPECT_EQ(std::string(buffer, 4), "beta");
    // Left open: closing the reader closes it.
}

TEST_F(ArchiveReading, EmptyArchiveHasNoCurrentEntry)
{
    ArchiveReader* reader = Open(ziptest::Build(Archive{}));
    ASSERT_NE(reader, nullptr);
    // It finds the end record's signature, and a record that runs past the end of the file.
    EXPECT_EQ(RewindToFirstEntry(reader), StatusIoError);
    EXPECT_FALSE(StepToNextEntry(reader));
    EXPECT_EQ(OpenEntryData(reader, nullptr), StatusBadArgument);
    EXPECT_EQ(CheckLocalHeader(reader, nullptr), StatusBadArgument);
}

}  // namespace
