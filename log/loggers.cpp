#include "log/loggers.h"

#include <iostream>

namespace cpplog {

FilteringLogger::FilteringLogger(LogLevel minLevel, BaseLogger* target, bool ownsTarget)
    : minLevel(minLevel), target(target), ownsTarget(ownsTarget)
{
}

bool FilteringLogger::Send(LogData& data)
{
    if (data.level < minLevel) return true;
    if (!target) return false;
    return target->Send(data);
}

FilteringLogger::~FilteringLogger()
{
    if (ownsTarget) delete target;
}

void FilteringLogger::SetTarget(BaseLogger* newTarget, bool owns)
{
    if (ownsTarget && target != newTarget) delete target;
    target = newTarget;
    ownsTarget = owns;
}

ZmDbgLogger::ZmDbgLogger() : ZmFilteringLogger(LL_TRACE, nullptr, false) { target = new OutputDebugStringLogger; }

ZmStdLogger::ZmStdLogger() : ZmFilteringLogger(LL_TRACE, nullptr, false) { target = new StdErrLogger; }

bool OstreamLogger::Send(LogData& data)
{
    data.buffer.TerminateAtPut();
    if (out) {
        out->write(data.buffer.Text(), static_cast<std::streamsize>(data.buffer.Length()));
        out->flush();
    }
    return true;
}

StdErrLogger::StdErrLogger() : OstreamLogger(&std::cerr) {}

OutputDebugStringLogger::OutputDebugStringLogger() : OstreamLogger(nullptr) { out = &debugStream; }

}  // namespace cpplog
