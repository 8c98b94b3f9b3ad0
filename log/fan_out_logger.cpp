#include "log/fan_out_logger.h"

namespace cpplog {

ZmLogger::ZmLogger(SetUp setUp)
{
    if (setUp == SetUp::DefaultSinks) AddDefaultSinks();
}

ZmLogger::~ZmLogger() { sinks.clear(); }

void ZmLogger::AddDefaultSinks()
{
    dbgSink = new ZmDbgLogger;
    sinks.push_back(boost::any(dbgSink));
    stdSink = new ZmStdLogger;
    sinks.push_back(boost::any(stdSink));
}

BaseLogger* ZmLogger::PickSink(const boost::any& entry) const
{
    if (stdEnabled) {
        if (ZmStdLogger* const* sink = boost::any_cast<ZmStdLogger*>(&entry)) return *sink;
    }
    if (dbgEnabled) {
        if (ZmDbgLogger* const* sink = boost::any_cast<ZmDbgLogger*>(&entry)) return *sink;
    }
    if (fileEnabled) {
        if (ZmFileLogger* const* sink = boost::any_cast<ZmFileLogger*>(&entry)) return *sink;
    }
    return nullptr;
}

bool ZmLogger::Send(LogData& data)
{
    bool result = true;
    try {
        // The size is read again on every step.
        for (std::size_t i = 0; i < sinks.size(); ++i) {
            BaseLogger* sink = PickSink(sinks[i]);
            if (!sink) continue;
            if (!result) break;
            result = sink->Send(data);
        }
    } catch (...) {
        // A sink's exception never reaches the statement that logs; the sinks after it are skipped.
    }
    return result;
}

}  // namespace cpplog
