#include "classroom/KnownComputers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
constexpr qsizetype kMacSize = 6;
constexpr char kSeparator = '\t';
} // namespace

KnownComputers::KnownComputers(QString path) : m_path(std::move(path))
{
    QFile file(m_path);
    if (m_path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    while (!file.atEnd() && m_computers.size() < kMaxComputers) {
        const QList<QByteArray> fields = file.readLine().trimmed().split(kSeparator);
        const QByteArray mac = QByteArray::fromHex(fields.value(0));
        if (isComputerMac(mac) && fields.value(0).size() == 3 * kMacSize - 1)
            m_computers.append(
                {mac, QString::fromUtf8(fields.value(1)), QString::fromUtf8(fields.value(2))});
    }
}

bool KnownComputers::isComputerMac(const QByteArray &mac)
{
    return mac.size() == kMacSize && mac != QByteArray(kMacSize, 0) && (mac.at(0) & 0x01) == 0;
}

bool KnownComputers::remember(const QByteArray &mac, const QString &address, const QString &name)
{
    if (!isComputerMac(mac))
        return false;
    const Computer seen{mac, address, name};
    for (qsizetype i = 0; i < m_computers.size(); ++i) {
        const Computer &known = m_computers.at(i);
        if (known.mac != mac)
            continue;
        if (i == m_computers.size() - 1 && known.address == address && known.name == name)
            return false;
        m_computers.removeAt(i);
        break;
    }
    m_computers.append(seen);
    if (m_computers.size() > kMaxComputers)
        m_computers.removeFirst();
    return true;
}

bool KnownComputers::save() const
{
    if (m_path.isEmpty())
        return true;
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
        return false;
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const Computer &computer : m_computers) {
        // Names and addresses come from the network: nothing in them may start another field.
        QString name = computer.name;
        name.replace(QLatin1Char(kSeparator), QLatin1Char(' '));
        name.replace(QLatin1Char('\n'), QLatin1Char(' '));
        name.replace(QLatin1Char('\r'), QLatin1Char(' '));
        file.write(computer.mac.toHex(':') + kSeparator + computer.address.toUtf8() + kSeparator +
                   name.toUtf8() + '\n');
    }
    return file.commit();
}
