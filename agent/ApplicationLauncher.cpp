#include "agent/ApplicationLauncher.h"

#include "agent/ProgramStarter.h"

#include <QProcess>
#include <QtDebug>

ApplicationLauncher::ApplicationLauncher(const AgentSettings &settings, ProgramStarter &starter)
    : m_table(settings.applications), m_starter(starter)
{
}

QString ApplicationLauncher::launch(AgentSettings::Application application)
{
    for (const QString &candidate : m_table[application]) {
        if (candidate.endsWith(QLatin1String(".desktop"))) {
            const QString path = m_starter.desktopEntryPath(candidate);
            if (!path.isEmpty() && launchDesktopEntry(candidate, path)) {
                return candidate;
            }
            continue;
        }
        QStringList words = QProcess::splitCommand(candidate);
        if (words.isEmpty() || !m_starter.hasProgram(words.first())) {
            continue;
        }
        const QString program = words.takeFirst();
        if (m_starter.startDetached(program, words)) {
            return candidate;
        }
    }
    qWarning().noquote() << "no program installed for"
                         << AgentSettings::applicationKey(application);
    return QString();
}

bool ApplicationLauncher::launchDesktopEntry(const QString &id, const QString &path)
{
    if (m_starter.hasProgram(QStringLiteral("gio"))) {
        return m_starter.startDetached(QStringLiteral("gio"), {QStringLiteral("launch"), path});
    }
    QString name = id;
    name.chop(static_cast<qsizetype>(sizeof(".desktop") - 1));
    return m_starter.startDetached(QStringLiteral("gtk-launch"), {name});
}
