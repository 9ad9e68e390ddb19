#include "ui/folder_model.h"

#include <QDateTime>
#include <algorithm>
#include <QFont>

#include "results/format_size.h"
#include "results/result_row.h"
#include "ui/image_list.h"
#include "ui/result_model.h"
#include "ui/shown_text.h"

namespace geminor {
namespace {

/// "a/b/c/" -> "c", and "a/b/" as the folder it lies in.
std::pair<std::string, std::string> nameAndParent(const std::string &path)
{
    const std::string trimmed =
        path.size() > 1 && path.ends_with('/') ? path.substr(0, path.size() - 1) : path;
    const std::size_t slash = trimmed.rfind('/');
    if (slash == std::string::npos)
        return {trimmed, {}};
    return {trimmed.substr(slash + 1), trimmed.substr(0, slash + 1)};
}

}  // namespace

void FolderModel::setRows(std::vector<FolderRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_bands.assign(m_rows.size(), 0);
    for (std::size_t i = 1; i < m_rows.size(); ++i) {
        const bool sameGroup = m_rows[i].group != 0 && m_rows[i].group == m_rows[i - 1].group;
        m_bands[i] = sameGroup ? m_bands[i - 1] : 1 - m_bands[i - 1];
    }
    m_alike.assign(m_rows.size(), 1);
    for (std::size_t begin = 0, end = 0; begin < m_rows.size(); begin = end) {
        for (end = begin + 1;
             m_rows[begin].group != 0 && end < m_rows.size() && m_rows[end].group == m_rows[begin].group;)
            ++end;
        std::fill(m_alike.begin() + static_cast<std::ptrdiff_t>(begin),
                  m_alike.begin() + static_cast<std::ptrdiff_t>(end), static_cast<int>(end - begin));
    }
    m_totals = FolderMarkTotals(m_rows);
    endResetModel();
}

int FolderModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int FolderModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FolderModel::display(const FolderRow &row, int column) const
{
    switch (column) {
    case Name: return ShownText(nameAndParent(row.folder.path).first);
    case Size: return FormatSize(static_cast<double>(row.folder.bytes));
    case Files: return QString::number(row.folder.files);
    case Modified:
        return QString::fromStdString(
            ModifiedText(QDateTime::fromMSecsSinceEpoch(row.folder.newestNs / 1'000'000)));
    case Path: return ShownText(nameAndParent(row.folder.path).second);
    default:
        return row.redundant() ? QStringLiteral("%1 outside").arg(row.copies)
                               : QStringLiteral("%1 alike").arg(m_alike[&row - m_rows.data()]);
    }
}

QString FolderModel::toolTip(const FolderRow &row) const
{
    if (!row.redundant())
        return row.folder.reference ? QStringLiteral("In a reference location: always kept.") : QString();
    QString text = QStringLiteral("Every file in it has a copy outside it. The copies are in:");
    for (const RedundantFolder::Holder &holder : row.holders)
        text += QStringLiteral("\n%1 (%2 file(s))").arg(ShownText(holder.path)).arg(holder.files);
    return text;
}

QVariant FolderModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const std::size_t at = static_cast<std::size_t>(index.row());
    const FolderRow &row = m_rows[at];
    switch (role) {
    case Qt::DisplayRole: return display(row, index.column());
    case Qt::CheckStateRole:
        if (index.column() != Name || row.redundant())
            return {};
        return row.marked ? Qt::Checked : Qt::Unchecked;
    case Qt::DecorationRole:
        if (index.column() != Name || row.redundant())
            return {};
        if (m_icons[0].isNull())
            m_icons = {ImageListIcon(kPictureMarkedRow), ImageListIcon(kPictureUnmarkedRow),
                       ImageListIcon(kPictureReferenceRow)};
        return m_icons[row.folder.reference ? 2 : row.marked ? 0 : 1];
    case Qt::ToolTipRole: {
        const QString tip = toolTip(row);
        return tip.isEmpty() ? QVariant() : QVariant(tip);
    }
    case Qt::ForegroundRole: return band(index.row()) == 0 ? QBrush(Qt::black) : QBrush(QColor(0, 0, 192));
    case Qt::BackgroundRole: return band(index.row()) == 0 ? QVariant() : QVariant(BandBrush());
    case Qt::FontRole: {
        if (!row.redundant() && !keptCopy(at))
            return {};
        QFont font;
        (row.redundant() ? font.setItalic(true) : font.setBold(true));  // set apart from the groups
        return font;
    }
    default: return {};
    }
}

bool FolderModel::keptCopy(std::size_t at) const
{
    const std::int32_t group = m_rows[at].group;
    if (group == 0 || m_rows[at].marked)
        return false;
    for (std::size_t i = at; i > 0 && m_rows[i - 1].group == group; --i)
        if (m_rows[i - 1].marked)
            return true;
    for (std::size_t i = at + 1; i < m_rows.size() && m_rows[i].group == group; ++i)
        if (m_rows[i].marked)
            return true;
    return false;
}

bool FolderModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || role != Qt::CheckStateRole ||
        index.column() != Name)
        return false;
    FolderRow &row = m_rows[static_cast<std::size_t>(index.row())];
    const bool marked = value.value<Qt::CheckState>() == Qt::Checked;
    if (row.redundant() || (marked && row.folder.reference))
        return false;  // shown, not acted on; a reference folder is kept whatever happens
    row.marked = marked;
    m_totals = FolderMarkTotals(m_rows);
    // The group's other rows too: which copy stays shows in bold.
    emit dataChanged(this->index(0, Name), this->index(rowCount() - 1, ColumnCount - 1));
    return true;
}

Qt::ItemFlags FolderModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == Name) {
        const FolderRow &row = m_rows[static_cast<std::size_t>(index.row())];
        if (!row.redundant() && !row.folder.reference)
            flags |= Qt::ItemIsUserCheckable;
    }
    return flags;
}

QVariant FolderModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char *const kCaptions[] = {"Folder Name",    "Size", "Files",
                                            "Last Modified.", "Path", "Copies"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kCaptions[section]) : QVariant();
}

}  // namespace geminor
