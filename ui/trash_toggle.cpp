#include "ui/trash_toggle.h"

#include <QAction>

#include "ui/image_list.h"

namespace geminor {

static_assert(kPictureRecycleOn == SettingsStore::kRecycleOn &&
                  kPictureRecycleOff == SettingsStore::kRecycleOff,
              "the button shows the setting's value as its picture");

TrashToggle::TrashToggle(QWidget &window, Prompter &prompter, SettingsStore &settings, QAction &entry,
                         QAction &button)
    : QObject(&window), m_window(window), m_prompter(prompter), m_settings(settings), m_entry(entry),
      m_button(button), m_state(settings.RecycleBin())
{
    show(m_state);  // a value other than the two states stays on the button
    connect(&entry, &QAction::triggered, this, &TrashToggle::toggle);
    connect(&button, &QAction::triggered, this, &TrashToggle::toggle);
}

void TrashToggle::show(int state)
{
    m_state = state;
    m_entry.setChecked(state == SettingsStore::kRecycleOn);
    m_button.setIcon(ImageListIcon(state));
}

void TrashToggle::toggle()
{
    if (m_state == SettingsStore::kRecycleOff)
        show(SettingsStore::kRecycleOn);
    else if (m_prompter.askYesNo(
                 &m_window, QStringLiteral("Confirm"),
                 QStringLiteral("This will delete the files permanently i.e., they are not sent to "
                                "the Trash.\r\nAre you sure to preceed.")))
        show(SettingsStore::kRecycleOff);
    else
        show(m_state);  // the entry's check mark back as it was
    m_settings.SetRecycleBin(m_state);
}

}  // namespace geminor
