#include "ui/mark_commands.h"

#include <optional>

#include <QAction>
#include <QItemSelectionModel>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
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

/// An entry's caption as a title: without its mnemonic and its dots.
QString titleOf(const QAction &entry)
{
    return entry.text().remove(u'&').remove(QStringLiteral("..."));
}

/// Keys on the result list: Space ticks every selected row, or unticks them when the current
/// row is ticked; the menu key (or Shift+F10) opens the row's menu beside the current row.
class RowKeys final : public QObject
{
public:
    RowKeys(ResultModel &model, QTableView &list, QMenu &rowMenu)
        : QObject(&list), m_model(model), m_list(list), m_rowMenu(rowMenu)
    {
        list.installEventFilter(this);
        list.viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::ContextMenu &&
            static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard) {
            const QRect row = m_list.visualRect(m_list.currentIndex());
            m_rowMenu.popup(m_list.viewport()->mapToGlobal(row.isValid() ? row.center() : QPoint(0, 0)));
            return true;
        }
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        const QModelIndex current = m_list.currentIndex();
        if (key->key() != Qt::Key_Space || key->modifiers() != Qt::NoModifier || !current.isValid())
            return false;
        const Qt::CheckState state =
            m_model.rows()[m_model.rowOf(current.row())].marked ? Qt::Unchecked : Qt::Checked;
        QModelIndexList rows = m_list.selectionModel()->selectedRows();
        if (rows.isEmpty())
            rows = {current};
        for (const QModelIndex &row : rows)
            m_model.setData(m_model.index(row.row(), ResultModel::FileName), state, Qt::CheckStateRole);
        return true;
    }

private:
    ResultModel &m_model;
    QTableView &m_list;
    QMenu &m_rowMenu;
};

}  // namespace

void ConnectMarkCommands(const MainActions &actions, ResultModel &model, QTableView &list, QLabel &status,
                         Prompter &prompter, QWidget &window)
{
    auto show = [&status](const MarkedTotals &totals) {
        status.setText(MarkedTotalsText(totals.count, totals.size));
    };
    auto rule = [&](QAction *entry, auto apply) {
        QObject::connect(entry, &QAction::triggered, &model,
                         [&model, show, apply] { show(model.applyRule(apply)); });
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
        const MarkReport report =
            model.applyRule([&](std::vector<ResultRow> &rows) { return command(rows, shown); });
        show(report.totals);
        if (report.sparedGroups > 0)
            prompter.inform(
                &window, QStringLiteral("Mark"),
                QStringLiteral("%1 group(s) would have had every file marked: the first file of each "
                               "stays unmarked.")
                    .arg(report.sparedGroups));
    };
    for (QAction *entry : actions.keepRules)
        QObject::connect(entry, &QAction::triggered, &model, [entry, &prompter, &window, many] {
            KeepCriterion criterion{static_cast<KeepRule>(entry->data().toInt()), {}};
            if (criterion.rule == KeepRule::Path || criterion.rule == KeepRule::NotPath) {
                criterion.pattern = askPattern(prompter, window, titleOf(*entry));
                if (criterion.pattern.empty())
                    return;
            }
            many([&](std::vector<ResultRow> &rows, const MarkScope &scope) {
                return KeepOne(rows, {criterion}, scope);
            });
        });
    for (const auto &[entry, mark] :
         {std::pair{actions.MMarkInFolder, true}, std::pair{actions.MUnmarkInFolder, false}})
        QObject::connect(entry, &QAction::triggered, &model, [entry, mark, &prompter, &window, many] {
            const std::string folder = prompter.chooseFolder(&window, titleOf(*entry));
            if (!folder.empty())
                many([&](std::vector<ResultRow> &rows, const MarkScope &scope) {
                    return MarkInFolder(rows, folder, mark, scope);
                });
        });
    QObject::connect(actions.MMarkByPattern, &QAction::triggered, &model, [&prompter, &window, many] {
        const std::string pattern = askPattern(prompter, window, QStringLiteral("Mark by Pattern"));
        if (!pattern.empty())
            many([&](std::vector<ResultRow> &rows, const MarkScope &scope) {
                return MarkByPattern(rows, pattern, scope);
            });
    });
    QObject::connect(actions.MInvertMarks, &QAction::triggered, &model, [many] {
        many([](std::vector<ResultRow> &rows, const MarkScope &scope) { return InvertMarks(rows, scope); });
    });
    // The row menu: the current row's group and folder.
    auto current = [&model, &list]() -> std::optional<std::size_t> {
        const QModelIndex at = list.currentIndex();
        if (!at.isValid())
            return std::nullopt;
        return model.rowOf(at.row());
    };
    QObject::connect(actions.MKeepThisOne, &QAction::triggered, &model, [&model, current, show] {
        if (const auto row = current())
            show(model.applyRule([&](std::vector<ResultRow> &rows) { return KeepThisOne(rows, *row); })
                     .totals);
    });
    for (const auto &[entry, mark] :
         {std::pair{actions.MMarkThisFolder, true}, std::pair{actions.MUnmarkThisFolder, false}})
        QObject::connect(entry, &QAction::triggered, &model, [&model, current, mark, many] {
            if (const auto row = current())
                many([&, folder = model.rows()[*row].folder.str()](std::vector<ResultRow> &rows,
                                                                   const MarkScope &scope) {
                    return MarkInFolder(rows, folder, mark, scope);
                });
        });
    new RowKeys(model, list, *actions.RowMenu);
    QObject::connect(actions.MKeepOneKey, &QAction::triggered, &list, [&list, keepOne = actions.MKeepOne] {
        const QRect row = list.visualRect(list.currentIndex());
        keepOne->popup(list.viewport()->mapToGlobal(row.isValid() ? row.bottomLeft() : QPoint(0, 0)));
    });
    QObject::connect(&model, &QAbstractItemModel::dataChanged, &status,
                     [&model, show](const QModelIndex &, const QModelIndex &, const QList<int> &roles) {
                         if (roles == QList<int>{Qt::CheckStateRole})
                             show(model.totals());
                     });
}

}  // namespace geminor
