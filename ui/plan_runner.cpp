#include "ui/plan_runner.h"

#include <QEventLoop>
#include <algorithm>
#include <QProgressDialog>
#include <QTimer>
#include <atomic>
#include <new>
#include <thread>
#include <vector>

#include "results/format_size.h"

namespace geminor {

QString FailureOf(const std::function<void()> &work)
{
    try {
        work();
    } catch (const std::bad_alloc &) {
        return QStringLiteral("Geminor ran out of memory.");
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    }
    return {};
}

QString RunWithProgress(
    QWidget *window, const QString &title, std::size_t total,
    const std::function<void(const std::atomic<bool> &cancel, std::atomic<std::size_t> &done)> &work,
    const std::function<QString(std::size_t done)> &label)
{
    QProgressDialog progress(label ? label(0) : title, QStringLiteral("Cancel"), 0, static_cast<int>(total),
                             window);
    progress.setWindowTitle(title);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    std::atomic<bool> cancel{false};
    std::atomic<std::size_t> done{0};
    QObject::connect(&progress, &QProgressDialog::canceled, [&cancel] { cancel.store(true); });
    QTimer tick;  // polled, so a plan of 60,000 files sends no 60,000 signals
    tick.setInterval(50);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const std::size_t now = done.load();
        progress.setValue(static_cast<int>(now));
        if (label)
            progress.setLabelText(label(now));
    });
    tick.start();
    QEventLoop waiting;
    QString failure;
    std::thread worker([&] {
        failure = FailureOf([&] { work(cancel, done); });
        QMetaObject::invokeMethod(&waiting, &QEventLoop::quit, Qt::QueuedConnection);
    });
    waiting.exec();
    worker.join();
    tick.stop();
    progress.setValue(static_cast<int>(total));
    return failure;
}

PlanReport RunPlanWithProgress(QWidget *window, const QString &title, const ActionPlan &plan)
{
    std::vector<std::uint64_t> bytesBefore{0};  // the bytes of the first n marked files
    for (const PlanFile &file : plan.files)
        if (file.marked)
            bytesBefore.push_back(bytesBefore.back() + file.seen.size);
    const std::size_t total = bytesBefore.size() - 1;
    const QString allBytes = FormatSize(static_cast<double>(bytesBefore.back()));
    auto label = [&](std::size_t done) {
        done = std::min(done, total);
        return QStringLiteral("%1 of %2 file(s), %3 of %4")
            .arg(done)
            .arg(total)
            .arg(FormatSize(static_cast<double>(bytesBefore[done])), allBytes);
    };
    PlanReport report;
    (void)RunWithProgress(
        window, title, total,
        [&](const std::atomic<bool> &cancel, std::atomic<std::size_t> &done) {
            try {
                report = RunPlan(
                    plan, [&done](std::size_t handled, std::size_t) { done.store(handled); }, &cancel);
            } catch (const std::exception &) {
                report.cancelled = true;  // out of memory: what was reported so far stands
            }
        },
        label);
    return report;
}

}  // namespace geminor
