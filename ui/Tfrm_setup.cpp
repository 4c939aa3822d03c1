#include "ui/Tfrm_setup.h"

#include "app/ConsoleSettings.h"

Tfrm_setup::Tfrm_setup(ConsoleSettings &settings, const ConsoleOptions &options, QWidget *parent)
    : QDialog(parent), m_settings(settings), m_options(options)
{
    setObjectName(QStringLiteral("frm_setup"));
    setWindowTitle(QString::fromUtf8("设置"));
}
