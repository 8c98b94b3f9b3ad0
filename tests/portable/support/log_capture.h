// Test helpers for the log records: a logger that keeps what it receives and a fixed clock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "log/log_data.h"
#include "log/log_record.h"

namespace logtest {

// Keeps the text of every record it is sent and answers with `result`.
class RecordingLogger : public cpplog::BaseLogger {
public:
    bool Send(cpplog::LogData& data) override
    {
        lines.emplace_back(data.buffer.Text(), data.buffer.Length());
        last = &data;
        return result;
    }

    std::vector<std::string> lines;
    cpplog::LogData* last = nullptr;
    bool result = true;
};

// Records read this clock while the object lives; the clock before it comes back afterwards.
class FixedClock {
public:
    explicit FixedClock(std::int64_t seconds)
    {
        Now() = seconds;
        previous_ = cpplog::SetTimeSource(&Read);
    }
    ~FixedClock() { cpplog::SetTimeSource(previous_); }
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;

    void Set(std::int64_t seconds) { Now() = seconds; }

private:
    static std::int64_t& Now()
    {
        static std::int64_t now = 0;
        return now;
    }
    static std::int64_t Read() { return Now(); }

    cpplog::TimeSource previous_;
};

// 2024-03-07 09:05:03 UTC.
inline constexpr std::int64_t kMarch7th2024 = 1709802303;

}  // namespace logtest
