#include "agent/StreamViewer.h"

#include "net/DatagramHub.h"
#include "system/Guard.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtDebug>

namespace {

// A teacher's 4K screen, or the student's own if larger: never more, whatever a datagram says.
constexpr qsizetype kMaxPixels = 3840 * 2160;
// Room for a whole frame of the stream arriving while a piece is drawn.
constexpr int kReceiveBuffer = 4 * 1024 * 1024;

qsizetype maxPixels()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize own = screen ? screen->size() * screen->devicePixelRatio() : QSize();
    return std::max(kMaxPixels, qsizetype(own.width()) * own.height());
}

} // namespace

StreamViewer::StreamViewer(QObject *parent) : QObject(parent) {}

StreamViewer::~StreamViewer() = default;

bool StreamViewer::start(quint16 port, const QHostAddress &console)
{
    stop();
    QString error;
    m_hub = DatagramHub::acquire(port, &error);
    if (!m_hub) {
        qWarning().noquote() << "cannot listen on UDP port" << port << error
                             << "for the Velmora stream; the older stream is shown";
        return false;
    }
    m_hub->setReceiveBuffer(kReceiveBuffer);
    connect(m_hub.get(), &DatagramHub::datagramReceived, this, &StreamViewer::onDatagram);
    m_console = console.protocol() == QAbstractSocket::IPv4Protocol
                    ? std::optional<quint32>(console.toIPv4Address())
                    : std::nullopt;
    m_canvas = std::make_unique<StreamCanvas>(maxPixels());
    m_clock.start();
    return true;
}

void StreamViewer::stop()
{
    if (m_hub)
        m_hub->disconnect(this);
    m_hub.reset();
    m_canvas.reset();
    m_image = QImage();
    m_showing = false;
}

void StreamViewer::setKey(const StreamKey &key, bool signedOnly)
{
    m_key = key;
    m_signedOnly = signedOnly;
}

void StreamViewer::onDatagram(const QByteArray &data, const QHostAddress &sender)
{
    const bool fromConsole = m_console && sender.toIPv4Address() == *m_console;
    if (!m_canvas || !StreamDatagram::admits(data, m_key, m_signedOnly, fromConsole))
        return;
    guard::run([&] {
        const StreamCanvas::Change change = m_canvas->apply(data, m_clock.elapsed());
        if (change.resized)
            m_image = QImage(reinterpret_cast<const uchar *>(m_canvas->pixels()), m_canvas->width(),
                             m_canvas->height(), m_canvas->width() * 4, QImage::Format_RGB32);
        // Shown from the first piece drawn, with the pointer if it came before.
        const bool first = !m_showing && !change.area.isEmpty();
        m_showing = m_showing || first;
        if (m_showing && (!change.area.isEmpty() || change.resized))
            emit changed(change.resized || first ? m_image.rect() : change.area);
        if (m_showing && (change.pointer || first) && m_canvas->pointer())
            emit pointerMoved(*m_canvas->pointer());
    });
}
