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

namespace geminor {
namespace {

constexpr int kLocationIcon = 15, kExcludedIcon = 16;
const char *const kOptionCaptions[] = {"Byte to Byte", "Cyclic Redundancy Check (CRC32)", "Same Name Files",
                                       "Zero Size Files"};

}  // namespace

MainFrm::MainFrm(Prompter &prompter, SettingsStore &settings, std::string defaultSession, QWidget *parent)
    : QMainWindow(parent), m_prompter(prompter), m_settings(settings),
      m_defaultSession(std::move(defaultSession))
{
    setObjectName(QStringLiteral("MainFrm"));
    setWindowTitle(QStringLiteral("Geminor"));
    m_actions = BuildMainActions(*this);
    connect(m_actions.MPicViewer, &QAction::triggered, this, &MainFrm::toggleViewer);
    connect(m_actions.MSendToRecycleBin, &QAction::triggered, this, &MainFrm::toggleRecycle);
    connect(m_actions.MClose, &QAction::triggered, this, &QWidget::close);
    connect(m_actions.buttons[11], &QAction::triggered, this, &MainFrm::toggleViewer);
    connect(m_actions.buttons[12], &QAction::triggered, this, &MainFrm::toggleRecycle);
    buildControls();
    buildStatusBar();
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

    // The toggles come from the settings; a value other than the two states stays on the button.
    m_display = m_settings.Display();
    m_recycle = m_settings.RecycleBin();
    m_actions.MPicViewer->setChecked(m_display == SettingsStore::kViewerOn);
    m_actions.MSendToRecycleBin->setChecked(m_recycle == SettingsStore::kRecycleOn);
    m_actions.buttons[11]->setIcon(ImageListIcon(m_display));
    m_actions.buttons[12]->setIcon(ImageListIcon(m_recycle));
    connectCommands();
    NewSession();
    SetBusy(false);
    if (!m_defaultSession.empty() && QFile::exists(QFile::decodeName(m_defaultSession.c_str())))
        LoadSession(m_defaultSession);
    resize(980, 680);
}

MainFrm::~MainFrm() = default;

void MainFrm::buildControls()
{
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    auto *top = new QHBoxLayout;

    m_searchList = new QTreeWidget(central);
    m_searchList->setObjectName(QStringLiteral("SearchList"));
    m_searchList->setHeaderLabels(
        {QStringLiteral("Search Locations"), QStringLiteral("Sub Folders"), QStringLiteral("File Type")});
    m_searchList->setRootIsDecorated(false);
    m_searchList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    auto *removeKey = new QAction(m_searchList);  // Del in the location list removes the location
    removeKey->setShortcut(Qt::Key_Delete);
    removeKey->setShortcutContext(Qt::WidgetShortcut);
    m_searchList->addAction(removeKey);
    connect(removeKey, &QAction::triggered, this, [this] {
        if (m_cmdRemove->isEnabled())
            removeLocation();
    });
    top->addWidget(m_searchList, 1);

    auto *buttons = new QVBoxLayout;
    m_cmdAdd = new QToolButton(central);
    m_cmdAdd->setObjectName(QStringLiteral("cmdAdd"));
    m_cmdAdd->setIcon(QIcon::fromTheme(QStringLiteral("list-add"), ImageListIcon(kLocationIcon)));
    m_cmdAdd->setToolTip(QStringLiteral("Add/Exclude Folders"));
    m_cmdRemove = new QToolButton(central);
    m_cmdRemove->setObjectName(QStringLiteral("cmdRemove"));
    m_cmdRemove->setIcon(QIcon::fromTheme(QStringLiteral("list-remove"), ImageListIcon(6)));
    m_cmdRemove->setToolTip(QStringLiteral("Remove"));
    connect(m_cmdRemove, &QToolButton::clicked, this, &MainFrm::removeLocation);
    connect(m_cmdAdd, &QToolButton::clicked, this, &MainFrm::AddLocationCommand);
    buttons->addWidget(m_cmdAdd);
    buttons->addWidget(m_cmdRemove);
    buttons->addStretch();
    top->addLayout(buttons);

    auto *frame1 = new QGroupBox(QStringLiteral("Search Engine"), central);
    frame1->setObjectName(QStringLiteral("Frame1"));
    auto *frame1Layout = new QVBoxLayout(frame1);
    auto *frame2 = new QGroupBox(frame1);
    frame2->setObjectName(QStringLiteral("Frame2"));
    auto *frame2Layout = new QVBoxLayout(frame2);
    for (std::size_t i = 0; i < m_options.size(); ++i) {
        m_options[i] = new QRadioButton(QString::fromLatin1(kOptionCaptions[i]), frame2);
        m_options[i]->setObjectName(QStringLiteral("Option%1").arg(i + 1));
        connect(m_options[i], &QRadioButton::toggled, this, &MainFrm::showMethodBold);
        frame2Layout->addWidget(m_options[i]);
    }
    frame1Layout->addWidget(frame2);
    m_chkProtect = new QCheckBox(QStringLiteral("Protect System Folders"), frame1);
    m_chkProtect->setObjectName(QStringLiteral("chkProtect"));
    connect(m_chkProtect, &QCheckBox::clicked, this, &MainFrm::protectClicked);
    m_chkIncludeHidden = new QCheckBox(QStringLiteral("Include Hidden Folders and Files"), frame1);
    m_chkIncludeHidden->setObjectName(QStringLiteral("chkIncludeHidden"));
    frame1Layout->addWidget(m_chkProtect);
    frame1Layout->addWidget(m_chkIncludeHidden);
    top->addWidget(frame1);
    layout->addLayout(top, 2);

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
    m_rlv->installEventFilter(this);
    m_rlv->viewport()->installEventFilter(this);
    layout->addWidget(m_rlv, 5);
    m_command1 = new QPushButton(central);
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
        closeViewer();
    for (std::size_t i = 1; i < m_actions.buttons.size(); ++i)
        if (m_actions.buttons[i])
            m_actions.buttons[i]->setEnabled(i == 2 ? Busy : !Busy);
    SetMenusEnabled(!Busy);
    for (QWidget *control : std::initializer_list<QWidget *>{m_searchList, m_cmdAdd, m_cmdRemove,
                                                             m_chkProtect, m_chkIncludeHidden, m_rlv})
        control->setEnabled(!Busy);
    for (QRadioButton *option : m_options)
        option->setEnabled(!Busy);
    // Until a scan has counted something, the counts stay hidden.
    panel(2)->setVisible(!Busy && m_counted && !m_options[3]->isChecked());
    panel(3)->setVisible(!Busy && m_counted);
    panel(4)->setVisible(!Busy && m_counted);
    if (Busy)
        m_problems->clear();
    if (!Busy && windowTitle() != QStringLiteral("Geminor"))
        setWindowTitle(QStringLiteral("100% Completed"));
}

void MainFrm::toggleViewer()
{
    if (m_display == SettingsStore::kViewerOff) {
        m_display = SettingsStore::kViewerOn;
        if (m_model->rowCount() > 0)
            PreviewSelected();
    } else {
        m_display = SettingsStore::kViewerOff;
        closeViewer();
    }
    m_actions.MPicViewer->setChecked(m_display == SettingsStore::kViewerOn);
    m_actions.buttons[11]->setIcon(ImageListIcon(m_display));
    m_settings.SetDisplay(m_display);
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

void MainFrm::protectClicked()
{
    if (m_chkProtect->isChecked() || m_protectMarker != QStringLiteral("Direct"))
        return;
    if (m_prompter.askYesNo(
            this, QStringLiteral("Confirm"),
            QStringLiteral("It is highly recommended to leave this option checked to prevent loss of "
                           "data.\r\nDo you want to leave this option"),
            QMessageBox::Critical))
        m_chkProtect->setChecked(true);
}

void MainFrm::showMethodBold()
{
    for (QRadioButton *option : m_options) {
        QFont font = option->font();
        font.setBold(option->isChecked());
        option->setFont(font);
    }
}

SearchRequest MainFrm::request() const
{
    SearchRequest request;
    for (std::size_t i = 0; i < m_options.size(); ++i)
        if (m_options[i]->isChecked())
            request.Method = static_cast<SearchMethod>(i);
    request.ProtectWindowsFolders = m_chkProtect->isChecked();
    request.IncludeHidden = m_chkIncludeHidden->isChecked();
    for (int i = 0; i < m_searchList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = m_searchList->topLevelItem(i);
        request.Locations.push_back({item->data(0, Qt::UserRole).toByteArray().toStdString(),
                                     item->text(1).toStdString(), item->text(2).toStdString(),
                                     item->data(1, Qt::UserRole).toInt() == kExcludedIcon});
    }
    return request;
}

void MainFrm::setRequest(const SearchRequest &request)
{
    m_searchList->clear();
    m_options[static_cast<std::size_t>(request.Method)]->setChecked(true);
    m_protectMarker = QStringLiteral("ThruFile");  // no warning for a state that comes from a file
    m_chkProtect->setChecked(request.ProtectWindowsFolders);
    m_protectMarker = QStringLiteral("Direct");
    m_chkIncludeHidden->setChecked(request.IncludeHidden);
    for (const SearchLocation &row : request.Locations)
        addLocation(row);
    m_cmdRemove->setEnabled(m_searchList->topLevelItemCount() > 0);
}

void MainFrm::addLocation(const SearchLocation &row)
{
    auto *item = new QTreeWidgetItem(
        m_searchList, {ShownText(row.Folder), ShownText(row.SubFolder), ShownText(row.FileTypes)});
    item->setData(0, Qt::UserRole,
                  QByteArray::fromStdString(row.Folder));  // the bytes, for names that are not UTF-8
    const int icon = row.Exclude ? kExcludedIcon : kLocationIcon;
    item->setData(1, Qt::UserRole, icon);
    item->setIcon(0, ImageListIcon(icon));
    m_cmdRemove->setEnabled(true);
}

void MainFrm::AddLocationCommand()
{
    FolderFrm dialog(m_prompter, m_settings, this);
    if (dialog.exec() == QDialog::Accepted && !QString::fromStdString(dialog.location().Folder).trimmed().isEmpty())
        addLocation(dialog.location());
}

void MainFrm::removeLocation()
{
    delete m_searchList->currentItem();
    m_cmdRemove->setEnabled(m_searchList->topLevelItemCount() > 0);
}

void MainFrm::closeViewer()
{
    delete m_viewer;  // made again on the next preview
    m_viewer = nullptr;
}

void MainFrm::PreviewSelected()
{
    const QModelIndex current = m_rlv->currentIndex();
    if (m_display != SettingsStore::kViewerOn || m_model->rowCount() == 0 || !current.isValid())
        return;
    const ResultRow &row = m_model->rows()[static_cast<std::size_t>(current.row())];
    if (!IsPreviewName(row.name)) {
        if (m_viewer)
            m_viewer->hide();  // kept, with its last picture
        return;
    }
    if (!m_viewer) {
        m_viewer = new FileInfoFrm(m_prompter, this);
        connect(m_viewer, &FileInfoFrm::viewerDisabled, this, [this] {
            // Off until the toggle is used again; the stored setting stays as the toggle left it.
            m_display = SettingsStore::kViewerOff;
            m_actions.MPicViewer->setChecked(false);
            m_actions.buttons[11]->setIcon(ImageListIcon(m_display));
        });
    }
    m_viewer->LoadPic(row.path());
    if (!m_viewer->isVisible()) {
        // Its right edge a little left of the window's, its top level with the result list.
        const QPoint listTop = m_rlv->mapTo(this, QPoint(0, 0));
        m_viewer->move(mapToGlobal(QPoint(width() - (m_viewer->width() + 33), listTop.y())));
        m_viewer->show();
        activateWindow();
    }
}

bool MainFrm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_rlv || watched == m_rlv->viewport()) {
        if (event->type() == QEvent::KeyRelease) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key != Qt::Key_Tab && key != Qt::Key_Backtab && key != Qt::Key_Shift && key != Qt::Key_Control &&
                key != Qt::Key_Alt)
                PreviewSelected();
        } else if (event->type() == QEvent::MouseButtonRelease) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::RightButton)
                m_actions.MAction->popup(mouse->globalPosition().toPoint());
            else
                PreviewSelected();
        }
        return false;
    }
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
