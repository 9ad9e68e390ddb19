#pragma once

#include <QDialog>
#include <string>

#include "engine/request.h"
#include "persist/settings_store.h"
#include "ui/prompter.h"

class QCheckBox;
class QLayout;
class QLineEdit;
class QListWidget;
class QVBoxLayout;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace geminor {

/// The type name the desktop gives files with this extension (".mp3"); may be empty.
QString FileTypeName(const QString &extension);

/// "Add/Exclude Folders": one search location or one folder to leave out. The path is typed
/// (with completion) or picked; the folder browser opens as soon as a new location's dialog
/// shows. The file-type list is the user's, kept in the settings.
class FolderFrm : public QDialog
{
    Q_OBJECT
public:
    static const char *const kBuiltInTypes[10];

    FolderFrm(Prompter &prompter, SettingsStore &settings, QWidget *parent = nullptr);

    /// The location chosen, after OK.
    const SearchLocation &location() const { return m_location; }
    /// How many file types were asked for: a new one goes to that position in the list.
    int addCounter() const { return m_addCounter; }

    /// Opens on a location to edit: its fields filled in, no folder browser first.
    void setLocation(const SearchLocation &location);
    void browse();
    void addFileType();
    void removeFileType();
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    /// The file-type list with its two buttons.
    QLayout *buildPathRow();
    void buildLocationChecks(QVBoxLayout &layout);
    QLayout *buildTypeList();
    /// The user's file types from the settings, else the built-in ones.
    void fillTypes();
    void excludeClicked();
    void typesChosen();
    void SaveFileTypes();
    /// The path typed or picked, as bytes; "" when it is no absolute path.
    std::string typedFolder() const;

    SearchLocation m_location;
    std::string m_folderBytes;  // the chosen folder as the file system names it
    int m_addCounter = 0;
    Prompter &m_prompter;
    SettingsStore &m_settings;
    bool m_browsed = false;
    QLineEdit *m_text1 = nullptr;
    QCheckBox *m_includeSubFolders = nullptr;
    QCheckBox *m_excludeFolder = nullptr;
    QCheckBox *m_reference = nullptr;  // a reference location
    QRadioButton *m_option1 = nullptr;
    QRadioButton *m_option2 = nullptr;
    QListWidget *m_ftype = nullptr;
    QToolButton *m_cmdFileAdd = nullptr;
    QToolButton *m_cmdFileDelete = nullptr;
    QPushButton *m_cmdOK = nullptr;
};

}  // namespace geminor
