#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "results/marking.h"
#include "results/result_row.h"

namespace geminor {

/// The result list's rows for the view: five columns, a check box on the first.
class ResultModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { FileName, Size, Modified, Version, Path, ColumnCount };
    using QAbstractTableModel::QAbstractTableModel;

    void setRows(std::vector<ResultRow> rows);
    const std::vector<ResultRow> &rows() const { return m_rows; }
    /// A renamed file's new name and state on its row.
    void renameRow(int row, std::string name, const FileIdentity &renamed);
    /// Runs a marking rule over all rows and tells the view; returns what the rule returns.
    template <typename Rule> auto applyRule(Rule rule)
    {
        auto result = rule(m_rows);
        m_totals = result;
        if (!m_rows.empty())
            emit dataChanged(index(0, FileName), index(rowCount() - 1, FileName),
                             {Qt::CheckStateRole, Qt::DecorationRole});
        return result;
    }

    /// The marked rows' count and bytes, kept up to date as marks change (never recounted).
    const MarkedTotals &totals() const { return m_totals; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<ResultRow> m_rows;
    MarkedTotals m_totals;
};

}  // namespace geminor
