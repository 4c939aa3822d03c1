#include "PrivateNetwork.h"

#include <QFile>
#include <QProcess>

#include <cerrno>
#include <climits>
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {
constexpr int kIpTimeoutMs = 10000;

// A namespace fresh from isolate.sh has loopback alone; the links a test makes are named
// with this prefix. Anything else means the machine's own network, which is left alone.
bool freshNamespace()
{
    if (qgetenv("VELMORA_IN_NETNS") != "1")
        return false;
    struct if_nameindex *names = if_nameindex();
    if (!names)
        return false;
    bool fresh = true;
    for (const struct if_nameindex *item = names; item->if_index != 0; ++item) {
        const QByteArray name(item->if_name);
        if (name != "lo" && !name.startsWith(PrivateNetwork::kLinkPrefix))
            fresh = false;
    }
    if_freenameindex(names);
    return fresh;
}

QByteArray currentHostName()
{
    char buffer[HOST_NAME_MAX + 1] = {};
    gethostname(buffer, sizeof buffer - 1);
    return QByteArray(buffer);
}

// The UTS namespace is unshared once, for this thread (the one the tests and the console run
// on); the machine's own host name is never changed.
QString enterPrivateUts()
{
    static const QString failure = [] {
        if (unshare(CLONE_NEWUTS) != 0)
            return QStringLiteral("cannot make a private UTS namespace: %1")
                .arg(QString::fromLocal8Bit(strerror(errno)));
        return QString();
    }();
    return failure;
}

// Mounts made after this stay in this thread's own mount namespace: private, so nothing
// propagates back to the machine's.
bool enterPrivateMounts()
{
    static const bool entered = unshare(CLONE_NEWNS) == 0 &&
                                mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return entered;
}
} // namespace

PrivateNetwork::PrivateNetwork()
{
    if (!freshNamespace()) {
        m_unavailable = QStringLiteral("not in a private network namespace (run under isolate.sh)");
        return;
    }
    m_unavailable = enterPrivateUts();
    m_originalName = currentHostName();
}

PrivateNetwork::~PrivateNetwork()
{
    for (const QString &link : std::as_const(m_links))
        ip({QStringLiteral("link"), QStringLiteral("del"), link});
    if (m_hostsMounted)
        umount2("/etc/hosts", MNT_DETACH);
    if (m_unavailable.isEmpty())
        sethostname(m_originalName.constData(), size_t(m_originalName.size()));
}

bool PrivateNetwork::setHostName(const QByteArray &name)
{
    return m_unavailable.isEmpty() && sethostname(name.constData(), size_t(name.size())) == 0;
}

bool PrivateNetwork::setHostsFile(const QByteArray &lines)
{
    const QString path = m_hostsDirectory.filePath(QStringLiteral("hosts"));
    QFile hosts(path);
    if (!m_unavailable.isEmpty() || !hosts.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (hosts.write(lines) != lines.size() || !hosts.flush())
        return false;
    hosts.close();
    if (!m_hostsMounted) {
        if (!enterPrivateMounts())
            return false;
        const QByteArray source = path.toLocal8Bit();
        m_hostsMounted = mount(source.constData(), "/etc/hosts", nullptr, MS_BIND, nullptr) == 0;
    }
    return m_hostsMounted;
}

bool PrivateNetwork::addLink(const QString &name, const QString &address, const QString &peer,
                             const QString &peerAddress)
{
    if (!name.startsWith(QLatin1String(kLinkPrefix)) ||
        !peer.startsWith(QLatin1String(kLinkPrefix)))
        return false;
    if (!ip({"link", "add", name, "type", "veth", "peer", "name", peer}))
        return false;
    m_links.append(name);
    if (!ip({"addr", "add", address, "dev", name}))
        return false;
    if (!peerAddress.isEmpty() && !ip({"addr", "add", peerAddress, "dev", peer}))
        return false;
    return ip({"link", "set", peer, "up"}) && ip({"link", "set", name, "up"});
}

bool PrivateNetwork::ip(const QStringList &arguments)
{
    if (!m_unavailable.isEmpty())
        return false;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral("ip"), arguments);
    return process.waitForFinished(kIpTimeoutMs) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}
