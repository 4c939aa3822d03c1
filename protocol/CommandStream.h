#pragma once

#include "protocol/CommandParser.h"

#include <QObject>
#include <QTimer>

// The console's command stream as it arrives: the parser, and the clock that ends a message or
// custom command once no byte has come for framing::kQuietGapMs.
class CommandStream : public QObject
{
    Q_OBJECT

public:
    explicit CommandStream(QObject *parent = nullptr);

    // Bytes as read; the commands they complete are emitted before it returns.
    void feed(QByteArrayView bytes);
    // The connection ended: what was waiting, for the caller to judge; the next starts afresh.
    QList<StudentCommand> end();
    // Bytes discarded after cut texts, over every connection.
    qint64 discarded() const { return m_parser.discarded(); }

signals:
    void command(const StudentCommand &command);
    // The stream fell quiet, after the command that this ended, if any.
    void quiet();

private:
    void onQuiet();

    CommandParser m_parser;
    QTimer m_gap;
};
