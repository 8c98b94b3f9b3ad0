// The loggers behind AppLogger: the level filter, the stream logger, the fan-out over the sink
// list with its false and throw rules, and AppLogger's own set-up.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "log/app_logger.h"
#include "log/fan_out_logger.h"
#include "log/loggers.h"
#include "support/log_capture.h"

namespace {

using cpplog::BaseLogger;
using cpplog::LogData;
using cpplog::ZmDbgLogger;
using cpplog::ZmFileLogger;
using cpplog::ZmStdLogger;

LogData* MakeData(cpplog::LogLevel level, const std::string& text)
{
    LogData* data = new LogData(level);
    data->stream << text;
    return data;
}

class DestructionFlag : public BaseLogger {
public:
    explicit DestructionFlag(bool* destroyed) : destroyed_(destroyed) {}
    ~DestructionFlag() override { *destroyed_ = true; }
    bool Send(LogData&) override { return true; }

private:
    bool* destroyed_;
};

TEST(FilteringLogger, PassesRecordsFromItsLevelOn)
{
    struct Case {
        const char* name;
        cpplog::LogLevel minLevel, level;
        bool withTarget, targetAnswer;
        bool result, passed;
    };
    const Case cases[] = {
        {"below the level: delivered, not passed", cpplog::LL_WARN, cpplog::LL_INFO, true, false, true, false},
        {"at the level", cpplog::LL_WARN, cpplog::LL_WARN, true, true, true, true},
        {"above the level", cpplog::LL_TRACE, 7, true, true, true, true},
        {"the target's answer is the result", cpplog::LL_TRACE, cpplog::LL_INFO, true, false, false, true},
        {"no target", cpplog::LL_TRACE, cpplog::LL_INFO, false, true, false, false},
        {"no target, below the level", 0xFFFFFFFFu, cpplog::LL_FATAL, false, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        logtest::RecordingLogger target;
        target.result = c.targetAnswer;
        cpplog::FilteringLogger filter(c.minLevel, c.withTarget ? &target : nullptr, false);
        std::unique_ptr<LogData> data(MakeData(c.level, "x"));
        EXPECT_EQ(filter.Send(*data), c.result);
        EXPECT_EQ(target.lines.size(), c.passed ? 1u : 0u);
    }
}

TEST(FilteringLogger, DestroysOnlyATargetItOwns)
{
    bool destroyed = false;
    { cpplog::FilteringLogger owner(cpplog::LL_TRACE, new DestructionFlag(&destroyed), true); }
    EXPECT_TRUE(destroyed);

    destroyed = false;
    DestructionFlag kept(&destroyed);
    { cpplog::FilteringLogger borrower(cpplog::LL_TRACE, &kept, false); }
    EXPECT_FALSE(destroyed);
}

TEST(ZmSinks, AcceptEveryLevelAndDoNotOwnTheirWriters)
{
    ZmDbgLogger dbgSink;
    ZmStdLogger stdSink;
    // The sinks never destroy their writers; in the launcher they live until the process ends.
    std::unique_ptr<BaseLogger> dbgWriter(dbgSink.Target());
    std::unique_ptr<BaseLogger> stdWriter(stdSink.Target());
    EXPECT_EQ(dbgSink.MinLevel(), cpplog::LL_TRACE);
    EXPECT_EQ(stdSink.MinLevel(), cpplog::LL_TRACE);
    EXPECT_FALSE(dbgSink.OwnsTarget());
    EXPECT_FALSE(stdSink.OwnsTarget());
    EXPECT_NE(dynamic_cast<cpplog::OutputDebugStringLogger*>(dbgWriter.get()), nullptr);
    EXPECT_NE(dynamic_cast<cpplog::StdErrLogger*>(stdWriter.get()), nullptr);
}

// Counts the writes and flushes that reach it.
class CountingBuf : public std::stringbuf {
public:
    int writes = 0, syncs = 0;

protected:
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        ++writes;
        return std::stringbuf::xsputn(s, n);
    }
    int sync() override
    {
        ++syncs;
        return 0;
    }
};

TEST(OstreamLogger, WritesTheWholeRecordOnceAndFlushesOnce)
{
    CountingBuf buffer;
    std::ostream out(&buffer);
    cpplog::OstreamLogger logger(&out);
    const std::string text("one\0two\n", 8);  // a NUL does not end the text
    std::unique_ptr<LogData> data(MakeData(cpplog::LL_INFO, text));
    EXPECT_TRUE(logger.Send(*data));
    EXPECT_EQ(buffer.str(), text);
    EXPECT_EQ(buffer.writes, 1);
    EXPECT_EQ(buffer.syncs, 1);
    EXPECT_EQ(data->buffer.Text()[data->buffer.Length()], '\0');  // terminated, for C-string readers
    EXPECT_EQ(data->buffer.Length(), text.size());
}

TEST(OstreamLogger, ReportsDeliveryWhateverTheStreamsState)
{
    std::ostringstream broken;
    broken.setstate(std::ios::badbit);
    cpplog::OstreamLogger logger(&broken);
    std::unique_ptr<LogData> full(MakeData(cpplog::LL_INFO, std::string(25000, 'x')));
    EXPECT_TRUE(logger.Send(*full));  // a full buffer still has room for the terminator
    EXPECT_EQ(broken.str(), "");
}

// ---- ZmLogger fan-out ---------------------------------------------------------------------------

enum class Kind { Dbg, Std, File, NullStd, NullDbg, Empty, Int, AsBase, AsConstStd };
enum class Answer { True, False, ThrowStd, ThrowInt };

struct Entry {
    Kind kind;
    Answer answer = Answer::True;
};

struct FanOutCase {
    const char* name;
    std::vector<Entry> entries;
    bool result;
    std::vector<int> called;  // entry positions, in call order
};

const FanOutCase kFanOutCases[] = {
    {"no sinks", {}, true, {}},
    {"debugger, then standard error", {{Kind::Dbg}, {Kind::Std}}, true, {0, 1}},
    {"list order, every kind", {{Kind::Std}, {Kind::File}, {Kind::Dbg}}, true, {0, 1, 2}},
    {"false stops the round", {{Kind::Dbg, Answer::False}, {Kind::Std}}, false, {0}},
    {"false from the last sink", {{Kind::Dbg}, {Kind::Std, Answer::False}}, false, {0, 1}},
    {"a throw keeps the result so far", {{Kind::Dbg, Answer::ThrowStd}, {Kind::Std}}, true, {0}},
    {"a throw after a delivery", {{Kind::Dbg}, {Kind::Std, Answer::ThrowInt}, {Kind::File}}, true, {0, 1}},
    {"skipped entries change nothing",
     {{Kind::Empty}, {Kind::Int}, {Kind::NullStd}, {Kind::NullDbg}, {Kind::AsBase}, {Kind::AsConstStd}, {Kind::Dbg}},
     true,
     {6}},
    {"a skipped entry after a false", {{Kind::Std, Answer::False}, {Kind::NullDbg}, {Kind::Dbg}}, false, {0}},
    {"false after skipped entries", {{Kind::Empty}, {Kind::NullStd}, {Kind::File, Answer::False}}, false, {2}},
};

// Answers as told and notes its position in the list when called.
class ScriptedWriter : public BaseLogger {
public:
    ScriptedWriter(int position, Answer answer, std::vector<int>* calls)
        : position_(position), answer_(answer), calls_(calls)
    {
    }
    bool Send(LogData&) override
    {
        calls_->push_back(position_);
        switch (answer_) {
        case Answer::True: return true;
        case Answer::False: return false;
        case Answer::ThrowStd: throw std::runtime_error("sink failed");
        case Answer::ThrowInt: throw 42;
        }
        return true;
    }

private:
    int position_;
    Answer answer_;
    std::vector<int>* calls_;
};

// The sinks of one case, each a real Zm sink whose writer is a ScriptedWriter.
class SinkSet {
public:
    SinkSet(const std::vector<Entry>& entries, cpplog::ZmLogger* logger)
    {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const int position = static_cast<int>(i);
            auto writer = std::make_unique<ScriptedWriter>(position, entries[i].answer, &calls);
            switch (entries[i].kind) {
            case Kind::Dbg: logger->AddSink(Adopt(&dbg_, writer.get())); break;
            case Kind::Std: logger->AddSink(Adopt(&std_, writer.get())); break;
            case Kind::File:
                file_.push_back(std::make_unique<ZmFileLogger>(cpplog::LL_TRACE, writer.get(), false));
                logger->AddSink(boost::any(file_.back().get()));
                break;
            case Kind::NullStd: logger->AddSink(boost::any(static_cast<ZmStdLogger*>(nullptr))); break;
            case Kind::NullDbg: logger->AddSink(boost::any(static_cast<ZmDbgLogger*>(nullptr))); break;
            case Kind::Empty: logger->AddSink(boost::any()); break;
            case Kind::Int: logger->AddSink(boost::any(7)); break;
            case Kind::AsBase: logger->AddSink(boost::any(static_cast<BaseLogger*>(Adopt(&std_, writer.get())))); break;
            case Kind::AsConstStd:
                logger->AddSink(boost::any(static_cast<const ZmStdLogger*>(Adopt(&std_, writer.get()))));
                break;
            }
            writers_.push_back(std::move(writer));
        }
    }

