#include "ui/cache_options.h"

#include <QAction>
#include <QMenu>
#include <memory>

#include "engine/checksum_cache.h"
#include "persist/settings_store.h"
#include "results/format_size.h"
#include "texts/cache_texts.h"
#include "ui/file_operation.h"
#include "ui/job_runner.h"
#include "ui/main_actions.h"
#include "ui/prompter.h"

namespace geminor {
namespace {

const QString kTitle = QStringLiteral("Clear Checksum Cache");

/// Measures the cache in a job, then hands its size as a text to `then`.
void measure(JobRunner &jobs, std::function<void(const QString &size)> then)
{
    auto bytes = std::make_shared<std::uint64_t>(0);
    Job job;
    job.title = kTitle;
    job.dialog = false;
    job.modal = false;  // the menu stays usable while its caption waits for the size
    job.work = [bytes](JobProgress &) { *bytes = ChecksumCache::SizeIn(ChecksumCache::DefaultFolder()); };
    job.then = [bytes, then = std::move(then)] { then(FormatSize(static_cast<double>(*bytes))); };
    jobs.start(std::move(job));
}

void clear(const CommandContext &context, const QString &size)
{
    if (!context.prompter.askYesNo(
            &context.window, kTitle,
            QStringLiteral("Remove the checksums kept between scans (%1)? The next scan "
                           "reads every file again.")
                .arg(size)))
        return;
    auto cleared = std::make_shared<Status>();
    Job job;
    job.title = kTitle;
    job.work = [cleared](JobProgress &) {
        *cleared = ChecksumCache::ClearIn(ChecksumCache::DefaultFolder());
    };
    job.then = [context, cleared] {
        if (!*cleared)
            context.prompter.inform(&context.window, kTitle,
                                    QString::fromStdString(CacheErrorText(cleared->error())),
                                    QMessageBox::Warning);
    };
    context.jobs.start(std::move(job));
}

}  // namespace

void ConnectCacheOptions(const MainActions &actions, SettingsStore &settings, const CommandContext &context)
{
    actions.MUseCache->setChecked(settings.UseChecksumCache());
    QObject::connect(actions.MUseCache, &QAction::toggled, actions.MUseCache,
                     [&settings](bool on) { settings.SetUseChecksumCache(on); });
    QAction *entry = actions.MClearCache;
    // The entry's size comes a moment after the menu opens: measured off the window's thread.
    QObject::connect(actions.MnuFile, &QMenu::aboutToShow, entry, [entry, &jobs = context.jobs] {
        measure(jobs, [entry](const QString &size) {
            entry->setText(QStringLiteral("Clear Checksum Cache (%1)").arg(size));
        });
    });
    QObject::connect(entry, &QAction::triggered, entry, [context] {
        measure(context.jobs, [context](const QString &size) { clear(context, size); });
    });
}

}  // namespace geminor
