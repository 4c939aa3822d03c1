#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <functional>

#include "classroom/TileFeed.h"
#include "protocol/FrameAssembler.h"

class ScreenRequests;

// The wall's pictures of students reached over the command port: asked with "SCREEN" while
// shown, their screens come as datagrams to the mouse port, rebuilt per sender address. Only
// the addresses of students the wall shows are taken, anything else is dropped unread; each
// sender's frame is bounded like the monitored one and must begin as a JPEG file does.
class DatagramTileFeed : public TileFeed
{
    Q_OBJECT

public:
    // isOwnAddress as for monitoring: this computer's own datagrams are never a student's.
    DatagramTileFeed(ScreenRequests &requests, std::function<bool(const QString &)> isOwnAddress,
                     QObject *parent = nullptr);

    // Every student with a row can be asked on its command connection.
    bool serves(quint64 key) const override;
    void start(quint64 key) override;
    void stop(quint64 key) override;

    // The datagram event of the mouse port (bytes null when the read failed, numberBytes -1).
    void datagramReceived(int numberBytes, const QString &fromIP, const char *bytes);

    // Bytes of frames being rebuilt, all senders together.
    qsizetype pendingBytes() const;

private:
    struct Sender
    {
        FrameAssembler frames{FrameAssembler::Mode::Viewing};
        // Rows of one computer share its address, and its pictures.
        QList<quint64> keys;
    };

    ScreenRequests &m_requests;
    std::function<bool(const QString &)> m_isOwnAddress;
    QHash<QString, Sender> m_senders;
    QHash<quint64, QString> m_addressOf;
};
