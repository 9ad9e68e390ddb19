#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <array>
#include <vector>

#include "results/folder_rows.h"

namespace geminor {

/// The folder list's rows for the view: the groups of identical folders (a check box on the
/// first column, groups set apart in bands as the file list's are), then the redundant folders.
class FolderModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Name, Size, Files, Modified, Path, Copies, ColumnCount };
    using QAbstractTableModel::QAbstractTableModel;

    void setRows(std::vector<FolderRow> rows);
    const std::vector<FolderRow> &rows() const { return m_rows; }
    /// Runs a marking rule over all rows and tells the view.
    template <typename Rule> void applyRule(Rule rule)
    {
        m_totals = rule(m_rows);
        if (!m_rows.empty())
            emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
    }
    const MarkedTotals &totals() const { return m_totals; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QVariant display(const FolderRow &row, int column) const;
    QString toolTip(const FolderRow &row) const;
    /// 0 or 1, alternating over the groups and the redundant folders, each of these on its own.
    int band(int row) const { return m_bands[static_cast<std::size_t>(row)]; }
    /// An unmarked member of a group in which another folder is marked: the copy that stays.
    bool keptCopy(std::size_t row) const;

    std::vector<FolderRow> m_rows;
    std::vector<std::uint8_t> m_bands;
    std::vector<int> m_alike;  // row -> folders in its group
    MarkedTotals m_totals;
    mutable std::array<QIcon, 3> m_icons;  // marked, unmarked, reference; made on first use
};

}  // namespace geminor
