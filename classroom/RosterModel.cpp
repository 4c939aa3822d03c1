#include "classroom/RosterModel.h"

#include "text/Cp936.h"

#include <algorithm>
#include <numeric>

namespace {
const char *const kCaptions[] = {"计算机名", "IP地址",   "连接端口",
                                 "日期时间", "是否黑屏", "登录用户"};

int foldAscii(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c;
}
} // namespace

RosterModel::RosterModel(QObject *parent) : QAbstractTableModel(parent) {}

int RosterModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int RosterModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RosterModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !hasRow(index.row()))
        return {};
    const Row &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return cp936::decode(cell(row, index.column()));
    case Qt::DecorationRole:
        return index.column() == NameColumn ? m_image : QVariant();
    case Qt::TextAlignmentRole:
        return index.column() == NameColumn ? int(Qt::AlignLeft | Qt::AlignVCenter)
                                            : int(Qt::AlignCenter);
    default:
        return {};
    }
}

QVariant RosterModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(kCaptions[section]);
    if (role == Qt::TextAlignmentRole)
        return section == NameColumn ? int(Qt::AlignLeft | Qt::AlignVCenter) : int(Qt::AlignCenter);
    return {};
}

void RosterModel::setRowImage(const QVariant &image)
{
    m_image = image;
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, NameColumn), index(rowCount() - 1, NameColumn));
}

void RosterModel::appendRow(quint64 key, const QByteArray &caption,
                            const std::array<QByteArray, kSubItemCount> &subItems)
{
    const int row = rowCount();
    beginInsertRows({}, row, row);
    m_rows.append(Row{key, caption, subItems});
    endInsertRows();
}

void RosterModel::removeRowAt(int row)
{
    if (!hasRow(row))
        return;
    beginRemoveRows({}, row, row);
    m_rows.removeAt(row);
    endRemoveRows();
}

void RosterModel::setSubItem(int row, int index, const QByteArray &text)
{
    if (!hasRow(row) || index < 0 || index >= kSubItemCount)
        return;
    m_rows[row].subItems[index] = text;
    const QModelIndex changed = this->index(row, index + 1);
    emit dataChanged(changed, changed);
}

void RosterModel::setCaption(int row, const QByteArray &caption)
{
    if (!hasRow(row))
        return;
    m_rows[row].caption = caption;
    const QModelIndex changed = index(row, NameColumn);
    emit dataChanged(changed, changed);
}

int RosterModel::rowOfKey(quint64 key) const
{
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).key == key)
            return row;
    }
    return -1;
}

const QByteArray &RosterModel::cell(const Row &row, int column) const
{
    return column == NameColumn ? row.caption : row.subItems.at(column - 1);
}

void RosterModel::sortByColumn(int column)
{
    if (column < 0 || column >= ColumnCount || m_rows.size() < 2)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> order(m_rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return compareText(cell(m_rows.at(a), column), cell(m_rows.at(b), column)) < 0;
    });
    QList<Row> sorted;
    sorted.reserve(m_rows.size());
    std::vector<int> newRowOf(m_rows.size());
    for (int i = 0; i < int(order.size()); ++i) {
        sorted.append(m_rows.at(order[i]));
        newRowOf[order[i]] = i;
    }
    m_rows = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &old : before)
        after.append(index(newRowOf[old.row()], old.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int RosterModel::compareText(const QByteArray &a, const QByteArray &b)
{
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const int diff = foldAscii(uchar(a[i])) - foldAscii(uchar(b[i]));
        if (diff != 0)
            return diff;
    }
    return int(a.size() - b.size());
}
