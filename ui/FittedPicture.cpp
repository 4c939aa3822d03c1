#include "ui/FittedPicture.h"

#include <QPainter>

FittedPicture::FittedPicture(QWidget *parent) : QLabel(parent)
{
    // The window's size is the teacher's choice; a picture's own size never changes it.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
}

void FittedPicture::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const QPixmap picture = pixmap();
    if (picture.isNull())
        return;
    QRect place(QPoint(0, 0), picture.size().scaled(size(), Qt::KeepAspectRatio));
    place.moveCenter(rect().center());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(place, picture);
}
