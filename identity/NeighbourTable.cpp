#include "identity/NeighbourTable.h"

#include "identity/NetworkInterfaces.h"

#include <QFile>
#include <QList>

namespace neighbours {
namespace {
constexpr char kTable[] = "/proc/net/arp";
// ATF_COM: the entry is complete, its hardware address known.
constexpr uint kComplete = 0x2;
constexpr qsizetype kMacSize = 6;
} // namespace

QByteArray macOf(quint32 address, const QByteArray &table)
{
    const QByteArray wanted = netif::dotted(address).toLatin1();
    for (const QByteArray &line : table.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 4 || fields.at(0) != wanted)
            continue;
        bool ok = false;
        const uint flags = fields.at(2).toUInt(&ok, 16);
        const QByteArray mac = QByteArray::fromHex(fields.at(3));
        if (ok && (flags & kComplete) && mac.size() == kMacSize && mac != QByteArray(kMacSize, 0))
            return mac;
    }
    return {};
}

QByteArray table()
{
    QFile file{QString::fromLatin1(kTable)};
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace neighbours
