#pragma once

#include <QByteArray>
#include <QObject>
#include <functional>

#include "platform/JpegDecoder.h"

class CommandChannel;

// Rebuilds the screens students send to the mouse port and keeps track of which student is
// being watched. A datagram shorter than 2048 bytes ends a frame, which is then decoded.
class Monitoring : public QObject
{
    Q_OBJECT

public:
    static constexpr int kChunkSize = 2048;
    // A sender that never ends its frame cannot take more than this; the frame starts afresh.
    static constexpr qsizetype kStreamLimit = 16 * 1024 * 1024;

    // isOwnAddress is asked at every datagram, so it must be cheap: datagrams from this
    // computer are ignored.
    Monitoring(const CommandChannel &channel, std::function<bool(const QString &)> isOwnAddress,
               QObject *parent = nullptr);

    // The datagram event of the mouse port: bytes holds NumberBytes of data (nothing when the
    // endpoint's read failed and the count is negative).
    void datagramReceived(int numberBytes, const QString &fromIP, const char *bytes);

    int MonitorIndex() const { return m_monitorIndex; }
    void setMonitorIndex(int index) { m_monitorIndex = index; }
    // Asks the student of MonitorIndex to stop, or to start, sending.
    void sendNotScreen() const;
    void sendScreen() const;
    void clearStream() { m_stream.clear(); }
    qsizetype streamSize() const { return m_stream.size(); }
    const JpegDecoder::Image &picture() const { return m_decoder.image(); }

signals:
    // A frame decoded; picture() holds it.
    void pictureChanged();

private:
    void frameComplete();

    const CommandChannel &m_channel;
    std::function<bool(const QString &)> m_isOwnAddress;
    QByteArray m_stream;
    JpegDecoder m_decoder;
    int m_monitorIndex = 0;
};
