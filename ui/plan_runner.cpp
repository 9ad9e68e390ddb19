#include "ui/plan_runner.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <atomic>
#include <thread>

namespace geminor {

void RunWithProgress(QWidget *window, const QString &title, std::size_t total,
                     const std::function<void(const std::atomic<bool> &cancel, std::atomic<std::size_t> &done)> &work)
{
    QProgressDialog progress(title, QStringLiteral("Cancel"), 0, static_cast<int>(total), window);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    std::atomic<bool> cancel{false};
    std::atomic<std::size_t> done{0};
    QObject::connect(&progress, &QProgressDialog::canceled, [&cancel] { cancel.store(true); });
    QTimer tick;  // polled, so a plan of 60,000 files sends no 60,000 signals
    tick.setInterval(50);
    QObject::connect(&tick, &QTimer::timeout, [&] { progress.setValue(static_cast<int>(done.load())); });
    tick.start();
    QEventLoop waiting;
    std::thread worker([&] {
        work(cancel, done);
        QMetaObject::invokeMethod(&waiting, &QEventLoop::quit, Qt::QueuedConnection);
    });
    waiting.exec();
    worker.join();
    tick.stop();
    progress.setValue(static_cast<int>(total));
}

PlanReport RunPlanWithProgress(QWidget *window, const QString &title, const ActionPlan &plan)
{
    std::size_t total = 0;
    for (const PlanFile &file : plan.files)
        total += file.marked ? 1 : 0;
    PlanReport report;
    RunWithProgress(window, title, total, [&](const std::atomic<bool> &cancel, std::atomic<std::size_t> &done) {
        try {
            report = RunPlan(plan, [&done](std::size_t handled, std::size_t) { done.store(handled); }, &cancel);
        } catch (const std::exception &) {
            report.cancelled = true;  // out of memory: what was reported so far stands
        }
    });
    return report;
}

}  // namespace geminor
