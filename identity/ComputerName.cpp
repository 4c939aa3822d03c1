#include "identity/ComputerName.h"

#include <climits>
#include <unistd.h>

namespace computername {
namespace {
// The 16-byte buffer of the Windows call leaves 15 bytes for the name, as NetBIOS names do.
constexpr qsizetype kMaxNameBytes = 15;
} // namespace

QString shortName(const QByteArray &hostName)
{
    QByteArray name = hostName;
    const qsizetype dot = name.indexOf('.');
    if (dot >= 0)
        name.truncate(dot);
    return QString::fromLocal8Bit(name.left(kMaxNameBytes));
}

QString computerName()
{
    char buffer[HOST_NAME_MAX + 1] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0)
        return {};
    return shortName(QByteArray(buffer));
}

} // namespace computername
