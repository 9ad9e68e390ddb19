#include "persist/settings_store.h"

#include <algorithm>

#include <QFile>
#include <QFileInfo>

#include "engine/file_system.h"
#include "persist/settings_format.h"

namespace geminor {
namespace {
const QString kFileTypes = QStringLiteral("File Types");
}  // namespace

SettingsStore::SettingsStore()
    : m_own(std::in_place, TextSettingsFormat(), QSettings::UserScope, QStringLiteral("Geminor"),
            QStringLiteral("Geminor")),
      m_settings(*m_own)
{
}

SettingsStore::SettingsStore(QSettings &backend) : m_settings(backend) {}

int SettingsStore::toggle(const char *key, int on, int off) const
{
    bool number = false;
    const int value = m_settings.value(QStringLiteral("Options/") + QLatin1String(key), QString::number(on))
                          .toString()
                          .trimmed()
                          .toInt(&number);
    return number && value == off ? off : on;
}

int SettingsStore::Display() const
{
    return toggle("Display", kViewerOn, kViewerOff);
}

void SettingsStore::SetDisplay(int state)
{
    m_settings.setValue(QStringLiteral("Options/Display"), QString::number(state));
    m_settings.sync();
}

int SettingsStore::RecycleBin() const
{
    return toggle("RecycleBin", kRecycleOn, kRecycleOff);
}

void SettingsStore::SetRecycleBin(int state)
{
    m_settings.setValue(QStringLiteral("Options/RecycleBin"), QString::number(state));
    m_settings.sync();
}

bool SettingsStore::UseChecksumCache() const
{
    return toggle("ChecksumCache", 1, 0) == 1;
}

void SettingsStore::SetUseChecksumCache(bool on)
{
    m_settings.setValue(QStringLiteral("Options/ChecksumCache"),
                        on ? QStringLiteral("1") : QStringLiteral("0"));
    m_settings.sync();
}

std::optional<std::vector<FileTypeEntry>> SettingsStore::LoadFileTypes() const
{
    if (!m_settings.childGroups().contains(kFileTypes))
        return std::nullopt;
    std::vector<std::pair<long long, QString>> keyed;
    const QString prefix = kFileTypes + QLatin1Char('/');
    QSettings &settings = m_settings;
    settings.beginGroup(kFileTypes);
    const QStringList keys = settings.childKeys();
    settings.endGroup();
    for (const QString &key : keys) {
        bool number = false;
        const long long position = key.toLongLong(&number);
        if (number)
            keyed.emplace_back(position, settings.value(prefix + key).toString());
    }
    std::sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<FileTypeEntry> types;
    for (const auto &[position, value] : keyed) {
        const qsizetype semicolon = value.indexOf(QLatin1Char(';'));
        types.push_back(semicolon < 0 ? FileTypeEntry{value, {}}
                                      : FileTypeEntry{value.left(semicolon), value.mid(semicolon + 1)});
    }
    return types;
}

void SettingsStore::SaveFileTypes(const std::vector<FileTypeEntry> &types)
{
    m_settings.remove(kFileTypes);
    for (std::size_t i = 0; i < types.size(); ++i)
        m_settings.setValue(kFileTypes + QLatin1Char('/') + QString::number(i + 1),
                            types[i].extension + QLatin1Char(';') + types[i].typeName);
    m_settings.sync();
}

QString SettingsStore::WindowLayoutFile() const
{
    const QString name = QStringLiteral("/window-layout.conf");
    if (!m_own)
        return QFileInfo(m_settings.fileName()).absolutePath() + name;
    return QFile::decodeName(UserBaseFolder("XDG_STATE_HOME", "/.local/state").c_str()) +
           QStringLiteral("/Geminor") + name;
}

}  // namespace geminor
