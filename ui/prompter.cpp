#include "ui/prompter.h"

namespace geminor {

bool MessageBoxPrompter::askYesNo(QWidget *parent, const QString &title, const QString &text,
                                  QMessageBox::Icon icon)
{
    QMessageBox box(icon, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void MessageBoxPrompter::inform(QWidget *parent, const QString &title, const QString &text,
                                QMessageBox::Icon icon)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace geminor
