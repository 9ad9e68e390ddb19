#include "ui/mark_commands.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTableView>

#include "results/format_size.h"
#include "results/marking.h"
#include "ui/main_actions.h"
#include "ui/result_model.h"

namespace geminor {

void ConnectMarkCommands(const MainActions &actions, ResultModel &model, QTableView &list, QLabel &status)
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
            selected[static_cast<std::size_t>(row.row())] = true;
        show(model.applyRule([&](std::vector<ResultRow> &rows) { return MarkSelected(rows, selected); }));
    });
    QObject::connect(&model, &QAbstractItemModel::dataChanged, &status,
                     [&model, show](const QModelIndex &, const QModelIndex &, const QList<int> &roles) {
                         if (roles == QList<int>{Qt::CheckStateRole})
                             show(model.totals());
                     });
}

}  // namespace geminor
