#include "agent/ViewerWindow.h"

#include <QCloseEvent>
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
const Qt::WindowFlags kFullScreen = Qt::Window | Qt::FramelessWindowHint |
                                    Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint;
const QString kTitle = QString::fromUtf8("教师演示");
// A window of two thirds of the screen, so that the student's own work fits beside it.
constexpr int kWindowNumerator = 2;
constexpr int kWindowDenominator = 3;

} // namespace

ViewerWindow::ViewerWindow(QWidget *parent) : QWidget(parent, kFullScreen)
{
    setObjectName(QStringLiteral("ViewerWindow"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(kTitle);
    setCursor(Qt::BlankCursor);
}

void ViewerWindow::start(bool windowed)
{
    m_windowed = windowed;
    present();
}

// The window's flags decide whether it is a window at all for the window manager: changing
// them hides it, so it is placed and shown again.
void ViewerWindow::present()
{
    releaseKeyboard();
    releaseMouse();
    setWindowFlags(m_windowed ? Qt::WindowFlags(Qt::Window) : kFullScreen);
    setCursor(m_windowed ? Qt::ArrowCursor : Qt::BlankCursor);
    QScreen *screen = QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        setScreen(screen);
        QRect area = m_windowed ? screen->availableGeometry() : screen->geometry();
        if (m_windowed) {
            const QSize size = area.size() * kWindowNumerator / kWindowDenominator;
            area = QRect(area.center() - QPoint(size.width() / 2, size.height() / 2), size);
        }
        setGeometry(area);
    }
    show();
    hold();
}

void ViewerWindow::setWindowed(bool windowed)
{
    if (windowed == m_windowed)
        return;
    m_windowed = windowed;
    if (isVisible())
        present();
}

void ViewerWindow::hold()
{
    if (m_windowed || !isVisible())
        return;
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

// The teacher ends the demonstration, not the student.
void ViewerWindow::closeEvent(QCloseEvent *event)
{
    event->ignore();
}

void ViewerWindow::showFrame(const QImage &frame, QSize teacherSize)
{
    m_frame = frame;
    m_teacherSize = teacherSize.isEmpty() ? frame.size() : teacherSize;
    rescale();
    update();
}

void ViewerWindow::showCanvas(const QImage &canvas, const QRect &changed)
{
    if (canvas.constBits() != m_frame.constBits() || canvas.size() != m_frame.size()) {
        m_frame = canvas;
        m_teacherSize = canvas.size();
        rescale();
        update();
        return;
    }
    rescale(changed);
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
    const QSize shown = frameRect().size();
    m_scaled = m_frame.isNull() || m_frame.size() == shown
                   ? m_frame
                   : m_frame.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The changed area, a pixel wider all round for the filter, scaled from the frame into the
// picture on screen, and painted again.
void ViewerWindow::rescale(const QRect &changed)
{
    const QRect target = frameRect();
    if (target.isEmpty() || changed.isEmpty())
        return;
    if (m_scaled.size() != target.size()) {
        rescale();
        update();
        return;
    }
    if (m_scaled.constBits() == m_frame.constBits()) {
        update(changed.translated(target.topLeft()));
        return;
    }
    const double sx = double(target.width()) / m_frame.width();
    const double sy = double(target.height()) / m_frame.height();
    const QRect area =
        QRectF(changed.x() * sx, changed.y() * sy, changed.width() * sx, changed.height() * sy)
            .toAlignedRect()
            .adjusted(-1, -1, 1, 1) &
        m_scaled.rect();
    QPainter painter(&m_scaled);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(area), m_frame,
                      QRectF(area.x() / sx, area.y() / sy, area.width() / sx, area.height() / sy));
    painter.end();
    update(area.translated(target.topLeft()));
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
