// The archive reader when the platform fails under it, and what its read-ahead costs in calls.
#include <gtest/gtest.h>

#include <string>

#include "../support/model_fixture.h"
#include "tests/support/archive_folder.h"
#include "tests/support/zip_builder.h"
#include "update/archive_reader.h"
#include "winapi/winapi.h"

using namespace update;

namespace {

// The bytes of the sample archive's entry i.
std::string SampleData(int i)
{
    return std::string(20000 + 7000 * i, static_cast<char>('a' + i)) + "entry" + std::to_string(i);
}

std::string SampleArchive()
{
    ziptest::Archive archive;
    archive.before = "stub-";
    for (int i = 0; i < 3; ++i) {
        ziptest::Entry e;
        e.name = "entry" + std::to_string(i);
        e.data = SampleData(i);
        e.method = i == 1 ? 0 : 8;
        archive.entries.push_back(e);
    }
    return ziptest::Build(archive);
}

class ReaderFaults : public ModelTest {
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        winmodel::SetCurrentDirectory(L"C:\\install");
    }
};

// Reads every entry of the sample archive; true when every entry came whole with a matching
// CRC-32, false when a failure was reported on the way. Data that is wrong without a failure
// fails the test.
bool ReadEverything()
{
    std::unique_ptr<ArchiveReader> reader = OpenArchiveReader(OpenArchiveSource());
    if (!reader) return false;
    bool whole = true;
    for (uint32_t i = 0; i < 3; ++i) {
        if (i > 0 && !StepToNextEntry(reader.get())) return false;
        if (OpenEntryData(reader.get(), nullptr) != StatusOk) return false;
        std::string data;
        char buffer[kEntryBufferSize];
        bool reachedEnd = false;
        while (!reachedEnd) {
            const int n = ReadEntryData(reader.get(), buffer, sizeof buffer, &reachedEnd);
            if (n <= 0) return false;
            data.append(buffer, static_cast<size_t>(n));
        }
        if (CloseEntryData(reader.get()) != StatusOk) return false;
        const std::string expected = SampleData(static_cast<int>(i));
        EXPECT_EQ(data, expected) << "wrong data reported as whole";
        whole = whole && data == expected;
    }
    return whole;
}

// Every platform call of a full read, made to fail in turn: the reader reports a failure or
// delivers the right bytes, and never anything else.
TEST_F(ReaderFaults, EveryFailingCallIsReportedOrHarmless)
{
    const std::string archive = SampleArchive();
    winmodel::WriteFile(L"C:\\install\\update.zip", archive);
    ASSERT_TRUE(ReadEverything());
    const long calls = winmodel::CallCount();
    int failures = 0;
    for (long n = 1; n <= calls; ++n) {
        SCOPED_TRACE(n);
        winmodel::Reset();
        winmodel::SetCurrentDirectory(L"C:\\install");
        winmodel::WriteFile(L"C:\\install\\update.zip", archive);
        winmodel::FailNthCall(n);
        if (!ReadEverything()) ++failures;
        // A CloseHandle made to fail leaves its handle in the table; any other fault must not.
        if (winmodel::CallLog()[static_cast<size_t>(n - 1)] != "CloseHandle") {
            EXPECT_EQ(winmodel::OpenFileHandles(), 0);
        }
    }
    EXPECT_GT(failures, 0);
}

TEST_F(ReaderFaults, ASourceThatCannotSeekHoldsNoArchive)
{
    winmodel::WriteFile(L"C:\\install\\update.zip", SampleArchive());
    winmodel::FailCall("SetFilePointer", 1);
    std::unique_ptr<ArchiveSource> source = OpenArchiveSource();
    ASSERT_NE(source, nullptr);
    EXPECT_FALSE(source->seekable);
    uint32_t position = 0;
    EXPECT_FALSE(FindEndRecord(*source, &position));
    EXPECT_FALSE(SourceSeek(*source, 0));
    EXPECT_EQ(OpenArchiveReader(std::move(source)), nullptr);
    EXPECT_EQ(winmodel::OpenFileHandles(), 0);  // the failed open closed the file
}

