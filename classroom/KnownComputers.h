#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The student computers the console has seen, kept in a file of its data folder so that they
// can be switched on another day: one line each, its MAC address, its last IPv4 address and
// name. The most recently seen stand last; past the bound the oldest are forgotten, so a host
// that makes up addresses cannot grow the file without end.
class KnownComputers
{
public:
    static constexpr int kMaxComputers = 1024;

    struct Computer
    {
        QByteArray mac;
        QString address;
        QString name;
    };

    // Reads path; a missing file (or no path) is an empty list, lines that are no computer are
    // skipped.
    explicit KnownComputers(QString path);

    // Seen now; true when the list changed. A MAC that cannot be a computer's (not 6 bytes,
    // all zero, a group address) is not kept.
    bool remember(const QByteArray &mac, const QString &address, const QString &name);
    const QList<Computer> &computers() const { return m_computers; }
    // Writes the file (through a temporary one); false when it cannot be written. Without a
    // path nothing is kept, and nothing fails.
    bool save() const;

    static bool isComputerMac(const QByteArray &mac);

private:
    QString m_path;
    QList<Computer> m_computers;
};
