#include "system/ProgramPath.h"

#include "VelmoraVersion.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace programpath {
namespace {
constexpr char kSelfLink[] = "/proc/self/exe";
constexpr char kReadmeFileName[] = "readme.txt";

bool sameFile(const QString &path, const struct stat &file)
{
    struct stat other;
    return ::stat(QFile::encodeName(path).constData(), &other) == 0 &&
           other.st_dev == file.st_dev && other.st_ino == file.st_ino;
}
} // namespace

QString pathInThisView(const QString &kernelPath, const QString &file)
{
    struct stat running;
    if (::stat(QFile::encodeName(file).constData(), &running) != 0)
        return kernelPath;
    for (qsizetype from = 0; from >= 0; from = kernelPath.indexOf(u'/', from + 1)) {
        const QString tail = kernelPath.mid(from);
        if (sameFile(tail, running))
            return tail;
    }
    return kernelPath;
}

QString programFilePath()
{
    return pathInThisView(QFileInfo(QLatin1String(kSelfLink)).symLinkTarget(),
                          QLatin1String(kSelfLink));
}

QString programDirectory()
{
    const QString file = programFilePath();
    return file.left(file.lastIndexOf(u'/') + 1);
}

QString readmeFilePath(const QString &programDirectory)
{
    const QDir folder(programDirectory);
    for (const QString &candidate :
         {folder.filePath(QLatin1String(kReadmeFileName)),
          QDir::cleanPath(folder.filePath(QLatin1String(velmora_build::kBinToData)) +
                          QLatin1Char('/') + QLatin1String(kReadmeFileName))}) {
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return QString();
}

} // namespace programpath
