#include "ui/cache_options.h"

#include <QAction>
#include <QMenu>

#include "engine/checksum_cache.h"
#include "persist/settings_store.h"
#include "results/format_size.h"
#include "texts/cache_texts.h"
#include "ui/main_actions.h"
#include "ui/prompter.h"

namespace geminor {

void ConnectCacheOptions(const MainActions &actions, SettingsStore &settings, Prompter &prompter,
                         QWidget &window)
{
    actions.MUseCache->setChecked(settings.UseChecksumCache());
    QObject::connect(actions.MUseCache, &QAction::toggled, actions.MUseCache,
                     [&settings](bool on) { settings.SetUseChecksumCache(on); });
    QAction *clear = actions.MClearCache;
    auto size = [] {
        return FormatSize(static_cast<double>(ChecksumCache::SizeIn(ChecksumCache::DefaultFolder())));
    };
    QObject::connect(actions.MnuFile, &QMenu::aboutToShow, clear, [clear, size] {
        clear->setText(QStringLiteral("Clear Checksum Cache (%1)").arg(size()));
    });
    QObject::connect(clear, &QAction::triggered, clear, [&prompter, &window, size] {
        const QString title = QStringLiteral("Clear Checksum Cache");
        if (!prompter.askYesNo(
                &window, title,
                QStringLiteral("Remove the checksums kept between scans (%1)? The next scan reads "
                               "every file again.")
                    .arg(size())))
            return;
        if (const Status cleared = ChecksumCache::ClearIn(ChecksumCache::DefaultFolder()); !cleared)
            prompter.inform(&window, title, QString::fromStdString(CacheErrorText(cleared.error())),
                            QMessageBox::Warning);
    });
}

}  // namespace geminor
