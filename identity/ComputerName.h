#pragma once

#include <QByteArray>
#include <QString>

// This machine's short name, at most 15 bytes, as the presence beacon carries it.
namespace computername {

// The host name up to its first "."; empty when the system cannot say.
QString computerName();

// The short name derived from a host name: up to the first ".", then at most 15 bytes.
QString shortName(const QByteArray &hostName);

} // namespace computername
