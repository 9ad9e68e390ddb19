#include "ui/export_commands.h"

#include <QDate>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <memory>

#include "engine/atomic_file.h"
#include "results/exports.h"
#include "texts/file_texts.h"
#include "ui/file_operation.h"
#include "ui/job_runner.h"
#include "ui/prompter.h"
#include "ui/result_model.h"

namespace geminor {
namespace {

/// The file to export to, asked for only when there is something to export; "" for none.
std::string exportPath(const CommandContext &context, const QString &filter)
{
    return context.model.rows().empty()
               ? std::string()
               : context.prompter.saveFileName(&context.window, QStringLiteral("Export Result"), filter);
}

}  // namespace

void ExportCsv(const CommandContext &context)
{
    const std::string path = exportPath(context, QStringLiteral("Comma Separated Values(CSV)|*.csv"));
    if (path.empty())
        return;
    auto written = std::make_shared<Status>();
    Job job;
    job.title = QStringLiteral("Export Result");
    job.dialog = false;  // as quick as the list is long: no more than writing it out
    job.work = [written, path, rows = context.model.rows()](JobProgress &) {
        *written = WriteFileAtomically(path, CsvText(rows));
    };
    job.then = [context, written, path] {
        if (!*written)
            context.prompter.inform(&context.window, QStringLiteral("Export Result"),
                                    QFile::decodeName(path.c_str()) + QStringLiteral(": ") +
                                        QString::fromStdString(WriteErrorText(written->error())),
                                    QMessageBox::Critical);
        else
            context.prompter.inform(&context.window, QStringLiteral("Export Result"),
                                    QStringLiteral("Successfully Completed!"));
    };
    context.jobs.start(std::move(job));
}

void ExportHtml(const CommandContext &context, std::int64_t files, std::int64_t duplicates)
{
    const std::string path = exportPath(context, QStringLiteral("Export Result HTML|*.htm"));
    if (path.empty())
        return;
    const ReportHead head = ReportHeadOf(
        files, duplicates, QLocale().toString(QDate::currentDate(), QLocale::ShortFormat).toStdString());
    auto written = std::make_shared<Status>();
    Job job;
    job.title = QStringLiteral("Error");
    job.dialog = false;  // the status bar tells the pages done
    job.work = [written, path, head, rows = context.model.rows()](JobProgress &progress) {
        const auto pages = HtmlPages(rows, path, head, [&progress](std::size_t i, std::size_t n) {
            progress.total = n;
            progress.done = i;
        });
        *written = WritePages(pages);
    };
    job.tick = [status = &context.status](std::size_t done, std::size_t total) {
        if (total > 0)
            status->setText(QStringLiteral("Exporting %1/%2 Please wait...").arg(done).arg(total));
    };
    job.then = [context, written] {
        if (!*written)
            return context.prompter.inform(&context.window, QStringLiteral("Error"),
                                           QString::fromStdString(WriteErrorPathText(written->error())),
                                           QMessageBox::Critical);
        context.status.setText(QStringLiteral("List Exported Successful"));
        context.prompter.inform(&context.window, QStringLiteral("Success"),
                                QStringLiteral("List Exported Successful"));
    };
    context.jobs.start(std::move(job));
}

}  // namespace geminor
