#include "ui/status_panels.h"

#include <QLabel>
#include <QStatusBar>

#include "engine/scan_run.h"
#include "texts/scan_texts.h"

namespace geminor {

StatusPanels::StatusPanels(QStatusBar &bar)
{
    for (std::size_t i = 0; i < m_panels.size(); ++i) {
        m_panels[i] = new QLabel(&bar);
        m_panels[i]->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        if (i == 0) {
            bar.addWidget(m_panels[i]);
            // Beside panel 1, which keeps its exact texts: what did not go well, the list in a tooltip.
            m_problems = new QLabel(&bar);
            m_problems->setObjectName(QStringLiteral("PanelProblems"));
            m_problems->setStyleSheet(QStringLiteral("color: #a04000"));
            bar.addWidget(m_problems, 1);
        } else {
            bar.addPermanentWidget(m_panels[i]);
        }
    }
}

void StatusPanels::showClosing(const ScanOutcome &outcome, const std::string &note)
{
    const std::vector<std::string> texts = ClosingTexts(outcome);
    panel(1)->setText(QString::fromStdString(texts[0]));
    QStringList problems;
    for (const std::string &problem : ProblemTexts(outcome))
        problems << QString::fromStdString(problem);
    if (!note.empty())
        problems << QString::fromStdString(note);
    m_problems->setText(problems.join(QStringLiteral("; ")));
    m_problems->setToolTip(problems.join(QLatin1Char('\n')));
    panel(3)->setText(QString::fromStdString(texts[2]));
    panel(4)->setText(QString::fromStdString(texts[3]));
    panel(2)->setText(QString::fromStdString(texts[1]));
    m_counted = true;
    m_lastFiles = outcome.TotalFiles;
    m_lastDuplicates = outcome.DuplicateCount;
}

void StatusPanels::showCounts(bool busy, bool zeroSize)
{
    panel(2)->setVisible(!busy && m_counted && !zeroSize);
    panel(3)->setVisible(!busy && m_counted);
    panel(4)->setVisible(!busy && m_counted);
    if (busy)
        m_problems->clear();
}

void StatusPanels::reset()
{
    for (int i : {2, 3, 4})
        panel(i)->hide();
    m_problems->clear();
    m_counted = false;
}

}  // namespace geminor
