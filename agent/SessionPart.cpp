#include "agent/SessionPart.h"

#include "agent/SessionEnvironment.h"

#include <QDir>
#include <QtDebug>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

// A part that held its display is back well within two seconds of its end.
constexpr int kRestartMs = 500;
// A part that cannot get going (no display yet, or one that is going away) is tried ever more
// slowly, up to this pause.
constexpr int kMaxRetryMs = 30000;
constexpr int kMaxGroups = 256;
// A part applies a state at once; one that has not answered for this long is not running.
constexpr int kAnswerMs = 2000;
// A log line longer than this is cut: the part is the user's, and so are its words.
constexpr qsizetype kMaxLogLine = 4096;

} // namespace

SessionPart::SessionPart(const LoginSession &session, const QStringList &command, QObject *parent)
    : QObject(parent), m_session(session), m_command(command)
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &SessionPart::launch);
    m_answer.setSingleShot(true);
    m_answer.setInterval(kAnswerMs);
    connect(&m_answer, &QTimer::timeout, this, [this] {
        qWarning().noquote() << name() << "the part does not answer (stopped or hung); it is ended";
        m_process.kill();
    });
    connect(&m_process, &QProcess::finished, this, &SessionPart::onFinished);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            qWarning().noquote() << name() << "cannot start:" << m_process.errorString();
            retryLater(false);
        }
    });
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &SessionPart::onOutput);
    connect(&m_process, &QProcess::readyReadStandardError, this, &SessionPart::onErrors);
}

SessionPart::~SessionPart()
{
    m_stopped = true;
    if (m_process.state() != QProcess::NotRunning) {
        m_process.disconnect(this);
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}

void SessionPart::start()
{
    launch();
}

void SessionPart::stop()
{
    m_stopped = true;
    m_retry.stop();
    m_answer.stop();
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
    }
}

void SessionPart::send(const SessionFrame &frame)
{
    if (m_process.state() == QProcess::NotRunning) {
        if (frame.kind != SessionFrame::Kind::State) {
            qWarning().noquote() << name() << "is starting again; a one-time command is lost";
        }
        return;
    }
    if (frame.kind == SessionFrame::Kind::State && m_ready && !m_answer.isActive()) {
        m_answer.start();
    }
    m_process.write(frame.encode());
}

QString SessionPart::name() const
{
    return QStringLiteral("session %1 (%2):").arg(m_session.id, m_session.user);
}

void SessionPart::launch()
{
    if (m_stopped || m_process.state() != QProcess::NotRunning) {
        return;
    }
    std::optional<QProcessEnvironment> environment =
        sessionenvironment::find(m_session.leader, m_session.uid, m_session.display);
    if (!environment) {
        if (!m_waitLogged) {
            qInfo().noquote() << name() << "no program of the session shows display"
                              << m_session.display << "yet; waiting for one";
            m_waitLogged = true;
        }
        retryLater(false);
        return;
    }
    m_waitLogged = false;
    // The part draws and captures through X11 whatever the session's own programs prefer.
    environment->insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    m_process.setProcessEnvironment(*environment);
    if (!setCredentials()) {
        return;
    }
    m_output.clear();
    m_errors.clear();
    m_process.start(m_command.constFirst(), m_command.mid(1));
}

bool SessionPart::setCredentials()
{
    const passwd *entry = getpwuid(m_session.uid);
    m_process.setWorkingDirectory(entry != nullptr &&
                                          QDir(QString::fromLocal8Bit(entry->pw_dir)).exists()
                                      ? QString::fromLocal8Bit(entry->pw_dir)
                                      : QStringLiteral("/"));
    if (geteuid() == m_session.uid) {
        m_process.setChildProcessModifier({});
        return true;
    }
    if (geteuid() != 0 || entry == nullptr) {
        qWarning().noquote() << name() << "cannot run a part as this user (the service is not root,"
                             << "or the user is unknown); this session is left alone";
        m_stopped = true;
        return false;
    }
    // Worked out here: between fork and exec only plain system calls are safe.
    std::vector<gid_t> groups(kMaxGroups);
    int count = kMaxGroups;
    if (getgrouplist(entry->pw_name, entry->pw_gid, groups.data(), &count) < 0) {
        count = 1;
        groups[0] = entry->pw_gid;
    }
    groups.resize(size_t(count));
    const uid_t uid = m_session.uid;
    const gid_t gid = entry->pw_gid;
    // A part that could not become the user never runs: it would run as root.
    m_process.setChildProcessModifier([groups, uid, gid] {
        if (setgroups(groups.size(), groups.data()) != 0 || setgid(gid) != 0 || setuid(uid) != 0 ||
            geteuid() != uid || setuid(0) == 0) {
            _exit(126);
        }
    });
    return true;
}

void SessionPart::onFinished(int code, QProcess::ExitStatus status)
{
    const bool wasReady = m_ready;
    m_ready = false;
    m_answer.stop();
    if (m_stopped) {
        return;
    }
    const QString how = status == QProcess::CrashExit
                            ? QStringLiteral("was killed or crashed")
                            : QStringLiteral("ended with exit code %1").arg(code);
    if (wasReady) {
        emit restarted(how);
    } else {
        qWarning().noquote() << name() << "the session part" << how << "before it held the display";
    }
    retryLater(wasReady);
}

void SessionPart::retryLater(bool afterReady)
{
    if (m_stopped) {
        return;
    }
    m_failures = afterReady ? 0 : m_failures + 1;
    m_retry.start(afterReady ? kRestartMs
                             : std::min(kRestartMs << std::min(m_failures, 6), kMaxRetryMs));
}

void SessionPart::onOutput()
{
    m_output.append(m_process.readAllStandardOutput());
    SessionFrame frame;
    SessionFrame::Status status;
    while ((status = SessionFrame::take(m_output, frame)) == SessionFrame::Status::Complete) {
        if (frame.kind == SessionFrame::Kind::Answer) {
            emit answered(frame.id, frame.refused, frame.text);
            continue;
        }
        if (frame.kind == SessionFrame::Kind::Tile) {
            emit tile(frame.jpeg);
            continue;
        }
        m_answer.stop();
        m_screen = frame.screen;
        if (frame.kind == SessionFrame::Kind::Ready && !m_ready) {
            m_ready = true;
            m_failures = 0;
            emit ready();
        }
    }
    if (status == SessionFrame::Status::Invalid) {
        qWarning().noquote() << name() << "the part writes what is no frame; it is ended";
        m_output.clear();
        m_process.kill();
    }
}

void SessionPart::onErrors()
{
    m_errors.append(m_process.readAllStandardError());
    qsizetype end;
    while ((end = m_errors.indexOf('\n')) >= 0 || m_errors.size() > kMaxLogLine) {
        const qsizetype take = end >= 0 ? end : kMaxLogLine;
        qInfo().noquote() << name()
                          << QString::fromUtf8(m_errors.left(std::min(take, kMaxLogLine)));
        m_errors.remove(0, end >= 0 ? end + 1 : take);
    }
}
