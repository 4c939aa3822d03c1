#pragma once

#include <QString>
#include <QStringList>

// The options the program answers before any window or socket exists: --help, --version and
// --fingerprint.
class CommandLine
{
public:
    explicit CommandLine(const QStringList &arguments);

    // True when the program is to print text() and end with exitCode() instead of starting.
    bool answersAlone() const { return m_answersAlone; }
    QString text() const { return m_text; }
    int exitCode() const { return m_exitCode; }
    // --fingerprint: the console's key fingerprint is to be printed, the key made if need be.
    bool wantsFingerprint() const { return m_fingerprint; }

    // "velmora-teacher 1.0.0": what --version prints (without the line end).
    static QString versionLine(const QString &program);

private:
    bool m_answersAlone = false;
    QString m_text;
    int m_exitCode = 0;
    bool m_fingerprint = false;
};
