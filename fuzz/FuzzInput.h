#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>

// Cuts one fuzzer input into the pieces a target needs, so that a mutation of one piece leaves
// the others where they were.
class FuzzInput
{
public:
    FuzzInput(const std::uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}

    bool atEnd() const { return m_pos >= m_size; }
    // One byte, 0 past the end.
    std::uint8_t byte();
    // A two-byte big-endian length, then that many bytes (fewer at the end of the input).
    QByteArray lengthPrefixed(std::size_t *declared = nullptr);
    // The bytes up to the next separator (or the end); the separator is consumed.
    QByteArray upTo(char separator);
    QByteArray rest();

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};
