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

}  // namespace geminor
