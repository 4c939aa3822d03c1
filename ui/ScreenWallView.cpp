#include "ui/ScreenWallView.h"

#include "classroom/RosterModel.h"

#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace {
// Most classroom screens are wide; a tile of that shape wastes the least of the view.
constexpr int kShapeWidth = 16;
constexpr int kShapeHeight = 9;
constexpr int kMargin = 4;
constexpr int kCaptionGap = 2;

struct Grid
{
    int columns = 1;
    QSize cell;
    QSize picture;
};

// The number of columns that gives the largest pictures of the tiles' shape.
Grid gridFor(int count, QSize area, int captionHeight)
{
    Grid best;
    for (int columns = 1; columns <= std::max(1, count); ++columns) {
        const int rows = (std::max(1, count) + columns - 1) / columns;
        const QSize cell(area.width() / columns, area.height() / rows);
        const QSize room(cell.width() - 2 * kMargin,
                         cell.height() - 2 * kMargin - kCaptionGap - captionHeight);
        const QSize picture =
            QSize(kShapeWidth, kShapeHeight).scaled(room.expandedTo({1, 1}), Qt::KeepAspectRatio);
        if (picture.width() > best.picture.width())
            best = {columns, cell, picture};
    }
    return best;
}
} // namespace

ScreenWallView::ScreenWallView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ScreenWall"));
    setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ScreenWallView::setModel(const RosterModel *model, QItemSelectionModel *selection)
{
    m_model = model;
    m_selection = selection;
    const auto reflow = [this] {
        relayout();
        update();
    };
    connect(model, &QAbstractItemModel::rowsInserted, this, reflow);
    connect(model, &QAbstractItemModel::rowsRemoved, this, reflow);
    connect(model, &QAbstractItemModel::layoutChanged, this, reflow);
    connect(model, &QAbstractItemModel::modelReset, this, reflow);
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) {
                for (int row = first; row <= last; ++row)
                    m_pictures.remove(m_model->key(row));
            });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                for (int row = topLeft.row(); row <= bottomRight.row(); ++row)
                    update(tileRect(row));
            });
    connect(selection, &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection &selected, const QItemSelection &deselected) {
                for (const QItemSelection &rows : {selected, deselected}) {
                    for (const QModelIndex &index : rows.indexes())
                        update(tileRect(index.row()));
                }
            });
    relayout();
}

void ScreenWallView::setPicture(quint64 key, const JpegDecoder::Image &picture)
{
    const int row = m_model ? m_model->rowOfKey(key) : -1;
    if (row < 0 || pictureSize().isEmpty())
        return;
    const QImage decoded(picture.rgb.data(), picture.width, picture.height, picture.width * 3,
                         QImage::Format_RGB888);
    // Scaled once as it arrives, so that painting the tile is a plain copy.
    QImage scaled = decoded.scaled(pictureSize(), Qt::KeepAspectRatio, Qt::SmoothTransformation)
                        .convertToFormat(QImage::Format_RGB32);
    scaled.setDevicePixelRatio(devicePixelRatioF());
    m_pictures.insert(key, std::move(scaled));
    update(tileRect(row));
}

void ScreenWallView::clearPictures()
{
    m_pictures.clear();
    update();
}

int ScreenWallView::tileAt(const QPoint &pos) const
{
    if (!m_model || m_cell.isEmpty() || pos.x() < 0 || pos.y() < 0)
        return -1;
    const int column = pos.x() / m_cell.width();
    const int row = (pos.y() / m_cell.height()) * m_columns + column;
    return column < m_columns && m_model->hasRow(row) ? row : -1;
}

QRect ScreenWallView::tileRect(int row) const
{
    if (row < 0 || m_cell.isEmpty())
        return {};
    return QRect(QPoint((row % m_columns) * m_cell.width(), (row / m_columns) * m_cell.height()),
                 m_cell);
}

QSize ScreenWallView::pictureSize() const
{
    return m_picture * devicePixelRatioF();
}

void ScreenWallView::relayout()
{
    const QSize before = pictureSize();
    const Grid grid = gridFor(m_model ? m_model->rowCount() : 0, size(), fontMetrics().height());
    m_columns = grid.columns;
    m_cell = grid.cell;
    m_picture = grid.picture;
    if (pictureSize() != before)
        emit pictureSizeChanged(pictureSize());
}

void ScreenWallView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    relayout();
}

// The computer's name, and who is logged in where the channel says: "pc-07 (alice)". A computer
// without a name is told apart by its address.
QString ScreenWallView::caption(int row) const
{
    QString name = m_model->index(row, RosterModel::NameColumn).data().toString();
    if (name.isEmpty())
        name = m_model->index(row, RosterModel::AddressColumn).data().toString();
    const QString user = m_model->index(row, RosterModel::UserColumn).data().toString();
    return user.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, user);
}

void ScreenWallView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().window());
    if (!m_model)
        return;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (event->region().intersects(tileRect(row)))
            paintTile(painter, row);
    }
}

void ScreenWallView::paintTile(QPainter &painter, int row)
{
    const QRect cell = tileRect(row);
    const bool selected = m_selection && m_selection->isRowSelected(row, QModelIndex());
    if (selected)
        painter.fillRect(cell.adjusted(1, 1, -1, -1), palette().highlight());
    QRect box(QPoint(0, 0), m_picture);
    box.moveCenter(QPoint(cell.center().x(), cell.top() + kMargin + m_picture.height() / 2));
    painter.fillRect(box, Qt::black);
    const auto found = m_pictures.constFind(m_model->key(row));
    if (found != m_pictures.constEnd()) {
        QRect place(QPoint(0, 0), found->deviceIndependentSize().toSize().scaled(
                                      box.size(), Qt::KeepAspectRatio));
        place.moveCenter(box.center());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(place, *found);
    }
    const QRect text(cell.left() + kMargin, box.bottom() + 1 + kCaptionGap,
                     cell.width() - 2 * kMargin, fontMetrics().height());
    painter.setPen(selected ? palette().highlightedText().color() : palette().windowText().color());
    painter.drawText(text, Qt::AlignCenter,
                     fontMetrics().elidedText(caption(row), Qt::ElideRight, text.width()));
}

void ScreenWallView::select(int row)
{
    if (!m_selection || row < 0)
        return;
    const QModelIndex index = m_model->index(row, RosterModel::NameColumn);
    m_selection->setCurrentIndex(index,
                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// Any button selects: the one-student menu opened over a tile acts on its row.
void ScreenWallView::mousePressEvent(QMouseEvent *event)
{
    select(tileAt(event->position().toPoint()));
    QWidget::mousePressEvent(event);
}

void ScreenWallView::mouseDoubleClickEvent(QMouseEvent *event)
{
    const int row = tileAt(event->position().toPoint());
    if (row < 0 || event->button() != Qt::LeftButton)
        return;
    select(row);
    emit tileActivated(row);
}
