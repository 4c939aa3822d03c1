#pragma once

#include <QDialog>

#include "ui/ConsoleOptions.h"

struct ConsoleSettings;

// The settings dialog: ports, demonstration quality and start at boot.
class Tfrm_setup : public QDialog
{
    Q_OBJECT

public:
    Tfrm_setup(ConsoleSettings &settings, const ConsoleOptions &options, QWidget *parent = nullptr);

private:
    ConsoleSettings &m_settings;
    ConsoleOptions m_options;
};
