#pragma once

#include <QMainWindow>
#include <array>
#include <atomic>
#include <memory>

#include "persist/session_file.h"
#include "engine/buz_timer.h"
#include "engine/request.h"
#include "persist/settings_store.h"
#include "results/action_plan.h"
#include "ui/file_commands.h"
#include "ui/job_runner.h"
#include "ui/main_actions.h"
#include "ui/prompter.h"
#include "ui/request_panel.h"
#include "ui/status_panels.h"
#include "ui/trash_toggle.h"
#include "ui/viewer_control.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableView;
class QTimer;
class QToolButton;
class QTreeWidget;

namespace geminor {

class FolderView;
class GroupView;
class ResultModel;
struct ResultRow;
struct ScanOutcome;

/// The main window: the search request, the result list, menus, toolbar and status bar.
/// Every control and menu entry carries its name as its object name ("MScan", "Option1").
class MainFrm : public QMainWindow
{
    Q_OBJECT
public:
    /// `defaultSession`: the session read at start and written at every close ("" for none).
    MainFrm(Prompter &prompter, SettingsStore &settings, std::string defaultSession = {},
            QWidget *parent = nullptr);
    ~MainFrm() override;

    /// Enables or disables MScan, MNewSession, MSaveSession, MLoadSession, MExport, MClose,
    /// MCancel, MAction, MHelp and MnuFile.
    void SetMenusEnabled(bool Enabled);
    /// The busy state of a running scan (only Cancel usable) or the idle state.
    void SetBusy(bool Busy);

    /// The request as the controls hold it, and the controls set from a request.
    SearchRequest request() const { return m_request->request(); }
    void setRequest(const SearchRequest &request) { m_request->setRequest(request); }
    /// Asks for a row with the search location dialog and adds it.
    void AddLocationCommand();
    /// Adds one row to the search-location list and enables the remove button.
    void addLocation(const SearchLocation &row) { m_request->addLocation(row); }

    /// The state the toggles show (SettingsStore::kViewerOn/kViewerOff, kRecycleOn/kRecycleOff).
    int viewerState() const { return m_viewer->state(); }
    int recycleState() const { return m_trash->state(); }
    /// Status panel 1 to 5.
    QLabel *panel(int number) const { return m_status->panel(number); }
    /// The label beside panel 1 that says what did not go well in the last scan.
    QLabel *problems() const { return m_status->problems(); }

    /// An empty search: no rows, byte to byte, protection on, hidden files off, no results.
    void NewSession();
    /// Resets, then reads a session file; false when it could not be opened. A bad line shows
    /// its message and keeps the rows read before it.
    bool LoadSession(const std::string &FileName);
    /// Writes the request; an empty name asks for one. `quiet` for the default session at exit.
    void SaveSession(std::string FileName, bool quiet = false);
    /// The program's command line: a session to load and scan at the first activation.
    void setCommandLine(const QString &commandLine) { m_commandLine = commandLine; }

    /// Starts a scan of the request on a thread of its own; the window stays busy until it ends,
    /// shows its result and emits scanFinished().
    void ScanCommand();
    /// Asks, and when the answer is Yes, has the running scan stop.
    void CancelCommand();
    ResultModel *results() const { return m_model; }
    /// The Folders page: what the last content scan found of whole folders.
    FolderView *folders() const { return m_folders; }
    /// Shows the folder list (true) or the file list.
    void showFolders(bool on);
    /// The runner of the window's file work: a command that acts on files has ended when it is
    /// no longer busy.
    JobRunner *jobs() const { return m_jobs; }
    // The file commands on the marked rows and on the current row.
    void CopyMarked() { m_files->CopyMarked(); }
    void MoveMarked() { m_files->MoveMarked(); }
    void DeleteMarked() { m_files->DeleteMarked(); }
    void RenameSelected() { m_files->RenameSelected(); }
    void OpenSelectedFile() { m_files->OpenSelectedFile(); }
    void OpenSelectedFolder() { m_files->OpenSelectedFolder(); }
    void CopySelectedPath() { m_files->CopySelectedPath(); }
    void ShowFileProperties() { m_files->ShowFileProperties(); }
    /// Adds the current row's folder to the search locations as an excluded folder.
    void ExcludeSelectedFolder();

    /// The picture preview rule for the current row of the result list.
    void PreviewSelected() { m_viewer->previewSelected(); }
    /// The picture viewer window, when there is one.
    class FileInfoFrm *viewer() const { return m_viewer->viewer(); }

public slots:
    void toggleViewer() { m_viewer->toggle(); }
    void toggleRecycle() { m_trash->toggle(); }

signals:
    /// A scan started by ScanCommand has ended and its result is shown.
    void scanFinished();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    /// LoadSession with everything the reading gave: a damaged file is never scanned.
    SessionRead readSession(const std::string &FileName);
    void buildControls();
    void connectCommands();
    void scanEnded(const std::shared_ptr<struct ScanResult> &result);
    /// The Folders page and its commands, once the commands' context exists.
    void buildFolderView();

    Prompter &m_prompter;
    SettingsStore &m_settings;
    TrashToggle *m_trash = nullptr;

    MainActions m_actions;
    RequestPanel *m_request = nullptr;
    QTableView *m_resultList = nullptr;
    QTabWidget *m_tabs = nullptr;  // "Files" and "Folders"
    FolderView *m_folders = nullptr;
    QLineEdit *m_filter = nullptr;  // shows only the groups with a matching path
    GroupView *m_groups = nullptr;
    std::unique_ptr<StatusPanels> m_status;
    QPushButton *m_cancelKeyTarget = nullptr;  // "Command1": has the focus and F6 during a scan
    QTimer *m_clockTimer = nullptr;            // the time in panel 5, each second of a scan
    QTimer *m_endSoundTimer = nullptr;         // the end sound, half a second after a scan
    ResultModel *m_model = nullptr;
    ViewerControl *m_viewer = nullptr;

    std::string m_defaultSession;
    QString m_commandLine;
    bool m_activated = false;
    class ScanRunner *m_scan = nullptr;
    JobRunner *m_jobs = nullptr;
    std::unique_ptr<CommandContext> m_context;  // what the file commands act through
    std::unique_ptr<FileCommands> m_files;
    RowColour m_firstGroupColour = RowColour::Black;  // of the next scan: colours go on across scans
    SearchMethod m_lastMethod = SearchMethod::ByteToByte;
    std::unique_ptr<buzTimer> m_stopwatch;
};

}  // namespace geminor
