#include "classroom/ScreenStream.h"

#include <algorithm>
#include <cstring>

void ScreenStream::clear()
{
    m_bytes.clear();
    m_position = 0;
}

void ScreenStream::load(std::span<const std::uint8_t> file)
{
    m_bytes.assign(file.begin(), file.end());
    m_position = 0;
}

int ScreenStream::read(char *destination, int count)
{
    const std::int64_t available = size() - m_position;
    const int n = int(std::clamp<std::int64_t>(available, 0, std::max(count, 0)));
    if (n > 0)
        std::memcpy(destination, m_bytes.data() + m_position, std::size_t(n));
    m_position += n;
    return n;
}
