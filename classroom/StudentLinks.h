#pragma once

#include <QByteArray>
#include <QtGlobal>

// One way the console reaches students: the plaintext command connections, or the trusted
// channel. Every roster row's key belongs to exactly one way; a command text is the same bytes
// whichever way carries it.
class StudentLinks
{
public:
    virtual ~StudentLinks() = default;

    // Writes the command text to the student of key; false when this way holds no open link of
    // that key.
    virtual bool sendText(quint64 key, const QByteArray &text) = 0;
    // The text once to every open link of this way, in order of arrival; how many it went to.
    virtual int sendTextToAll(const QByteArray &text) = 0;
    // The links are about to close: anything held back goes out now.
    virtual void sendHeldNow() {}
};
