#include "engine/scan_state.h"

#include <cstdio>

namespace geminor {

std::int16_t SearchState::startGroup()
{
    GroupMarker = GroupMarker == 1 ? 2 : 1;
    ++groups;
    return GroupMarker;
}

std::string Percent(std::int64_t processed, std::int64_t total)
{
    char text[32];
    const double percent = total ? 100.0 / static_cast<double>(total) * static_cast<double>(processed) : 0.0;
    std::snprintf(text, sizeof text, "%.1f", percent);
    return text;
}

void SearchState::showProgress(const char *label, std::int64_t processed, std::int64_t total,
                               bool statusAllowed)
{
    if (!host.progressDue())
        return;
    const std::string counts = std::to_string(processed) + '/' + std::to_string(total);
    if (host.isMinimized())
        host.setTitleText(Percent(processed, total) + "% (" + counts + ')');
    else if (statusAllowed)
        host.setStatusText(std::string(label) + '(' + counts + ") " + Percent(processed, total) + '%');
}

namespace {

std::string bytesText(std::uint64_t bytes)
{
    char text[32];
    const double gb = static_cast<double>(bytes) / (1 << 30), mb = static_cast<double>(bytes) / (1 << 20);
    std::snprintf(text, sizeof text, gb >= 1 ? "%.1f GB" : "%.1f MB", gb >= 1 ? gb : mb);
    return text;
}

}  // namespace

void SearchState::showBytesProgress(const char *label, std::int64_t processed, std::int64_t total,
                                    std::uint64_t bytes, std::uint64_t bytesTotal, double seconds)
{
    if (bytesTotal == 0 || !host.progressDue())
        return;
    bytes = std::min(bytes, bytesTotal);
    std::string tail = " " + bytesText(bytes) + " of " + bytesText(bytesTotal);
    if (bytes > 0 && seconds >= 1) {
        const auto left = static_cast<std::int64_t>(seconds * static_cast<double>(bytesTotal - bytes) / static_cast<double>(bytes));
        tail += ", about " + std::to_string(left) + " s left";
    }
    const std::string counts = std::to_string(processed) + '/' + std::to_string(total);
    const std::string percent = Percent(static_cast<std::int64_t>(bytes / 1024), static_cast<std::int64_t>(bytesTotal / 1024));
    if (host.isMinimized())
        host.setTitleText(percent + "% (" + counts + ')' + tail);
    else
        host.setStatusText(std::string(label) + '(' + counts + ") " + percent + '%' + tail);
}

}  // namespace geminor
