#include "ui/prompter.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>

namespace geminor {

bool MessageBoxPrompter::askYesNo(QWidget *parent, const QString &title, const QString &text,
                                  QMessageBox::Icon icon, const QString &details)
{
    QMessageBox box(icon, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDetailedText(details);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void MessageBoxPrompter::inform(QWidget *parent, const QString &title, const QString &text,
                                QMessageBox::Icon icon, const QString &details)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setDetailedText(details);
    box.exec();
}

namespace {

/// "Label|*.ext" as a Qt name filter, "Label (*.ext)", and the suffix a typed name gets.
QString nameFilter(const QString &filter, QString *suffix = nullptr)
{
    const QStringList parts = filter.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    const QString pattern = parts.value(1, QStringLiteral("*"));
    if (suffix)
        *suffix = pattern.startsWith(QStringLiteral("*.")) ? pattern.mid(2) : QString();
    return parts.value(0) + QStringLiteral(" (") + pattern + QLatin1Char(')');
}

}  // namespace

QString MessageBoxPrompter::startFolder() const
{
    return !m_lastFolder.isEmpty() && QFileInfo(m_lastFolder).isDir() ? m_lastFolder : QDir::homePath();
}

std::string MessageBoxPrompter::saveFileName(QWidget *parent, const QString &title, const QString &filter)
{
    QFileDialog dialog(parent, title, startFolder());
    QString suffix;
    dialog.setNameFilter(nameFilter(filter, &suffix));
    dialog.setDefaultSuffix(suffix);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    usedFolder(QFileInfo(dialog.selectedFiles().constFirst()).absolutePath());
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

std::string MessageBoxPrompter::openFileName(QWidget *parent, const QString &title, const QString &filter)
{
    QFileDialog dialog(parent, title, startFolder());
    dialog.setNameFilter(nameFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    usedFolder(QFileInfo(dialog.selectedFiles().constFirst()).absolutePath());
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

std::string MessageBoxPrompter::chooseFolder(QWidget *parent, const QString &title)
{
    const QString folder = QFileDialog::getExistingDirectory(parent, title, startFolder());
    if (folder.isEmpty())
        return {};
    usedFolder(folder);
    return QFile::encodeName(folder).toStdString();
}

QString MessageBoxPrompter::askText(QWidget *parent, const QString &title, const QString &prompt,
                                    const QString &initial)
{
    return QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, initial);
}

}  // namespace geminor
