// What one log record carries from the statement that makes it to the loggers that deliver it:
// the fixed line buffer, the record's data, and the logger interface that receives it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <ostream>
#include <streambuf>

#include "log/log_level.h"

namespace cpplog {

namespace helpers {

// The put area of a record's stream: exactly kCapacity characters inside the object, followed by
// one extra byte so that a NUL can always be stored at the put position, even when the area is
// full. Nothing is overridden: a full area refuses further characters (the inherited overflow
// reports end-of-file). It never allocates.
class fixed_streambuf : public std::streambuf {
public:
    static constexpr std::size_t kCapacity = 20000;

    fixed_streambuf() { setp(storage_, storage_ + kCapacity); }
    fixed_streambuf(const fixed_streambuf&) = delete;
    fixed_streambuf& operator=(const fixed_streambuf&) = delete;

    const char* Text() const { return pbase(); }
    std::size_t Length() const { return static_cast<std::size_t>(pptr() - pbase()); }
    // Moves the put position back by one character, so the next one replaces it.
    void DropLast()
    {
        if (pptr() > pbase()) pbump(-1);
    }
    // Ends the text with a NUL for readers that want a C string; the text itself is unchanged.
    void TerminateAtPut() { *pptr() = '\0'; }

private:
    char storage_[kCapacity + 1] = {};  // the last byte is the extra one, never in the put area
};

}  // namespace helpers

// One record's data, made on the heap by the record. The line is the run of characters from the
// start of the buffer's put area to its put position.
struct LogData {
    explicit LogData(LogLevel level) : stream(&buffer), level(level) {}
    LogData(const LogData&) = delete;
    LogData& operator=(const LogData&) = delete;
    virtual ~LogData() = default;

    helpers::fixed_streambuf buffer;
    std::ostream stream;                // writes into buffer; standard initial formatting
    LogLevel level;
    std::uint32_t line = 0;
    const char* sourcePath = nullptr;   // static text, not copied
    const char* sourceName = "";        // points into sourcePath: its last component
    std::int64_t timestamp = 0;         // seconds since 1970-01-01 00:00:00 UTC
    std::tm utcTime{};                  // timestamp broken down in UTC
};

// A logger receives finished records. A true result tells the record that it may destroy its
// LogData; a logger that returns false keeps it.
class BaseLogger {
public:
    virtual bool Send(LogData& data) = 0;
    virtual ~BaseLogger() = default;

    BaseLogger(const BaseLogger&) = delete;
    BaseLogger& operator=(const BaseLogger&) = delete;

protected:
    BaseLogger() = default;
};

}  // namespace cpplog
