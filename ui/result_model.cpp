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
    m_totals = UpdateMarkedTotals(m_rows);
    endResetModel();
}

void ResultModel::renameRow(int row, std::string name, const FileIdentity &renamed)
{
    m_rows[static_cast<std::size_t>(row)].name = std::move(name);
    m_rows[static_cast<std::size_t>(row)].seen = renamed;
    emit dataChanged(index(row, FileName), index(row, FileName), {Qt::DisplayRole});
}

int ResultModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ResultModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ResultModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const ResultRow &row = m_rows[static_cast<std::size_t>(index.row())];
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
        return index.column() == FileName ? QVariant(ImageListIcon(row.markedIcon ? 17 : 18)) : QVariant();
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
    ResultRow &row = m_rows[static_cast<std::size_t>(index.row())];
    const bool marked = value.value<Qt::CheckState>() == Qt::Checked;
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
    if (index.column() == FileName)
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
