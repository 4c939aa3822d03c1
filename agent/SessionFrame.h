#pragma once

#include "agent/SessionSide.h"

#include <QByteArray>
#include <QSize>
#include <QString>

// One message on the pipe between the service and a session part: a 4-byte big-endian length,
// then a CBOR map. The service writes the display's state and its one-time actions; the part
// says Ready once it holds its display, and again after each state it applied, with its
// screen's size; it answers an action that was refused or failed, and sends the wall's tiles
// while the state asks for them.
struct SessionFrame
{
    enum class Kind { State, Message, Launch, Custom, Ready, Answer, Tile };
    enum class Status { Incomplete, Complete, Invalid };

    Kind kind = Kind::Ready;
    DisplayState state;
    // The message, the custom command line, or the answer's reason.
    QString text;
    // The console's command id of an action, and of its answer.
    quint32 id = 0;
    // An answer: refused (else failed).
    bool refused = false;
    // Ready: the part's screen.
    QSize screen;
    // The message was cut at the bound of what a student takes.
    bool cut = false;
    AgentSettings::Application application = AgentSettings::TextEditor;
    // A tile: the screen's small picture.
    QByteArray jpeg;

    QByteArray encode() const;
    // Takes one frame from the front of buffer. Invalid: the pipe carries no frames any more
    // (too long or not one of ours), and the buffer is left as it was.
    static Status take(QByteArray &buffer, SessionFrame &frame);
};
