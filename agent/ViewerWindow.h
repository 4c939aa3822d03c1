#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <optional>

// The teacher's demonstration on the student's primary screen: the last frame scaled to fit
// (aspect kept, black bars), the teacher's pointer drawn where the cursor datagrams put it.
// Keyboard and pointer are held while it shows.
class ViewerWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ViewerWindow(QWidget *parent = nullptr);

    void start();
    void stop();
    // Raises the window and takes keyboard and pointer (again, after another window had them).
    void hold();
    // teacherSize is the teacher's screen the frame shows, which the decoder may have shrunk;
    // empty: the frame's own size.
    void showFrame(const QImage &frame, QSize teacherSize = {});
    // Teacher's screen pixels, origin at the top-left of the teacher's primary screen.
    void movePointer(QPoint teacherPosition);

    const QImage &frame() const { return m_frame; }
    // Where the frame is drawn, and where a teacher's point lands, in window pixels.
    QRect frameRect() const;
    QPoint toWindow(QPoint teacherPosition) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void drawPointer(QPainter &painter, QPoint tip) const;
    QRect pointerRect() const;
    void rescale();

    QImage m_frame;
    QSize m_teacherSize;
    // The frame at its size on screen, scaled once per frame: the pointer moves up to a hundred
    // times a second and must not rescale a whole screen each time.
    QImage m_scaled;
    std::optional<QPoint> m_pointer;
};
