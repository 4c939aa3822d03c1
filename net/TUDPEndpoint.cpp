#include "net/TUDPEndpoint.h"

#include "net/SocketOptions.h"
#include "net/UDPSockError.h"
#include "system/Guard.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QPointer>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Datagrams read per readiness notification: enough to keep up with a flood of monitoring chunks
// while timers and the window still get their turn between batches.
constexpr int kReadBatch = 64;

constexpr int kLevelSending = 2;
constexpr int kLevelInitializing = 8;
constexpr int kLevelLookingUp = 8;
constexpr int kLevelChecking = 16;

// A handler of a failed lookup may have it tried once more.
constexpr int kLookupAttempts = 2;

quint16 lowPort(int port)
{
    return static_cast<quint16>(port & 0xFFFF);
}

// The first IPv4 address of a lookup result, in network byte order.
bool firstIPv4(const QHostInfo &info, quint32 &address)
{
    if (info.error() != QHostInfo::NoError)
        return false;
    for (const QHostAddress &candidate : info.addresses()) {
        if (candidate.protocol() == QAbstractSocket::IPv4Protocol) {
            address = htonl(candidate.toIPv4Address());
            return true;
        }
    }
    return false;
}

} // namespace

TUDPEndpoint::TUDPEndpoint(QObject *parent) : QObject(parent)
{
    std::memset(m_buffer, 0, sizeof m_buffer);
    report(QStringLiteral("Initializing Winsock"), kLevelInitializing);
    m_handle = createSocket();
}

TUDPEndpoint::~TUDPEndpoint()
{
    Close();
}

void TUDPEndpoint::setLocalPort(int port)
{
    Close();
    m_handle = createSocket();
    m_localPort = port;
    m_boundPort = -1;

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(lowPort(port));
    // A port already in use is not reported: the socket still sends, from a port the system
    // picks at the first send, and simply receives nothing.
    if (::bind(m_handle, reinterpret_cast<const sockaddr *>(&local), sizeof local) == 0) {
        sockaddr_in bound{};
        socklen_t size = sizeof bound;
        if (::getsockname(m_handle, reinterpret_cast<sockaddr *>(&bound), &size) == 0)
            m_boundPort = ntohs(bound.sin_port);
    }

    m_notifier = new QSocketNotifier(m_handle, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TUDPEndpoint::readPending);
}

int TUDPEndpoint::BoundPort() const
{
    return m_boundPort;
}

void TUDPEndpoint::setReceiveBuffer(int bytes)
{
    m_receiveBuffer = bytes;
    if (m_handle >= 0 && bytes > 0)
        SocketOptions::setReceiveBuffer(m_handle, bytes);
}

void TUDPEndpoint::SendDatagram(const char *Buff, int length)
{
    if (length == 0) {
        bool handled = false;
        emit bufferInvalid(handled, Buff, length);
        if (!handled || length == 0)
            throw AppError(QStringLiteral("Invalid buffer"));
    }

    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(lowPort(m_remotePort));
    remote.sin_addr.s_addr = resolveRemoteHost();
    if (remote.sin_addr.s_addr == htonl(INADDR_ANY))
        throw UDPSockError(QStringLiteral("Null Remote Address"));

    report(QStringLiteral("Sending Data"), kLevelSending);
    // A refused or dropped datagram is lost without a word, as on any datagram network; a
    // negative length names no bytes at all.
    if (length > 0)
        ::sendto(m_handle, Buff, static_cast<size_t>(length), 0,
                 reinterpret_cast<const sockaddr *>(&remote), sizeof remote);
    emit dataSent();
}

void TUDPEndpoint::ReadDatagram(char *Buff, int &length) const
{
    if (m_length > 0)
        std::memcpy(Buff, m_buffer, static_cast<size_t>(m_length));
    length = m_length;
}

