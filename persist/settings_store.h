#pragma once

#include <QSettings>
#include <QString>
#include <optional>
#include <vector>

namespace geminor {

/// One entry of the user's file-type list.
struct FileTypeEntry
{
    QString extension;  // with its leading dot
    QString typeName;   // may be empty
    bool operator==(const FileTypeEntry &) const = default;
};

/// The per-user settings: the two toggles of the main window and the file-type list, under
/// "Options" and "File Types". Tests hand in their own QSettings.
class SettingsStore
{
public:
    static constexpr int kViewerOn = 10, kViewerOff = 9;
    static constexpr int kRecycleOn = 12, kRecycleOff = 11;

    /// The user's own settings (organisation and application "Geminor").
    SettingsStore();
    explicit SettingsStore(QSettings &backend);

    /// 10 (picture viewer on) or 9. Absent, not a number, or another number: 10.
    int Display() const;
    void SetDisplay(int state);
    /// 12 (deleted files go to the trash) or 11. Absent, not a number, or another number: 12.
    int RecycleBin() const;
    void SetRecycleBin(int state);
    /// Whether scans keep and use the checksum cache ("Options/ChecksumCache", 1 or 0): on
    /// unless it says 0.
    bool UseChecksumCache() const;
    void SetUseChecksumCache(bool on);

    /// The stored file-type list in the order of its numeric keys; nothing when the section is
    /// absent (the dialog then shows its built-in types). A value without ";" is an extension
    /// without a type name; keys that are not numbers are passed over.
    std::optional<std::vector<FileTypeEntry>> LoadFileTypes() const;
    /// Replaces the whole section: keys "1" to "n" in list order; an empty list removes it.
    void SaveFileTypes(const std::vector<FileTypeEntry> &types);

    /// The file that keeps the window's layout (size, splitter, columns), apart from these
    /// settings so that they are written only when a toggle or the type list changes:
    /// $XDG_STATE_HOME/Geminor/window-layout.conf for the user's own settings, beside the
    /// settings file for a store handed in.
    QString WindowLayoutFile() const;

private:
    int toggle(const char *key, int on, int off) const;

    std::optional<QSettings> m_own;
    QSettings &m_settings;
};

}  // namespace geminor
