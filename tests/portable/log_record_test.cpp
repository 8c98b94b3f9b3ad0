// Log records: the DID header, the LogMessage header, the 20000-character line and its newline,
// the single flush, and who destroys the record's data.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "log/log_record.h"
#include "support/log_capture.h"
#include "winapi/winapi.h"

namespace {

using cpplog::LogMessage;
using logtest::FixedClock;
using logtest::RecordingLogger;
using n_log::CustomLogMessage;

constexpr std::size_t kCapacity = cpplog::helpers::fixed_streambuf::kCapacity;

struct HeaderCase {
    const char* name;
    std::int64_t time;
    cpplog::LogLevel level;
    const char* header;
};

const HeaderCase kHeaderCases[] = {
    {"the example", 1709802303, cpplog::LL_INFO, "[DID][I][2024-3-7 9:5:3] "},
    {"new year at midnight", 1735689600, cpplog::LL_INFO, "[DID][I][2025-1-1 0:0:0] "},
    {"last second of a year", 1704067199, cpplog::LL_WARN, "[DID][W][2023-12-31 23:59:59] "},
    {"the epoch", 0, cpplog::LL_TRACE, "[DID][T][1970-1-1 0:0:0] "},
    {"after 2038", 2214129600, cpplog::LL_DEBUG, "[DID][D][2040-2-29 12:0:0] "},
    {"two-digit fields", 1729002645, cpplog::LL_ERROR, "[DID][E][2024-10-15 14:30:45] "},
    {"fatal", 1709802303, cpplog::LL_FATAL, "[DID][F][2024-3-7 9:5:3] "},
    {"level 6", 1709802303, 6, "[DID][O][2024-3-7 9:5:3] "},
    {"level 7", 1709802303, 7, "[DID][O][2024-3-7 9:5:3] "},
    {"largest level", 1709802303, 0xFFFFFFFFu, "[DID][O][2024-3-7 9:5:3] "},
};

TEST(CustomLogMessage, HeaderIsUtcWithoutLeadingZeros)
{
    for (const HeaderCase& c : kHeaderCases) {
        SCOPED_TRACE(c.name);
        FixedClock clock(c.time);
        RecordingLogger logger;
        CustomLogMessage(__FILE__, "Fn", 7, c.level, &logger).Stream() << "text";
        ASSERT_EQ(logger.lines.size(), 1u);
        EXPECT_EQ(logger.lines[0], std::string(c.header) + "text\n");
    }
}

TEST(CustomLogMessage, KeepsWhatItWasMadeWith)
{
    FixedClock clock(logtest::kMarch7th2024);
    static const char kFile[] = "C:\\src\\launcher/Fennowick.cpp";
    RecordingLogger logger;
    {
        CustomLogMessage record(kFile, "wWinMain", 629, cpplog::LL_INFO, &logger);
        EXPECT_STREQ(record.Function(), "wWinMain");
        const cpplog::LogData* data = record.Data();
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->sourcePath, kFile);  // the creator's text, not a copy
        EXPECT_EQ(data->sourceName, kFile + std::strlen("C:\\src\\launcher/"));
        EXPECT_EQ(data->line, 629u);
        EXPECT_EQ(data->level, cpplog::LL_INFO);
        EXPECT_EQ(data->timestamp, logtest::kMarch7th2024);
        EXPECT_EQ(data->utcTime.tm_wday, 4);  // a Thursday
        EXPECT_EQ(data->utcTime.tm_yday, 66);
        // The record's own stream keeps its standard formatting: no width or fill leaks out of the header.
        record.Stream() << 5 << ' ' << 0x1F;
    }
    ASSERT_EQ(logger.lines.size(), 1u);
    EXPECT_EQ(logger.lines[0], "[DID][I][2024-3-7 9:5:3] 5 31\n");
}

TEST(CustomLogMessage, ReadsTheRealClockInUtc)
{
    // The civil date of a day count since 1970-01-01, computed apart from the runtime.
    auto civil = [](std::int64_t days, int* y, int* m, int* d) {
        days += 719468;
        const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
        const std::int64_t doe = days - era * 146097;
        const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const std::int64_t mp = (5 * doy + 2) / 153;
        *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
        *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
        *y = static_cast<int>(yoe + era * 400 + (*m <= 2));
    };

    RecordingLogger logger;
    const std::int64_t before = static_cast<std::int64_t>(time(nullptr));
    std::int64_t stamp = 0;
    {
        CustomLogMessage record(__FILE__, "Fn", 1, cpplog::LL_INFO, &logger);
        stamp = record.Data()->timestamp;
    }
    const std::int64_t after = static_cast<std::int64_t>(time(nullptr));
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);

    int y, m, d;
    civil(stamp / 86400, &y, &m, &d);
    const std::int64_t second = stamp % 86400;
    const std::string expected = "[DID][I][" + std::to_string(y) + "-" + std::to_string(m) + "-" + std::to_string(d) +
                                 " " + std::to_string(second / 3600) + ":" + std::to_string(second / 60 % 60) + ":" +
                                 std::to_string(second % 60) + "] \n";
    ASSERT_EQ(logger.lines.size(), 1u);
    EXPECT_EQ(logger.lines[0], expected);
}

