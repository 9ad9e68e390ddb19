#include "engine/buz_timer.h"

#include <cmath>
#include <cstdlib>

namespace geminor {
namespace {

std::string twoDigits(std::int64_t value)
{
    std::string text = std::to_string(value);
    return text.size() < 2 ? std::string(2 - text.size(), '0') + text : text;
}

}  // namespace

buzTimer::buzTimer(Clock clock) : m_clock(clock ? std::move(clock) : Clock([] { return std::time(nullptr); }))
{
    Reset();
}

void buzTimer::Reset()
{
    m_startTime = m_clock();
}

std::int64_t buzTimer::secondsSinceStart() const
{
    return static_cast<std::int64_t>(m_clock()) - static_cast<std::int64_t>(m_startTime);
}

std::string buzTimer::Elapsed() const
{
    return FormatSeconds(static_cast<std::int32_t>(secondsSinceStart()));
}

std::string buzTimer::Remaining(std::int32_t Progress, std::int32_t Total) const
{
    if (Total < 1 || Total < Progress)
        return {};
    const double seconds = static_cast<double>(secondsSinceStart());
    const double percent = static_cast<double>(Progress) / Total * 100;
    if (percent == 0)
        return {};
    const double remaining = std::nearbyint((100 - percent) * (seconds / percent));  // halves to even
    return FormatSeconds(static_cast<std::int32_t>(remaining));
}

std::string buzTimer::FormatSeconds(std::int32_t seconds)
{
    if (seconds < 60) {
        // The pattern "00:00:00": digits fill from the right, the colons stay, a sign goes in front.
        std::string digits = std::to_string(std::llabs(static_cast<long long>(seconds)));
        if (digits.size() < 6)
            digits.insert(0, 6 - digits.size(), '0');
        const std::size_t n = digits.size();
        return (seconds < 0 ? "-" : "") + digits.substr(0, n - 4) + ':' + digits.substr(n - 4, 2) + ':' +
               digits.substr(n - 2);
    }
    std::int64_t s = seconds;
    std::int64_t m = s / 60;
    s -= 60 * m;
    if (m < 60)
        return "00:" + twoDigits(m) + ':' + twoDigits(s);
    const std::int64_t h = m / 60;
    m -= 60 * h;
    return twoDigits(h) + ':' + twoDigits(m) + ':' + twoDigits(s);
}

}  // namespace geminor
