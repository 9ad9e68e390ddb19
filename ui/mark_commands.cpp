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

/// What the mark commands act on and report in.
struct Marking
{
    ResultModel &model;
    QTableView &list;
    QLabel &status;
    Prompter &prompter;
    QWidget &window;

    void show(const MarkedTotals &totals) const
    {
        status.setText(MarkedTotalsText(totals.count, totals.size));
    }
    /// A command for many groups at once: only the groups shown, and a word on those spared.
    template <typename Command> void many(Command command) const
    {
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
    }
    /// The row of the current view row, when there is one.
    std::optional<std::size_t> current() const
    {
        const QModelIndex at = list.currentIndex();
        return at.isValid() ? std::optional(model.rowOf(at.row())) : std::nullopt;
    }
};

/// None, All, All Duplicates and the selected rows.
void connectWholeListRules(const MainActions &actions, const Marking &m)
{
    auto rule = [&m](QAction *entry, auto apply) {
        QObject::connect(entry, &QAction::triggered, &m.model,
                         [m, apply] { m.show(m.model.applyRule(apply)); });
    };
    rule(actions.MNone, MarkNone);
    rule(actions.MMarkAll, MarkAll);
    rule(actions.MMarkAllDuplicates, MarkAllDuplicates);
    QObject::connect(actions.MMarkingSelected, &QAction::triggered, &m.model, [m] {
        std::vector<bool> selected(m.model.rows().size(), false);
        for (const QModelIndex &row : m.list.selectionModel()->selectedRows())
            selected[m.model.rowOf(row.row())] = true;
        m.show(m.model.applyRule([&](std::vector<ResultRow> &rows) { return MarkSelected(rows, selected); }));
    });
}

/// The keep rules, (un)marking in a folder, by pattern, and inverting: over the groups shown.
void connectGroupRules(const MainActions &actions, const Marking &m)
{
    for (QAction *entry : actions.keepRules)
        QObject::connect(entry, &QAction::triggered, &m.model, [entry, m] {
            KeepCriterion criterion{static_cast<KeepRule>(entry->data().toInt()), {}};
            if (criterion.rule == KeepRule::Path || criterion.rule == KeepRule::NotPath) {
                criterion.pattern = askPattern(m.prompter, m.window, titleOf(*entry));
                if (criterion.pattern.empty())
                    return;
            }
            m.many([&](std::vector<ResultRow> &rows, const MarkScope &scope) {
                return KeepOne(rows, {criterion}, scope);
            });
        });
    for (const auto &[entry, mark] :
         {std::pair{actions.MMarkInFolder, true}, std::pair{actions.MUnmarkInFolder, false}})
        QObject::connect(entry, &QAction::triggered, &m.model, [entry, mark, m] {
            const std::string folder = m.prompter.chooseFolder(&m.window, titleOf(*entry));
            if (!folder.empty())
                m.many([&](std::vector<ResultRow> &rows, const MarkScope &scope) {
                    return MarkInFolder(rows, folder, mark, scope);
                });
        });
    QObject::connect(actions.MMarkByPattern, &QAction::triggered, &m.model, [m] {
        const std::string pattern = askPattern(m.prompter, m.window, QStringLiteral("Mark by Pattern"));
        if (!pattern.empty())
            m.many([&](std::vector<ResultRow> &rows, const MarkScope &scope) {
                return MarkByPattern(rows, pattern, scope);
            });
    });
    QObject::connect(actions.MInvertMarks, &QAction::triggered, &m.model, [m] {
        m.many([](std::vector<ResultRow> &rows, const MarkScope &scope) { return InvertMarks(rows, scope); });
    });
}

/// The row menu (the current row's group and folder), the list's keys, and the totals shown as
/// boxes are ticked.
void connectRowCommands(const MainActions &actions, const Marking &m)
{
    QObject::connect(actions.MKeepThisOne, &QAction::triggered, &m.model, [m] {
        if (const auto row = m.current())
            m.show(m.model.applyRule([&](std::vector<ResultRow> &rows) { return KeepThisOne(rows, *row); })
                       .totals);
    });
    for (const auto &[entry, mark] :
         {std::pair{actions.MMarkThisFolder, true}, std::pair{actions.MUnmarkThisFolder, false}})
        QObject::connect(entry, &QAction::triggered, &m.model, [m, mark] {
            if (const auto row = m.current())
                m.many([&, folder = m.model.rows()[*row].folder.str()](std::vector<ResultRow> &rows,
                                                                       const MarkScope &scope) {
                    return MarkInFolder(rows, folder, mark, scope);
                });
        });
    new RowKeys(m.model, m.list, *actions.RowMenu);
    QObject::connect(
        actions.MKeepOneKey, &QAction::triggered, &m.list, [&list = m.list, keepOne = actions.MKeepOne] {
            const QRect row = list.visualRect(list.currentIndex());
            keepOne->popup(list.viewport()->mapToGlobal(row.isValid() ? row.bottomLeft() : QPoint(0, 0)));
        });
    QObject::connect(&m.model, &QAbstractItemModel::dataChanged, &m.status,
                     [m](const QModelIndex &, const QModelIndex &, const QList<int> &roles) {
                         if (roles == QList<int>{Qt::CheckStateRole})
                             m.show(m.model.totals());
                     });
}

}  // namespace

void ConnectMarkCommands(const MainActions &actions, ResultModel &model, QTableView &list, QLabel &status,
                         Prompter &prompter, QWidget &window)
{
    const Marking marking{model, list, status, prompter, window};
    connectWholeListRules(actions, marking);
    connectGroupRules(actions, marking);
    connectRowCommands(actions, marking);
}

}  // namespace geminor
