#pragma once

#include <QString>

// Where the running program's file lies, and the files it keeps beside it or in its data folder.
namespace programpath {

// The program file's full path (/proc/self/exe resolved); empty when it cannot be read.
QString programFilePath();

// The directory of the program file, ending in "/".
QString programDirectory();

// "server.ini" in the program's directory.
QString settingsFilePath();

// The teacher's guide: "readme.txt" beside the program, else in the installed data folder
// (../share/velmora from the program's folder); empty when neither exists.
QString readmeFilePath(const QString &programDirectory = programpath::programDirectory());

} // namespace programpath
