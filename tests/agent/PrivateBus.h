#pragma once

#include <QProcess>
#include <QString>

// A D-Bus daemon of the test's own, standing for the system (and session) bus.
class PrivateBus
{
public:
    ~PrivateBus();
    // False when dbus-daemon cannot run here.
    bool start();
    QString address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};
