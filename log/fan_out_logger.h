// ZmLogger: hands each record to its sinks in list order. The list holds plain pointers in
// boost::any entries; an entry is used only when it holds exactly a ZmStdLogger*, ZmDbgLogger* or
// ZmFileLogger* whose kind is enabled. Once a sink has returned false the sinks after it do not see
// the record; an exception of a sink is caught and ends the round with the result so far.
#pragma once

#include <vector>

#include <boost/any.hpp>

#include "log/log_data.h"
#include "log/loggers.h"

namespace cpplog {

class ZmLogger : public BaseLogger {
public:
    enum class SetUp { Empty, DefaultSinks };

    explicit ZmLogger(SetUp setUp = SetUp::Empty);
    bool Send(LogData& data) override;
    // Releases the list entries only; the sinks live until the process ends.
    ~ZmLogger() override;

    // The debugger sink first, then standard error.
    void AddDefaultSinks();
    void AddSink(const boost::any& entry) { sinks.push_back(entry); }

    const std::vector<boost::any>& Sinks() const { return sinks; }
    ZmStdLogger* StdSink() const { return stdSink; }
    ZmDbgLogger* DbgSink() const { return dbgSink; }

private:
    BaseLogger* PickSink(const boost::any& entry) const;

    ZmStdLogger* stdSink = nullptr;
    ZmDbgLogger* dbgSink = nullptr;
    bool stdEnabled = true;
    bool dbgEnabled = true;
    bool fileEnabled = true;
    std::vector<boost::any> sinks;
};

}  // namespace cpplog
