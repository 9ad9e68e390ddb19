#include "ui/main_frm.h"
#include "ui/shown_text.h"

#include <QAction>
#include <algorithm>
#include <QCheckBox>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QRadioButton>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/file_info_frm.h"
#include "ui/folder_frm.h"
#include "ui/image_list.h"
#include "ui/main_actions.h"
#include "ui/result_model.h"
#include "ui/scan_runner.h"
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
    connect(m_actions.MSendToRecycleBin, &QAction::triggered, this, &MainFrm::toggleRecycle);
    connect(m_actions.MClose, &QAction::triggered, this, &QWidget::close);
    connect(m_actions.buttons[12], &QAction::triggered, this, &MainFrm::toggleRecycle);
    buildControls();
    buildStatusBar();
    m_viewer = new ViewerControl(*this, m_prompter, m_settings, *m_model, *m_rlv, *m_actions.MPicViewer,
                                 *m_actions.buttons[11], *m_actions.MAction);
    connect(m_actions.MPicViewer, &QAction::triggered, m_viewer, &ViewerControl::toggle);
    connect(m_actions.buttons[11], &QAction::triggered, m_viewer, &ViewerControl::toggle);
    m_files = std::make_unique<FileCommands>(
        *this, m_prompter, *m_model, *m_rlv, *panel(1), [this] { return m_recycle == SettingsStore::kRecycleOn; },
        [this] { return m_lastMethod; });
    m_scan = new ScanRunner(m_minimized, this);
    connect(m_scan, &ScanRunner::statusText, panel(1), &QLabel::setText);
    connect(m_scan, &ScanRunner::titleText, this, &QWidget::setWindowTitle);
    connect(m_scan, &ScanRunner::finished, this, &MainFrm::scanEnded);
    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(1000);
    m_timer2 = new QTimer(this);
    m_timer2->setObjectName(QStringLiteral("Timer2"));
    m_timer2->setInterval(500);
    m_timer2->setSingleShot(true);

    // The toggle comes from the settings; a value other than the two states stays on the button.
    m_recycle = m_settings.RecycleBin();
    m_actions.MSendToRecycleBin->setChecked(m_recycle == SettingsStore::kRecycleOn);
    m_actions.buttons[12]->setIcon(ImageListIcon(m_recycle));
    connectCommands();
    NewSession();
    SetBusy(false);
    if (!m_defaultSession.empty() && QFile::exists(QFile::decodeName(m_defaultSession.c_str())))
        LoadSession(m_defaultSession);
    resize(980, 680);
    RestoreWindowLayout(*this, *m_rlv, m_settings);
}

MainFrm::~MainFrm() = default;

void MainFrm::buildControls()
{
    auto *central = new QSplitter(Qt::Vertical, this);
    central->setObjectName(QStringLiteral("Splitter"));
    m_request = new RequestPanel(m_prompter, central);
    connect(m_request, &RequestPanel::addRequested, this, &MainFrm::AddLocationCommand);
    m_rlv = new QTableView(central);
    m_rlv->setObjectName(QStringLiteral("RLV"));
    m_model = new ResultModel(this);
    m_rlv->setModel(m_model);
    m_rlv->verticalHeader()->hide();
    m_rlv->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_rlv->setShowGrid(false);
    // Initial widths in the proportions 5997 : 1764 : 3528 : 1764 : 7408.
    const int widths[] = {5997, 1764, 3528, 1764, 7408};
    for (int c = 0; c < ResultModel::ColumnCount; ++c)
        m_rlv->setColumnWidth(c, widths[c] * 940 / 20461);
    // Ten-digit sizes (and more) fit at the start.
    m_rlv->setColumnWidth(ResultModel::Size, std::max(m_rlv->columnWidth(ResultModel::Size),
                                                      m_rlv->fontMetrics().horizontalAdvance(QStringLiteral("0000000000000")) + 12));
    m_rlv->horizontalHeader()->setStretchLastSection(true);
    m_rlv->setTabKeyNavigation(false);  // Tab moves on to the next control
    m_rlv->addAction(m_actions.MDelete);
    central->addWidget(m_rlv);
    central->setStretchFactor(1, 3);
    m_command1 = new QPushButton(this);
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command1->setFixedSize(0, 0);  // a focus target for F6 during a scan, never seen
    m_command1->installEventFilter(this);
    setCentralWidget(central);
}

