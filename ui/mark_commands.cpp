#include "ui/mark_commands.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTableView>

#include "results/format_size.h"
#include "results/keep_rules.h"
#include "results/marking.h"
#include "ui/main_actions.h"
#include "ui/prompter.h"
#include "ui/result_model.h"

namespace geminor {
namespace {

/// The pattern a keep rule or Mark by Pattern asks for; "" when cancelled.
std::string askPattern(Prompter &prompter, QWidget &window, const QString &title)
{
    return prompter
        .askText(&window, title,
                 QStringLiteral("Pattern (* and ? as in the shell; with a / it is matched against the whole "
                                "path, else against the file name):"),
                 QStringLiteral("*"))
        .trimmed()
        .toStdString();
}

}  // namespace

void ConnectMarkCommands(const MainActions &actions, ResultModel &model, QTableView &list, QLabel &status,
                         Prompter &prompter, QWidget &window)
{
    auto show = [&status](const MarkedTotals &totals) { status.setText(MarkedTotalsText(totals.count, totals.size)); };
    auto rule = [&](QAction *entry, auto apply) {
        QObject::connect(entry, &QAction::triggered, &model, [&model, show, apply] { show(model.applyRule(apply)); });
    };
    rule(actions.MNone, MarkNone);
    rule(actions.MMarkAll, MarkAll);
    rule(actions.MMarkAllDuplicates, MarkAllDuplicates);
    QObject::connect(actions.MMarkingSelected, &QAction::triggered, &model, [&model, &list, show] {
        std::vector<bool> selected(model.rows().size(), false);
        for (const QModelIndex &row : list.selectionModel()->selectedRows())
            selected[model.rowOf(row.row())] = true;
        show(model.applyRule([&](std::vector<ResultRow> &rows) { return MarkSelected(rows, selected); }));
    });
    // The commands for many groups at once: only the groups shown, and a word on those spared.
    auto many = [&model, &prompter, &window, show](auto command) {
        const MarkScope shown = model.shownMask();
        const MarkReport report = model.applyRule([&](std::vector<ResultRow> &rows) { return command(rows, shown); });
        show(report.totals);
        if (report.sparedGroups > 0)
            prompter.inform(&window, QStringLiteral("Mark"),
                            QStringLiteral("%1 group(s) would have had every file marked: the first file of each "
                                           "stays unmarked.").arg(report.sparedGroups));
    };
    for (QAction *entry : actions.keepRules)
        QObject::connect(entry, &QAction::triggered, &model, [entry, &prompter, &window, many] {
            KeepCriterion criterion{static_cast<KeepRule>(entry->data().toInt()), {}};
            if (criterion.rule == KeepRule::Path || criterion.rule == KeepRule::NotPath) {
                criterion.pattern = askPattern(prompter, window, entry->text().remove(QStringLiteral("...")));
                if (criterion.pattern.empty())
                    return;
            }
            many([&](std::vector<ResultRow> &rows, const MarkScope &scope) { return KeepOne(rows, {criterion}, scope); });
        });
    for (const auto &[entry, mark] : {std::pair{actions.MMarkInFolder, true}, std::pair{actions.MUnmarkInFolder, false}})
        QObject::connect(entry, &QAction::triggered, &model, [entry, mark, &prompter, &window, many] {
            const std::string folder = prompter.chooseFolder(&window, entry->text().remove(QStringLiteral("...")));
            if (!folder.empty())
                many([&](std::vector<ResultRow> &rows, const MarkScope &scope) { return MarkInFolder(rows, folder, mark, scope); });
        });
    QObject::connect(actions.MMarkByPattern, &QAction::triggered, &model, [&prompter, &window, many] {
        const std::string pattern = askPattern(prompter, window, QStringLiteral("Mark by Pattern"));
        if (!pattern.empty())
            many([&](std::vector<ResultRow> &rows, const MarkScope &scope) { return MarkByPattern(rows, pattern, scope); });
    });
    QObject::connect(actions.MInvertMarks, &QAction::triggered, &model,
                     [many] { many([](std::vector<ResultRow> &rows, const MarkScope &scope) { return InvertMarks(rows, scope); }); });
    QObject::connect(&model, &QAbstractItemModel::dataChanged, &status,
                     [&model, show](const QModelIndex &, const QModelIndex &, const QList<int> &roles) {
                         if (roles == QList<int>{Qt::CheckStateRole})
                             show(model.totals());
                     });
}

}  // namespace geminor
