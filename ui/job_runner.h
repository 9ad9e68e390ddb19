#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>

class QProgressDialog;
class QWidget;

namespace geminor {

class Prompter;

/// What a running job shares with the window: Cancel pressed, and how far it got.
struct JobProgress
{
    std::atomic<bool> cancel{false};
    std::atomic<std::size_t> done{0};
    std::atomic<std::size_t> total{0};  // set by the work when only it knows
};

/// One piece of file work for the window. `work` runs on the runner's pool and must reach nothing
/// of the window (copies and shared state only); `then` runs on the window's thread after it.
struct Job
{
    QString title;          // of the progress dialog, and of the message when the work throws
    std::size_t total = 0;  // steps for the progress bar; 0: a busy bar
    bool dialog = true;     // a progress dialog with Cancel after 400 ms; else the work is silent
    bool modal = true;      // the window takes no input meanwhile (for work that looks, not acts: false)
    std::function<void(JobProgress &progress)> work;
    std::function<void()> then;  // not run when the work threw (that is reported instead)
    /// The dialog's text for `done` steps, when given.
    std::function<QString(std::size_t done)> label;
    /// Called on the window's thread as the steps go (a status-bar text, say), when given.
    std::function<void(std::size_t done, std::size_t total)> tick;
};

/// Runs the window's file work (plans, undo, rename, exports, properties, the cache) one job at
/// a time on a pool of its own, so the window's thread never reads, writes or stats a file and
/// never waits in a loop of its own. Jobs started while one runs wait their turn; a job's `then`
/// may start the next step. While a modal job runs the window takes no input (as under a modal
/// dialog, before its progress dialog shows too), so the rows it acts on stay as they were.
class JobRunner final : public QObject
{
    Q_OBJECT
public:
    JobRunner(QWidget &window, Prompter &prompter);
    /// Cancels the running job and waits for it; nothing queued runs.
    ~JobRunner() override;

    void start(Job job);
    /// A job runs or waits.
    bool busy() const { return m_running || !m_queue.empty(); }
    /// Has the running job stop and waits for it; its `then` and the queued jobs are dropped,
    /// so nothing runs after the window has closed.
    void cancelAndWait();

signals:
    /// The last job's `then` has run and nothing else waits.
    void idle();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void runNext();
    void finished();
    void showProgress();
    /// Back to no job: the timer, the dialog, the input hold and the watcher go.
    void tidy();

    QWidget &m_window;
    Prompter &m_prompter;
    QThreadPool m_pool;
    QFutureWatcher<QString> *m_watcher = nullptr;  // the work's failure, "" when it ended normally
    QTimer m_tick;  // polled, so a plan of 60,000 files sends no 60,000 signals
    std::deque<Job> m_queue;
    Job m_job;
    bool m_running = false;
    std::shared_ptr<JobProgress> m_progress;
    QPointer<QProgressDialog> m_dialog;
};

}  // namespace geminor
