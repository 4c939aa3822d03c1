#include "agent/ConsoleTrust.h"

#include "protocol/KeyFingerprint.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtDebug>

ConsoleTrust::ConsoleTrust(const AgentSettings &settings)
    : m_firstUse(settings.consoleFingerprint.isEmpty() && settings.trustOnFirstUse),
      m_pinFile(settings.pinFile), m_trusted(settings.consoleFingerprint)
{
    if (!m_firstUse)
        return;
    QFile file(m_pinFile);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QString written = QString::fromLatin1(file.read(4096)).trimmed();
    m_trusted = keyfingerprint::normalized(written);
    if (m_trusted.isEmpty()) {
        // A file that is there but holds no key must not turn into "trust anyone".
        m_trusted = written.isEmpty() ? QStringLiteral("-") : written;
        qWarning().noquote() << m_pinFile
                             << "holds no console key: no console is trusted until it is mended "
                                "or removed";
    }
}

bool ConsoleTrust::accepts(const QString &fingerprint) const
{
    return m_trusted.isEmpty() ? m_firstUse : fingerprint == m_trusted;
}

void ConsoleTrust::confirm(const QString &fingerprint)
{
    if (!m_firstUse || !m_trusted.isEmpty())
        return;
    m_trusted = fingerprint;
    QSaveFile file(m_pinFile);
    const bool kept = QDir().mkpath(QFileInfo(m_pinFile).absolutePath()) &&
                      file.open(QIODevice::WriteOnly) &&
                      file.write(fingerprint.toLatin1() + '\n') > 0 && file.commit();
    if (kept)
        qInfo().noquote() << "trust on first use: the console key" << fingerprint << "is pinned in"
                          << m_pinFile;
    else
        qWarning().noquote() << "trust on first use: the console key" << fingerprint
                             << "is trusted, but cannot be kept in" << m_pinFile
                             << "(" + file.errorString() + "); it is trusted for this run only";
}
