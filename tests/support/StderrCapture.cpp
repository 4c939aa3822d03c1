#include "tests/support/StderrCapture.h"

#include <QByteArray>
#include <unistd.h>

StderrCapture::StderrCapture() : m_file(std::tmpfile())
{
    std::fflush(stderr);
    m_saved = ::dup(2);
    ::dup2(::fileno(m_file), 2);
}

QString StderrCapture::take()
{
    if (m_saved < 0)
        return {};
    std::fflush(stderr);
    ::dup2(m_saved, 2);
    ::close(m_saved);
    m_saved = -1;
    std::rewind(m_file);
    QByteArray bytes;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, m_file)) > 0;)
        bytes.append(buffer, qsizetype(n));
    std::fclose(m_file);
    return QString::fromUtf8(bytes);
}
