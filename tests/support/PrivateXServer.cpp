#include "tests/support/PrivateXServer.h"

#include <QProcess>
#include <QStandardPaths>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr int displayFd = 3;
constexpr int startTimeoutMs = 20000;
constexpr int clientTimeoutMs = 20000;
} // namespace

PrivateXServer::PrivateXServer(const QString &screen) : m_savedDisplay(qgetenv("DISPLAY"))
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        m_failure = QStringLiteral("Xvfb is not installed");
        return;
    }
    int fds[2];
    if (pipe(fds) != 0) {
        m_failure = QStringLiteral("no pipe for Xvfb");
        return;
    }
    const QByteArray program = xvfb.toLocal8Bit();
    const QByteArray screenSpec = screen.toLocal8Bit();
    m_pid = fork();
    if (m_pid == 0) {
        dup2(fds[1], displayFd);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        execl(program.constData(), "Xvfb", "-displayfd", "3", "-screen", "0",
              screenSpec.constData(), "-nolisten", "tcp", "-noreset", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    pollfd ready{fds[0], POLLIN, 0};
    char digits[16] = {};
    if (m_pid > 0 && poll(&ready, 1, startTimeoutMs) == 1) {
        const ssize_t n = read(fds[0], digits, sizeof digits - 1);
        if (n > 0)
            m_display = ":" + QByteArray(digits, int(n)).trimmed();
    }
    close(fds[0]);
    if (m_display.size() < 2) {
        m_failure = QStringLiteral("Xvfb did not start with screen ") + screen;
        return;
    }
    qputenv("DISPLAY", m_display);
}

PrivateXServer::~PrivateXServer()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
    if (m_savedDisplay.isEmpty())
        qunsetenv("DISPLAY");
    else
        qputenv("DISPLAY", m_savedDisplay);
}

bool PrivateXServer::run(const QString &program, const QStringList &arguments) const
{
    if (!m_failure.isEmpty())
        return false;
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(clientTimeoutMs) &&
           process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}
