#pragma once

#include <QtGlobal>

// The ports the console and the students meet on, unless their settings say otherwise.
namespace ports {

// TCP: the command texts, console to student.
inline constexpr quint16 kCommandPort = 1024;
// UDP: the demonstration's chunks.
inline constexpr quint16 kImagePort = 5650;
// UDP: cursor positions and beacons from the console, monitored screens to it.
inline constexpr quint16 kMousePort = 5651;
// TLS over TCP: the trusted channel between the console and our agents.
inline constexpr quint16 kAgentPort = 5652;
// UDP: the Velmora stream, the demonstration for our agents.
inline constexpr quint16 kStreamPort = 5653;

} // namespace ports
