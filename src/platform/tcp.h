// TCP client conversations.
//
// The client callback is called on the user-interface thread, with TCP_DATAREADY from
// ProcessTCPEvents when bytes wait to be read, and with TCP_DISCONNECT once when the connection
// has ended (the server closed it, or it broke): from ProcessTCPEvents, or from the event loop
// when that is where it was noticed, so a connection lost while the program is idle is heard of
// at once.
#pragma once

#include <string>
#include <vector>

enum { TCP_DISCONNECT = 1, TCP_DATAREADY = 2 };

enum {
    kTCP_UnableToConnect = -10,
    kTCP_InvalidHandle = -11,
    kTCP_WriteFailed = -12,
    kTCP_ReadFailed = -13,
    kTCP_ConnectionClosed = -14,
};

using TCPCallbackPtr = int (*)(unsigned handle, int eventType, int errorCode, void* callbackData);

// timeoutMs 0 takes the default connection time-out (5 s). Returns 0 or a negative code.
int ConnectToTCPServer(unsigned* handle, unsigned port, const std::string& host, TCPCallbackPtr fn,
                       void* callbackData, int timeoutMs);
// Returns the bytes written or a negative code. timeoutMs 0 waits as long as the write needs.
int ClientTCPWrite(unsigned handle, const void* buffer, int size, int timeoutMs);
// Returns the bytes read (at most size; 0 when none wait) or a negative code.
int ClientTCPRead(unsigned handle, void* buffer, int size, int timeoutMs);
int DisconnectFromTCPServer(unsigned handle);
// Empties the conversation of every byte that has arrived: what Qt holds and what the operating
// system has received but nobody read yet. The bytes go to `discarded` when given. Returns the
// count, or kTCP_ConnectionClosed when the conversation turns out to have ended.
int DiscardTCPInput(unsigned handle, std::vector<unsigned char>* discarded);
// The words of the last failure to connect: the resolver's or the system's reason.
std::string LastTCPConnectError();
// Lets pending events through (user input held back) and calls the client callbacks.
int ProcessTCPEvents();
// Waits up to the given time, returning early as soon as a conversation has bytes to read or
// has been closed. Returns 1 when something arrived, 0 on time-out.
int WaitForTCPEvent(double seconds);

// A layer every byte of a conversation passes through instead of the bare socket (rq55ctl's TLS,
// platform/tls_client.h). Once set, every connection made after it takes it.
// open: once connected, before any byte: the layer's state for the socket (which never blocks),
// or null with the reason in `why`. receive and send move bytes as recv and send do: a count, 0 at
// the end of the stream, or one of the two codes below. close ends the state and says goodbye.
constexpr long kTcpLayerWouldBlock = -1, kTcpLayerBroken = -2;
struct TcpLayer {
    void* (*open)(long long socket, const std::string& host, int waitMs, std::string& why);
    long (*receive)(void* state, void* buffer, int size);
    long (*send)(void* state, const void* buffer, int size);
    void (*close)(void* state);
};
void SetTcpLayer(const TcpLayer* layer);
