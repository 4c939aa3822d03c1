#include "classroom/CommandChannel.h"

#include "classroom/CommandLog.h"
#include "classroom/PlaintextLinks.h"
#include "classroom/RosterModel.h"

CommandChannel::CommandChannel(TServerWinSocket *server, const RosterModel *roster)
    : m_roster(roster), m_plaintext(std::make_unique<PlaintextLinks>(server))
{
    m_links.append(m_plaintext.get());
}

CommandChannel::~CommandChannel() = default;

void CommandChannel::sendHeldNow() const
{
    for (StudentLinks *links : m_links)
        links->sendHeldNow();
}

void CommandChannel::SendToAll(const QByteArray &text) const
{
    int written = 0;
    for (StudentLinks *links : m_links)
        written += links->sendTextToAll(text);
    commandlog::sent(text, commandlog::allStudents(written));
}

void CommandChannel::SendToRow(int index, const QByteArray &text) const
{
    if (m_roster->hasRow(index))
        SendToKey(m_roster->key(index), text);
}

void CommandChannel::SendToKey(quint64 key, const QByteArray &text) const
{
    const int row = m_roster->rowOfKey(key);
    if (key == 0 || row < 0)
        return;
    for (StudentLinks *links : m_links) {
        if (!links->sendText(key, text))
            continue;
        commandlog::sent(
            text, commandlog::student(m_roster->caption(row),
                                      m_roster->subItem(row, RosterModel::AddressColumn - 1)));
        return;
    }
}
