// Opening and closing the link, and one request/reply exchange over a COM port (Modbus RTU),
// Modbus/TCP, or RTU frames carried over TCP.
#pragma once

#include <functional>
#include <string>

#include "link/modbus_frame.h"
#include "link/reply_check.h"

// Results of Ulvo_Transmitir_Modbus. Over TCP a receive error is returned as the TCP library's
// own (negative) code.
enum {
    kExchangeOk = 1,
    kNoReply = -1,        // COM: no reply in 3 attempts; TCP: the request was not written whole
    kCrcError = -2,       // the reply failed the reply check (CRC, address, function, shape) or was cut short
    kExceptionReply = -3, // an exception reply, or no TCP host name (nothing sent)
    kTcpTimeout = -4,     // no whole reply within the TCP wait
    kTcpClosed = -5,      // the server closed the connection
};

// The TCP link: the conversation (0 while none is open), the state of the last receive (0 nothing
// yet, 1 data, 2 closed by the server, negative the TCP library's error), the bytes of the last
// receive, and the Modbus/TCP transaction counter (1 after every opening).
extern unsigned TCP_handle;
extern int TCP_Rx_Status;
extern int TCP_Bytes_Rx;
extern unsigned char TCP_Rx_Buffer[kTcpReceiveBufferSize];
extern int Contador_TCP;

// The request and reply buffers every register-map operation shares; only one exchange runs at
// a time. Any reply buffer given to the exchange must hold kReplyBufferSize bytes.
extern unsigned char g_requestBuffer[kRequestBufferSize];
extern unsigned char g_replyBuffer[kReplyBufferSize];

// The pause of 0.15 s that closes every exchange (and follows a Modbus/TCP write and every
// failed attempt): it keeps the analyser from being polled faster than it can serve. Only the
// benchmark sets it to 0, to measure what the exchange itself costs.
extern double g_exchangePause;

// Port < 99: opens COM `port` (queues of 4096 bytes) and returns 0 or the RS-232 error code.
// Port >= 99: connects to host:tcpPort, restarting the transaction counter at 1, and returns 0
// or the TCP error code. The host name is used whole, however long.
int Ulvo_Abrir_Puerto(int port, int baudRate, int dataBits, int parity, int stopBits, unsigned short tcpPort,
                      const std::string& host);
int Ulvo_Cerrar_Puerto(int port);

// Whether the link is open: from a successful Ulvo_Abrir_Puerto until Ulvo_Cerrar_Puerto.
bool LinkIsOpen();

// Sends the request (requestLength bytes, without CRC; the buffer must hold 2 more) and takes
// the reply into `reply` (kReplyBufferSize bytes). Port < 99 is a COM port; otherwise TCP, as
// Modbus/TCP when tcpPort is 502 or port is 100 and as RTU frames on any other TCP port (port 101
// forces RTU frames, on port 502 too).
// expectedLength and spare are accepted for the callers' sake: a reply's length is taken from
// the reply itself. report 1 shows errors through Ulvo_Visualiza_mensaje_de_error. Timer
// callbacks are held back for the whole exchange, as the buffers are shared.
int Ulvo_Transmitir_Modbus(int port, unsigned char* request, int requestLength, unsigned char* reply,
                           int expectedLength, int report, const std::string& spare, unsigned short tcpPort,
                           const std::string& host);

// The TCP library's callback for the link's conversation.
int Ulvo_TCP_Cliente(unsigned handle, int event, int errorCode, void* callbackData);

// After an exchange that returned 1 with a read reply: how many data bytes (from reply offset 3)
// really arrived, i.e. its byte count, or fewer when the frame was shorter. 0 otherwise.
int LastReplyDataBytes();

// Sees every frame written and every reply, or part of one, received, on every kind of link:
// the time (Timer()), the direction and the bytes as they travelled. Pass {} to stop.
using FrameTrace = std::function<void(double seconds, bool sent, const unsigned char* bytes, int length)>;
void SetFrameTrace(FrameTrace trace);

// How long an exchange waits for its reply and how often it tries. The defaults are the program's
// own: on a COM port three attempts of 2 s each; over TCP one, of 10 s for Modbus/TCP and 15 s for
// RTU frames. A scan of a bus shortens them to one short attempt per address.
struct ExchangeLimits {
    int comAttempts = 3;
    double comReplySeconds = 2.0;
    double tcpReplySeconds = 0; // 0: the default of the link's form
};
void SetExchangeLimits(const ExchangeLimits& limits);
const ExchangeLimits& CurrentExchangeLimits();

// What the link has to tell the program around it. The link shows nothing itself: the desktop
// program installs its popups, its tray icon and its hold on timers here, the command-line tool
// a line on stderr. Any member may be empty.
struct LinkReporter {
    std::function<void(bool underWay)> exchanging; // an exchange starts (true) and ends (false)
    std::function<void(const char* image)> icon;   // the taskbar icon for each stage of an exchange
    std::function<void(const std::string& title, const std::string& message)> error; // report 1 only
    std::function<void()> serverClosed; // the TCP server closed the conversation
    std::function<void()> deviceGone;   // the serial device went away (a USB adapter pulled)
    // The exchange waits for its reply: called often while it waits, with the seconds since the
    // exchange began and the seconds it may still wait at most.
    std::function<void(double elapsed, double remaining)> waiting;
};

// Whether an exchange is under way (it may let events through while it waits).
bool ExchangeUnderWay();
void SetLinkReporter(LinkReporter reporter);

// Why the last exchange failed, in a few English words ("no reply", "CRC error", "exception 02
// (illegal data address)", "wrong address or unit", "stale transaction id", "wrong echo",
// "time-out", "connection closed", ...); empty when it succeeded.
std::string LastExchangeFailure();

// Sees how every exchange ended: "" when its reply was taken, else LastExchangeFailure's words.
// Pass {} to stop.
using ExchangeTrace = std::function<void(double seconds, const std::string& failure)>;
void SetExchangeTrace(ExchangeTrace trace);

// Why the last exchange refused its reply (None when it took one, or had none to look at).
ReplyFault LastReplyFault();

// Sees the verdict of the reply check on every reply, accepted or not: stale Modbus/TCP replies
// dropped while the wait goes on included. Pass {} to stop.
using ReplyTrace = std::function<void(double seconds, ReplyFault fault)>;
void SetReplyTrace(ReplyTrace trace);
