#include "ui/export_commands.h"

#include <QDate>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QLocale>

#include "engine/atomic_file.h"

namespace geminor {
namespace {

/// The file to export to, asked for only when there is something to export; "" for none.
std::string exportPath(QWidget &window, Prompter &prompter, const std::vector<ResultRow> &rows,
                       const QString &filter)
{
    return rows.empty() ? std::string()
                        : prompter.saveFileName(&window, QStringLiteral("Export Result"), filter);
}

}  // namespace

void ExportCsv(QWidget &window, Prompter &prompter, const std::vector<ResultRow> &rows)
{
    const std::string path =
        exportPath(window, prompter, rows, QStringLiteral("Comma Separated Values(CSV)|*.csv"));
    if (path.empty())
        return;
    if (const auto error = WriteFileAtomically(path, CsvText(rows)))
        prompter.inform(&window, QStringLiteral("Export Result"),
                        QFile::decodeName(path.c_str()) + QStringLiteral(": ") +
                            QString::fromStdString(*error),
                        QMessageBox::Critical);
    else
        prompter.inform(&window, QStringLiteral("Export Result"), QStringLiteral("Successfully Completed!"));
}

void ExportHtml(QWidget &window, Prompter &prompter, const std::vector<ResultRow> &rows, QLabel &status,
                std::int64_t files, std::int64_t duplicates)
{
    const std::string path = exportPath(window, prompter, rows, QStringLiteral("Export Result HTML|*.htm"));
    if (path.empty())
        return;
    const ReportHead head = ReportHeadOf(
        files, duplicates, QLocale().toString(QDate::currentDate(), QLocale::ShortFormat).toStdString());
    const auto pages = HtmlPages(rows, path, head, [&status](std::size_t i, std::size_t n) {
        status.setText(QStringLiteral("Exporting %1/%2 Please wait...").arg(i).arg(n));
        // The pages are made on this thread, so the event loop neither lays the status bar out
        // nor paints it: both now, or the text is painted in the width of the one before.
        if (QWidget *bar = status.parentWidget(); bar && bar->layout())
            bar->layout()->activate();
        status.repaint();
    });
    if (const auto error = WritePages(pages)) {
        prompter.inform(&window, QStringLiteral("Error"), QString::fromStdString(*error),
                        QMessageBox::Critical);
        return;
    }
    status.setText(QStringLiteral("List Exported Successful"));
    prompter.inform(&window, QStringLiteral("Success"), QStringLiteral("List Exported Successful"));
}

}  // namespace geminor
