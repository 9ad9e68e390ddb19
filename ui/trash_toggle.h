#pragma once

#include <QObject>

#include "persist/settings_store.h"
#include "ui/prompter.h"

class QAction;
class QWidget;

namespace geminor {

/// The toggle that sends deleted files to the trash or deletes them for good (`MSendToRecycleBin`,
/// toolbar button kTrashButton), kept in the settings; switching it off asks first.
class TrashToggle final : public QObject
{
    Q_OBJECT
public:
    TrashToggle(QWidget &window, Prompter &prompter, SettingsStore &settings, QAction &entry,
                QAction &button);

    /// SettingsStore::kRecycleOn (to the trash) or kRecycleOff (for good), as the button shows it.
    int state() const { return m_state; }
    bool toTrash() const { return m_state == SettingsStore::kRecycleOn; }
    void toggle();

private:
    void show(int state);

    QWidget &m_window;
    Prompter &m_prompter;
    SettingsStore &m_settings;
    QAction &m_entry;
    QAction &m_button;
    int m_state;
};

}  // namespace geminor
