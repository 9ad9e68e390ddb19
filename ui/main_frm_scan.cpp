// The window's commands that run the engine: scan, cancel and the two exports.
#include <algorithm>

#include <QAction>
#include <QTableView>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "engine/checksum_cache.h"
#include "engine/scan_run.h"
#include "ui/about_frm.h"
#include "ui/mark_commands.h"
#include "ui/shipped_files.h"
#include "ui/export_commands.h"
#include "ui/file_commands.h"
#include "ui/folder_view.h"
#include "ui/undo_command.h"
#include "ui/group_view.h"
#include "ui/job_runner.h"
#include "ui/main_frm.h"
#include "ui/result_model.h"
#include "ui/scan_runner.h"
#include "ui/shown_text.h"
#include "ui/status_panels.h"

namespace geminor {
void MainFrm::connectCommands()
{
    auto on = [this](QAction *entry, auto slot) { connect(entry, &QAction::triggered, this, slot); };
    const MainActions &a = m_actions;
    on(a.MScan, [this] { ScanCommand(); });
    on(a.MCancel, [this] { CancelCommand(); });
    on(a.MNewSession, [this] { NewSession(); });
    on(a.MSaveSession, [this] { SaveSession({}); });
    on(a.MLoadSession, [this] {
        const std::string path =
            m_prompter.openFileName(this, QStringLiteral("Search Session"), QStringLiteral("Geminor|*.gmr"));
        if (!path.empty())
            LoadSession(path);
    });
    on(a.MCSV, [this] { ExportCsv(*m_context); });
    on(a.MHTML, [this] { ExportHtml(*m_context, m_status->lastFiles(), m_status->lastDuplicates()); });
    on(a.MAbout, [this] { AboutFrm(this).exec(); });
    on(a.MCopyMarkFiles, [this] { CopyMarked(); });
    on(a.MMoveSelected, [this] { MoveMarked(); });
    on(a.MDelete, [this] { DeleteMarked(); });
    on(a.MLinkHard, [this] { m_files->LinkMarked(PlanAction::HardLink); });
    on(a.MLinkSymbolic, [this] { m_files->LinkMarked(PlanAction::SymbolicLink); });
    on(a.MLinkClone, [this] { m_files->LinkMarked(PlanAction::Clone); });
    on(a.MUndo, [this] { UndoLastOperation(*m_context); });
    on(a.MRename, [this] { RenameSelected(); });
    on(a.MOpenFile, [this] { OpenSelectedFile(); });
    on(a.MOpenFolder, [this] { OpenSelectedFolder(); });
    on(a.MCopyPath, [this] { CopySelectedPath(); });
    on(a.MFileProperties, [this] { ShowFileProperties(); });
    on(a.MExcludeFolder, [this] { ExcludeSelectedFolder(); });
    ConnectMarkCommands(a, *m_model, *m_resultList, *panel(1), m_prompter, *this);
    on(a.MHelpTopics, [this] { OpenHelp(*this, m_prompter); });
    // The menus are disabled during a scan, so the Cancel button calls the command itself.
    connect(a.buttons[kCancelButton], &QAction::triggered, this, [this] { CancelCommand(); });
    // During a scan the menus are disabled, so Command1 (and F6 on it) stands in for Cancel.
    connect(m_cancelKeyTarget, &QPushButton::clicked, this, [this] {
        if (!m_actions.MCancel->isEnabled())
            CancelCommand();
    });
    // Half a second after a scan: the end sound, once.
    connect(m_endSoundTimer, &QTimer::timeout, this, [this] { PlayEndSound(*this); });
    // A double-click opens the file with the program the desktop has for it.
    connect(m_resultList, &QAbstractItemView::doubleClicked, this, [this] { OpenSelectedFile(); });
    connect(m_clockTimer, &QTimer::timeout, this, [this] {
        if (!m_stopwatch)
            m_stopwatch = std::make_unique<buzTimer>();
        panel(5)->setText(QString::fromStdString(m_stopwatch->Elapsed()));
    });
}

void MainFrm::ExcludeSelectedFolder()
{
    const QModelIndex current = m_resultList->currentIndex();
    if (!current.isValid())
        return;
    const std::string folder = m_model->rows()[m_model->rowOf(current.row())].folder.str();
    const SearchRequest search = request();
    const bool listed =
        std::any_of(search.Locations.begin(), search.Locations.end(),
                    [&](const SearchLocation &row) { return row.Exclude && row.Folder == folder; });
    if (!listed)
        addLocation({folder, "Yes", "*.*", true});
    panel(1)->setText(QStringLiteral("Left out of the next scan: ") + ShownText(folder));
}

void MainFrm::CancelCommand()
{
    if (m_prompter.askYesNo(this, QStringLiteral("Cancel Search"),
                            QStringLiteral("Are you sure to cancel searching?")))
        m_scan->cancelFlag().store(true);
}

void MainFrm::ScanCommand()
{
    const SearchRequest search = request();
    if (search.Locations.empty()) {
        m_prompter.inform(this, QStringLiteral("Error"), QStringLiteral("Please add search path first."),
                          QMessageBox::Information);
        AddLocationCommand();
        return;
    }
    if (m_scan->running())
        return;
    SetBusy(true);
    if (!m_stopwatch)
        m_stopwatch = std::make_unique<buzTimer>();
    m_stopwatch->Reset();
    m_clockTimer->start();
    for (int i : {2, 3, 4})
        panel(i)->clear();
    panel(5)->setText(QStringLiteral("00:00:00"));
    m_model->setRows({});
    m_folders->clear();
    m_lastMethod = search.Method;
    SearchRequest withFolders = search;
    withFolders.Folders = ReadsContents(search.Method);  // whole folders are compared by content only
    m_scan->start(withFolders, m_firstGroupColour, m_settings.UseChecksumCache());
}

void MainFrm::scanEnded(const std::shared_ptr<ScanResult> &result)
{
    m_firstGroupColour = result->nextColour;
    const bool pictures = m_lastMethod == SearchMethod::SimilarPictures;
    for (int column : {ResultModel::Dimensions, ResultModel::Distance})
        m_resultList->setColumnHidden(column, !pictures);
    m_resultList->setColumnHidden(ResultModel::Version, pictures);  // pictures have none: room for theirs
    m_model->setRows(std::move(result->rows));
    m_groups->rowsLoaded();
    const bool zeroSize = m_lastMethod == SearchMethod::ZeroSize;
    if (result->outcome.searched) {  // an empty or cancelled walk leaves the Mark menu as it was
        m_actions.MMarkAll->setVisible(zeroSize);
        m_actions.MMarkAllDuplicates->setVisible(!zeroSize);
        m_actions.MMarkingSelected->setVisible(!zeroSize);
    }
    m_status->showClosing(result->outcome, result->cacheWarning);
    if (result->failure.isEmpty() && !result->outcome.cancelled)  // a cancelled scan compared no folders
        m_folders->setResult(result->outcome.folders, m_lastMethod);
    if (!result->failure.isEmpty()) {
        panel(1)->setText(QStringLiteral("Search stopped: ") + result->failure);
        m_prompter.inform(this, QStringLiteral("Geminor"),
                          QStringLiteral("The search stopped and shows no result.\n") + result->failure,
                          QMessageBox::Warning);
    }
    m_clockTimer->stop();
    SetBusy(false);
    m_resultList->setFocus();  // the keys act on the result, not on a text field
    m_endSoundTimer->start();
    emit scanFinished();
}

}  // namespace geminor