void MainFrm::buildStatusBar()
{
    for (std::size_t i = 0; i < m_panels.size(); ++i) {
        m_panels[i] = new QLabel(this);
        m_panels[i]->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        if (i == 0) {
            statusBar()->addWidget(m_panels[i]);
            // Beside panel 1, which keeps its exact texts: what did not go well, the list in a tooltip.
            m_problems = new QLabel(this);
            m_problems->setObjectName(QStringLiteral("PanelProblems"));
            m_problems->setStyleSheet(QStringLiteral("color: #a04000"));
            statusBar()->addWidget(m_problems, 1);
        } else {
            statusBar()->addPermanentWidget(m_panels[i]);
        }
    }
}

void MainFrm::SetMenusEnabled(bool Enabled)
{
    for (QAction *entry : {m_actions.MScan, m_actions.MNewSession, m_actions.MSaveSession, m_actions.MLoadSession,
                           m_actions.MClose, m_actions.MCancel})
        entry->setEnabled(Enabled);
    for (QMenu *menu : {m_actions.MExport, m_actions.MAction, m_actions.MHelp, m_actions.MnuFile})
        menu->setEnabled(Enabled);
    // The menus' shortcuts go with them: Del, Ctrl+C and the others do nothing during a scan.
    for (QAction *entry : m_actions.MAction->actions())
        entry->setEnabled(Enabled);
}

void MainFrm::SetBusy(bool Busy)
{
    if (Busy)
        m_viewer->close();
    for (std::size_t i = 1; i < m_actions.buttons.size(); ++i)
        if (m_actions.buttons[i])
            m_actions.buttons[i]->setEnabled(i == 2 ? Busy : !Busy);
    SetMenusEnabled(!Busy);
    m_request->setControlsEnabled(!Busy);
    m_rlv->setEnabled(!Busy);
    // Until a scan has counted something, the counts stay hidden.
    panel(2)->setVisible(!Busy && m_counted && m_request->method() != SearchMethod::ZeroSize);
    panel(3)->setVisible(!Busy && m_counted);
    panel(4)->setVisible(!Busy && m_counted);
    if (Busy)
        m_problems->clear();
    if (!Busy && windowTitle() != QStringLiteral("Geminor"))
        setWindowTitle(QStringLiteral("100% Completed"));
}

void MainFrm::toggleRecycle()
{
    if (m_recycle == SettingsStore::kRecycleOff) {
        m_recycle = SettingsStore::kRecycleOn;
    } else if (m_prompter.askYesNo(
                   this, QStringLiteral("Confirm"),
                   QStringLiteral("This will delete the files permanently i.e., they are not sent to "
                                  "the Trash.\r\nAre you sure to preceed."))) {
        m_recycle = SettingsStore::kRecycleOff;
    }
    m_actions.MSendToRecycleBin->setChecked(m_recycle == SettingsStore::kRecycleOn);
    m_actions.buttons[12]->setIcon(ImageListIcon(m_recycle));
    m_settings.SetRecycleBin(m_recycle);
}

void MainFrm::AddLocationCommand()
{
    FolderFrm dialog(m_prompter, m_settings, this);
    if (dialog.exec() == QDialog::Accepted && !QString::fromStdString(dialog.location().Folder).trimmed().isEmpty())
        m_request->addLocation(dialog.location());
}

bool MainFrm::eventFilter(QObject *watched, QEvent *event)
{
    // F6 on Command1 cancels while the menus (and so F6 of File > Cancel) are disabled.
    if (watched == m_command1 && event->type() == QEvent::KeyPress &&
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
    m_minimized = isMinimized();
    if (!isMinimized())
        setWindowTitle(QStringLiteral("Geminor"));
}

}  // namespace geminor
