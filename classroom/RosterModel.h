#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QList>
#include <QVariant>
#include <array>

// The rows of the roster in display order: a caption (computer name) and five sub-items,
// all held as the code page 936 bytes they are shown and sorted by, and the key of the
// connection the row stands for, which is what commands and monitoring go by. The sixth column,
// the logged-in user, is known of channel agents only.
class RosterModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        NameColumn,
        AddressColumn,
        PortColumn,
        TimeColumn,
        BlackOutColumn,
        UserColumn,
        ColumnCount
    };
    static constexpr int kSubItemCount = ColumnCount - 1;

    explicit RosterModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Every row shows this picture (an icon the window provides) next to its caption.
    void setRowImage(const QVariant &image);

    // key names the row's connection for the whole run; no two rows share one.
    void appendRow(quint64 key, const QByteArray &caption,
                   const std::array<QByteArray, kSubItemCount> &subItems);
    void removeRowAt(int row);
    bool hasRow(int row) const { return row >= 0 && row < m_rows.size(); }
    QByteArray caption(int row) const { return m_rows.at(row).caption; }
    void setCaption(int row, const QByteArray &caption);
    quint64 key(int row) const { return hasRow(row) ? m_rows.at(row).key : 0; }
    // The row of the connection with this key in the current display order; -1 if it has none.
    int rowOfKey(quint64 key) const;
    QByteArray subItem(int row, int index) const { return m_rows.at(row).subItems.at(index); }
    void setSubItem(int row, int index, const QByteArray &text);

    // Sorts once, ascending, by the bytes of one column; rows added later go to the end.
    void sortByColumn(int column);

    // Byte-wise order with ASCII letters folded to upper case; a prefix sorts first.
    static int compareText(const QByteArray &a, const QByteArray &b);

private:
    struct Row
    {
        quint64 key;
        QByteArray caption;
        std::array<QByteArray, kSubItemCount> subItems;
    };
    const QByteArray &cell(const Row &row, int column) const;

    QList<Row> m_rows;
    QVariant m_image;
};
