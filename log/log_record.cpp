#include "log/log_record.h"

#include <cstring>
#include <new>
#include <sstream>

#include "launcher/text_conversion.h"
#include "winapi/winapi.h"

namespace cpplog {

namespace {

std::int64_t RealTime() { return static_cast<std::int64_t>(time(nullptr)); }

TimeSource g_timeSource = RealTime;

// A '/' wins over a later '\': a\b/c\d names c\d.
const char* LastComponent(const char* path)
{
    if (!path) return "";
    if (const char* slash = std::strrchr(path, '/')) return slash + 1;
    if (const char* backslash = std::strrchr(path, '\\')) return backslash + 1;
    return path;
}

// Where insertions go when a record has no data: a stream without a buffer ignores them all.
std::ostream& NullStream()
{
    static std::ostream sink(nullptr);
    return sink;
}

}  // namespace

TimeSource SetTimeSource(TimeSource source)
{
    TimeSource previous = g_timeSource;
    g_timeSource = source ? source : RealTime;
    return previous;
}

LogMessage::LogMessage(const char* file, std::uint32_t line, LogLevel level, BaseLogger* logger) : logger(logger)
{
    Init(file, line, level);
}

LogMessage::~LogMessage()
{
    Flush();
    if (releaseData) delete data;
}

void LogMessage::Init(const char* file, std::uint32_t line, LogLevel level)
{
    // Logging must not throw into the statement that logs; without memory the record stays empty.
    data = new (std::nothrow) LogData(level);
    flushed = false;
    releaseData = false;
    if (!data) return;
    data->sourcePath = file;
    data->sourceName = LastComponent(file);
    data->line = line;
    data->timestamp = g_timeSource();
    const time_t seconds = static_cast<time_t>(data->timestamp);
    (void)gmtime_s(&data->utcTime, &seconds);  // a time read from the clock always breaks down
}

std::ostream& LogMessage::Stream() { return data ? data->stream : NullStream(); }

void LogMessage::WriteHeader()
{
    if (!data) return;
    std::ostream& out = data->stream;
    out.fill(' ');
    out.width(5);
    out.setf(std::ios::left, std::ios::adjustfield);
    out.setf(std::ios::dec, std::ios::basefield);
    out << LevelName(data->level) << " - " << data->sourceName << "(" << data->line << "): ";
}

void LogMessage::Flush()
{
    if (flushed) return;
    if (!data) {
        flushed = true;
        return;
    }
    helpers::fixed_streambuf& buffer = data->buffer;
    const std::size_t length = buffer.Length();
    if (length == 0 || buffer.Text()[length - 1] != '\n') {
        // A full line loses its last character to the newline rather than going without one.
        if (length == helpers::fixed_streambuf::kCapacity) buffer.DropLast();
        buffer.sputc('\n');
    }
    if (!logger) {
        releaseData = true;
    } else {
        try {
            releaseData = logger->Send(*data);
        } catch (...) {
            // A logger that threw has not taken the data over.
            releaseData = true;
        }
    }
    flushed = true;
}

}  // namespace cpplog

namespace n_log {

CustomLogMessage::CustomLogMessage(const char* file, const char* function, std::uint32_t line,
                                   cpplog::LogLevel level, cpplog::BaseLogger* logger)
    : LogMessage(file, line, level, logger), function(function)
{
    CustomLogMessage::WriteHeader();
}

void CustomLogMessage::WriteHeader()
{
    if (!data) return;
    try {
        // Composed apart and inserted in one piece, so the record's own formatting never applies.
        std::ostringstream header;
        const std::tm& t = data->utcTime;
        header << '[' << LoggerName << "][" << cpplog::LevelLetter(data->level) << "][" << t.tm_year + 1900 << '-'
               << t.tm_mon + 1 << '-' << t.tm_mday << ' ' << t.tm_hour << ':' << t.tm_min << ':' << t.tm_sec << "] ";
        data->stream << header.str();
    } catch (...) {
        // Without memory for the header the record goes out with the caller's text alone.
    }
}

std::ostream& AppendWide(std::ostream& stream, const wchar_t* text)
{
    if (!text) return stream;
    try {
        stream << launcher::WideToChsString(text);
    } catch (...) {
        // Nothing inserted; the statement that logs goes on.
    }
    return stream;
}

}  // namespace n_log
