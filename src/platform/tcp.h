// TCP client conversations.
//
// The client callback is called on the user-interface thread from ProcessTCPEvents, with
// TCP_DATAREADY when bytes wait to be read and TCP_DISCONNECT once when the server has closed the
// connection.
#pragma once

#include <string>

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
// Lets pending events through (user input held back) and calls the client callbacks.
int ProcessTCPEvents();
// Waits up to the given time, returning early as soon as a conversation has bytes to read or
// has been closed. Returns 1 when something arrived, 0 on time-out.
int WaitForTCPEvent(double seconds);
