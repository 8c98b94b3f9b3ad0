// Archives made by tools that no one here wrote (Info-ZIP zip with and without -X and with -P,
// Python's zipfile stored, deflated and streamed, bsdtar, 7z) extract byte for byte, with the
// attributes and times their own bytes call for.
#include <gtest/gtest.h>

#include <string>

#include "../support/model_fixture.h"
#include "tests/support/tool_archives.h"
#include "tests/support/zip_builder.h"
#include "update/zip_extractor.h"
#include "winapi/scoped_handle.h"
#include "winapi/winapi.h"

using namespace update;
using ziptest::Ticks;
using ziptest::ToolEntry;

namespace {

const wchar_t kBase[] = L"C:\\install";
constexpr long kBias = -480;  // UTC+8: local DOS times are 8 hours ahead of UTC

long long ExpectedTicks(const ToolEntry& e, int which)
{
    if (e.unixTimes[which] != "-") return ziptest::UnixTicks(std::stoll(e.unixTimes[which]));
    return ziptest::LocalToUtcTicks(e.dos[0], e.dos[1], e.dos[2], e.dos[3], e.dos[4], e.dos[5], kBias);
}

class RealArchives : public ModelTest {};

TEST_F(RealArchives, ExtractByteForByteWithAttributesAndTimes)
{
    const auto archives = ziptest::LoadToolArchives();
    ASSERT_EQ(archives.size(), 8u) << "the fixture script did not run";
    for (const auto& [archive, entries] : archives) {
        SCOPED_TRACE(archive);
        winmodel::Reset();
        winmodel::SetTimeZoneBiasMinutes(kBias);
        winmodel::SetCurrentDirectory(kBase);
        const std::string bytes = ziptest::ReadFixture(archive);
        ASSERT_FALSE(bytes.empty());
        winmodel::WriteFile(std::wstring(kBase) + L"\\update.zip", bytes);

        std::optional<ZipHandle> handle = OpenZipHandle();
        ASSERT_TRUE(handle);
        ZipExtractor& extractor = *handle->extractor;
        if (entries.front().password != "-") extractor.SetPassword(entries.front().password.c_str());
        EntryRecord count;
        ASSERT_EQ(extractor.QueryEntry(-1, count), ZipOk);
        ASSERT_EQ(count.index, static_cast<int32_t>(entries.size()));

        for (const ToolEntry& e : entries) {
            SCOPED_TRACE(e.name);
            EntryRecord record;
            ASSERT_EQ(extractor.QueryEntry(e.index, record), ZipOk);
            EXPECT_EQ(record.name, ziptest::Wide(e.name));
            EXPECT_EQ(record.attributes, e.attributes);
            EXPECT_EQ(Ticks(record.lastWriteTime), ExpectedTicks(e, 0));
            EXPECT_EQ(Ticks(record.lastAccessTime), ExpectedTicks(e, 1));
            EXPECT_EQ(Ticks(record.creationTime), ExpectedTicks(e, 2));
            ASSERT_EQ(extractor.ExtractEntry(e.index, record.name), ZipOk);

            const std::wstring path = std::wstring(kBase) + L"\\" + record.name;
            if (e.source == "-") {
                EXPECT_EQ(winmodel::Attributes(path), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
                continue;
            }
            std::string written;
            ASSERT_TRUE(winmodel::ReadWholeFile(path, &written));
            EXPECT_TRUE(written == ziptest::ReadFixture("tree/" + e.source));
            EXPECT_EQ(winmodel::Attributes(path), e.attributes | FILE_ATTRIBUTE_ARCHIVE);
            winapi::ScopedFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            FILETIME creation, access, write;
            ASSERT_TRUE(GetFileTime(file.Get(), &creation, &access, &write));
            EXPECT_EQ(Ticks(write), ExpectedTicks(e, 0));
            EXPECT_EQ(Ticks(access), ExpectedTicks(e, 1));
            EXPECT_EQ(Ticks(creation), ExpectedTicks(e, 2));
        }
        EXPECT_EQ(extractor.Close(), ZipOk);
        EXPECT_EQ(winmodel::OpenFileHandles(), 0);
    }
}

}  // namespace