    std::vector<int> calls;

private:
    // A new sink of the given kind writing to writer; its own writer is released here, since
    // sinks never destroy theirs.
    template <class Sink>
    Sink* Adopt(std::vector<std::unique_ptr<Sink>>* sinks, BaseLogger* writer)
    {
        sinks->push_back(std::make_unique<Sink>());
        Sink* sink = sinks->back().get();
        delete sink->Target();
        sink->SetTarget(writer, false);
        return sink;
    }

    std::vector<std::unique_ptr<ScriptedWriter>> writers_;
    std::vector<std::unique_ptr<ZmDbgLogger>> dbg_;
    std::vector<std::unique_ptr<ZmStdLogger>> std_;
    std::vector<std::unique_ptr<ZmFileLogger>> file_;
};

TEST(ZmLogger, SendsToTheSinksInListOrderUntilOneFails)
{
    for (const FanOutCase& c : kFanOutCases) {
        SCOPED_TRACE(c.name);
        cpplog::ZmLogger logger;
        SinkSet sinks(c.entries, &logger);
        std::unique_ptr<LogData> data(MakeData(cpplog::LL_INFO, "x\n"));
        bool result = !c.result;
        EXPECT_NO_THROW(result = logger.Send(*data));
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(sinks.calls, c.called);
    }
}