// After a failed ReadFile, the end of the file is an I/O error, not a quiet end.
TEST_F(ReaderFaults, AFailedReadMarksTheSourceForGood)
{
    winmodel::WriteFile(L"C:\\install\\update.zip", "ab");
    std::unique_ptr<ArchiveSource> source = OpenArchiveSource();
    ASSERT_NE(source, nullptr);
    unsigned char byte = 0;
    bool got = false;
    winmodel::FailCall("ReadFile", 1);
    EXPECT_EQ(SourceReadByte(*source, &byte, &got), StatusIoError);
    EXPECT_FALSE(got);
    EXPECT_TRUE(source->readError);
    // The next reads work again, but the end of the file now counts as an error.
    EXPECT_EQ(SourceReadByte(*source, &byte, &got), StatusOk);
    EXPECT_TRUE(got);
    EXPECT_EQ(byte, 'a');
    uint32_t value = 7;
    EXPECT_EQ(SourceReadUInt16(*source, &value), StatusIoError);  // "b" and then the end
    EXPECT_EQ(value, 0u);

    std::unique_ptr<ArchiveSource> clean = OpenArchiveSource();
    ASSERT_NE(clean, nullptr);
    ASSERT_TRUE(SourceSeek(*clean, 2));
    EXPECT_EQ(SourceReadByte(*clean, &byte, &got), StatusOk);  // the end, quietly
    EXPECT_FALSE(got);
}

// Header fields come through the read-ahead window: walking a large central directory takes a
// few reads, not one per byte, and ascending steps never go back to its start.
TEST_F(ReaderFaults, WalkingTakesFewReadsAndNeverRewinds)
{
    ziptest::Archive archive;
    for (int i = 0; i < 500; ++i) {
        ziptest::Entry e;
        e.name = "folder/file-" + std::to_string(i) + ".dat";
        e.data = "x";
        archive.entries.push_back(e);
    }
    winmodel::WriteFile(L"C:\\install\\update.zip", ziptest::Build(archive));
    std::unique_ptr<ArchiveReader> reader = OpenArchiveReader(OpenArchiveSource());
    ASSERT_NE(reader, nullptr);
    const long readsBefore = winmodel::CallsNamed("ReadFile");
    uint32_t lastPosition = reader->currentRecordPosition;
    int steps = 0;
    while (StepToNextEntry(reader.get())) {
        ASSERT_TRUE(reader->currentValid);
        ASSERT_GT(reader->currentRecordPosition, lastPosition);
        lastPosition = reader->currentRecordPosition;
        ++steps;
    }
    EXPECT_EQ(steps, 499);
    const long reads = winmodel::CallsNamed("ReadFile") - readsBefore;
    // About 30 KB of central directory through a read-ahead window.
    EXPECT_LE(reads, 10);
}

// Reading each entry's data between steps through the central directory, as the extractor does,
// reads the directory and the data once each: neither pushes the other out.
TEST_F(ReaderFaults, DirectoryAndDataAreEachReadOnceWhenInterleaved)
{
    ziptest::Archive archive;
    for (int i = 0; i < 2000; ++i) {
        ziptest::Entry e;
        e.name = "folder/file-" + std::to_string(i) + ".dat";
        e.data = std::string(100 + i % 50, static_cast<char>('a' + i % 26));
        e.method = i % 2 == 0 ? 8 : 0;
        archive.entries.push_back(e);
    }
    const std::string bytes = ziptest::Build(archive);
    winmodel::WriteFile(L"C:\\install\\update.zip", bytes);
    std::unique_ptr<ArchiveReader> reader = OpenArchiveReader(OpenArchiveSource());
    ASSERT_NE(reader, nullptr);
    const long readsBefore = winmodel::CallsNamed("ReadFile");
    for (int i = 0; i < 2000; ++i) {
        SCOPED_TRACE(i);
        if (i > 0) {
            ASSERT_TRUE(StepToNextEntry(reader.get()));
        }
        ASSERT_EQ(OpenEntryData(reader.get(), nullptr), StatusOk);
        char buffer[kEntryBufferSize];
        bool reachedEnd = false;
        const int n = ReadEntryData(reader.get(), buffer, sizeof buffer, &reachedEnd);
        ASSERT_EQ(n, 100 + i % 50);
        EXPECT_TRUE(reachedEnd);
        EXPECT_EQ(buffer[0], static_cast<char>('a' + i % 26));
        ASSERT_EQ(CloseEntryData(reader.get()), StatusOk);
    }
    const long reads = winmodel::CallsNamed("ReadFile") - readsBefore;
    // Each byte of the archive through a 64 KiB window about once, and a few more.
    EXPECT_LE(reads, static_cast<long>(bytes.size() / ArchiveSource::kReadAheadSize) + 6);
}

}  // namespace
