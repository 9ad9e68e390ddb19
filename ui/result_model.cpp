#include "ui/result_model.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>

#include "ui/image_list.h"
#include "ui/picture_pair.h"
#include "ui/shown_text.h"

namespace geminor {

QBrush BandBrush()
{
    const QPalette palette = QGuiApplication::palette();
    const QColor base = palette.color(QPalette::Base), tint = palette.color(QPalette::Highlight);
    auto mix = [](int a, int b) { return (a * 85 + b * 15) / 100; };
    return QBrush(
        QColor(mix(base.red(), tint.red()), mix(base.green(), tint.green()), mix(base.blue(), tint.blue())));
}

void ResultModel::setRows(std::vector<ResultRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_shown.clear();
    m_mask.clear();
    m_order = GroupOrder::Found;
    m_filter.clear();
    m_gone.clear();
    m_bands.clear();
    m_totals = UpdateMarkedTotals(m_rows);
    m_reclaimable = ReclaimableBytes(m_rows);
    endResetModel();
}

void ResultModel::arrange(GroupOrder order, const std::string &filter)
{
    m_order = order;
    m_filter = filter;
    beginResetModel();
    OrderGroups(m_rows, order);
    m_shown.clear();
    m_mask.clear();
    m_bands.clear();
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

void ResultModel::replaceRows(std::vector<ResultRow> rows)
{
    m_rows = std::move(rows);
    m_totals = UpdateMarkedTotals(m_rows);
    m_reclaimable = ReclaimableBytes(m_rows);
    arrange(m_order, m_filter);
    emit followed();
}

std::int64_t ResultModel::duplicates() const
{
    std::int64_t count = 0;
    for (std::size_t i = 1; i < m_rows.size(); ++i)
        count += m_rows[i].group != 0 && m_rows[i].group == m_rows[i - 1].group;
    return count;
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
        case Dimensions: return row.width == 0 ? QString() : DimensionsText(row.width, row.height);
        case Distance: return row.width == 0 ? QString() : QString::number(row.distance);
        default: return ShownText(row.folder.str());
        }
    case Qt::CheckStateRole:
        return index.column() == FileName ? QVariant(row.marked ? Qt::Checked : Qt::Unchecked) : QVariant();
    case Qt::DecorationRole:
        if (index.column() != FileName)
            return {};
        // The check box decides the picture, so a row ticked by hand looks like one a rule marked.
        return rowIcon(row);
    case Qt::ToolTipRole:
        return row.problem.empty() ? QVariant() : QVariant(QString::fromStdString(row.problem));
    case Qt::ForegroundRole: {
        if (row.colour == RowColour::Default)
            return {};
        // Alternate over the rows shown: a filter or an order must never give two neighbours one look.
        const RowColour first = shownRow(this->index(0, 0)).colour;
        const bool black = (first == RowColour::Black) == (band(index.row()) == 0);
        return black ? QBrush(Qt::black) : QBrush(QColor(0, 0, 192));
    }
    case Qt::BackgroundRole: {
        if (row.group == 0 || band(index.row()) == 0)
            return {};
        return BandBrush();
    }
    case Qt::FontRole: {
        if (!keptCopy(rowOf(index.row())))
            return {};
        QFont font;
        font.setBold(true);
        return font;
    }
    default: return {};
    }
}

const QIcon &ResultModel::rowIcon(const ResultRow &row) const
{
    if (m_icons[0].isNull())
        m_icons = {ImageListIcon(kPictureMarkedRow), ImageListIcon(kPictureUnmarkedRow),
                   ImageListIcon(kPictureReferenceRow)};
    return m_icons[row.reference ? 2 : row.marked ? 0 : 1];
}

int ResultModel::band(int viewRow) const
{
    const std::size_t count = static_cast<std::size_t>(rowCount());
    if (m_bands.size() != count) {
        m_bands.assign(count, 0);
        for (std::size_t i = 1; i < count; ++i) {
            const bool newGroup =
                m_rows[rowOf(static_cast<int>(i))].group != m_rows[rowOf(static_cast<int>(i - 1))].group;
            m_bands[i] = newGroup ? 1 - m_bands[i - 1] : m_bands[i - 1];
        }
    }
    return m_bands[static_cast<std::size_t>(viewRow)];
}

bool ResultModel::keptCopy(std::size_t row) const
{
    const std::int32_t group = m_rows[row].group;
    if (group == 0 || m_rows[row].marked)
        return false;
    for (std::size_t i = row; i > 0 && m_rows[i - 1].group == group; --i)
        if (m_rows[i - 1].marked)
            return true;
    for (std::size_t i = row + 1; i < m_rows.size() && m_rows[i].group == group; ++i)
        if (m_rows[i].marked)
            return true;
    return false;
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
    static const char *const kCaptions[] = {
        "File Name", "Size(Bytes)", "Last Modified.", "File Version", "Dimensions", "Distance", "Path"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kCaptions[section]) : QVariant();
}

}  // namespace geminor
