#include "ui/file_commands.h"

#include <QAction>
#include <algorithm>
#include <cstring>
#include <set>
#include <fcntl.h>
#include <sys/stat.h>
#include <QClipboard>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QTableView>
#include <QUrl>

#include "results/action_plan.h"
#include "results/format_size.h"
#include "results/journal.h"
#include "results/link_files.h"
#include "results/rename_file.h"
#include "results/rows_follow.h"
#include "results/clone_probe.h"
#include "engine/file_system.h"
#include "ui/shipped_files.h"
#include "ui/shown_text.h"
#include "ui/plan_runner.h"
#include "ui/properties_dlg.h"
#include "ui/operation_texts.h"
#include "ui/result_model.h"

namespace geminor {

FileCommands::FileCommands(QWidget &window, Prompter &prompter, ResultModel &model, QTableView &list,
                           QLabel &status, std::function<bool()> toTrash,
                           std::function<SearchMethod()> method)
    : m_window(window), m_prompter(prompter), m_model(model), m_list(list), m_status(status),
      m_toTrash(std::move(toTrash)), m_method(std::move(method))
{
}

bool FileCommands::haveMarks(const QString &title, const QString &message)
{
    for (const ResultRow &row : m_model.rows())
        if (row.marked)
            return true;
    m_prompter.inform(&m_window, title, message);
    return false;
}

const ResultRow *FileCommands::currentRow() const
{
    const QModelIndex current = m_list.currentIndex();
    if (m_model.rowCount() == 0 || !current.isValid())
        return nullptr;
    return &m_model.rows()[m_model.rowOf(current.row())];
}

void FileCommands::CopyMarked()
{
    if (!haveMarks(QStringLiteral("Copying..."), QStringLiteral("Please mark files before copying!")))
        return;
    const std::string folder = m_prompter.chooseFolder(&m_window, QStringLiteral("Copy selected files to"));
    if (!folder.empty())
        runFileOperation(PlanAction::Copy, folder);
}

void FileCommands::MoveMarked()
{
    if (!haveMarks(QStringLiteral("Moving..."), QStringLiteral("Please mark files before moving!")))
        return;
    const std::string folder = m_prompter.chooseFolder(&m_window, QStringLiteral("Move selected files to"));
    if (!folder.empty())
        runFileOperation(PlanAction::Move, folder);
}

void FileCommands::DeleteMarked()
{
    if (!haveMarks(QStringLiteral("Deleting..."), QStringLiteral("Please mark files before deleting!")))
        return;
    const auto marked = std::count_if(m_model.rows().begin(), m_model.rows().end(),
                                      [](const ResultRow &row) { return row.marked; });
    const bool toTrash = m_toTrash();
    const QString question =
        toTrash ? QStringLiteral("Move %1 marked file(s) to the trash?").arg(marked)
                : QStringLiteral("Delete %1 marked file(s) for good? They cannot be restored.").arg(marked);
    if (m_prompter.askYesNo(&m_window, QStringLiteral("Confirm"), question, QMessageBox::Warning))
        runFileOperation(toTrash ? PlanAction::Trash : PlanAction::Delete, {});
}

void FileCommands::LinkMarked(PlanAction action)
{
    const QString title = QStringLiteral("Linking...");
    if (!haveMarks(title, QStringLiteral("Please mark files before replacing them by links!")))
        return;
    MarkedTotals marked = m_model.totals();
    QStringList uncloneable;
    FileReport noClone;
    noClone.problem = FileProblem::NoClone;
    if (action == PlanAction::Clone) {  // said before acting, not found out file by file
        std::vector<std::string> refused;
        const std::vector<PlanFile> files = PlanFilesOf(m_model.rows());
        const QString failed =
            RunWithProgress(&m_window, title, 0, [&](const std::atomic<bool> &, std::atomic<std::size_t> &) {
                refused = UncloneableFiles(files);
            });
        if (!failed.isEmpty())
            return m_prompter.inform(&m_window, title, failed, QMessageBox::Warning);
        for (const std::string &path : refused)
            uncloneable << ShownText(path);
        if (static_cast<std::int64_t>(refused.size()) >= marked.count) {
            m_prompter.inform(&m_window, title,
                              QStringLiteral("None of the %1 marked file(s) can be replaced by clones: %2.")
                                  .arg(refused.size())
                                  .arg(QString::fromStdString(ProblemText(noClone))),
                              QMessageBox::Information, uncloneable.join(QLatin1Char('\n')));
            return;
        }
        marked.count -= static_cast<std::int64_t>(refused.size());
        const std::set<std::string> left(refused.begin(), refused.end());
        for (const ResultRow &row : m_model.rows())
            if (row.marked && left.contains(row.path()))
                marked.size -= static_cast<double>(row.size);
    }
    QString question =
        QStringLiteral("Replace %1 marked file(s) by %2 the copies kept? This frees up to %3.\n"
                       "Undo Last Operation makes them independent files again.")
            .arg(marked.count)
            .arg(LinkKind(action))
            .arg(FormatSize(marked.size));
    if (!uncloneable.isEmpty())
        question += QStringLiteral("\n%1 other file(s) will be left: %2.")
                        .arg(uncloneable.size())
                        .arg(QString::fromStdString(ProblemText(noClone)));
    if (action == PlanAction::HardLink) {  // a hard link would give them the kept copy's owner and mode
        std::size_t differ = 0;
        const std::vector<PlanFile> files = PlanFilesOf(m_model.rows());
        const QString failed =
            RunWithProgress(&m_window, title, 0, [&](const std::atomic<bool> &, std::atomic<std::size_t> &) {
                differ = OwnerOrModeMismatches(files);
            });
        if (!failed.isEmpty())
            return m_prompter.inform(&m_window, title, failed, QMessageBox::Warning);
        if (differ > 0)
            question +=
                QStringLiteral("\n%1 files differ in owner or permissions and will be left.").arg(differ);
    }
    if (m_prompter.askYesNo(&m_window, QStringLiteral("Confirm"), question, QMessageBox::Question,
                            uncloneable.join(QLatin1Char('\n'))))
        runFileOperation(action, {});
}

std::optional<FileIdentity> IdentityNow(const std::string &path)
{
    struct stat st = {};
    if (StatPath(path, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return IdentityOf(st);
}

namespace {

/// "path: reason" for every file of the report that was not done.
QString problemList(const ActionPlan &plan, const PlanReport &report)
{
    QStringList lines;
    for (const FileReport &file : report.files)
        if (file.outcome != FileOutcome::Done)
            lines << ShownText(plan.files[file.file].path) + QStringLiteral(": ") +
                         QString::fromStdString(ProblemText(file));
    return lines.join(QLatin1Char('\n'));
}

/// The plan again, for only the files of `report` that failed with `problem`.
ActionPlan planFor(const ActionPlan &plan, const PlanReport &report, FileProblem problem, QStringList &names)
{
    ActionPlan again = plan;
    for (PlanFile &file : again.files)
        file.marked = false;
    for (const FileReport &file : report.files)
        if (file.problem == problem) {
            again.files[file.file].marked = true;
            names << ShownText(plan.files[file.file].path);
        }
    return again;
}

}  // namespace

void FileCommands::runFileOperation(PlanAction action, const std::string &folder)
{
    const QString title = OperationTitle(action);
    const ActionPlan plan{action, m_method(), folder,         PlanFilesOf(m_model.rows()),
                          true,   false,      JournalFolder()};
    PlanReport report = RunPlanWithProgress(&m_window, title, plan);

    // Without its journal nothing was touched: going on means no undo, which the user decides.
    QStringList unjournaled;
    ActionPlan withoutJournal = planFor(plan, report, FileProblem::NoJournal, unjournaled);
    if (!unjournaled.isEmpty() && !report.cancelled &&
        m_prompter.askYesNo(&m_window, QStringLiteral("Confirm"),
                            QStringLiteral("Undo will not be possible for this operation (%1). Go on?")
                                .arg(QString::fromLocal8Bit(std::strerror(report.journalError))),
                            QMessageBox::Warning, unjournaled.join(QLatin1Char('\n')))) {
        withoutJournal.journalFolder.clear();
        MergeReports(report, RunPlanWithProgress(&m_window, title, withoutJournal));
    }

    // Marked files that are the last of their content go only when the user says so.
    QStringList lonely;
    ActionPlan anyway = planFor(plan, report, FileProblem::NoKeptCopy, lonely);
    if (!lonely.isEmpty() && !report.cancelled && !IsLinkAction(action) &&
        m_prompter.askYesNo(
            &m_window, QStringLiteral("Confirm"),
            QStringLiteral("No unmarked identical copy is left of %1 file(s).\n%2 them anyway?")
                .arg(lonely.size())
                .arg(action == PlanAction::Move ? QStringLiteral("Move") : QStringLiteral("Remove")),
            QMessageBox::Warning, lonely.join(QLatin1Char('\n')))) {
        anyway.keepLastCopies = false;
        MergeReports(report, RunPlanWithProgress(&m_window, title, anyway));
    }
    // A trash that cannot be used is never passed over in silence: the question names the reason.
    QStringList untrashed;
    const ActionPlan toDelete = planFor(plan, report, FileProblem::NoTrash, untrashed);
    DoneTotals forGood;  // deleted for good where the trash could not be used
    if (!untrashed.isEmpty() && !report.cancelled) {
        const auto first = std::find_if(report.files.begin(), report.files.end(), [](const FileReport &f) {
            return f.problem == FileProblem::NoTrash;
        });
        const QString why =
            QString::fromStdString(TrashRefusalText(first->trash, first->error, first->target));
        ActionPlan remove = toDelete;
        remove.action = PlanAction::Delete;
        if (m_prompter.askYesNo(&m_window, QStringLiteral("Confirm"),
                                QStringLiteral("%1 file(s) cannot be moved to the trash: %2.\n"
                                               "Delete them for good? They cannot be restored.")
                                    .arg(untrashed.size())
                                    .arg(why),
                                QMessageBox::Warning, untrashed.join(QLatin1Char('\n')))) {
            const PlanReport again = RunPlanWithProgress(&m_window, title, remove);
            forGood = DoneOf(remove, again);
            MergeReports(report, again);
        }
    }

    followReport(title, plan, report);
    const DoneTotals done = DoneOf(plan, report);
    const std::size_t files = done.files - forGood.files;
    QString summary =
        DoneText(action, files, IsLinkAction(action) ? report.bytesFreed : done.bytes - forGood.bytes);
    if (forGood.files > 0)
        summary = (files > 0 ? summary + QLatin1Char(' ') : QString()) +
                  DoneText(PlanAction::Delete, forGood.files, forGood.bytes);
    const bool clean = report.skipped == 0 && report.failed == 0;
    if (!clean)
        summary += QStringLiteral(" %1 skipped, %2 failed.").arg(report.skipped).arg(report.failed);
    if (report.cancelled)
        summary += QStringLiteral(" Cancelled: the other marked files were left as they were.");
    m_status.setText(summary);
    if (!clean)
        m_prompter.inform(&m_window, title, summary, QMessageBox::Warning, problemList(plan, report));
}

void FileCommands::followReport(const QString &title, const ActionPlan &plan, const PlanReport &report)
{
    std::vector<ResultRow> rows;
    std::vector<GoneRow> gone;
    const QString failed =
        RunWithProgress(&m_window, title, 0, [&](const std::atomic<bool> &, std::atomic<std::size_t> &) {
            rows = m_model.rows();
            gone = m_model.goneRows();
            FollowPlan(rows, gone, plan, report, IdentityNow);
        });
    if (!failed.isEmpty())
        return m_prompter.inform(&m_window, title, failed, QMessageBox::Warning);
    m_model.goneRows() = std::move(gone);
    m_model.replaceRows(std::move(rows));
}

void FileCommands::RenameSelected()
{
    const ResultRow *row = currentRow();
    if (!row)
        return;
    const int index = m_list.currentIndex().row();
    const QString old = ShownText(row->name);
    for (;;) {
        const QString answer = m_prompter.askText(&m_window, QStringLiteral("Rename"),
                                                  QStringLiteral("Please type new name for\r\n") + old, old);
        if (answer.trimmed().isEmpty() || answer == old)
            return;
        // The old name keeps its bytes; the new one is what was typed.
        const std::string newName = answer.toStdString();
        if (const auto why = InvalidNameReason(newName)) {
            m_prompter.inform(&m_window, QStringLiteral("Error"), QString::fromStdString(*why),
                              QMessageBox::Critical);
            continue;  // asked again
        }
        FileIdentity renamed = row->seen;
        if (const auto error =
                RenameJournaled(row->path(), row->seen, row->folder + newName, JournalFolder(), &renamed)) {
            m_prompter.inform(&m_window, QStringLiteral("Error"),
                              QStringLiteral("%1 could not be renamed to %2:\n%3")
                                  .arg(ShownText(row->path()), answer, QString::fromStdString(*error)),
                              QMessageBox::Critical);
            return;
        }
        m_model.renameRow(index, newName, renamed);
        return;
    }
}

void FileCommands::OpenSelectedFile()
{
    if (const ResultRow *row = currentRow())
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(row->path().c_str()))))
            m_prompter.inform(
                &m_window, QStringLiteral("Error"),
                QStringLiteral("There is no program associated with the specified type of file."));
}

