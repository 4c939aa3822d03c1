#include "agent/ViewerWindow.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPolygon>
#include <QScreen>

namespace {

// An arrow pointer 12 x 19 pixels, tip at (0, 0), the classic shape.
const QPoint kArrow[] = {{0, 0}, {0, 16}, {4, 12}, {7, 19}, {9, 18}, {6, 11}, {12, 11}};
// Window coordinates are kept within this, so that no position a datagram can carry overflows
// the arithmetic of drawing.
constexpr qint64 kCoordinateLimit = 1 << 20;
// What an arrow covers, its outline included.
const QRect kArrowBounds(-1, -1, 15, 22);

} // namespace

ViewerWindow::ViewerWindow(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::X11BypassWindowManagerHint)
{
    setObjectName(QStringLiteral("ViewerWindow"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::BlankCursor);
}

void ViewerWindow::start()
{
    QScreen *screen = QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        setScreen(screen);
        setGeometry(screen->geometry());
    }
    show();
    hold();
}

void ViewerWindow::hold()
{
    raise();
    activateWindow();
    grabKeyboard();
    grabMouse(Qt::BlankCursor);
}

void ViewerWindow::stop()
{
    releaseKeyboard();
    releaseMouse();
    hide();
    // A picture of the last demonstration is no use later and may be large.
    m_frame = QImage();
    m_scaled = QImage();
    m_pointer.reset();
}

void ViewerWindow::showFrame(const QImage &frame, QSize teacherSize)
{
    m_frame = frame;
    m_teacherSize = teacherSize.isEmpty() ? frame.size() : teacherSize;
    rescale();
    update();
}

void ViewerWindow::movePointer(QPoint teacherPosition)
{
    if (m_pointer == teacherPosition) {
        return;
    }
    const QRect before = pointerRect();
    m_pointer = teacherPosition;
    update(before | pointerRect());
}

QRect ViewerWindow::pointerRect() const
{
    return m_pointer && !m_frame.isNull() ? kArrowBounds.translated(toWindow(*m_pointer)) : QRect();
}

void ViewerWindow::resizeEvent(QResizeEvent *)
{
    rescale();
}

void ViewerWindow::rescale()
{
    m_scaled = m_frame.isNull() ? QImage()
                                : m_frame.scaled(frameRect().size(), Qt::IgnoreAspectRatio,
                                                 Qt::SmoothTransformation);
}

QRect ViewerWindow::frameRect() const
{
    if (m_frame.isNull()) {
        return {};
    }
    const QSize fitted = m_frame.size().scaled(size(), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
}

QPoint ViewerWindow::toWindow(QPoint teacherPosition) const
{
    const QRect target = frameRect();
    if (target.isEmpty()) {
        return teacherPosition;
    }
    const qint64 x = qint64(teacherPosition.x()) * target.width() / m_teacherSize.width();
    const qint64 y = qint64(teacherPosition.y()) * target.height() / m_teacherSize.height();
    return QPoint(int(qBound(-kCoordinateLimit, target.left() + x, kCoordinateLimit)),
                  int(qBound(-kCoordinateLimit, target.top() + y, kCoordinateLimit)));
}

void ViewerWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (m_scaled.isNull()) {
        return;
    }
    painter.drawImage(frameRect().topLeft(), m_scaled);
    if (m_pointer) {
        drawPointer(painter, toWindow(*m_pointer));
    }
}

void ViewerWindow::drawPointer(QPainter &painter, QPoint tip) const
{
    QPolygon arrow;
    for (const QPoint &corner : kArrow) {
        arrow << tip + corner;
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    painter.drawPolygon(arrow);
}
