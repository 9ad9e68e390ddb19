// The file commands of the result list.
#include <QAction>
#include <algorithm>
#include <unordered_map>
#include <QClipboard>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressDialog>
#include <QTableView>
#include <QUrl>
#include <sys/stat.h>

#include "engine/file_compare.h"
#include "results/file_operations.h"
#include "results/rename_file.h"
#include "ui/main_frm.h"
#include "ui/shown_text.h"
#include "ui/properties_dlg.h"
#include "ui/result_model.h"

namespace geminor {
bool MainFrm::haveMarks(const QString &title, const QString &message)
{
    for (const ResultRow &row : m_model->rows())
        if (row.marked)
            return true;
    m_prompter.inform(this, title, message);
    return false;
}

const ResultRow *MainFrm::currentRow() const
{
    const QModelIndex current = m_rlv->currentIndex();
    if (m_model->rowCount() == 0 || !current.isValid())
        return nullptr;
    return &m_model->rows()[static_cast<std::size_t>(current.row())];
}

void MainFrm::CopyMarked()
{
    if (!haveMarks(QStringLiteral("Copying..."), QStringLiteral("Please mark files before copying!")))
        return;
    const std::string folder = m_prompter.chooseFolder(this, QStringLiteral("Copy selected files to"));
    if (!folder.empty())
        runFileOperation(FileOp::Copy, folder);
}

void MainFrm::MoveMarked()
{
    if (!haveMarks(QStringLiteral("Moving..."), QStringLiteral("Please mark files before moving!")))
        return;
    const std::string folder = m_prompter.chooseFolder(this, QStringLiteral("Move selected files to"));
    if (!folder.empty())
        runFileOperation(FileOp::Move, folder);
}

void MainFrm::DeleteMarked()
{
    if (!haveMarks(QStringLiteral("Deleting..."), QStringLiteral("Please mark files before deleting!")))
        return;
    const auto marked = std::count_if(m_model->rows().begin(), m_model->rows().end(),
                                      [](const ResultRow &row) { return row.marked; });
    const bool toTrash = recycleState() == SettingsStore::kRecycleOn;
    const QString question =
        toTrash ? QStringLiteral("Move %1 marked file(s) to the trash?").arg(marked)
                : QStringLiteral("Delete %1 marked file(s) for good? They cannot be restored.").arg(marked);
    if (m_prompter.askYesNo(this, QStringLiteral("Confirm"), question, QMessageBox::Warning))
        runFileOperation(toTrash ? FileOp::Trash : FileOp::Delete, {});
}

void MainFrm::runFileOperation(FileOp op, const std::string &folder)
{
    static const char *const kTitles[] = {"Copying...", "Moving...", "Deleting...", "Deleting..."};
    const QString title = QString::fromLatin1(kTitles[static_cast<int>(op)]);
    const std::vector<ResultRow> &rows = m_model->rows();
    const bool removes = op != FileOp::Copy;
    const bool byContent = m_lastMethod == SearchMethod::ByteToByte || m_lastMethod == SearchMethod::Crc32;

    // Before anything goes: which marked files would lose their last identical copy?
    std::vector<bool> lastCopy(rows.size(), false);
    QStringList lonely;
    if (removes && byContent) {
        std::unordered_map<std::int32_t, std::vector<std::size_t>> keptByGroup;  // the unmarked rows
        for (std::size_t k = 0; k < rows.size(); ++k)
            if (!rows[k].marked && rows[k].group != 0)
                keptByGroup[rows[k].group].push_back(k);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (!rows[i].marked || rows[i].group == 0)
                continue;
            const auto &kept = keptByGroup[rows[i].group];
            const bool safe = std::any_of(kept.begin(), kept.end(), [&](std::size_t k) {
                return CompareFiles(rows[i].path(), rows[k].path()) == 1;
            });
            if (!safe) {
                lastCopy[i] = true;
                lonely << ShownText(rows[i].path());
            }
        }
    }
    bool removeLonely = false;
    if (!lonely.isEmpty())
        removeLonely = m_prompter.askYesNo(
            this, QStringLiteral("Confirm"),
            QStringLiteral("No unmarked identical copy is left of these files:\n%1\n\nRemove them anyway?")
                .arg(lonely.join(QLatin1Char('\n'))),
            QMessageBox::Warning);

