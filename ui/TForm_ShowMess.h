#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

// The send-message dialog: its text stays from one message to the next.
class TForm_ShowMess : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kSend = 6;
    static constexpr int kCancel = 7;
    static constexpr int kClosed = 2;

    explicit TForm_ShowMess(QWidget *parent = nullptr);

    QString text() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void reject() override;

private:
    void BitBtn1Click();

    QPlainTextEdit *m_memo;
};
