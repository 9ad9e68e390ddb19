#pragma once

#include <QObject>
#include <QString>
#include <QThread>
#include <atomic>
#include <memory>

#include "engine/scan_run.h"
#include "results/result_row.h"

namespace geminor {

/// What a scan hands to the window: its outcome (the counts; the entries already turned into
/// rows) and the rows, loaded and checked off the window's thread.
struct ScanResult
{
    ScanOutcome outcome;
    std::vector<ResultRow> rows;
    QString failure;           // why the scan stopped and shows nothing, or empty
    std::string cacheWarning;  // why the checksum cache was not used, or empty
};

/// Runs a whole scan and the loading of its rows on a thread of its own; the window's thread
/// only receives texts and, at the end, the rows. Destroying it cancels a running scan and
/// waits for it.
class ScanRunner final : public QObject
{
    Q_OBJECT
public:
    /// `minimized` is read from the scan's thread: progress then goes to the title.
    explicit ScanRunner(const std::atomic<bool> &minimized, QObject *parent = nullptr);
    ~ScanRunner() override;

    /// Starts a scan of `request`; `groupMarker` is the window's, left alone until finished().
    /// With `useCache`, the content searches keep and use the checksum cache (a cache that cannot
    /// be used says so in the result's problems).
    void start(const SearchRequest &request, std::int16_t &groupMarker, bool useCache = false);
    bool running() const { return m_thread != nullptr; }
    /// The flag the cancel command sets; cleared when a scan starts.
    CancelRequested &cancelFlag() { return m_cancel; }

signals:
    void statusText(const QString &text);
    void titleText(const QString &text);
    void finished(std::shared_ptr<geminor::ScanResult> result);

private:
    const std::atomic<bool> &m_minimized;
    CancelRequested m_cancel{false};
    QThread *m_thread = nullptr;
};

}  // namespace geminor
