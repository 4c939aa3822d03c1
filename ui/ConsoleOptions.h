#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class FrameSource;

// Where the console finds its settings, start-at-boot entry and guide; tests point them elsewhere.
// The later members have defaults, so callers that name only the first four still build.
struct ConsoleOptions
{
    // Read last, over settingsDefaults, and the one file the settings dialog writes.
    QString settingsPath;
    QString programPath;
    // Where start at boot is written.
    QString autostartDirectory;
    // Demonstration frames; the real screen when none is given.
    std::shared_ptr<FrameSource> frameSource;
    // Read before settingsPath: the administrator's defaults of an installed copy.
    QStringList settingsDefaults = {};
    // A machine-wide entry that starts the console unless the user's own entry hides it;
    // empty when autostartDirectory is the machine-wide one.
    QString autostartSystemDirectory = {};
    // The teacher's guide opened by Help; empty when none was found.
    QString readmePath = {};
    // The console's own files (its key, the computers it has seen); empty: none are kept and
    // the trusted channel stays closed.
    QString dataFolder = {};
    // Where an admin's key pair wins over the console's own.
    QString adminKeyFolder = {};

    // The settings location of this copy (portable or installed), start at boot machine-wide
    // for root and per user otherwise, the guide beside the program or in its data folder.
    static ConsoleOptions forThisProgram();
};
