// The file commands of the result list.
#include <QAction>
#include <algorithm>
#include <QClipboard>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTableView>
#include <QUrl>

#include "results/rename_file.h"
#include "ui/main_frm.h"
#include "ui/result_model.h"

namespace geminor {
namespace {

QString shown(const std::string &bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

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
    haveMarks(QStringLiteral("Copying..."), QStringLiteral("Please mark files before copying!"));
}

void MainFrm::MoveMarked()
{
    haveMarks(QStringLiteral("Moving..."), QStringLiteral("Please mark files before moving!"));
}

void MainFrm::DeleteMarked()
{
    haveMarks(QStringLiteral("Deleting..."), QStringLiteral("Please mark files before deleting!"));
}

void MainFrm::RenameSelected()
{
    const ResultRow *row = currentRow();
    if (!row)
        return;
    const int index = m_rlv->currentIndex().row();
    const QString old = shown(row->name);
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
                                  .arg(shown(row->path()), answer, QString::fromStdString(*error)),
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

}  // namespace geminor
