#include "platform/sockets.h"

#include <cstring>

#ifdef _WIN32
#include <mutex>

#include <QString>

void StartSockets() {
    static std::once_flag started;
    std::call_once(started, [] {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
    });
}

SocketHandle OpenStreamSocket(int family) {
    StartSockets();
    // Winsock sockets are not inherited unless asked for.
    const SocketHandle s = ::WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return s;
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    // Windows makes an IPv6 socket IPv6-only: an IPv4 address written the IPv6 way
    // (::ffff:127.0.0.1) is reached as on Linux.
    if (family == AF_INET6) {
        const DWORD dualStack = 0;
        ::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&dualStack), sizeof dualStack);
    }
    return s;
}

void CloseSocket(SocketHandle socket) { ::closesocket(socket); }

bool SocketWouldBlock(int error) { return error == WSAEWOULDBLOCK; }

std::string SocketErrorText(int error) {
    wchar_t* words = nullptr;
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                              FORMAT_MESSAGE_IGNORE_INSERTS,
                                          nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&words), 0,
                                          nullptr);
    QString text = length ? QString::fromWCharArray(words, static_cast<int>(length)).trimmed() : QString();
    if (words) ::LocalFree(words);
    if (text.endsWith('.')) text.chop(1);
    return text.isEmpty() ? "socket error " + std::to_string(error) : text.toStdString();
}

std::string LookupErrorText(int result) { return SocketErrorText(result); }

// select(), not WSAPoll: older Windows' WSAPoll never reports a refused connection.
bool WaitConnected(SocketHandle socket, int ms) {
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval wait{ms / 1000, (ms % 1000) * 1000};
    return ::select(0, nullptr, &writable, &failed, &wait) > 0;
}
#else
void StartSockets() {}

SocketHandle OpenStreamSocket(int family) { return ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0); }

void CloseSocket(SocketHandle socket) { ::close(socket); }

bool SocketWouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

std::string SocketErrorText(int error) { return std::strerror(error); }

std::string LookupErrorText(int result) { return ::gai_strerror(result); }

bool WaitConnected(SocketHandle socket, int ms) {
    pollfd p{socket, POLLOUT, 0};
    return ::poll(&p, 1, ms) > 0;
}
#endif
