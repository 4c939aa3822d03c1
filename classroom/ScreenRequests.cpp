#include "classroom/ScreenRequests.h"

#include "classroom/CommandChannel.h"
#include "classroom/RosterModel.h"
#include "protocol/Commands.h"

ScreenRequests::ScreenRequests(const CommandChannel &channel, QObject *parent)
    : QObject(parent), m_channel(channel)
{
    connect(&channel.roster(), &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) {
                for (int row = first; row <= last; ++row)
                    m_askers.remove(m_channel.roster().key(row));
            });
}

void ScreenRequests::ask(quint64 key, Asker asker)
{
    if (roster().rowOfKey(key) < 0)
        return;
    unsigned &askers = m_askers[key];
    const bool sending = askers != 0;
    askers |= asker;
    if (!sending)
        m_channel.SendToKey(key, command::Screen);
}

void ScreenRequests::release(quint64 key, Asker asker)
{
    if (key == 0)
        return;
    const auto found = m_askers.find(key);
    if (found != m_askers.end()) {
        *found &= ~unsigned(asker);
        if (*found != 0)
            return;
        m_askers.erase(found);
    }
    m_channel.SendToKey(key, command::NotScreen);
}

const RosterModel &ScreenRequests::roster() const
{
    return m_channel.roster();
}