TEST(ZmLogger, ARecordThatAFalseSinkKeepsIsNotDestroyed)
{
    cpplog::ZmLogger logger;
    SinkSet sinks({{Kind::Dbg, Answer::False}}, &logger);
    LogData* kept = nullptr;
    {
        cpplog::LogMessage record("f.cpp", 1, cpplog::LL_INFO, &logger);
        record.Stream() << "kept";
        kept = const_cast<LogData*>(record.Data());
    }
    EXPECT_EQ(kept->buffer.Length(), 5u);  // still alive, and now ours
    delete kept;
}

TEST(AppLogger, SendsToTheDebuggerThenToStandardError)
{
    const std::vector<boost::any>& sinks = AppLogger.Sinks();
    ASSERT_EQ(sinks.size(), 2u);
    ZmDbgLogger* const* dbgSink = boost::any_cast<ZmDbgLogger*>(&sinks[0]);
    ZmStdLogger* const* stdSink = boost::any_cast<ZmStdLogger*>(&sinks[1]);
    ASSERT_NE(dbgSink, nullptr);
    ASSERT_NE(stdSink, nullptr);
    EXPECT_EQ(*dbgSink, AppLogger.DbgSink());
    EXPECT_EQ(*stdSink, AppLogger.StdSink());
    const cpplog::FilteringLogger* filters[] = {*dbgSink, *stdSink};
    for (const cpplog::FilteringLogger* sink : filters) {
        EXPECT_EQ(sink->MinLevel(), cpplog::LL_TRACE);
        EXPECT_FALSE(sink->OwnsTarget());
    }
    EXPECT_NE(dynamic_cast<cpplog::OutputDebugStringLogger*>((*dbgSink)->Target()), nullptr);
    EXPECT_NE(dynamic_cast<cpplog::StdErrLogger*>((*stdSink)->Target()), nullptr);
}

TEST(AppLogger, PutsEachRecordOnStandardError)
{
    logtest::FixedClock clock(logtest::kMarch7th2024);
    testing::internal::CaptureStderr();
    n_log::AppendWide(
        n_log::CustomLogMessage(kLauncherSourceFile, "WriteRegFun", 211, cpplog::LL_INFO, &AppLogger).Stream(),
        L"set reg failure: ");
    n_log::CustomLogMessage(kLauncherSourceFile, "Fn", 1, cpplog::LL_TRACE, &AppLogger).Stream() << "second\n";
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "[DID][I][2024-3-7 9:5:3] set reg failure: \n[DID][T][2024-3-7 9:5:3] second\n");
}

}  // namespace
