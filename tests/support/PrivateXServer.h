#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <sys/types.h>

// An Xvfb of its own for one test (a screen such as "1280x800x16"), made the DISPLAY while it
// lives; the previous DISPLAY comes back at the end.
class PrivateXServer
{
public:
    explicit PrivateXServer(const QString &screen);
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer &) = delete;
    PrivateXServer &operator=(const PrivateXServer &) = delete;

    // Empty when the server runs; else why it could not start (for GTEST_SKIP).
    QString failure() const { return m_failure; }
    QByteArray display() const { return m_display; }

    // Runs an X client (xrandr ...) against this server; true when it exits with 0.
    bool run(const QString &program, const QStringList &arguments) const;

private:
    pid_t m_pid = -1;
    QByteArray m_display;
    QByteArray m_savedDisplay;
    QString m_failure;
};
