#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>

class SessionSide;
struct SessionFrame;

// The session part's end of the service's pipe: frames read from a descriptor (standard input)
// are carried out on the session side; Ready, the side's answers and its wall tiles are written
// to another (standard output). The service is the pipe's only other end: when it closes, the part
// has nothing left to do.
class SessionPipe : public QObject
{
    Q_OBJECT

public:
    SessionPipe(int input, int output, SessionSide &side, QObject *parent = nullptr);

    // Tells the service this part holds its display.
    void sendReady();

signals:
    // The service closed the pipe or wrote something that is not ours.
    void ended();

private:
    void onReadable();
    void write(const SessionFrame &frame);

    int m_input;
    int m_output;
    SessionSide &m_side;
    QSocketNotifier m_notifier;
    QByteArray m_buffer;
};
