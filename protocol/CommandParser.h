#pragma once

#include "protocol/StudentCommand.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// Splits the console's unframed command stream into commands, across and within reads.
//
// Rules, applied at the start of the pending bytes until nothing more can be decided:
// - a fixed text ("01".."08", "BLACKSCREEN", "UNBLACKSCREEN", "SCREEN", "NOTSCREEN", "IMAGE",
//   "STOP") present whole is one command; texts are tried longest first;
// - pending bytes that are only a proper prefix of a fixed text wait for the next read;
// - "2" opens a message and "00" a custom command. Every later byte belongs to that text until
//   quiet() says the stream fell quiet (framing::kQuietGapMs), however the reads cut it. A text
//   that goes past framing::kTextBound is handed out at once, cut at the bound, and every byte
//   after it up to the next quiet() is discarded, never parsed;
// - anything else is Unknown: the first byte and every following byte up to the next one that
//   can start a text ('0', '2', 'B', 'I', 'N', 'S', 'U') make one Unknown command, so a run of
//   junk is one report and a real text right after it is still found.
// flush() ends the stream: waiting bytes become their command (a bare prefix: Unknown; an
// open text: its message or custom command).
//
// Each byte is looked at a bounded number of times, so junk costs time in proportion to its size.
class CommandParser
{
public:
    QList<StudentCommand> feed(QByteArrayView bytes);
    QList<StudentCommand> quiet();
    QList<StudentCommand> flush();
    QByteArray pending() const { return m_pending; }
    // Bytes discarded after cut texts since the parser was made (flush() keeps the count).
    qint64 discarded() const { return m_discarded; }

private:
    enum class State {
        Commands,
        Text,
        Discarding,
    };

    // Consumes one command from the front of bytes; 0 when they must wait for more.
    qsizetype takeCommand(QByteArrayView bytes, QList<StudentCommand> &out);
    // Adds bytes to the open text up to the bound; returns how many it took.
    qsizetype takeText(QByteArrayView bytes, QList<StudentCommand> &out);
    void openText(StudentCommand::Kind kind);
    StudentCommand closeText(bool cut);

    State m_state = State::Commands;
    QByteArray m_pending;
    StudentCommand::Kind m_textKind = StudentCommand::Kind::Message;
    QByteArray m_text;
    qint64 m_discarded = 0;
};
