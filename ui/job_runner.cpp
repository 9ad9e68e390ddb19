#include "ui/job_runner.h"

#include <QApplication>
#include <QProgressDialog>
#include <QWidget>
#include <QtConcurrent/QtConcurrentRun>
#include <new>

#include "ui/prompter.h"

namespace geminor {
namespace {

/// Runs `work` and says what it threw: "" for nothing. An exception never leaves a pool thread.
QString failureOf(const std::function<void(JobProgress &)> &work, JobProgress &progress)
{
    try {
        work(progress);
    } catch (const std::bad_alloc &) {
        return QStringLiteral("Geminor ran out of memory.");
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
    return {};
}

}  // namespace

JobRunner::JobRunner(QWidget &window, Prompter &prompter)
    : QObject(&window), m_window(window), m_prompter(prompter)
{
    m_pool.setMaxThreadCount(1);  // one job at a time, in the order started
    m_tick.setInterval(50);
    connect(&m_tick, &QTimer::timeout, this, &JobRunner::showProgress);
}

JobRunner::~JobRunner()
{
    cancelAndWait();
}

void JobRunner::start(Job job)
{
    m_queue.push_back(std::move(job));
    runNext();
}

void JobRunner::runNext()
{
    if (m_running || m_queue.empty())
        return;
    m_job = std::move(m_queue.front());
    m_queue.pop_front();
    m_running = true;
    m_progress = std::make_shared<JobProgress>();
    m_progress->total = m_job.total;
    if (m_job.dialog) {
        m_dialog = new QProgressDialog(m_job.label ? m_job.label(0) : m_job.title, QStringLiteral("Cancel"),
                                       0, static_cast<int>(m_job.total), &m_window);
        m_dialog->setWindowTitle(m_job.title);
        m_dialog->setWindowModality(Qt::WindowModal);
        m_dialog->setMinimumDuration(400);
        m_dialog->setAutoReset(false);
        m_dialog->setAutoClose(false);
        connect(m_dialog, &QProgressDialog::canceled, this,
                [progress = m_progress] { progress->cancel = true; });
    }
    if (m_job.modal)
        qApp->installEventFilter(this);
    m_tick.start();
    m_watcher = new QFutureWatcher<QString>(this);
    connect(m_watcher, &QFutureWatcherBase::finished, this, &JobRunner::finished);
    m_watcher->setFuture(QtConcurrent::run(&m_pool, [progress = m_progress, work = std::move(m_job.work)] {
        return failureOf(work, *progress);
    }));
}

void JobRunner::showProgress()
{
    const std::size_t done = m_progress->done.load();
    if (m_dialog) {
        m_dialog->setValue(static_cast<int>(done));
        if (m_job.label)
            m_dialog->setLabelText(m_job.label(done));
    }
    if (m_job.tick)
        m_job.tick(done, m_progress->total.load());
}

void JobRunner::finished()
{
    const QString failure = m_watcher->result();
    showProgress();  // the last step's text, as the work left it
    Job job = std::move(m_job);
    tidy();
    if (!failure.isEmpty())
        m_prompter.inform(&m_window, job.title, failure, QMessageBox::Warning);
    else if (job.then)
        job.then();
    runNext();
    if (!busy())
        emit idle();
}

void JobRunner::cancelAndWait()
{
    m_queue.clear();
    if (m_progress)
        m_progress->cancel = true;
    if (m_watcher)
        m_watcher->waitForFinished();
    tidy();
}

void JobRunner::tidy()
{
    m_tick.stop();
    if (m_watcher) {
        m_watcher->disconnect(this);  // a finished() still on its way no longer arrives
        m_watcher->deleteLater();     // (this may be inside its own signal)
        m_watcher = nullptr;
    }
    delete m_dialog;
    qApp->removeEventFilter(this);
    m_job = {};
    m_progress.reset();
    m_running = false;
}

bool JobRunner::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::ContextMenu: {
        // The window is as good as under a modal dialog, before the progress dialog shows too.
        const auto *widget = qobject_cast<QWidget *>(watched);
        return widget && widget->window() == &m_window;
    }
    case QEvent::Shortcut: return true;  // the menus' keys, which reach their entries and not a widget
    default: return false;
    }
}

}  // namespace geminor
