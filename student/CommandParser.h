#pragma once

#include "StudentCommand.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// Splits the console's unframed command stream into commands, across and within reads.
//
// Rules, applied at the start of the pending bytes until nothing more can be decided:
// - a fixed text ("01".."08", "BLACKSCREEN", "UNBLACKSCREEN", "SCREEN", "NOTSCREEN", "IMAGE",
//   "STOP") present whole is one command; texts are tried longest first;
// - pending bytes that are only a proper prefix of a fixed text wait for the next read;
// - "2" starts a message and "00" a custom command; either takes every byte available after
//   its prefix, since the stream has no terminator. A bare "2" or "00" waits for its text;
// - anything else is Unknown: the first byte and every following byte up to the next one that
//   can start a text ('0', '2', 'B', 'I', 'N', 'S', 'U') make one Unknown command, so a run of
//   junk is one report and a real text right after it is still found.
// flush() ends the stream: waiting bytes become their command (a bare prefix: Unknown,
// a bare "2"/"00": an empty message/custom command).
class CommandParser
{
public:
    QList<StudentCommand> feed(QByteArrayView bytes);
    QList<StudentCommand> flush();
    QByteArray pending() const { return m_pending; }

private:
    // Consumes one command from m_pending; false when the bytes must wait for more.
    bool takeOne(QList<StudentCommand> &out);
    void takeUnknown(QList<StudentCommand> &out);

    QByteArray m_pending;
};
