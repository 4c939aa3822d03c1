#include "agent/SessionSide.h"

void SessionSide::answer(quint32 id, bool refused, const QString &reason) const
{
    if (id != 0 && m_answer) {
        m_answer(id, refused, reason);
    }
}

void SessionSide::sendTile(const QByteArray &jpeg) const
{
    if (m_tileSink) {
        m_tileSink(jpeg);
    }
}
