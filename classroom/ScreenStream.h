#pragma once

#include <cstdint>
#include <span>
#include <vector>

// The demonstration frame being handed out: one JPEG file and the position of its next chunk.
// Emptying keeps the storage, so frame after frame reuses it.
class ScreenStream
{
public:
    bool isEmpty() const { return m_bytes.empty(); }
    std::int64_t size() const { return std::int64_t(m_bytes.size()); }
    std::int64_t position() const { return m_position; }

    void clear();
    // Holds exactly this file from now on, read from its start.
    void load(std::span<const std::uint8_t> file);
    // Copies up to count bytes from the position on and advances it; returns how many.
    int read(char *destination, int count);

private:
    std::vector<std::uint8_t> m_bytes;
    std::int64_t m_position = 0;
};
