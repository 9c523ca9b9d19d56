// The few places where the system's sockets differ between POSIX and Winsock, for the TCP client:
// the socket's type, closing it, its last error and that error's words, making it non-blocking,
// and waiting on it. Everything else (getaddrinfo, connect, send, recv) is the same call on both.
#pragma once

#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

using SocketHandle = SOCKET;
inline const SocketHandle kNoSocket = INVALID_SOCKET;
using SocketLength = int;
using pollfd = WSAPOLLFD;
inline int pollSockets(pollfd* fds, unsigned count, int ms) { return ::WSAPoll(fds, count, ms); }
inline int lastSocketError() { return ::WSAGetLastError(); }
constexpr int kSockWouldBlock = WSAEWOULDBLOCK, kSockInProgress = WSAEWOULDBLOCK, kSockInterrupted = WSAEINTR,
              kSockRefused = WSAECONNREFUSED, kSockTimedOut = WSAETIMEDOUT;
constexpr int kSendNoSignal = 0;
#else
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

using SocketHandle = int;
constexpr SocketHandle kNoSocket = -1;
using SocketLength = socklen_t;
inline int pollSockets(pollfd* fds, unsigned count, int ms) { return ::poll(fds, count, ms); }
inline int lastSocketError() { return errno; }
constexpr int kSockWouldBlock = EWOULDBLOCK, kSockInProgress = EINPROGRESS, kSockInterrupted = EINTR,
              kSockRefused = ECONNREFUSED, kSockTimedOut = ETIMEDOUT;
constexpr int kSendNoSignal = MSG_NOSIGNAL;
#endif

// Readies the system's sockets once per process (Winsock needs it; POSIX does not).
void StartSockets();

// A stream socket for the family that neither blocks nor passes to child processes; kNoSocket
// with the error in lastSocketError().
SocketHandle OpenStreamSocket(int family);

void CloseSocket(SocketHandle socket);

// Whether an error only means "not now" (no bytes yet, or no room to send).
bool SocketWouldBlock(int error);

// The system's words for a socket error, and for getaddrinfo's result.
std::string SocketErrorText(int error);
std::string LookupErrorText(int result);

// Waits up to ms for a connection under way to be made or refused; false when neither came.
bool WaitConnected(SocketHandle socket, int ms);
