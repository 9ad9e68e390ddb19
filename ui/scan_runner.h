#pragma once

#include <QObject>
#include <QString>
#include <QThread>
#include <atomic>
#include <memory>

#include "engine/scan_run.h"
#include "pictures/qt_picture_decoder.h"
#include "results/result_row.h"

namespace geminor {

/// What a scan hands to the window: its outcome (the counts; the entries already turned into
/// rows) and the rows, loaded and checked off the window's thread.
struct ScanResult
{
    ScanOutcome outcome;
    std::vector<ResultRow> rows;
    QString failure;                          // why the scan stopped and shows nothing, or empty
    std::string cacheWarning;                 // why the checksum cache was not used, or empty
    RowColour nextColour = RowColour::Black;  // the colour the next scan's first group takes
};

/// Runs a whole scan and the loading of its rows on a thread of its own; the window's thread
/// only receives texts and, at the end, the rows. The scan's thread uses nothing but what the
/// runner owns. Destroying it cancels a running scan and waits for it.
class ScanRunner final : public QObject
{
    Q_OBJECT
public:
    explicit ScanRunner(QObject *parent = nullptr);
    ~ScanRunner() override;

    /// Starts a scan of `request` whose first group takes `firstColour`; the colour that the next
    /// scan's first group takes comes back in the result. With `useCache`, the content searches
    /// keep and use the checksum cache (a cache that cannot be used says so in the result's
    /// problems).
    void start(const SearchRequest &request, RowColour firstColour, bool useCache = false);
    bool running() const { return m_thread != nullptr; }
    /// The flag the cancel command sets; cleared when a scan starts.
    CancelRequested &cancelFlag() { return m_cancel; }
    /// Has a running scan stop and waits until its thread has ended; finished() still follows
    /// from the event loop.
    void cancelAndWait();
    /// Read from the scan's thread: while minimized, progress goes to the title.
    void setMinimized(bool minimized) { m_minimized.store(minimized); }

signals:
    void statusText(const QString &text);
    void titleText(const QString &text);
    void finished(std::shared_ptr<geminor::ScanResult> result);

private:
    std::atomic<bool> m_minimized{false};
    CancelRequested m_cancel{false};
    // Made for the first similar-pictures scan and kept: it outlives every scan's thread.
    std::unique_ptr<QtPictureDecoder> m_decoder;
    QThread *m_thread = nullptr;
};

}  // namespace geminor
