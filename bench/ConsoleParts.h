#pragma once

#include <QtGlobal>

class ClassroomSession;
class QObject;
class RosterModel;
class TUDPEndpoint;

// The parts of a console window the benchmarks drive, found as the window's children.
namespace console_parts {

ClassroomSession &session(const QObject &console);
RosterModel &roster(const QObject &console);
// "ComUdp" or "MouseUDP".
TUDPEndpoint &endpoint(const QObject &console, const char *name);
quint16 commandPort(const QObject &console);
quint16 mousePort(const QObject &console);

} // namespace console_parts