void FileCommands::OpenSelectedFolder()
{
    const ResultRow *row = currentRow();
    if (!row)
        return;
    const QUrl file = QUrl::fromLocalFile(QFile::decodeName(row->path().c_str()));
    QDBusInterface manager(QStringLiteral("org.freedesktop.FileManager1"),
                           QStringLiteral("/org/freedesktop/FileManager1"),
                           QStringLiteral("org.freedesktop.FileManager1"));
    if (manager.isValid()) {
        const QDBusMessage reply =
            manager.call(QStringLiteral("ShowItems"), QStringList{file.toString()}, QString());
        if (reply.type() != QDBusMessage::ErrorMessage)
            return;
    }
    const QString folder = QFile::decodeName(row->folder.str().c_str());
    OpenOnDesktop(m_window, m_prompter, folder, QStringLiteral("Error"),
                  QStringLiteral("No file manager could show the folder"));
}

void FileCommands::CopySelectedPath()
{
    if (const ResultRow *row = currentRow())
        QGuiApplication::clipboard()->setText(QFile::decodeName(row->path().c_str()));
}

void FileCommands::ShowFileProperties()
{
    if (const ResultRow *row = currentRow()) {
        auto *sheet = new PropertiesDlg(row->path(), &m_window);
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        sheet->show();
    }
}

}  // namespace geminor
