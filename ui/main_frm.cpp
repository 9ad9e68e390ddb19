#include "ui/main_frm.h"

#include <QAction>
#include <algorithm>
#include <QKeyEvent>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/cache_options.h"
#include "ui/folder_frm.h"
#include "ui/folder_view.h"
#include "ui/group_view.h"
#include "ui/job_runner.h"
#include "ui/main_actions.h"
#include "ui/result_model.h"
#include "ui/scan_runner.h"
#include "ui/trash_toggle.h"
#include "ui/status_panels.h"
#include "ui/window_layout.h"
#include "ui/viewer_control.h"

namespace geminor {

MainFrm::MainFrm(Prompter &prompter, SettingsStore &settings, std::string defaultSession, QWidget *parent)
    : QMainWindow(parent), m_prompter(prompter), m_settings(settings),
      m_defaultSession(std::move(defaultSession))
{
    setObjectName(QStringLiteral("MainFrm"));
    setWindowTitle(QStringLiteral("Geminor"));
    m_actions = BuildMainActions(*this);
    connect(m_actions.MClose, &QAction::triggered, this, &QWidget::close);
    buildControls();
    m_status = std::make_unique<StatusPanels>(*statusBar());
    auto *space = new QLabel(this);
    statusBar()->addPermanentWidget(space);
    m_groups = new GroupView(m_actions, *m_model, *m_filter, *space);
    m_viewer =
        new ViewerControl(*this, m_prompter, m_settings, *m_model, *m_resultList, *m_actions.MPicViewer,
                          *m_actions.buttons[kViewerButton], *m_actions.RowMenu);
    connect(m_actions.MPicViewer, &QAction::triggered, m_viewer, &ViewerControl::toggle);
    connect(m_actions.buttons[kViewerButton], &QAction::triggered, m_viewer, &ViewerControl::toggle);
    connect(m_actions.MCompare, &QAction::triggered, m_viewer, &ViewerControl::compareSelected);
    m_trash = new TrashToggle(*this, m_prompter, m_settings, *m_actions.MSendToRecycleBin,
                              *m_actions.buttons[kTrashButton]);
    m_jobs = new JobRunner(*this, m_prompter);
    m_context.reset(new CommandContext{*this, m_prompter, *m_model, *panel(1), *m_jobs});
    ConnectCacheOptions(m_actions, m_settings, *m_context);
    m_files = std::make_unique<FileCommands>(
        *m_context, *m_resultList, [this] { return m_trash->toTrash(); }, [this] { return m_lastMethod; });
    buildFolderView();
    m_scan = new ScanRunner(this);
    connect(m_scan, &ScanRunner::statusText, panel(1), &QLabel::setText);
    connect(m_scan, &ScanRunner::titleText, this, &QWidget::setWindowTitle);
    connect(m_scan, &ScanRunner::finished, this, &MainFrm::scanEnded);
    m_clockTimer = new QTimer(this);
    m_clockTimer->setObjectName(QStringLiteral("Timer1"));
    m_clockTimer->setInterval(1000);
    m_endSoundTimer = new QTimer(this);
    m_endSoundTimer->setObjectName(QStringLiteral("Timer2"));
    m_endSoundTimer->setInterval(500);
    m_endSoundTimer->setSingleShot(true);

    connectCommands();
    NewSession();
    SetBusy(false);
    if (!m_defaultSession.empty() && QFile::exists(QFile::decodeName(m_defaultSession.c_str())))
        LoadSession(m_defaultSession);
    resize(980, 680);
    RestoreWindowLayout(*this, *m_resultList, m_settings);
}

MainFrm::~MainFrm()
{
    // Before the members the jobs' continuations and the scan's texts could reach go.
    m_jobs->cancelAndWait();
    m_scan->cancelAndWait();
}

void MainFrm::buildControls()
{
    auto *central = new QSplitter(Qt::Vertical, this);
    central->setObjectName(QStringLiteral("Splitter"));
    m_request = new RequestPanel(m_prompter, central);
    connect(m_request, &RequestPanel::addRequested, this, &MainFrm::AddLocationCommand);
    connect(m_request, &RequestPanel::editRequested, this, [this](int index) {
        FolderFrm dialog(m_prompter, m_settings, this);
        dialog.setLocation(m_request->request().Locations.at(index));
        if (dialog.exec() == QDialog::Accepted)
            m_request->replaceLocation(index, dialog.location());
    });
    m_tabs = new QTabWidget(central);
    m_tabs->setObjectName(QStringLiteral("ResultTabs"));
    m_tabs->setDocumentMode(true);
    auto *results = new QWidget(m_tabs);
    auto *resultsLayout = new QVBoxLayout(results);
    resultsLayout->setContentsMargins(0, 0, 0, 0);
    m_filter = new QLineEdit(results);
    resultsLayout->addWidget(m_filter);
    m_resultList = new QTableView(results);
    resultsLayout->addWidget(m_resultList);
    m_resultList->setObjectName(QStringLiteral("RLV"));
    m_model = new ResultModel(this);
    m_resultList->setModel(m_model);
    // The scan's count stands until an action changes what is listed.
    connect(m_model, &ResultModel::followed, this, [this] {
        m_status->panel(2)->setText(QStringLiteral("Duplicates : %1").arg(m_model->duplicates()));
    });
    m_resultList->verticalHeader()->hide();
    m_resultList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_resultList->setShowGrid(false);
    // Initial widths in the proportions 5997 : 1764 : 3528 : 1764 : 7408, the two columns of
    // similar pictures aside (hidden but for them).
    const int widths[] = {5997, 1764, 3528, 1764, 2000, 1500, 7408};
    for (int c = 0; c < ResultModel::ColumnCount; ++c)
        m_resultList->setColumnWidth(c, widths[c] * 940 / 20461);
    for (int c : {ResultModel::Dimensions, ResultModel::Distance})
        m_resultList->setColumnHidden(c, true);
    // Ten-digit sizes (and more) fit at the start.
    m_resultList->setColumnWidth(
        ResultModel::Size,
        std::max(m_resultList->columnWidth(ResultModel::Size),
                 m_resultList->fontMetrics().horizontalAdvance(QStringLiteral("0000000000000")) + 12));
    m_resultList->horizontalHeader()->setStretchLastSection(true);
    m_resultList->setTabKeyNavigation(false);  // Tab moves on to the next control
    m_resultList->addAction(m_actions.MDelete);
    m_tabs->addTab(results, QStringLiteral("Files"));
    central->addWidget(m_tabs);
    central->setStretchFactor(1, 3);
    m_cancelKeyTarget = new QPushButton(this);
    m_cancelKeyTarget->setObjectName(QStringLiteral("Command1"));
    m_cancelKeyTarget->setFixedSize(0, 0);  // a focus target for F6 during a scan, never seen
    m_cancelKeyTarget->installEventFilter(this);
    setCentralWidget(central);
}

void MainFrm::buildFolderView()
{
    m_folders = new FolderView(
        *m_context, [this] { return m_trash->toTrash(); }, m_tabs);
    m_tabs->addTab(m_folders, QStringLiteral("Folders"));
    m_context->undone = [this](const UndoReport &report) { m_folders->followUndo(report); };
    connect(m_tabs, &QTabWidget::currentChanged, this,
            [this](int page) { m_actions.MFolders->setChecked(page == 1); });
    connect(m_actions.MFolders, &QAction::triggered, this, &MainFrm::showFolders);
    connect(m_actions.MShowFiles, &QAction::triggered, m_folders, &FolderView::showFiles);
    connect(m_folders, &FolderView::filesWanted, this, [this](const std::string &folder) {
        showFolders(false);
        m_groups->showFolder(folder);
        m_resultList->setFocus();
    });
}

void MainFrm::showFolders(bool on)
{
    m_tabs->setCurrentIndex(on ? 1 : 0);
    (on ? static_cast<QWidget *>(m_folders->list()) : m_resultList)->setFocus();
}

void MainFrm::SetMenusEnabled(bool Enabled)
{
    EnableMenus(m_actions, Enabled);
}

void MainFrm::SetBusy(bool Busy)
{
    if (Busy)
        m_viewer->close();
    for (std::size_t i = 1; i < m_actions.buttons.size(); ++i)
        if (m_actions.buttons[i])
            m_actions.buttons[i]->setEnabled(i == kCancelButton ? Busy : !Busy);
    SetMenusEnabled(!Busy);
    m_request->setControlsEnabled(!Busy);
    m_resultList->setEnabled(!Busy);
    m_folders->setEnabled(!Busy);
    m_filter->setEnabled(!Busy);
    // Not in a text field during a scan, where keys would edit text: Command1 takes F6.
    if (Busy)
        m_cancelKeyTarget->setFocus();
    m_status->showCounts(Busy, m_request->method() == SearchMethod::ZeroSize);
    if (!Busy && windowTitle() != QStringLiteral("Geminor"))
        setWindowTitle(QStringLiteral("100% Completed"));
}

void MainFrm::AddLocationCommand()
{
    FolderFrm dialog(m_prompter, m_settings, this);
    if (dialog.exec() == QDialog::Accepted &&
        !QString::fromStdString(dialog.location().Folder).trimmed().isEmpty())
        m_request->addLocation(dialog.location());
}

bool MainFrm::eventFilter(QObject *watched, QEvent *event)
{
    // F6 on Command1 cancels while the menus (and so F6 of File > Cancel) are disabled.
    if (watched == m_cancelKeyTarget && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_F6) {
        if (!m_actions.MCancel->isEnabled())
            CancelCommand();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainFrm::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (!isMinimized())
        setWindowTitle(QStringLiteral("Geminor"));
}

void MainFrm::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    m_scan->setMinimized(isMinimized());
    if (!isMinimized())
        setWindowTitle(QStringLiteral("Geminor"));
}

}  // namespace geminor
