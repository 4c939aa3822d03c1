#include "FakePrompter.h"

#include "ui/ErrorReport.h"

#include <QDialog>

FakePrompter::FakePrompter()
{
    Prompter::install(this);
    error_report::install();
}

FakePrompter::~FakePrompter()
{
    Prompter::install(nullptr);
}

int FakePrompter::execDialog(QDialog &dialog)
{
    if (onDialog)
        return onDialog(dialog);
    dialog.reject();
    return dialog.result();
}

std::optional<QString> FakePrompter::inputText(const QString &caption, const QString &prompt,
                                               int maxLength)
{
    inputCaptions.append(caption + QLatin1Char('|') + prompt);
    inputMaxLength = maxLength;
    if (inputAnswers.isEmpty())
        return std::nullopt;
    return inputAnswers.takeFirst();
}
