#include "classroom/BlackOut.h"

#include "classroom/CommandChannel.h"
#include "classroom/RosterModel.h"
#include "protocol/Commands.h"
#include "text/Cp936.h"

namespace {
constexpr int kBlackOutSubItem = RosterModel::BlackOutColumn - 1;
const QByteArray kYes = cp936::encode(QString::fromUtf8("是"));
const QByteArray kNo = cp936::encode(QString::fromUtf8("否"));
} // namespace

BlackOut::BlackOut(const CommandChannel &channel, RosterModel &roster)
    : m_channel(channel), m_roster(roster)
{
}

void BlackOut::setAll(bool on)
{
    m_channel.SendToAll(on ? command::BlackScreen : command::UnblackScreen);
    for (int row = 0; row < m_roster.rowCount(); ++row)
        m_roster.setSubItem(row, kBlackOutSubItem, on ? kYes : kNo);
}

void BlackOut::toggle(int row)
{
    if (!m_roster.hasRow(row))
        return;
    const bool blackedOut = m_roster.subItem(row, kBlackOutSubItem) != kNo;
    m_channel.SendToRow(row, blackedOut ? command::UnblackScreen : command::BlackScreen);
    m_roster.setSubItem(row, kBlackOutSubItem, blackedOut ? kNo : kYes);
}

void BlackOut::releaseAll()
{
    for (int row = 0; row < m_roster.rowCount(); ++row) {
        if (m_roster.subItem(row, kBlackOutSubItem) != kNo)
            m_channel.SendToRow(row, command::UnblackScreen);
    }
}
