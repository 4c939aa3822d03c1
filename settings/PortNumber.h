#pragma once

#include <QString>
#include <optional>

// A port typed into the settings dialog: the integer syntax of server.ini, within 1..65535.
namespace portnumber {

inline constexpr qint32 kLowest = 1;
inline constexpr qint32 kHighest = 65535;

// The port, or nothing when the text is no integer or lies outside 1..65535.
std::optional<qint32> parse(const QString &text);

} // namespace portnumber
