// The loggers behind AppLogger: a level filter that passes records on to a target, the two sinks
// built on it (debugger output and standard error), and the stream loggers that write the text.
#pragma once

#include <ostream>

#include "log/debug_output_stream.h"
#include "log/log_data.h"
#include "log/log_level.h"

namespace cpplog {

// Passes records of at least minLevel to target. A record below the level counts as delivered
// (true); one that has nowhere to go does not (false).
class FilteringLogger : public BaseLogger {
public:
    FilteringLogger(LogLevel minLevel, BaseLogger* target, bool ownsTarget);
    bool Send(LogData& data) override;
    ~FilteringLogger() override;

    LogLevel MinLevel() const { return minLevel; }
    BaseLogger* Target() const { return target; }
    bool OwnsTarget() const { return ownsTarget; }
    // Replaces the target; the old one is destroyed when it was owned.
    void SetTarget(BaseLogger* newTarget, bool owns);

protected:
    LogLevel minLevel;
    BaseLogger* target;
    bool ownsTarget;
};

// The common base of the sinks that ZmLogger recognises.
class ZmFilteringLogger : public FilteringLogger {
public:
    using FilteringLogger::FilteringLogger;
};

// Every level to the debugger output. The inner logger is not owned: sinks live as long as the
// process.
class ZmDbgLogger : public ZmFilteringLogger {
public:
    ZmDbgLogger();
};

// Every level to standard error; the inner logger is not owned either.
class ZmStdLogger : public ZmFilteringLogger {
public:
    ZmStdLogger();
};

// The third kind of sink ZmLogger dispatches to. The launcher writes no log file and never makes
// one; a target can be given like any filter's.
class ZmFileLogger : public ZmFilteringLogger {
public:
    using ZmFilteringLogger::ZmFilteringLogger;
};

// Writes each record's text to a stream with one unformatted write and one flush. Delivery is
// best effort: the result is true whatever state the stream is in.
class OstreamLogger : public BaseLogger {
public:
    explicit OstreamLogger(std::ostream* out) : out(out) {}
    bool Send(LogData& data) override;

protected:
    std::ostream* out;  // not owned
};

class StdErrLogger : public OstreamLogger {
public:
    StdErrLogger();
};

class OutputDebugStringLogger : public OstreamLogger {
public:
    OutputDebugStringLogger();

private:
    outputdebug_stream<char> debugStream;
};

}  // namespace cpplog
