#pragma once

#include <QMainWindow>
#include <array>
#include <memory>

#include "engine/request.h"
#include "persist/settings_store.h"
#include "ui/prompter.h"

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QTableView;
class QTimer;
class QToolButton;
class QTreeWidget;

namespace geminor {

/// The main window: the search request, the result list, menus, toolbar and status bar.
/// Every control and menu entry carries its name as its object name ("MScan", "Option1").
class MainFrm : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainFrm(Prompter &prompter, SettingsStore &settings, QWidget *parent = nullptr);
    ~MainFrm() override;

    /// Enables or disables MScan, MNewSession, MSaveSession, MLoadSession, MExport, MClose,
    /// MCancel, MAction, MHelp and MnuFile.
    void SetMenusEnabled(bool Enabled);
    /// The busy state of a running scan (only Cancel usable) or the idle state.
    void SetBusy(bool Busy);

    /// The request as the controls hold it, and the controls set from a request.
    SearchRequest request() const;
    void setRequest(const SearchRequest &request);
    /// Adds one row to the search-location list and enables the remove button.
    void addLocation(const SearchLocation &row);

    /// The picture number the toggles show: 10/9 for the viewer, 12/11 for the recycle bin.
    int viewerState() const { return m_display; }
    int recycleState() const { return m_recycle; }
    /// Status panel 1 to 5.
    QLabel *panel(int number) const { return m_panels.at(static_cast<std::size_t>(number - 1)); }

public slots:
    void toggleViewer();
    void toggleRecycle();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void buildMenus();
    void buildToolbar();
    void buildControls();
    void buildStatusBar();
    QAction *addEntry(QMenu *menu, const char *name, const QString &caption,
                      const QKeySequence &shortcut = {});
    void showMethodBold();
    void protectClicked();
    void removeLocation();

    Prompter &m_prompter;
    SettingsStore &m_settings;
    int m_display = SettingsStore::kViewerOn;
    int m_recycle = SettingsStore::kRecycleOn;
    QString m_protectMarker = QStringLiteral("Direct");

    QMenu *m_fileMenu = nullptr;
    QMenu *m_exportMenu = nullptr;
    QMenu *m_actionMenu = nullptr;
    QMenu *m_markMenu = nullptr;
    QMenu *m_helpMenu = nullptr;
    std::array<QAction *, 13> m_buttons{};  // toolbar buttons by index 1..12 (3 and 9 separators)
    QTreeWidget *m_searchList = nullptr;
    QToolButton *m_cmdAdd = nullptr;
    QToolButton *m_cmdRemove = nullptr;
    std::array<QRadioButton *, 4> m_options{};
    QCheckBox *m_chkProtect = nullptr;
    QCheckBox *m_chkIncludeHidden = nullptr;
    QTableView *m_rlv = nullptr;
    std::array<QLabel *, 5> m_panels{};
    QPushButton *m_command1 = nullptr;
    QTimer *m_timer1 = nullptr;
    QTimer *m_timer2 = nullptr;
};

}  // namespace geminor
