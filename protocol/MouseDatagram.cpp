#include "protocol/MouseDatagram.h"

#include "protocol/Datagrams.h"

#include <limits>
#include <optional>

namespace {

constexpr QByteArrayView kCursorPrefix = datagram::kCursorPrefix;
constexpr QByteArrayView kBeaconPrefix = datagram::kBeaconPrefix;
constexpr qsizetype kMaxCursorSize = 20;
constexpr qsizetype kMaxBeaconSize = 17;

// Reads one number and its closing "/" from the front of text, advancing it past both.
std::optional<int> takeNumber(QByteArrayView &text)
{
    const qsizetype slash = text.indexOf('/');
    if (slash <= 0) {
        return std::nullopt;
    }
    QByteArrayView digits = text.first(slash);
    const bool negative = digits.startsWith('-');
    if (negative) {
        digits = digits.sliced(1);
    }
    if (digits.isEmpty() || (digits.size() > 1 && digits.front() == '0') ||
        (negative && digits == "0")) {
        return std::nullopt;
    }
    long long value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
        if (value > static_cast<long long>(std::numeric_limits<int>::max()) + 1) {
            return std::nullopt;
        }
    }
    value = negative ? -value : value;
    if (value > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    text = text.sliced(slash + 1);
    return static_cast<int>(value);
}

} // namespace

MouseDatagram MouseDatagram::parse(QByteArrayView datagram)
{
    MouseDatagram result;
    if (datagram.startsWith(kBeaconPrefix) && datagram.size() <= kMaxBeaconSize) {
        result.kind = Kind::Beacon;
        result.name = datagram.sliced(kBeaconPrefix.size()).toByteArray();
        return result;
    }
    if (!datagram.startsWith(kCursorPrefix) || datagram.size() > kMaxCursorSize) {
        return result;
    }
    QByteArrayView rest = datagram.sliced(kCursorPrefix.size());
    const std::optional<int> code = takeNumber(rest);
    const std::optional<int> x = code ? takeNumber(rest) : std::nullopt;
    const std::optional<int> y = x ? takeNumber(rest) : std::nullopt;
    if (!y || !rest.isEmpty()) {
        return result;
    }
    result.kind = Kind::Cursor;
    result.code = *code;
    result.x = *x;
    result.y = *y;
    return result;
}
