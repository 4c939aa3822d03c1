#pragma once

#include <QByteArray>
#include <QString>

// The texts the console writes to student connections: exactly these bytes, no framing. The
// fixed texts are defined here alone (the student's parser reads them from here too); the
// prefixes of a message and a custom command are in TextFraming.h.
namespace command {

inline constexpr char LogOff[] = "01";
inline constexpr char Restart[] = "02";
inline constexpr char ShutDown[] = "03";
inline constexpr char Notepad[] = "04";
inline constexpr char Explorer[] = "05";
inline constexpr char WordPad[] = "06";
inline constexpr char Paint[] = "07";
inline constexpr char Word[] = "08";
inline constexpr char BlackScreen[] = "BLACKSCREEN";
inline constexpr char UnblackScreen[] = "UNBLACKSCREEN";
inline constexpr char Screen[] = "SCREEN";
inline constexpr char NotScreen[] = "NOTSCREEN";
inline constexpr char Image[] = "IMAGE";
inline constexpr char Stop[] = "STOP";

// "2" and the teacher's text in code page 936, lines joined by CR LF, untrimmed.
QByteArray message(const QString &text);
// "00" and the teacher's command in code page 936, untrimmed.
QByteArray custom(const QString &text);
// True when nothing but bytes 0 to 32 would be left: such a text is refused.
bool isBlank(const QString &text);

} // namespace command
