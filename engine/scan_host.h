#pragma once

#include <chrono>
#include <string_view>

namespace geminor {

/// What the scan needs of its front end. Called on the scanning thread, often: implementations
/// must be cheap and coalesce what they show.
class ScanHost
{
public:
    virtual ~ScanHost() = default;
    /// The message line (status panel 1).
    virtual void setStatusText(std::string_view text) = 0;
    /// The window title, used instead of the message line while the window is minimized.
    virtual void setTitleText(std::string_view text) = 0;
    virtual bool isMinimized() const = 0;
    /// True when a progress text would be shown now; lets the engine skip formatting texts
    /// that nobody would see.
    virtual bool progressDue() { return true; }
};

/// Says yes at most once an interval: how front ends keep progress texts to a few a second.
class ProgressThrottle
{
public:
    explicit ProgressThrottle(std::chrono::milliseconds interval) : m_interval(interval) {}
    bool due()
    {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_last < m_interval)
            return false;
        m_last = now;
        return true;
    }

private:
    std::chrono::milliseconds m_interval;
    std::chrono::steady_clock::time_point m_last{};
};

/// A host that shows nothing, for tests and tools.
class SilentHost final : public ScanHost
{
public:
    void setStatusText(std::string_view) override {}
    void setTitleText(std::string_view) override {}
    bool isMinimized() const override { return false; }
    bool progressDue() override { return false; }
};

}  // namespace geminor