struct BaseHeaderCase {
    const char* name;
    cpplog::LogLevel level;
    const char* file;
    std::uint32_t line;
    const char* header;
};

const BaseHeaderCase kBaseHeaderCases[] = {
    {"the example", cpplog::LL_WARN, "src/util.cpp", 42, "WARN  - util.cpp(42): "},
    {"five letters", cpplog::LL_ERROR, "util.cpp", 1, "ERROR - util.cpp(1): "},
    {"four letters", cpplog::LL_INFO, "C:\\src\\main.cpp", 4000000000u, "INFO  - main.cpp(4000000000): "},
    {"unknown level", 7, "x.cpp", 3, "OTHER - x.cpp(3): "},
    {"slash wins over a later backslash", cpplog::LL_TRACE, "a\\b/c\\d", 9, "TRACE - c\\d(9): "},
    {"no separator", cpplog::LL_DEBUG, "plain.cpp", 2, "DEBUG - plain.cpp(2): "},
    {"ends with a separator", cpplog::LL_FATAL, "dir/", 5, "FATAL - (5): "},
    {"ends with a backslash", cpplog::LL_FATAL, "C:\\dir\\", 5, "FATAL - (5): "},
};

TEST(LogMessage, HeaderPadsTheLevelNameAndNamesTheSourceFile)
{
    for (const BaseHeaderCase& c : kBaseHeaderCases) {
        SCOPED_TRACE(c.name);
        RecordingLogger logger;
        {
            LogMessage record(c.file, c.line, c.level, &logger);
            EXPECT_EQ(record.Data()->buffer.Length(), 0u);  // the base record writes no header by itself
            record.WriteHeader();
            // The width was for the level name only; left adjustment and decimal base stay.
            record.Stream() << 7 << '|';
            record.Stream().width(3);
            record.Stream() << 8 << '|';
        }
        ASSERT_EQ(logger.lines.size(), 1u);
        EXPECT_EQ(logger.lines[0], std::string(c.header) + "7|8  |\n");
    }
}

struct LineCase {
    const char* name;
    std::vector<std::string> pieces;  // inserted one after the other
    std::string sent;
};

std::string Xs(std::size_t n) { return std::string(n, 'x'); }

const LineCase kLineCases[] = {
    {"no text", {}, "\n"},
    {"text gets a newline", {"abc"}, "abc\n"},
    {"a newline is not doubled", {"abc\n"}, "abc\n"},
    {"an inner newline does not count", {"a\nb"}, "a\nb\n"},
    {"one short of the limit", {Xs(kCapacity - 1)}, Xs(kCapacity - 1) + "\n"},
    {"exactly the limit", {Xs(kCapacity)}, Xs(kCapacity - 1) + "\n"},
    {"the limit ending with a newline", {Xs(kCapacity - 1) + "\n"}, Xs(kCapacity - 1) + "\n"},
    {"over the limit", {Xs(kCapacity + 5000)}, Xs(kCapacity - 1) + "\n"},
    {"over the limit, newline at the cut", {Xs(kCapacity - 1) + "\n" + "yyy"}, Xs(kCapacity - 1) + "\n"},
    {"insertions after the cut are ignored", {Xs(kCapacity - 2), "abc", "\n"}, Xs(kCapacity - 2) + "a\n"},
};

TEST(LogMessage, LineIsCutAt20000CharactersAndEndsWithANewline)
{
    for (const LineCase& c : kLineCases) {
        SCOPED_TRACE(c.name);
        RecordingLogger logger;
        bool bad = false;
        {
            LogMessage record("f.cpp", 1, cpplog::LL_INFO, &logger);
            for (const std::string& piece : c.pieces) record.Stream() << piece;
            bad = record.Stream().bad();
        }
        ASSERT_EQ(logger.lines.size(), 1u);
        EXPECT_EQ(logger.lines[0].size(), c.sent.size());
        EXPECT_TRUE(logger.lines[0] == c.sent);
        std::size_t inserted = 0;
        for (const std::string& piece : c.pieces) inserted += piece.size();
        EXPECT_EQ(bad, inserted > kCapacity);  // an insertion that does not fit spoils the stream
    }
}

