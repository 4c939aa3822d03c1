#pragma once

#include <QWidget>

class QLabel;

// The monitor window: one student's screen, always on top; closing only hides it.
class TForm_client : public QWidget
{
    Q_OBJECT

public:
    explicit TForm_client(QWidget *parent = nullptr);

    QLabel *Image1() const { return m_image; }

private:
    QLabel *m_image;
};
