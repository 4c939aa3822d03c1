#pragma once

#include <QString>
#include <QtGlobal>

// The console's one integer syntax: port boxes at OK and values read from server.ini.
namespace integertext {

// Optional leading spaces, then either an optional sign and decimal digits within the signed
// 32-bit range, or "$", "x", "X", "0x" or "0X" and hexadecimal digits (no sign) fitting in 32 bits,
// taken as two's complement. Nothing may follow. On failure value is left untouched.
bool parseInteger(const QString &text, qint32 &value);

// The failure's text for the console's error box (the box appends the final ".").
QString invalidIntegerMessage(const QString &text);

// A server.ini value: a leading "0x"/"0X" of a longer text becomes "$", then the syntax above;
// empty or invalid text gives the fallback.
qint32 readIntegerSetting(const QString &text, qint32 fallback);

} // namespace integertext
