#include "agent/SessionPipe.h"

#include "agent/SessionFrame.h"
#include "system/Guard.h"

#include <QtDebug>
#include <cerrno>
#include <unistd.h>

namespace {

constexpr qsizetype kReadSize = 64 * 1024;

} // namespace

SessionPipe::SessionPipe(int input, int output, SessionSide &side, QObject *parent)
    : QObject(parent), m_input(input), m_output(output), m_side(side),
      m_notifier(input, QSocketNotifier::Read)
{
    connect(&m_notifier, &QSocketNotifier::activated, this, &SessionPipe::onReadable);
    m_side.setAnswer([this](quint32 id, bool refused, const QString &reason) {
        SessionFrame answer;
        answer.kind = SessionFrame::Kind::Answer;
        answer.id = id;
        answer.refused = refused;
        answer.text = reason;
        write(answer);
    });
    m_side.setTileSink([this](const QByteArray &jpeg) {
        SessionFrame tile;
        tile.kind = SessionFrame::Kind::Tile;
        tile.jpeg = jpeg;
        write(tile);
    });
}

void SessionPipe::sendReady()
{
    SessionFrame ready;
    ready.kind = SessionFrame::Kind::Ready;
    ready.screen = m_side.screenSize();
    write(ready);
}

void SessionPipe::write(const SessionFrame &frame)
{
    const QByteArray bytes = frame.encode();
    if (::write(m_output, bytes.constData(), size_t(bytes.size())) != bytes.size()) {
        qWarning("cannot write to the service");
    }
}

void SessionPipe::onReadable()
{
    char chunk[kReadSize];
    const ssize_t count = ::read(m_input, chunk, sizeof chunk);
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) {
        return;
    }
    if (count <= 0) {
        m_notifier.setEnabled(false);
        emit ended();
        return;
    }
    m_buffer.append(chunk, count);
    guard::run([&] {
        SessionFrame frame;
        SessionFrame::Status status;
        while ((status = SessionFrame::take(m_buffer, frame)) == SessionFrame::Status::Complete) {
            switch (frame.kind) {
            case SessionFrame::Kind::State:
                m_side.apply(frame.state);
                // The service hears the part is alive and not stopped.
                sendReady();
                break;
            case SessionFrame::Kind::Message:
                m_side.showMessage(frame.text, frame.cut, frame.id);
                break;
            case SessionFrame::Kind::Launch:
                m_side.launch(frame.application, frame.id);
                break;
            case SessionFrame::Kind::Custom:
                m_side.runCustom(frame.text, frame.id);
                break;
            case SessionFrame::Kind::Ready:
            case SessionFrame::Kind::Answer:
            case SessionFrame::Kind::Tile:
                break;
            }
        }
        if (status == SessionFrame::Status::Invalid) {
            qWarning("the service's pipe carries something that is not a frame");
            m_notifier.setEnabled(false);
            emit ended();
        }
    });
}