TEST(CustomLogMessage, LongTextKeepsTheHeaderAndIsCut)
{
    FixedClock clock(logtest::kMarch7th2024);
    RecordingLogger logger;
    CustomLogMessage(__FILE__, "Fn", 1, cpplog::LL_INFO, &logger).Stream() << "par: " << Xs(30000);
    ASSERT_EQ(logger.lines.size(), 1u);
    const std::string head = "[DID][I][2024-3-7 9:5:3] par: ";
    EXPECT_EQ(logger.lines[0].size(), kCapacity);
    EXPECT_EQ(logger.lines[0].compare(0, head.size(), head), 0);
    EXPECT_EQ(logger.lines[0].back(), '\n');
}

TEST(LogMessage, FlushSendsOnce)
{
    RecordingLogger logger;
    {
        LogMessage record("f.cpp", 1, cpplog::LL_INFO, &logger);
        record.Stream() << "one";
        record.Flush();
        record.Flush();
        record.Stream() << "late";  // after the flush: never sent
    }
    ASSERT_EQ(logger.lines.size(), 1u);
    EXPECT_EQ(logger.lines[0], "one\n");
}

TEST(LogMessage, DataStaysWithALoggerThatReturnsFalse)
{
    RecordingLogger logger;
    logger.result = false;
    { LogMessage("f.cpp", 1, cpplog::LL_INFO, &logger).Stream() << "kept"; }
    ASSERT_NE(logger.last, nullptr);
    // Still alive after the record is gone (the sanitizers would object otherwise); now it is ours.
    EXPECT_EQ(std::string(logger.last->buffer.Text(), logger.last->buffer.Length()), "kept\n");
    delete logger.last;
}

class ThrowingLogger : public cpplog::BaseLogger {
public:
    bool Send(cpplog::LogData& data) override
    {
        text.assign(data.buffer.Text(), data.buffer.Length());
        throw std::runtime_error("sink failed");
    }
    std::string text;
};

TEST(LogMessage, NeverThrowsIntoTheCodeThatLogs)
{
    FixedClock clock(logtest::kMarch7th2024);
    ThrowingLogger throwing;
    EXPECT_NO_THROW(CustomLogMessage(__FILE__, "Fn", 1, cpplog::LL_FATAL, &throwing).Stream() << "x");
    EXPECT_EQ(throwing.text, "[DID][F][2024-3-7 9:5:3] x\n");

    // A record with no logger is finished and dropped.
    EXPECT_NO_THROW(CustomLogMessage(__FILE__, "Fn", 1, cpplog::LL_INFO, nullptr).Stream() << "nowhere");
}

TEST(LogMessage, AStatementLeftByAnExceptionStillSendsItsLine)
{
    FixedClock clock(logtest::kMarch7th2024);
    RecordingLogger logger;
    auto fails = []() -> int { throw std::runtime_error("while logging"); };
    try {
        CustomLogMessage(__FILE__, "Fn", 1, cpplog::LL_INFO, &logger).Stream() << "before " << fails();
    } catch (const std::runtime_error&) {
    }
    ASSERT_EQ(logger.lines.size(), 1u);
    EXPECT_EQ(logger.lines[0], "[DID][I][2024-3-7 9:5:3] before \n");
}

TEST(AppendWide, InsertsTheCodePage936TextOrNothing)
{
    struct Case {
        const char* name;
        const wchar_t* text;
        std::string inserted;
    };
    const Case cases[] = {
        {"plain", L"class path: ", "class path: "},
        {"Chinese", L"\x4E2D\x6587", "\xD6\xD0\xCE\xC4"},
        {"a character outside code page 936", L"par: \x0E01", ""},
        {"empty", L"", ""},
        {"null", nullptr, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingLogger logger;
        {
            LogMessage record("f.cpp", 1, cpplog::LL_INFO, &logger);
            n_log::AppendWide(record.Stream(), c.text) << '|';  // chains onto the same stream
        }
        ASSERT_EQ(logger.lines.size(), 1u);
        EXPECT_EQ(logger.lines[0], c.inserted + "|\n");
    }
}

TEST(FixedStreambuf, Takes20000CharactersAndAlwaysHasRoomForANul)
{
    cpplog::helpers::fixed_streambuf buffer;
    const std::string text = Xs(kCapacity + 1);
    EXPECT_EQ(buffer.sputn(text.data(), static_cast<std::streamsize>(text.size())),
              static_cast<std::streamsize>(kCapacity));
    EXPECT_EQ(buffer.sputc('y'), std::char_traits<char>::eof());
    EXPECT_EQ(buffer.Length(), kCapacity);
    buffer.TerminateAtPut();
    EXPECT_EQ(std::strlen(buffer.Text()), kCapacity);
    buffer.DropLast();
    EXPECT_EQ(buffer.sputc('\n'), '\n');
    EXPECT_EQ(buffer.Text()[kCapacity - 1], '\n');
}

}  // namespace
