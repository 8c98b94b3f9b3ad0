// A log record: made by one statement, filled through Stream(), finished and sent to its logger
// when the statement ends. CustomLogMessage is the launcher's record, with the header
//   [DID][I][2024-3-7 9:5:3] text
// in UTC, numbers without leading zeros.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "log/log_data.h"
#include "log/log_level.h"

// The name that opens every launcher record. Defined together with AppLogger (app_logger.cpp)
// so that it is built before the logger and torn down after it.
extern const std::string LoggerName;

namespace cpplog {

// The clock a record reads: seconds since 1970-01-01 00:00:00 UTC. Tests put a fixed clock in
// place; SetTimeSource(nullptr) brings back the real one. Returns the clock it replaced.
using TimeSource = std::int64_t (*)();
TimeSource SetTimeSource(TimeSource source);

class LogMessage {
public:
    // file: static text, the source path (not copied). Writes no header itself.
    LogMessage(const char* file, std::uint32_t line, LogLevel level, BaseLogger* logger);
    // Finishes and sends the line; destroys the data only when the logger said so.
    virtual ~LogMessage();
    // "WARN  - util.cpp(42): "; left adjustment and decimal base stay set on the stream.
    virtual void WriteHeader();

    LogMessage(const LogMessage&) = delete;
    LogMessage& operator=(const LogMessage&) = delete;

    std::ostream& Stream();
    // Ends the line with '\n' (replacing the last character of a full buffer) and sends it.
    // Runs once; it never lets an exception of the logger out.
    void Flush();

    const LogData* Data() const { return data; }

protected:
    void Init(const char* file, std::uint32_t line, LogLevel level);

    BaseLogger* logger;
    bool flushed = false;
    bool releaseData = false;
    LogData* data = nullptr;
};

}  // namespace cpplog

namespace n_log {

class CustomLogMessage : public cpplog::LogMessage {
public:
    // function: static text, kept with the record and shown by no header.
    CustomLogMessage(const char* file, const char* function, std::uint32_t line, cpplog::LogLevel level,
                     cpplog::BaseLogger* logger);
    void WriteHeader() override;

    const char* Function() const { return function; }

private:
    const char* function;
};

// Inserts wide text as WideToChsString converts it (code page 936; a text with a character that
// code page lacks inserts nothing). Returns stream so that insertions chain onto it.
std::ostream& AppendWide(std::ostream& stream, const wchar_t* text);

}  // namespace n_log
