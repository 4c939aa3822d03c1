#pragma once

#include <QWidget>
#include <functional>

class QAction;
class QLabel;

// The monitor window: one student's screen, always on top; closing only hides it.
class TForm_client : public QWidget
{
    Q_OBJECT

public:
    explicit TForm_client(QWidget *parent = nullptr);

    QLabel *Image1() const { return m_image; }
    // "学生演示" on the window's context menu: the student shown here, to the class.
    QAction *StudentDemo() const { return m_studentDemo; }
    // Runs the closing handler, then hides; used by the close box and by the rotation's stop.
    void closeWindow();

    // The closing handler; it may close the window again, which runs it once more.
    std::function<void()> OnClose;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QLabel *m_image;
    QAction *m_studentDemo;
};
