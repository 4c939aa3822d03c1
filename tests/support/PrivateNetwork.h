#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The test's own host: its host name (in a UTS namespace of this thread's own) and real
// interfaces in the private network namespace the test runs in. Everything it changed is put
// back when it goes. It refuses to touch the network namespace the machine itself uses.
class PrivateNetwork
{
public:
    // Every link a test makes is named with it.
    static constexpr const char *kLinkPrefix = "vt";

    PrivateNetwork();
    ~PrivateNetwork();
    PrivateNetwork(const PrivateNetwork &) = delete;
    PrivateNetwork &operator=(const PrivateNetwork &) = delete;

    // Empty when the host may be changed here, else why not (the test then skips).
    QString unavailable() const { return m_unavailable; }

    bool setHostName(const QByteArray &name);
    // Lays a hosts file with these lines over /etc/hosts, in a mount namespace of this
    // thread's own (never seen outside it); a second call rewrites it.
    bool setHostsFile(const QByteArray &lines);
    // A veth pair (names with kLinkPrefix), both ends up, the first end holding address/prefix
    // ("10.1.5.20/16"); the second end may hold one too.
    bool addLink(const QString &name, const QString &address, const QString &peer,
                 const QString &peerAddress = {});
    // Runs `ip ARGS...` in this namespace; false when it fails.
    bool ip(const QStringList &arguments);

private:
    QString m_unavailable;
    QByteArray m_originalName;
    QStringList m_links;
    QTemporaryDir m_hostsDirectory;
    bool m_hostsMounted = false;
};
