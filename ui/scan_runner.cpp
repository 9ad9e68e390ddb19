#include "ui/scan_runner.h"

#include <new>
#include <system_error>

namespace geminor {
namespace {

/// Brings the scan's texts to the window through queued signals, a few dozen a second at most.
class RunnerHost final : public ScanHost
{
public:
    RunnerHost(ScanRunner &runner, const std::atomic<bool> &minimized) : m_runner(runner), m_minimized(minimized) {}
    void setStatusText(std::string_view text) override
    {
        emit m_runner.statusText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }
    void setTitleText(std::string_view text) override
    {
        emit m_runner.titleText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }
    bool isMinimized() const override { return m_minimized.load(); }
    bool progressDue() override { return m_throttle.due(); }

private:
    ScanRunner &m_runner;
    const std::atomic<bool> &m_minimized;
    ProgressThrottle m_throttle{std::chrono::milliseconds(40)};
};

/// The scan and the loading of its rows; runs on the scan's thread.
std::shared_ptr<ScanResult> scanAndLoad(const SearchRequest &request, ScanHost &host, CancelRequested &cancel,
                                        std::int16_t &groupMarker)
{
    auto result = std::make_shared<ScanResult>();
    try {
        result->outcome = RunScan(request, host, cancel, groupMarker);
        host.setStatusText("Loading Searched Result...");
        result->rows = LoadResults(result->outcome.entries, [&](std::size_t i, std::size_t n) {
            if (host.progressDue())
                host.setStatusText("Loading Searched Result...(" + std::to_string(i) + "/" + std::to_string(n) + ")");
        });
        result->outcome.entries = {};  // the rows hold what is shown
    } catch (const std::bad_alloc &) {
        *result = ScanResult{};  // no partial result: it could be mistaken for the whole
        result->failure = QStringLiteral("Geminor ran out of memory.");
    } catch (const std::exception &e) {
        *result = ScanResult{};
        result->failure = QString::fromLocal8Bit(e.what());
    }
    return result;
}

}  // namespace

ScanRunner::ScanRunner(const std::atomic<bool> &minimized, QObject *parent) : QObject(parent), m_minimized(minimized)
{
}

ScanRunner::~ScanRunner()
{
    m_cancel.store(true);
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

void ScanRunner::start(const SearchRequest &request, std::int16_t &groupMarker)
{
    m_cancel.store(false);  // only here: a Cancel pressed from now on counts
    m_thread = QThread::create([this, request, &groupMarker] {
        RunnerHost host(*this, m_minimized);
        auto result = scanAndLoad(request, host, m_cancel, groupMarker);
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
