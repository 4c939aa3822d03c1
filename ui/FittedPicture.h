#pragma once

#include <QLabel>

// A picture drawn as large as it fits, its shape kept, centred on black: a student's screen
// stretched to the window's shape would show its text out of shape. The pixmap stays the
// picture as decoded.
class FittedPicture : public QLabel
{
    Q_OBJECT

public:
    explicit FittedPicture(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
