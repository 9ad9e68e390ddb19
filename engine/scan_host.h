#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace geminor {

/// Where a scan is.
enum class ScanPhase { Walking, Starting, Searching, Loading };

/// How far a scan has come, as data; the front ends turn it into texts (texts/scan_texts.h) or
/// anything else.
/// Which search a Searching report comes from; the front ends name it.
enum class SearchKind { Duplicates, SameNames, Pictures };

struct ScanProgress
{
    ScanPhase phase = ScanPhase::Walking;
    SearchKind search = SearchKind::Duplicates;  // Searching: which search runs
    std::int64_t done = 0, total = 0;            // records searched, or entries loaded
    std::uint64_t bytes = 0, bytesTotal = 0;     // compared inside large size groups; 0 when not counted
    double seconds = 0;                          // since the search began: for the time left
    std::string_view folder, name;               // Walking: the folder and the sub-folder entered
    bool statusAllowed = true;                   // false: only the title of a minimized window shows it
};

/// What the scan needs of its front end. Called on the scanning thread, often: implementations
/// must be cheap and coalesce what they show.
class ScanHost
{
public:
    virtual ~ScanHost() = default;
    virtual void progress(const ScanProgress &progress) = 0;
    /// True when progress would be shown now; lets the engine skip reports nobody would see.
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
    void progress(const ScanProgress &) override {}
    bool progressDue() override { return false; }
};

}  // namespace geminor
