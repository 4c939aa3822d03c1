#include "system/EventLog.h"

#include <QDateTime>

#include <cstdio>

namespace eventlog {

QString format(Priority priority, const QString &text)
{
    QString oneLine = text;
    oneLine.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    oneLine.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    oneLine.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return QStringLiteral("<%1>%2 %3")
        .arg(int(priority))
        .arg(QDateTime::currentDateTime().toString(Qt::ISODate), oneLine);
}

void write(Priority priority, const QString &text)
{
    const QByteArray line = format(priority, text).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace eventlog
