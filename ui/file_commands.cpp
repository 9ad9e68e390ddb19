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
#include "texts/error_texts.h"
#include "ui/shipped_files.h"
#include "ui/shown_text.h"
#include "texts/plan_texts.h"
#include "ui/job_runner.h"
#include "ui/properties_dlg.h"
#include "ui/operation_texts.h"
#include "ui/result_model.h"

namespace geminor {

FileCommands::FileCommands(const CommandContext &context, QTableView &list, std::function<bool()> toTrash,
                           std::function<SearchMethod()> method)
    : m_context(context), m_window(context.window), m_prompter(context.prompter), m_model(context.model),
      m_list(list), m_toTrash(std::move(toTrash)), m_method(std::move(method))
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
    if (folder.empty())
        return;
    if (m_method() != SearchMethod::SimilarPictures ||
        m_prompter.askYesNo(&m_window, QStringLiteral("Confirm"),
                            SimilarQuestion(PlanAction::Move, m_model.totals().count), QMessageBox::Warning))
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
        m_method() == SearchMethod::SimilarPictures
            ? SimilarQuestion(toTrash ? PlanAction::Trash : PlanAction::Delete, marked)
        : toTrash ? QStringLiteral("Move %1 marked file(s) to the trash?").arg(marked)
                  : QStringLiteral("Delete %1 marked file(s) for good? They cannot be restored.").arg(marked);
    if (m_prompter.askYesNo(&m_window, QStringLiteral("Confirm"), question, QMessageBox::Warning))
        runFileOperation(toTrash ? PlanAction::Trash : PlanAction::Delete, {});
}

void FileCommands::LinkMarked(PlanAction action)
{
    if (!haveMarks(QStringLiteral("Linking..."),
                   QStringLiteral("Please mark files before replacing them by links!")))
        return;
    if (action != PlanAction::Clone)
        return confirmLinks(action, {});
    // Said before acting, not found out file by file.
    auto refused = std::make_shared<std::vector<std::string>>();
    Job job;
    job.title = QStringLiteral("Linking...");
    job.work = [refused, files = PlanFilesOf(m_model.rows())](JobProgress &) {
        *refused = UncloneableFiles(files);
    };
    job.then = [this, refused] { confirmLinks(PlanAction::Clone, *refused); };
    m_context.jobs.start(std::move(job));
}

void FileCommands::confirmLinks(PlanAction action, const std::vector<std::string> &refused)
{
    const QString title = QStringLiteral("Linking...");
    MarkedTotals marked = m_model.totals();
    QStringList uncloneable;
    FileReport noClone;
    noClone.problem = FileProblem::NoClone;
    for (const std::string &path : refused)
        uncloneable << ShownText(path);
    if (!refused.empty() && static_cast<std::int64_t>(refused.size()) >= marked.count)
        return m_prompter.inform(
            &m_window, title,
            QStringLiteral("None of the %1 marked file(s) can be replaced by clones: %2.")
                .arg(refused.size())
                .arg(QString::fromStdString(ProblemText(noClone))),
            QMessageBox::Information, uncloneable.join(QLatin1Char('\n')));
    marked.count -= static_cast<std::int64_t>(refused.size());
    const std::set<std::string> left(refused.begin(), refused.end());
    for (const ResultRow &row : m_model.rows())
        if (row.marked && left.contains(row.path()))
            marked.size -= static_cast<double>(row.size);
    auto question = std::make_shared<QString>(
        QStringLiteral("Replace %1 marked file(s) by %2 the copies kept? This frees up to %3.\n"
                       "Undo Last Operation makes them independent files again.")
            .arg(marked.count)
            .arg(LinkKind(action))
            .arg(FormatSize(marked.size)));
    if (!uncloneable.isEmpty())
        *question += QStringLiteral("\n%1 other file(s) will be left: %2.")
                         .arg(uncloneable.size())
                         .arg(QString::fromStdString(ProblemText(noClone)));
    auto ask = [this, action, question, details = uncloneable.join(QLatin1Char('\n'))] {
        if (m_prompter.askYesNo(&m_window, QStringLiteral("Confirm"), *question, QMessageBox::Question,
                                details))
            runFileOperation(action, {});
    };
    if (action != PlanAction::HardLink)
        return ask();
    // A hard link would give them the kept copy's owner and mode.
    Job job;
    job.title = title;
    job.work = [question, files = PlanFilesOf(m_model.rows())](JobProgress &) {
        if (const std::size_t differ = OwnerOrModeMismatches(files); differ > 0)
            *question +=
                QStringLiteral("\n%1 files differ in owner or permissions and will be left.").arg(differ);
    };
    job.then = ask;
    m_context.jobs.start(std::move(job));
}

std::optional<FileIdentity> IdentityNow(const std::string &path)
{
    struct stat st = {};
    if (StatPath(path, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return IdentityOf(st);
}

void FileCommands::runFileOperation(PlanAction action, const std::string &folder)
{
    FileOperation::Start(m_context, action, m_method(), folder);
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
        if (const Status valid = CheckFileName(newName); !valid) {
            m_prompter.inform(&m_window, QStringLiteral("Error"),
                              QString::fromStdString(ErrorText(valid.error())), QMessageBox::Critical);
            continue;  // asked again
        }
        return rename(index, newName, answer);
    }
}

void FileCommands::rename(int viewRow, const std::string &newName, const QString &answer)
{
    const ResultRow &row = m_model.rows()[m_model.rowOf(viewRow)];
    struct Renamed
    {
        FileIdentity identity;
        Status done;
    };
    auto renamed = std::make_shared<Renamed>(Renamed{row.seen, {}});
    Job job;
    job.title = QStringLiteral("Rename");
    job.dialog = false;  // one file: over before a dialog could show
    job.work = [renamed, path = row.path(), seen = row.seen, to = row.folder + newName](JobProgress &) {
        renamed->done = RenameJournaled(path, seen, to, JournalFolder(), &renamed->identity);
    };
    job.then = [this, renamed, viewRow, newName, answer, shown = ShownText(row.path())] {
        if (!renamed->done)
            return m_prompter.inform(
                &m_window, QStringLiteral("Error"),
                QStringLiteral("%1 could not be renamed to %2:\n%3")
                    .arg(shown, answer, QString::fromStdString(ErrorText(renamed->done.error()))),
                QMessageBox::Critical);
        m_model.renameRow(viewRow, newName, renamed->identity);
    };
    m_context.jobs.start(std::move(job));
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
    const ResultRow *row = currentRow();
    if (!row)
        return;
    auto facts = std::make_shared<FileFacts>();
    Job job;
    job.title = QStringLiteral("Properties");
    job.dialog = false;
    job.work = [facts, path = row->path()](JobProgress &) { *facts = FileFactsOf(path); };
    job.then = [this, facts] {
        auto *sheet = new PropertiesDlg(*facts, &m_window);
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        sheet->show();
    };
    m_context.jobs.start(std::move(job));
}

}  // namespace geminor
