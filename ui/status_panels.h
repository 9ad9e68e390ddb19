#pragma once

#include <QObject>
#include <array>
#include <cstdint>

class QLabel;
class QStatusBar;

namespace geminor {

struct ScanOutcome;

/// The status bar's five panels (1 the message line, 2 duplicates, 3 files, 4 folders, 5 the
/// elapsed time) and, beside panel 1, the note of what did not go well in the last scan.
class StatusPanels
{
public:
    explicit StatusPanels(QStatusBar &bar);

    QLabel *panel(int number) const { return m_panels.at(static_cast<std::size_t>(number - 1)); }
    QLabel *problems() const { return m_problems; }
    /// "Search Completed.", the counts, and beside them the cancel, the unreadable files, the
    /// protected locations and `note` (why the checksum cache was not used).
    void showClosing(const ScanOutcome &outcome, const std::string &note = {});
    /// The counts shown (after a scan) or hidden (while busy, before any scan; duplicates also
    /// for a zero-size search).
    void showCounts(bool busy, bool zeroSize);
    /// A new session: no counts, no note.
    void reset();
    std::int64_t lastFiles() const { return m_lastFiles; }
    std::int64_t lastDuplicates() const { return m_lastDuplicates; }

private:
    std::array<QLabel *, 5> m_panels{};
    QLabel *m_problems = nullptr;
    bool m_counted = false;  // a scan has shown its counts since the last reset
    std::int64_t m_lastFiles = 0, m_lastDuplicates = 0;
};

}  // namespace geminor
