#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

namespace geminor {

/// A stopwatch with one-second resolution that renders times as clock text (00:02:05).
class buzTimer
{
public:
    using Clock = std::function<std::time_t()>;
    /// Starts at once; `clock` gives the current time in whole seconds (the wall clock by default).
    explicit buzTimer(Clock clock = {});

    void Reset();
    /// Whole seconds since the last Reset, as clock text; negative when the clock went back.
    std::string Elapsed() const;
    /// Estimated time left for a job of which Progress out of Total is done; "" when unknown.
    std::string Remaining(std::int32_t Progress, std::int32_t Total) const;
    static std::string FormatSeconds(std::int32_t seconds);

private:
    std::int64_t secondsSinceStart() const;
    Clock m_clock;
    std::time_t m_startTime = 0;
};

}  // namespace geminor
