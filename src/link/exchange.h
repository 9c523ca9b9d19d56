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

// Whether the link is open: from a successful Ulvo_Abrir_Puerto until Ulvo_Cerrar_Puerto, or until
// the link finds itself without a connection it cannot make again (it then reports the loss).
bool LinkIsOpen();

// The port numbers that force a form over TCP: 100 Modbus/TCP, 101 RTU frames (on port 502 too).
inline constexpr int kModbusTcpPortNumber = 100;
inline constexpr int kRtuOverTcpPortNumber = 101;
// Whether an exchange with these settings speaks Modbus/TCP: port 100, or TCP port 502 unless
// port 101 forces RTU frames.
bool SpeaksModbusTcp(int port, unsigned short tcpPort);

// Sends the request (requestLength bytes, without CRC; the buffer must hold 2 more) and takes
// the reply into `reply` (kReplyBufferSize bytes). Port < 99 is a COM port; otherwise TCP, as
// Modbus/TCP when tcpPort is 502 or port is 100 and as RTU frames on any other TCP port (port 101
// forces RTU frames, on port 502 too).
// A request to address 0 is a broadcast: it is written, no reply is awaited, and after the
// turnaround delay (0.2 s) the exchange returns 1 with no reply (LastReplyLength 0).
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
// After an exchange that returned 1 or an exception reply, or whose write reply was refused only
// for not being the standard echo (LastReplyFault Echo): the reply's length without its CRC (its
// address or unit and its PDU, as `reply` holds them from offset 0). 0 otherwise.
int LastReplyLength();

// Sees every frame written, every reply (or part of one) received, and every byte found waiting on
// the link before a request and thrown away, on every kind of link: the time (Timer()), what
// happened to the bytes and the bytes as they travelled. Pass {} to stop.
enum class FrameKind { Sent, Received, Discarded };
using FrameTrace = std::function<void(double seconds, FrameKind kind, const unsigned char* bytes, int length)>;
void SetFrameTrace(FrameTrace trace);

// Sees what the link does on its own beyond frames: a connection closed and opened again after a
// time-out, and whether that worked. Pass {} to stop.
using LinkEventTrace = std::function<void(double seconds, const std::string& event)>;
void SetLinkEventTrace(LinkEventTrace trace);

// Where the exchange under way (or the last one) goes: "COM5", "127.0.0.1:5021", and with the
// form of a TCP link "127.0.0.1:5021 RTU over TCP", "meter:502 Modbus/TCP"; and whether it
// speaks Modbus/TCP.
std::string ExchangePlace(bool withForm = true);
bool ExchangeSpeaksModbusTcp();

// How long an exchange waits for its reply and how often it tries. The defaults are the program's
// own: on a COM port three attempts of 2 s each; over TCP one, of 10 s for Modbus/TCP and 15 s for
// RTU frames. A scan of a bus shortens them to one short attempt per address.
//
// RTU frames cannot tell one reply from another, so after a reply that did not come (or not
// whole) the link makes sure it cannot come later and pass for the next one's: on a COM port it
// waits until the line has been silent for comSilenceSeconds and flushes; over TCP it closes the
// connection and opens a new one (a gateway's pending replies go with the old one). A scan, whose
// every probe goes to another address, needs neither: the reply check tells the addresses apart.
struct ExchangeLimits {
    int comAttempts = 3;
    double comReplySeconds = 2.0;
    double tcpReplySeconds = 0; // 0: the default of the link's form
    double comSilenceSeconds = 0.5;
    bool tcpReconnectAfterTimeout = true;
    // Bytes waiting before a request are thrown away; only the benchmark turns this off, to weigh
    // what it costs.
    bool discardBeforeRequest = true;
};
void SetExchangeLimits(const ExchangeLimits& limits);
const ExchangeLimits& CurrentExchangeLimits();

enum class LinkLoss {
    ServerClosed,    // the TCP connection ended (the server closed it, or it broke)
    DeviceGone,      // the serial device went away (a USB adapter pulled)
    ReconnectFailed, // the connection closed after a time-out could not be opened again
};

// What the link has to tell the program around it. The link shows nothing itself: the desktop
// program installs its popups, its tray icon and its hold on timers here, the command-line tool
// a line on stderr. Any member may be empty.
struct LinkReporter {
    std::function<void(bool underWay)> exchanging; // an exchange starts (true) and ends (false)
    std::function<void(const char* image)> icon;   // the taskbar icon for each stage of an exchange
    std::function<void(const std::string& title, const std::string& message)> error; // report 1 only
    // The link is lost: told once per opening, whenever it is noticed, between exchanges too.
    std::function<void(LinkLoss why)> lost;
    // The exchange waits for its reply: called often while it waits, with the seconds since the
    // exchange began and the seconds it may still wait at most.
    std::function<void(double elapsed, double remaining)> waiting;
    // Asked at least every 100 ms while the link waits (for a reply, a connection, the pause
    // after an exchange): true ends the wait at once and the exchange as Stopped.
    std::function<bool()> stopRequested;
};

// Whether an exchange is under way (it may let events through while it waits).
bool ExchangeUnderWay();
void SetLinkReporter(LinkReporter reporter);

// Sees how every exchange ended: "" when its reply was taken, else LastExchangeFailure's words
// (link/exchange_words.h).
// Pass {} to stop.
using ExchangeTrace = std::function<void(double seconds, const std::string& failure)>;
void SetExchangeTrace(ExchangeTrace trace);

// Why the last exchange refused its reply (None when it took one, or had none to look at).
ReplyFault LastReplyFault();

// How the last exchange ended (link/exchange_words.h says it in words): Refused comes with
// LastReplyFault, Exception with LastExceptionCode. NoReply is a serial line's silence through
// every attempt, TimedOut a TCP reply that did not come whole within its wait; Stopped an exchange
// whose wait was ended by the reporter's stopRequested (it says nothing of the analyser).
enum class ExchangeEnd {
    Accepted, NoReply, TimedOut, Refused, Exception, ConnectionClosed, DeviceGone, NotSent, TcpError, Stopped
};
ExchangeEnd LastExchangeEnd();
int LastExceptionCode();
// Whether the last exchange's request was a write (function 6 or 16).
bool LastExchangeWasWrite();

// Sees the verdict of the reply check on every reply, accepted or not: stale Modbus/TCP replies
// dropped while the wait goes on included. Pass {} to stop.
using ReplyTrace = std::function<void(double seconds, ReplyFault fault)>;
void SetReplyTrace(ReplyTrace trace);
