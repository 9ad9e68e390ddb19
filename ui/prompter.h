#pragma once

#include <QMessageBox>
#include <QString>
#include <string>

class QWidget;

namespace geminor {

/// The questions and messages the window asks and shows. The window takes one of these so
/// that tests can answer in place of the user.
class Prompter
{
public:
    virtual ~Prompter() = default;
    /// A Yes/No question with No as the default; true for Yes. `details`, a list of files say,
    /// goes into a scrollable area of its own, so the box always fits the screen.
    virtual bool askYesNo(QWidget *parent, const QString &title, const QString &text,
                          QMessageBox::Icon icon = QMessageBox::NoIcon, const QString &details = {}) = 0;
    /// A message with only an OK button.
    virtual void inform(QWidget *parent, const QString &title, const QString &text,
                        QMessageBox::Icon icon = QMessageBox::NoIcon, const QString &details = {}) = 0;
    /// A file name to save to, for a filter such as "Geminor|*.gmr" (the overwrite question
    /// included); "" when cancelled.
    virtual std::string saveFileName(QWidget *parent, const QString &title, const QString &filter) = 0;
    /// An existing file to open; "" when cancelled.
    virtual std::string openFileName(QWidget *parent, const QString &title, const QString &filter) = 0;
    /// A folder; "" when cancelled.
    virtual std::string chooseFolder(QWidget *parent, const QString &title) = 0;
    /// One line of text; "" when cancelled.
    virtual QString askText(QWidget *parent, const QString &title, const QString &prompt,
                            const QString &initial = {}) = 0;
};

/// The real thing: modal message boxes. File and folder dialogs start in the folder used last
/// in any of them, else in the home folder.
class MessageBoxPrompter final : public Prompter
{
public:
    /// Where the next file or folder dialog starts: the folder used last while it still
    /// exists, else the home folder.
    QString startFolder() const;
    /// A file or folder was chosen in `folder`.
    void usedFolder(const QString &folder) { m_lastFolder = folder; }

    bool askYesNo(QWidget *parent, const QString &title, const QString &text, QMessageBox::Icon icon,
                  const QString &details) override;
    void inform(QWidget *parent, const QString &title, const QString &text, QMessageBox::Icon icon,
                const QString &details) override;
    std::string saveFileName(QWidget *parent, const QString &title, const QString &filter) override;
    std::string openFileName(QWidget *parent, const QString &title, const QString &filter) override;
    std::string chooseFolder(QWidget *parent, const QString &title) override;
    QString askText(QWidget *parent, const QString &title, const QString &prompt,
                    const QString &initial) override;

private:
    QString m_lastFolder;
};

}  // namespace geminor
