#pragma once

#include "agent/AgentSettings.h"
#include "protocol/StreamKey.h"

#include <QHostAddress>
#include <QSize>
#include <QString>
#include <functional>

// What the console has put on the student's display: kept by whoever holds the console
// connection and applied whole, so a display part that starts again shows it as it was.
struct DisplayState
{
    bool blackout = false;
    bool demonstrating = false;
    bool sendingScreen = false;
    // The console (whose datagrams alone are shown, and to whom the screen goes) and our own
    // address on the connection (the screen's source).
    QHostAddress console;
    QHostAddress local;
    // The console is reached through the trusted channel: only the signed stream may be shown,
    // never the older plaintext demonstration, which any host can forge.
    bool signedOnly = false;
    // The current demonstration's key from the channel (invalid outside one): the Velmora
    // stream's datagrams are shown only when their tag verifies with it.
    StreamKey demoKey;
    // Where the console's Velmora stream comes, shown in place of the older stream once it does;
    // 0: the older stream alone. The console's welcome names it on the channel, student.ini
    // otherwise.
    quint16 streamPort = 0;
    // The screen wall's tile size the console asked for over the channel; empty while it wants
    // no tiles.
    QSize wallTile;

    bool operator==(const DisplayState &other) const = default;
};

// The part of the agent that needs the student's display and user: the windows, the screen,
// the programs and custom commands. In one process with the connection, or in each graphical
// session apart from the service that holds it.
//
// A one-time action carries the console's command id (0 for the plaintext port, which hears
// nothing back); one that is refused or fails is answered through the answer given.
class SessionSide
{
public:
    // The command id, refused (not allowed here) or failed (tried, did not work), and why.
    using Answer = std::function<void(quint32 id, bool refused, const QString &reason)>;
    // A small picture of the screen for the console's wall.
    using TileSink = std::function<void(const QByteArray &jpeg)>;

    virtual ~SessionSide() = default;
    virtual void apply(const DisplayState &state) = 0;
    // cut: the console sent more than a student takes; the window says so.
    virtual void showMessage(const QString &text, bool cut, quint32 id) = 0;
    virtual void launch(AgentSettings::Application application, quint32 id) = 0;
    virtual void runCustom(const QString &commandLine, quint32 id) = 0;
    // Who is logged in at the display in front, and its screen's size in pixels, as far as known.
    virtual QString user() const = 0;
    virtual QSize screenSize() const = 0;

    void setAnswer(Answer answer) { m_answer = std::move(answer); }
    void setTileSink(TileSink sink) { m_tileSink = std::move(sink); }

protected:
    void answer(quint32 id, bool refused, const QString &reason) const;
    void sendTile(const QByteArray &jpeg) const;

private:
    Answer m_answer;
    TileSink m_tileSink;
};
