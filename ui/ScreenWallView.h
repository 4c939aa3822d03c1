#pragma once

#include <QHash>
#include <QImage>
#include <QWidget>

#include "protocol/JpegDecoder.h"

class QItemSelectionModel;
class RosterModel;

// The screen wall on screen: every student of the roster as a tile, its screen above its
// caption, in display order, as large as the view lets them be. A tile is painted again only
// when its own picture or caption changed; between pictures it keeps the last one.
class ScreenWallView : public QWidget
{
    Q_OBJECT

public:
    explicit ScreenWallView(QWidget *parent = nullptr);

    // The roster's rows and the selection the lists share: a tile clicked selects its row.
    void setModel(const RosterModel *model, QItemSelectionModel *selection);
    void setPicture(quint64 key, const JpegDecoder::Image &picture);
    void clearPictures();

    // The row of the tile at this point, -1 where there is none.
    int tileAt(const QPoint &pos) const;
    QRect tileRect(int row) const;
    // Where a tile shows its picture, in device pixels.
    QSize pictureSize() const;
    bool hasPicture(quint64 key) const { return m_pictures.contains(key); }

signals:
    // A tile was double-clicked; its row is selected.
    void tileActivated(int row);
    void pictureSizeChanged(QSize size);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void relayout();
    void select(int row);
    QString caption(int row) const;
    void paintTile(QPainter &painter, int row);

    const RosterModel *m_model = nullptr;
    QItemSelectionModel *m_selection = nullptr;
    QHash<quint64, QImage> m_pictures;
    int m_columns = 1;
    QSize m_cell;
    QSize m_picture;
};
