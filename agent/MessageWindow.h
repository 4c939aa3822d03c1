#pragma once

#include <QWidget>

class QLabel;

// The teacher's message, on top of everything until the student closes it. One window: a new
// message replaces the text, so a flood of messages cannot pile up windows.
class MessageWindow : public QWidget
{
    Q_OBJECT

public:
    explicit MessageWindow(QWidget *parent = nullptr);

    void showMessage(const QString &text);
    QString text() const;

private:
    QLabel *m_text;
};
