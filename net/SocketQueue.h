#pragma once

// What the system still holds of the bytes written to a connected TCP socket.
namespace socketqueue {

// Bytes written that the peer has not acknowledged yet, sent or not; -1 when the system cannot
// tell (a closed handle).
int unacknowledged(int handle);

} // namespace socketqueue
