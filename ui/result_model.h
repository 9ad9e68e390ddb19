#pragma once

#include <QAbstractTableModel>
#include <QBrush>
#include <QIcon>
#include <array>
#include <type_traits>
#include <vector>

#include "results/group_order.h"
#include "results/keep_rules.h"
#include "results/marking.h"
#include "results/result_row.h"
#include "results/rows_follow.h"

namespace geminor {

/// The background of every other group's rows: the base colour tinted a little.
QBrush BandBrush();

/// The result list's rows for the view: seven columns, a check box on the first; the picture's
/// size and distance are blank but for similar pictures (the window hides them then). The groups
/// can be put in another order and filtered: a view row then stands for rows()[rowOf(view row)].
class ResultModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { FileName, Size, Modified, Version, Dimensions, Distance, Path, ColumnCount };
    using QAbstractTableModel::QAbstractTableModel;

    void setRows(std::vector<ResultRow> rows);
    const std::vector<ResultRow> &rows() const { return m_rows; }
    /// Orders the groups and shows only those with a file whose path contains `filter`.
    void arrange(GroupOrder order, const std::string &filter);
    /// The row of rows() a view row shows.
    std::size_t rowOf(int viewRow) const
    {
        return m_mask.empty() ? static_cast<std::size_t>(viewRow)
                              : m_shown[static_cast<std::size_t>(viewRow)];
    }
    /// Which rows the view shows (empty: all), for commands that act only on what is shown.
    const std::vector<bool> &shownMask() const { return m_mask; }
    std::uint64_t reclaimable() const { return m_reclaimable; }
    /// Rows changed by what was done to their files, in the order and under the filter of the
    /// last arrange().
    void replaceRows(std::vector<ResultRow> rows);
    /// The rows taken out by what was done since the rows were set, for an undo to bring back.
    std::vector<GoneRow> &goneRows() { return m_gone; }
    /// A renamed file's new name and state on the row shown at `viewRow`.
    void renameRow(int viewRow, std::string name, const FileIdentity &renamed);
    /// Runs a marking rule over all rows and tells the view; returns what the rule returns.
    template <typename Rule> auto applyRule(Rule rule)
    {
        auto result = rule(m_rows);
        if constexpr (std::is_same_v<decltype(result), MarkReport>)
            m_totals = result.totals;
        else
            m_totals = result;
        if (!m_rows.empty())
            emit dataChanged(index(0, FileName), index(rowCount() - 1, FileName),
                             {Qt::CheckStateRole, Qt::DecorationRole});
        return result;
    }

    /// The marked rows' count and bytes, kept up to date as marks change (never recounted).
    const MarkedTotals &totals() const { return m_totals; }

    /// Files that are duplicates of another shown in the rows: each group's members but one.
    std::int64_t duplicates() const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    /// The rows were made to follow an action or an undo.
    void followed();

private:
    const ResultRow &shownRow(const QModelIndex &index) const { return m_rows[rowOf(index.row())]; }
    /// 1 for the rows of every other group shown, counted over the view's rows; made again
    /// whenever the rows shown change.
    int band(int viewRow) const;
    /// An unmarked row of a group in which another file is marked: the copy that stays.
    bool keptCopy(std::size_t row) const;
    /// The row's picture: made once, as a view asks for it row after row.
    const QIcon &rowIcon(const ResultRow &row) const;

    std::vector<ResultRow> m_rows;
    std::vector<std::size_t> m_shown;           // view row -> row, while a filter hides some
    std::vector<bool> m_mask;                   // row -> shown, while a filter hides some
    mutable std::vector<std::uint8_t> m_bands;  // view row -> band, as band() last made it
    MarkedTotals m_totals;
    std::uint64_t m_reclaimable = 0;
    GroupOrder m_order = GroupOrder::Found;  // as last arranged
    std::string m_filter;
    std::vector<GoneRow> m_gone;
    mutable std::array<QIcon, 3> m_icons;  // marked, unmarked, reference; made on first use
};

}  // namespace geminor
