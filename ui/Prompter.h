#pragma once

#include <QString>
#include <optional>

class QDialog;

// Every modal box and dialog the console opens goes through here, so tests can answer them.
class Prompter
{
public:
    virtual ~Prompter() = default;

    // An operator message: application title, one OK button, centred on the screen.
    virtual void message(const QString &text) = 0;
    // The error box: stop icon, OK, application title.
    virtual void error(const QString &text) = 0;
    // Runs a dialog modally and returns its result.
    virtual int execDialog(QDialog &dialog) = 0;
    // A small input box: the text as typed after OK (maybe empty), nothing after Cancel.
    virtual std::optional<QString> inputText(const QString &caption, const QString &prompt,
                                             int maxLength) = 0;

    // The prompter in force: the Qt one unless a test installed its own.
    static Prompter &current();
    // Installs a prompter (not owned); nullptr restores the Qt one.
    static void install(Prompter *prompter);
};
