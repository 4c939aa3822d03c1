#pragma once

#include "protocol/Chunks.h"

#include <QObject>
#include <QString>

class QIODevice;
class QSocketNotifier;

// One IPv4 datagram socket: sends to a configured host and port, reports each arrival.
class TUDPEndpoint : public QObject
{
    Q_OBJECT

public:
    static constexpr int kBufferSize = chunks::kSize;

    // ReportLevel 1; the socket exists, unbound. Raises UDPSockError when it cannot be made.
    explicit TUDPEndpoint(QObject *parent = nullptr);
    ~TUDPEndpoint() override;

    QString RemoteHost() const { return m_remoteHost; }
    void setRemoteHost(const QString &host);
    int RemotePort() const { return m_remotePort; }
    void setRemotePort(int port) { m_remotePort = port; }
    int LocalPort() const { return m_localPort; }
    // Rebuilds the socket and binds it (also for the same value); a failed bind is silent.
    void setLocalPort(int port);
    int ReportLevel() const { return m_reportLevel; }
    void setReportLevel(int level) { m_reportLevel = level; }
    QString Status() const { return m_status; }
    // The port the socket is bound to, or -1 when the bind failed or none was made.
    int BoundPort() const;
    // Room for datagrams that wait to be read, kept when the socket is rebuilt; the system holds
    // it to its own maximum (net.core.rmem_max). 0 leaves the system's default.
    void setReceiveBuffer(int bytes);

    // Sends bytes 0..length-1 as one datagram to RemoteHost:RemotePort. Raises AppError
    // "Invalid buffer" for length 0, UDPSockError "Host Lookup Canceled" or "Null Remote Address".
    // Nothing else runs before it returns: a host name is looked up on this thread.
    void SendDatagram(const char *Buff, int length);
    // Copies the datagram last read (nothing when its length is -1 or 0).
    void ReadDatagram(char *Buff, int &length) const;
    // Stops every notification and closes the socket; nothing is raised afterwards.
    void Close();

signals:
    // One per datagram read (OnDataReceived): numberBytes is its size, -1 when the read failed or
    // the datagram was longer than the buffer; bytes holds that many (null when there are none)
    // until the next read, as ReadDatagram does. Emitted inside the guard.
    void dataReceived(int numberBytes, const QString &fromIP, const char *bytes, int port);
    // The endpoint's other published events; the console connects none of them. Each is raised
    // inside the call that causes it, so only direct connections see their out-parameters.
    // OnDataSend: after every send handed to the network layer.
    void dataSent();
    // OnStatus: each status text within ReportLevel.
    void statusReported(const QString &status);
    // OnInvalidHost: the remote host's name did not resolve; setting handled looks it up once more.
    void invalidHost(bool &handled);
    // OnBufferInvalid: a send of 0 bytes; setting handled offers other bytes, tried once more.
    void bufferInvalid(bool &handled, const char *&Buff, int &length);
    // OnStreamInvalid: published with the others; no operation of the endpoint raises it.
    void streamInvalid(bool &handled, QIODevice *Stream);

private:
    enum class ReadResult { Nothing, Datagram, Failure };

    int createSocket();
    void checkError(int code);
    void report(const QString &status, int level);
    quint32 resolveRemoteHost();
    void readPending();
    ReadResult readOne();
    void noteSender(quint32 address, quint16 port);

    QString m_remoteHost;
    // The remote host's address while its text is a dotted address, read once until the text
    // changes; a name is looked up anew at every send.
    quint32 m_dottedAddress = 0;
    bool m_dottedHostValid = false;
    int m_remotePort = 0;
    int m_localPort = 0;
    int m_reportLevel = 1;
    int m_receiveBuffer = 0;
    QString m_status;
    int m_handle = -1;
    int m_boundPort = -1;
    QSocketNotifier *m_notifier = nullptr;
    char m_buffer[kBufferSize];
    int m_length = 0;
    QString m_fromIP;
    quint32 m_fromAddress = 0;
    int m_fromPort = 0;
};
