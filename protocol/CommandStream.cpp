#include "protocol/CommandStream.h"

#include "protocol/TextFraming.h"

CommandStream::CommandStream(QObject *parent) : QObject(parent)
{
    m_gap.setSingleShot(true);
    m_gap.setInterval(framing::kQuietGapMs);
    // A coarse timer may fire up to 5 % early, ending a text inside a pause it should span.
    m_gap.setTimerType(Qt::PreciseTimer);
    connect(&m_gap, &QTimer::timeout, this, &CommandStream::onQuiet);
}

void CommandStream::feed(QByteArrayView bytes)
{
    m_gap.start();
    for (const StudentCommand &each : m_parser.feed(bytes)) {
        emit command(each);
    }
}

QList<StudentCommand> CommandStream::end()
{
    m_gap.stop();
    return m_parser.flush();
}

void CommandStream::onQuiet()
{
    for (const StudentCommand &each : m_parser.quiet()) {
        emit command(each);
    }
    emit quiet();
}
