#pragma once

#include <QString>

// Where the running program's file lies, and the settings file beside it.
namespace programpath {

// The program file's full path (/proc/self/exe resolved); empty when it cannot be read.
QString programFilePath();

// The directory of the program file, ending in "/".
QString programDirectory();

// "server.ini" in the program's directory.
QString settingsFilePath();

} // namespace programpath
