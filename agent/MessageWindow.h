#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;

// The teacher's message, on top of everything until the student closes it. One window: a new
// message replaces the text, so a flood of messages cannot pile up windows.
class MessageWindow : public QWidget
{
    Q_OBJECT

public:
    explicit MessageWindow(QWidget *parent = nullptr);

    // cut: the message went past the bound and only its front arrived.
    void showMessage(const QString &text, bool cut = false);
    QString text() const;
    bool isMarkedCut() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QPlainTextEdit *m_text;
    QLabel *m_cutMark;
};
