#pragma once

#include <QByteArray>
#include <QTemporaryDir>
#include <memory>

#include "ui/ConsoleOptions.h"

class FrameSource;

// A benchmark console's settings: every port chosen by the system, in a folder of its own that
// goes with this object.
class BenchSettings
{
public:
    // extraLines are added to section SysInfo ("ImageSpeed=50\n").
    explicit BenchSettings(const QByteArray &extraLines = {});

    // The console's options; frames from the real screen when frameSource is null.
    ConsoleOptions options(std::shared_ptr<FrameSource> frameSource = nullptr) const;

private:
    QTemporaryDir m_dir;
    QString m_iniPath;
};
