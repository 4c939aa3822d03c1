#include "net/TServerSocket.h"

TServerSocket::TServerSocket(QObject *parent)
    : QObject(parent), m_socket(new TServerWinSocket(this))
{
}

void TServerSocket::setActive(bool active)
{
    if (active == Active())
        return;
    if (active)
        m_socket->Open(m_port);
    else
        m_socket->Close();
}
