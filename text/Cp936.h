#pragma once

#include <QByteArray>
#include <QString>

// Texts go on the wire, and are compared, as code page 936 (GBK) bytes.
namespace cp936 {

// A character that code page 936 cannot hold becomes "?".
QByteArray encode(const QString &text);
QString decode(const QByteArray &bytes);

} // namespace cp936
