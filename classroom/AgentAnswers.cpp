#include "classroom/AgentAnswers.h"

#include "classroom/CommandLog.h"
#include "protocol/Commands.h"
#include "protocol/TextFraming.h"
#include "system/EventLog.h"

namespace {

struct Named
{
    const char *text;
    const char *caption;
};
const Named kCaptions[] = {
    {command::LogOff, "注销用户"},     {command::Restart, "重新启动"},
    {command::ShutDown, "关机"},       {command::Notepad, "记事本"},
    {command::Explorer, "资源管理器"}, {command::WordPad, "写字板"},
    {command::Paint, "画图"},          {command::Word, "Microsoft Word"},
    {command::BlackScreen, "黑屏"},    {command::UnblackScreen, "取消黑屏"},
    {command::Screen, "监视"},         {command::NotScreen, "停止监视"},
    {command::Image, "教师演示"},      {command::Stop, "停止演示"},
};

} // namespace

quint32 AgentAnswers::sent(const QByteArray &text)
{
    if (++m_lastId == 0)
        ++m_lastId;
    m_sent[m_lastId] = Sent{text, {}};
    while (m_sent.size() > size_t(kRemembered))
        m_sent.erase(m_sent.begin());
    return m_lastId;
}

QString AgentAnswers::answered(quint32 id, quint64 key, const QString &student, bool refused,
                               const QString &reason)
{
    const auto at = m_sent.find(id);
    if (at == m_sent.end() || at->second.answered.contains(key))
        return {};
    Sent &command = at->second;
    command.answered.insert(key);
    eventlog::warning(QStringLiteral("%1 %2 %3: %4")
                          .arg(student,
                               refused ? QStringLiteral("refused") : QStringLiteral("failed"),
                               commandlog::describe(command.text), reason));
    const QString what = caption(command.text);
    const QString who = command.answered.size() == 1
                            ? student
                            : QString::fromUtf8("%1 台学生机").arg(command.answered.size());
    return (refused ? QString::fromUtf8("%1 拒绝了“%2”：%3")
                    : QString::fromUtf8("%1 未能执行“%2”：%3"))
        .arg(who, what, reason);
}

QString AgentAnswers::caption(const QByteArray &text)
{
    for (const Named &named : kCaptions) {
        if (text == named.text)
            return QString::fromUtf8(named.caption);
    }
    if (text.startsWith(framing::kCustomPrefix))
        return QString::fromUtf8("自定义命令");
    if (text.startsWith(framing::kMessagePrefix))
        return QString::fromUtf8("发送消息");
    return QString::fromUtf8("命令");
}
