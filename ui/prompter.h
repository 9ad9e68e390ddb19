#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

namespace geminor {

/// The questions and messages the window asks and shows. The window takes one of these so
/// that tests can answer in place of the user.
class Prompter
{
public:
    virtual ~Prompter() = default;
    /// A Yes/No question with No as the default; true for Yes.
    virtual bool askYesNo(QWidget *parent, const QString &title, const QString &text,
                          QMessageBox::Icon icon = QMessageBox::NoIcon) = 0;
    /// A message with only an OK button.
    virtual void inform(QWidget *parent, const QString &title, const QString &text,
                        QMessageBox::Icon icon = QMessageBox::NoIcon) = 0;
};

/// The real thing: modal message boxes.
class MessageBoxPrompter final : public Prompter
{
public:
    bool askYesNo(QWidget *parent, const QString &title, const QString &text,
                  QMessageBox::Icon icon) override;
    void inform(QWidget *parent, const QString &title, const QString &text, QMessageBox::Icon icon) override;
};

}  // namespace geminor
