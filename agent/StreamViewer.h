#pragma once

#include "protocol/StreamCanvas.h"
#include "protocol/StreamKey.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QImage>
#include <QObject>
#include <memory>
#include <optional>

class DatagramHub;

// The Velmora stream as a student's viewer takes it: the datagrams of StreamPort a viewer may
// show (StreamDatagram::admits: the demonstration's key, or else the console's address), drawn
// on a canvas as each arrives.
class StreamViewer : public QObject
{
    Q_OBJECT

public:
    explicit StreamViewer(QObject *parent = nullptr);
    ~StreamViewer() override;

    // Listens on port for the console at this address; false (and logged) when it cannot.
    bool start(quint16 port, const QHostAddress &console);
    void stop();
    // The demonstration's key from the console, and whether this agent takes signed datagrams
    // only (it trusts one console's key): with a key, only what it tagged is shown.
    void setKey(const StreamKey &key, bool signedOnly);
    // Whether anything of the stream has been shown since the start.
    bool isShowing() const { return m_showing; }
    const StreamCanvas &canvas() const { return *m_canvas; }
    // The canvas as an image; its pixels are the canvas's own.
    const QImage &image() const { return m_image; }

signals:
    // Something was drawn (or the screen's size changed, or the pointer moved).
    void changed(const QRect &area);
    void pointerMoved(QPoint position);

private:
    void onDatagram(const QByteArray &data, const QHostAddress &sender);

    std::shared_ptr<DatagramHub> m_hub;
    std::unique_ptr<StreamCanvas> m_canvas;
    QImage m_image;
    // The console's IPv4 address, compared as a number: no address is built per datagram.
    std::optional<quint32> m_console;
    StreamKey m_key;
    bool m_signedOnly = false;
    bool m_showing = false;
    QElapsedTimer m_clock;
};
