#pragma once

#include <QObject>

#include "net/TServerWinSocket.h"

// The command server component: a port, an Active switch and the server's three events.
class TServerSocket : public QObject
{
    Q_OBJECT

public:
    explicit TServerSocket(QObject *parent = nullptr);

    int Port() const { return m_port; }
    void setPort(int port) { m_port = port; }
    bool Active() const { return m_socket->IsOpen(); }
    // Opening raises the failures of TServerWinSocket::Open to the caller.
    void setActive(bool active);
    TServerWinSocket *Socket() const { return m_socket; }

private:
    int m_port = 0;
    TServerWinSocket *m_socket;
};
