#pragma once

#include <QString>
#include <memory>

class FrameSource;

// Where the console finds its settings and start-at-boot entry; tests point them elsewhere.
struct ConsoleOptions
{
    QString settingsPath;
    QString programPath;
    QString autostartDirectory;
    // Demonstration frames; the real screen when none is given.
    std::shared_ptr<FrameSource> frameSource;

    // server.ini beside the program file, the machine-wide autostart directory.
    static ConsoleOptions forThisProgram();
};
