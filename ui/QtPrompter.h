#pragma once

#include "ui/Prompter.h"

// The real boxes: QMessageBox, QDialog::exec and QInputDialog.
class QtPrompter : public Prompter
{
public:
    void message(const QString &text) override;
    void error(const QString &text) override;
    int execDialog(QDialog &dialog) override;
    std::optional<QString> inputText(const QString &caption, const QString &prompt,
                                     int maxLength) override;
};