    std::string target = folder;
    if (!target.empty() && target.back() != '/')
        target += '/';
    QProgressDialog progress(title, QStringLiteral("Cancel"), 0, static_cast<int>(rows.size()), this);
    progress.setMinimumDuration(500);
    progress.setWindowModality(Qt::WindowModal);
    int done = 0, skipped = 0;
    QStringList failures;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        progress.setValue(static_cast<int>(i));
        if (progress.wasCanceled())
            break;
        const ResultRow &row = rows[i];
        if (!row.marked)
            continue;
        const QString name = ShownText(row.path());
        struct stat st = {};
        if (::lstat(row.path().c_str(), &st) != 0) {
            ++skipped;
            failures << name + QStringLiteral(": no longer there");
            continue;
        }
        if (std::to_string(st.st_size) != row.sizeText || st.st_mtim.tv_sec != row.modifiedSeconds) {
            ++skipped;
            failures << name + QStringLiteral(": changed since the scan");
            continue;
        }
        if (lastCopy[i] && !removeLonely) {
            ++skipped;
            failures << name + QStringLiteral(": no other copy left");
            continue;
        }
        OpResult result;
        switch (op) {
        case FileOp::Copy: result = CopyInto(row.path(), target); break;
        case FileOp::Move: result = MoveInto(row.path(), target); break;
        case FileOp::Trash: result = MoveToTrash(row.path()); break;
        case FileOp::Delete: result = DeleteForGood(row.path()); break;
        }
        if (op == FileOp::Trash && !result.done &&
            m_prompter.askYesNo(this, QStringLiteral("Confirm"),
                                QStringLiteral("%1 cannot be moved to the trash (%2).\nDelete it for good?")
                                    .arg(name, QString::fromStdString(result.error)),
                                QMessageBox::Warning))
            result = DeleteForGood(row.path());
        if (result.done)
            ++done;
        else
            failures << name + QStringLiteral(": ") + QString::fromStdString(result.error);
    }
    progress.setValue(static_cast<int>(rows.size()));
    const int failed = static_cast<int>(failures.size()) - skipped;
    QString summary =
        QStringLiteral("%1 file(s) done, %2 skipped, %3 failed.").arg(done).arg(skipped).arg(failed);
    if (!failures.isEmpty())
        summary += QStringLiteral("\n\n") + failures.join(QLatin1Char('\n'));
    panel(1)->setText(summary.section(QLatin1Char('\n'), 0, 0));
    m_prompter.inform(this, title, summary, failures.isEmpty() ? QMessageBox::NoIcon : QMessageBox::Warning);
}

void MainFrm::RenameSelected()
{
    const ResultRow *row = currentRow();
    if (!row)
        return;
    const int index = m_rlv->currentIndex().row();
    const QString old = ShownText(row->name);
    for (;;) {
        const QString answer = m_prompter.askText(this, QStringLiteral("Rename"),
                                                  QStringLiteral("Please type new name for\r\n") + old, old);
        static const QString kIllegal = QStringLiteral("\\/:*?\"<>|");
        if (std::any_of(kIllegal.begin(), kIllegal.end(), [&](QChar c) { return answer.contains(c); })) {
            m_prompter.inform(this, QStringLiteral("Error"),
                              QStringLiteral("A file name cannot contain any of the following characters:\r\n"
                                             "\\ / : * ? \" <> |"));
            continue;
        }
        if (answer.trimmed().isEmpty() || answer == old)
            return;
        // The old name keeps its bytes; the new one is what was typed.
        const std::string newName = answer.toStdString();
        if (const auto why = InvalidNameReason(newName)) {
            m_prompter.inform(this, QStringLiteral("Error"), QString::fromStdString(*why),
                              QMessageBox::Critical);
            return;
        }
        if (const auto error = RenameFile(row->path(), row->folder + newName)) {
            m_prompter.inform(this, QStringLiteral("Error"),
                              QStringLiteral("%1 could not be renamed to %2:\n%3")
                                  .arg(ShownText(row->path()), answer, QString::fromStdString(*error)),
                              QMessageBox::Critical);
            return;
        }
        m_model->renameRow(index, newName);
        return;
    }
}

void MainFrm::OpenSelectedFile()
{
    if (const ResultRow *row = currentRow())
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(row->path().c_str()))))
            m_prompter.inform(
                this, QStringLiteral("Error"),
                QStringLiteral("There is no program associated with the specified type of file."));
}

void MainFrm::OpenSelectedFolder()
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
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(row->folder.c_str())));
}

void MainFrm::CopySelectedPath()
{
    if (const ResultRow *row = currentRow())
        QGuiApplication::clipboard()->setText(QFile::decodeName(row->path().c_str()));
}

void MainFrm::ShowFileProperties()
{
    if (const ResultRow *row = currentRow()) {
        auto *sheet = new PropertiesDlg(row->path(), this);
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        sheet->show();
    }
}

}  // namespace geminor