void TUDPEndpoint::Close()
{
    if (m_notifier) {
        // The notifier may be the one whose signal is running now; it goes once that returns.
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    if (m_handle >= 0) {
        ::close(m_handle);
        m_handle = -1;
    }
    m_boundPort = -1;
}

int TUDPEndpoint::createSocket()
{
    const int handle = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (handle < 0) {
        checkError(errno);
        return -1;
    }
    // The console's destination is the subnet broadcast address.
    const int on = 1;
    ::setsockopt(handle, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    if (m_receiveBuffer > 0)
        SocketOptions::setReceiveBuffer(handle, m_receiveBuffer);
    return handle;
}

void TUDPEndpoint::checkError(int code)
{
    report(QStringLiteral("Checking Error In Error Manager"), kLevelChecking);
    if (code == EWOULDBLOCK || code == EAGAIN)
        return;
    const QString text = QStringLiteral("Unknown Error No. ") + QString::number(code);
    report(QStringLiteral("Looking Up Error Message") + text, kLevelLookingUp);
    throw UDPSockError(text);
}

void TUDPEndpoint::report(const QString &status, int level)
{
    if (level > m_reportLevel)
        return;
    m_status = status;
    emit statusReported(status);
}

void TUDPEndpoint::setRemoteHost(const QString &host)
{
    m_remoteHost = host;
    m_dottedHostValid = false;
}

quint32 TUDPEndpoint::resolveRemoteHost()
{
    // A dotted address reads the same at every send; the demonstration sends twice every 10 ms.
    if (m_dottedHostValid)
        return m_dottedAddress;
    const QString host = m_remoteHost;
    in_addr dotted{};
    // inet_aton's reading of dotted notation: "127.1" and "0x7f.0.0.1" count as addresses too.
    if (::inet_aton(host.toLatin1().constData(), &dotted) != 0) {
        m_dottedAddress = dotted.s_addr;
        m_dottedHostValid = true;
        return dotted.s_addr;
    }

    // The console's remote host is always a dotted address. A name is looked up here, waiting on
    // the name service: a loop run meanwhile would let any handler in, this endpoint's end or
    // another send on it included.
    quint32 address = 0;
    for (int attempt = 1; attempt <= kLookupAttempts; ++attempt) {
        if (firstIPv4(QHostInfo::fromName(host), address))
            return address;
        bool handled = false;
        emit invalidHost(handled);
        if (!handled)
            break;
    }
    throw UDPSockError(QStringLiteral("Host Lookup Canceled"));
}

void TUDPEndpoint::readPending()
{
    const QPointer<TUDPEndpoint> self(this);
    for (int count = 0; count < kReadBatch && self && m_handle >= 0; ++count) {
        const ReadResult result = readOne();
        if (result == ReadResult::Nothing)
            return;
        guard::run([this] {
            emit dataReceived(m_length, m_fromIP, m_length > 0 ? m_buffer : nullptr, m_fromPort);
        });
        // A failing socket would fail again at once; its next notification says when to retry.
        if (result == ReadResult::Failure)
            return;
    }
}

TUDPEndpoint::ReadResult TUDPEndpoint::readOne()
{
    sockaddr_in from{};
    socklen_t size = sizeof from;
    // MSG_TRUNC makes the call return the datagram's real size, so a longer one is noticed
    // instead of arriving cut to the buffer.
    const ssize_t read = ::recvfrom(m_handle, m_buffer, sizeof m_buffer, MSG_TRUNC,
                                    reinterpret_cast<sockaddr *>(&from), &size);
    if (read < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return ReadResult::Nothing;
    m_length = (read < 0 || read > kBufferSize) ? -1 : static_cast<int>(read);
    noteSender(from.sin_addr.s_addr, ntohs(from.sin_port));
    return read < 0 ? ReadResult::Failure : ReadResult::Datagram;
}

void TUDPEndpoint::noteSender(quint32 address, quint16 port)
{
    m_fromPort = port;
    // The text is remade only when the sender changes, so a steady stream costs no allocation.
    if (m_fromIP.isEmpty() || address != m_fromAddress) {
        m_fromAddress = address;
        const auto *bytes = reinterpret_cast<const unsigned char *>(&address);
        m_fromIP = QString::asprintf("%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
    }
}
