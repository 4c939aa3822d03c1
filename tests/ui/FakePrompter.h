#pragma once

#include <QStringList>
#include <functional>

#include "ui/Prompter.h"

// Answers the console's boxes and dialogs without blocking, and remembers what they said.
// While it lives it is the console's prompter, and guarded failures reach its error list.
class FakePrompter : public Prompter
{
public:
    FakePrompter();
    ~FakePrompter() override;

    void message(const QString &text) override { messages.append(text); }
    void error(const QString &text) override { errors.append(text); }
    int execDialog(QDialog &dialog) override;
    std::optional<QString> inputText(const QString &caption, const QString &prompt,
                                     int maxLength) override;

    QStringList messages;
    QStringList errors;
    // Plays the teacher's part in a modal dialog and returns its result; by default the
    // dialog is closed by its title bar.
    std::function<int(QDialog &)> onDialog;
    // What the input box returns, first to last; nothing (as Cancel gives) once used up.
    QList<std::optional<QString>> inputAnswers;
    QStringList inputCaptions;
    int inputMaxLength = 0;
};
