#pragma once

// The command server's listening socket, as the system makes it.
namespace listening_socket {

// A non-blocking IPv4 socket listening on every local address, on the low 16 bits of port,
// with queueLength(). Raises ESocketError ("Can't create new socket", or the "Windows socket
// error" text naming "bind" or "listen"), the socket closed again.
int open(int port);

// The system's longest listen queue, so that a whole room connecting at once waits there.
int queueLength();

} // namespace listening_socket
