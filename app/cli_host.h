#pragma once

#include <string>

#include "engine/scan_host.h"
#include "texts/scan_texts.h"

namespace geminor {

/// Progress for the command line: one self-overwriting line on a terminal, at most ten times a
/// second; nothing when stderr is not a terminal or when quiet.
class CliHost final : public ScanHost
{
public:
    explicit CliHost(bool quiet);
    void progress(const ScanProgress &progress) override { setStatusText(ProgressStatusText(progress)); }
    bool progressDue() override;
    /// One line of progress in place of the last (nothing when not on a terminal).
    void setStatusText(std::string_view text);
    /// Clears the progress line before the closing texts.
    void finish();

private:
    bool m_enabled;
    bool m_shown = false;
    ProgressThrottle m_throttle{std::chrono::milliseconds(100)};  // ten lines a second at most
};

}  // namespace geminor
