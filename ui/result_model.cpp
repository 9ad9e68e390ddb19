#include "ui/result_model.h"

#include <QBrush>
#include <QColor>

#include "ui/image_list.h"
#include "ui/shown_text.h"

namespace geminor {
void ResultModel::setRows(std::vector<ResultRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_shown.clear();
    m_mask.clear();
    m_totals = UpdateMarkedTotals(m_rows);
    m_reclaimable = ReclaimableBytes(m_rows);
    endResetModel();
}

void ResultModel::arrange(GroupOrder order, const std::string &filter)
{
    beginResetModel();
    OrderGroups(m_rows, order);
    m_shown.clear();
    m_mask.clear();
    if (!filter.empty()) {
        m_mask = GroupsContaining(m_rows, filter);
        for (std::size_t i = 0; i < m_rows.size(); ++i)
            if (m_mask[i])
                m_shown.push_back(i);
        if (m_shown.size() == m_rows.size()) {  // every group matches: nothing to map
            m_shown.clear();
            m_mask.clear();
        }
    }
    endResetModel();
}

void ResultModel::renameRow(int viewRow, std::string name, const FileIdentity &renamed)
{
    ResultRow &row = m_rows[rowOf(viewRow)];
    row.name = std::move(name);
    row.seen = renamed;
    emit dataChanged(index(viewRow, FileName), index(viewRow, FileName), {Qt::DisplayRole});
}

int ResultModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return static_cast<int>(m_mask.empty() ? m_rows.size() : m_shown.size());
}

int ResultModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ResultModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const ResultRow &row = shownRow(index);
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case FileName: return ShownText(row.name);
        case Size: return QString::number(row.size);
        case Modified: return QString::fromStdString(ModifiedText(row));
        case Version: return ShownText(row.version);
        default: return ShownText(row.folder.str());
        }
    case Qt::CheckStateRole:
        return index.column() == FileName ? QVariant(row.marked ? Qt::Checked : Qt::Unchecked) : QVariant();
    case Qt::DecorationRole:
        if (index.column() != FileName)
            return {};
        return ImageListIcon(row.reference ? 19 : row.markedIcon ? 17 : 18);
    case Qt::ForegroundRole:
        if (row.colour == RowColour::Black)
            return QBrush(Qt::black);
        if (row.colour == RowColour::DarkBlue)
            return QBrush(QColor(0, 0, 192));
        return {};
    default: return {};
    }
}

bool ResultModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || role != Qt::CheckStateRole ||
        index.column() != FileName)
        return false;
    ResultRow &row = m_rows[rowOf(index.row())];
    const bool marked = value.value<Qt::CheckState>() == Qt::Checked;
    if (marked && row.reference)
        return false;  // kept whatever happens
    if (marked != row.marked) {
        const int sign = marked ? 1 : -1;
        m_totals.count += sign;
        m_totals.size += sign * static_cast<double>(row.size);
    }
    row.marked = marked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags ResultModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.column() == FileName && index.isValid() && !shownRow(index).reference)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char *const kCaptions[] = {"File Name", "Size(Bytes)", "Last Modified.", "File Version",
                                            "Path"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kCaptions[section]) : QVariant();
}

}  // namespace geminor
