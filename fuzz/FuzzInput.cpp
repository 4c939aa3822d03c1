#include "fuzz/FuzzInput.h"

#include <algorithm>

std::uint8_t FuzzInput::byte()
{
    return atEnd() ? 0 : m_data[m_pos++];
}

QByteArray FuzzInput::lengthPrefixed(std::size_t *declared)
{
    const std::size_t length = std::size_t(byte()) << 8 | byte();
    if (declared)
        *declared = length;
    const std::size_t taken = std::min(length, m_size - std::min(m_pos, m_size));
    QByteArray piece(reinterpret_cast<const char *>(m_data + m_pos), qsizetype(taken));
    m_pos += taken;
    return piece;
}

QByteArray FuzzInput::upTo(char separator)
{
    const std::size_t start = m_pos;
    while (m_pos < m_size && m_data[m_pos] != std::uint8_t(separator))
        ++m_pos;
    QByteArray piece(reinterpret_cast<const char *>(m_data + start), qsizetype(m_pos - start));
    if (m_pos < m_size)
        ++m_pos;
    return piece;
}

QByteArray FuzzInput::rest()
{
    const std::size_t start = std::min(m_pos, m_size);
    m_pos = m_size;
    return QByteArray(reinterpret_cast<const char *>(m_data + start), qsizetype(m_size - start));
}
