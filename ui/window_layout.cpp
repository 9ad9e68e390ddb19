#include "ui/window_layout.h"

#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QMainWindow>
#include <QSettings>
#include <QSplitter>
#include <QTableView>

#include "engine/file_system.h"
#include "persist/settings_format.h"
#include "persist/settings_store.h"

namespace geminor {
namespace {

/// A state kept as base64 text; empty when absent or damaged.
QByteArray stored(const QSettings &layout, const QString &key)
{
    const QByteArray text = layout.value(key).toString().toLatin1();
    auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? *decoded : QByteArray();
}

}  // namespace

void RestoreWindowLayout(QMainWindow &window, QTableView &list, const SettingsStore &settings)
{
    const QSettings layout(settings.WindowLayoutFile(), TextSettingsFormat());
    window.restoreGeometry(stored(layout, QStringLiteral("Geometry")));
    if (auto *splitter = window.findChild<QSplitter *>(QStringLiteral("Splitter")))
        splitter->restoreState(stored(layout, QStringLiteral("Splitter")));
    list.horizontalHeader()->restoreState(stored(layout, QStringLiteral("Columns")));
}

void SaveWindowLayout(const QMainWindow &window, const QTableView &list, const SettingsStore &settings)
{
    const QString file = settings.WindowLayoutFile();
    MakeFolders(QFile::encodeName(QFileInfo(file).absolutePath()).toStdString());
    QSettings layout(file, TextSettingsFormat());
    layout.setValue(QStringLiteral("Geometry"), QString::fromLatin1(window.saveGeometry().toBase64()));
    if (const auto *splitter = window.findChild<const QSplitter *>(QStringLiteral("Splitter")))
        layout.setValue(QStringLiteral("Splitter"), QString::fromLatin1(splitter->saveState().toBase64()));
    layout.setValue(QStringLiteral("Columns"),
                    QString::fromLatin1(list.horizontalHeader()->saveState().toBase64()));
    layout.sync();  // a failure costs only the layout
}

}  // namespace geminor
