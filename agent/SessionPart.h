#pragma once

#include "agent/LoginSessions.h"
#include "agent/SessionFrame.h"

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTimer>

// The display part of the agent in one graphical session: started as the session's user with
// the session's environment, fed frames through its standard input, and started again whenever
// it ends while the session goes on, or leaves a state unanswered (a student may kill or stop
// it, not end it). Its log lines join the service's, marked with the session.
class SessionPart : public QObject
{
    Q_OBJECT

public:
    // command: the program and arguments of a session part.
    SessionPart(const LoginSession &session, const QStringList &command, QObject *parent = nullptr);
    ~SessionPart() override;

    void start();
    // Ends the part for good (the session ends).
    void stop();
    void send(const SessionFrame &frame);
    bool isReady() const { return m_ready; }
    qint64 processId() const { return m_process.processId(); }
    const LoginSession &session() const { return m_session; }
    void setSession(const LoginSession &session) { m_session = session; }
    // The part's screen, as it last said; empty before.
    QSize screenSize() const { return m_screen; }

signals:
    // The part holds its display and waits for the state.
    void ready();
    // A part that held its display ended; it is being started again.
    void restarted(const QString &how);
    // The part could not carry out the action of this command id.
    void answered(quint32 id, bool refused, const QString &reason);
    // A small picture of the part's screen for the console's wall.
    void tile(const QByteArray &jpeg);

private:
    void launch();
    bool setCredentials();
    void onFinished(int code, QProcess::ExitStatus status);
    void retryLater(bool afterReady);
    void onOutput();
    void onErrors();
    QString name() const;

    LoginSession m_session;
    QStringList m_command;
    QProcess m_process;
    QTimer m_retry;
    // Runs from a state sent until the part answers it: a stopped or hung part is ended.
    QTimer m_answer;
    QByteArray m_output;
    QByteArray m_errors;
    QSize m_screen;
    bool m_ready = false;
    bool m_stopped = false;
    bool m_waitLogged = false;
    int m_failures = 0;
};
