#pragma once

#include <QString>

// Where the running program's file lies, and the files it keeps beside it or in its data folder.
namespace programpath {

// The program file's full path (/proc/self/exe resolved); empty when it cannot be read.
QString programFilePath();

// The kernel names a file from the system's root when the mount it lies on is out of this
// process's view (a chroot entered through another mount of the same tree): the name then
// carries the chroot's own folder in front ("/srv/merged/root/..."), which does not exist here.
// The longest tail of kernelPath that names file itself is the name in this view; kernelPath
// unchanged when none does.
QString pathInThisView(const QString &kernelPath, const QString &file);

// The directory of the program file, ending in "/".
QString programDirectory();

// The teacher's guide: "readme.txt" beside the program, else in the installed data folder
// (../share/velmora from the program's folder); empty when neither exists.
QString readmeFilePath(const QString &programDirectory = programpath::programDirectory());

} // namespace programpath
