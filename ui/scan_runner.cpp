#include "ui/scan_runner.h"

#include "engine/checksum_cache.h"
#include "texts/cache_texts.h"
#include "texts/scan_texts.h"

#include <new>
#include <system_error>

namespace geminor {
namespace {

/// Brings the scan's texts to the window through queued signals, a few dozen a second at most.
class RunnerHost final : public ScanHost
{
public:
    RunnerHost(ScanRunner &runner, const std::atomic<bool> &minimized)
        : m_runner(runner), m_minimized(minimized)
    {
    }
    /// The message line's text, or the title's while the window is minimized.
    void progress(const ScanProgress &progress) override
    {
        auto shown = [](const std::string &text) {
            return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        };
        // Minimized, the walk and the searches go to the title; the other texts stay in panel 1.
        const std::string title = m_minimized.load() ? ProgressTitleText(progress) : std::string();
        const std::string status = title.empty() ? ProgressStatusText(progress) : std::string();
        if (!title.empty())
            emit m_runner.titleText(shown(title));
        else if (!status.empty() && (!m_minimized.load() || progress.phase == ScanPhase::Starting ||
                                     progress.phase == ScanPhase::Loading))
            emit m_runner.statusText(shown(status));
    }
    bool progressDue() override { return m_throttle.due(); }

private:
    ScanRunner &m_runner;
    const std::atomic<bool> &m_minimized;
    ProgressThrottle m_throttle{std::chrono::milliseconds(40)};
};

/// No partial result, which could be mistaken for the whole: only why, and the colour reached.
ScanResult failed(const ScanResult &partial, QString why)
{
    ScanResult result;
    result.failure = std::move(why);
    result.nextColour = partial.nextColour;
    return result;
}

/// The scan and the loading of its rows; runs on the scan's thread.
std::shared_ptr<ScanResult> scanAndLoad(const SearchRequest &request, ScanHost &host, CancelRequested &cancel,
                                        RowColour firstColour, bool useCache, const PictureDecoder *decoder)
{
    auto result = std::make_shared<ScanResult>();
    result->nextColour = firstColour;
    try {
        std::unique_ptr<ChecksumCache> cache;
        std::string warning;
        if (useCache && UsesChecksumCache(request.Method)) {
            if (auto opened = ChecksumCache::Open(ChecksumCache::DefaultFolder()))
                cache = std::move(*opened);
            else
                warning = CacheWarningText({CacheWarning::Stage::NotUsed, opened.error()});
        }
        result->outcome = RunScan(request, host, cancel, cache.get(), decoder);
        result->nextColour = GroupColour(firstColour, static_cast<std::size_t>(result->outcome.groups));
        ScanProgress loading;
        loading.phase = ScanPhase::Loading;
        host.progress(loading);
        result->rows = LoadResults(result->outcome.entries, firstColour, [&](std::size_t i, std::size_t n) {
            loading.done = static_cast<std::int64_t>(i);
            loading.total = static_cast<std::int64_t>(n);
            if (host.progressDue())
                host.progress(loading);
        });
        result->outcome.entries = {};  // the rows hold what is shown
        if (cache) {
            cache->wait();  // (it was written while the rows were loaded)
            if (const auto stopped = cache->warning())
                warning = CacheWarningText(*stopped);
        }
        result->cacheWarning = warning;
    } catch (const std::bad_alloc &) {
        *result = failed(*result, QStringLiteral("Geminor ran out of memory."));
    } catch (const std::exception &e) {
        *result = failed(*result, QString::fromLocal8Bit(e.what()));
    }
    return result;
}

}  // namespace

ScanRunner::ScanRunner(QObject *parent) : QObject(parent) {}

ScanRunner::~ScanRunner()
{
    cancelAndWait();
    delete m_thread;
}

void ScanRunner::cancelAndWait()
{
    m_cancel.store(true);
    if (m_thread)
        m_thread->wait();
}

void ScanRunner::start(const SearchRequest &request, RowColour firstColour, bool useCache)
{
    m_cancel.store(false);  // only here: a Cancel pressed from now on counts
    if (request.Method == SearchMethod::SimilarPictures && !m_decoder)
        m_decoder = std::make_unique<QtPictureDecoder>();
    const PictureDecoder *decoder =
        request.Method == SearchMethod::SimilarPictures ? m_decoder.get() : nullptr;
    m_thread = QThread::create([this, request, firstColour, useCache, decoder] {
        RunnerHost host(*this, m_minimized);
        auto result = scanAndLoad(request, host, m_cancel, firstColour, useCache, decoder);
        QMetaObject::invokeMethod(
            this,
            [this, result] {
                m_thread->wait();
                delete m_thread;
                m_thread = nullptr;
                emit finished(result);
            },
            Qt::QueuedConnection);
    });
    m_thread->start();
}

}  // namespace geminor
