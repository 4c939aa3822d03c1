#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <optional>

// The teacher's demonstration on the student's primary screen: the picture scaled to fit
// (aspect kept, black bars), the teacher's pointer drawn where the console puts it. Full
// screen it holds the keyboard and pointer; in a window the student can move it and keep
// working beside it.
class ViewerWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ViewerWindow(QWidget *parent = nullptr);

    void start(bool windowed = false);
    void stop();
    // Full screen: raises the window and takes keyboard and pointer (again, after another
    // window had them); in a window, nothing is taken from the student.
    void hold();
    void setWindowed(bool windowed);
    bool isWindowed() const { return m_windowed; }
    // A whole frame; teacherSize is the teacher's screen it shows, which the decoder may have
    // shrunk; empty: the frame's own size.
    void showFrame(const QImage &frame, QSize teacherSize = {});
    // The stream's canvas, whose pixels stay where they are while it keeps its size: only the
    // area changed is scaled and painted again.
    void showCanvas(const QImage &canvas, const QRect &changed);
    // Teacher's screen pixels, origin at the top-left of the teacher's primary screen.
    void movePointer(QPoint teacherPosition);

    const QImage &frame() const { return m_frame; }
    // Where the frame is drawn, and where a teacher's point lands, in window pixels.
    QRect frameRect() const;
    QPoint toWindow(QPoint teacherPosition) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void present();
    void drawPointer(QPainter &painter, QPoint tip) const;
    QRect pointerRect() const;
    void rescale();
    void rescale(const QRect &changed);

    QImage m_frame;
    QSize m_teacherSize;
    // The frame at its size on screen, scaled once per change: the pointer moves up to a
    // hundred times a second and must not rescale a whole screen each time. The frame itself
    // where no scaling is needed.
    QImage m_scaled;
    std::optional<QPoint> m_pointer;
    bool m_windowed = false;
};
