#include "ui/QtPrompter.h"

#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace {
int showBox(QMessageBox::Icon icon, const QString &text)
{
    QMessageBox box(icon, QApplication::applicationName(), text, QMessageBox::Ok);
    return box.exec();
}
} // namespace

// A plain box: the text, one OK button, the application title; no icon beside the text.
void QtPrompter::message(const QString &text)
{
    showBox(QMessageBox::NoIcon, text);
}

void QtPrompter::error(const QString &text)
{
    showBox(QMessageBox::Critical, text);
}

int QtPrompter::execDialog(QDialog &dialog)
{
    return dialog.exec();
}

std::optional<QString> QtPrompter::inputText(const QString &caption, const QString &prompt,
                                             int maxLength)
{
    QInputDialog input;
    input.setWindowTitle(caption);
    input.setLabelText(prompt);
    input.setTextValue(QString());
    if (auto *edit = input.findChild<QLineEdit *>())
        edit->setMaxLength(maxLength);
    // Qt's translations caption the buttons in Chinese.
    if (input.exec() != QDialog::Accepted)
        return std::nullopt;
    return input.textValue();
}
