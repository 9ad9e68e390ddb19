#pragma once

#include <QStringList>
#include <deque>
#include <string>
#include <utility>

#include "ui/prompter.h"

namespace geminor::test {

/// Answers the window's questions from a script and remembers what was asked.
class ScriptedPrompter final : public Prompter
{
public:
    /// The details, when there are any, are remembered after the text and an empty line.
    bool askYesNo(QWidget *, const QString &title, const QString &text, QMessageBox::Icon,
                  const QString &details) override
    {
        asked.append(title + QLatin1Char('|') + text + (details.isEmpty() ? QString() : "\n\n" + details));
        const bool yes = !answers.empty() && answers.front();
        if (!answers.empty())
            answers.pop_front();
        return yes;
    }
    void inform(QWidget *, const QString &title, const QString &text, QMessageBox::Icon,
                const QString &details) override
    {
        informed.append(title + QLatin1Char('|') + text + (details.isEmpty() ? QString() : "\n\n" + details));
    }
    std::string saveFileName(QWidget *, const QString &title, const QString &filter) override
    {
        asked.append(title + QLatin1Char('|') + filter);
        return std::exchange(fileAnswer, {});
    }
    std::string openFileName(QWidget *, const QString &title, const QString &filter) override
    {
        asked.append(title + QLatin1Char('|') + filter);
        return std::exchange(fileAnswer, {});
    }
    std::string chooseFolder(QWidget *, const QString &title) override
    {
        asked.append(title);
        return std::exchange(fileAnswer, {});
    }
    QString askText(QWidget *, const QString &title, const QString &prompt, const QString &initial) override
    {
        asked.append(title + QLatin1Char('|') + prompt + QLatin1Char('|') + initial);
        return texts.empty() ? QString() : texts.takeFirst();
    }
    std::deque<bool> answers;
    std::string fileAnswer;
    QStringList texts;
    QStringList asked, informed;
};

}  // namespace geminor::test
