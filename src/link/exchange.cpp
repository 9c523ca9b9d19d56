#include "link/exchange.h"

#include <algorithm>
#include <cstring>

#include "lang/label_table.h"
#include "link/exchange_steps.h"
#include "link/exchange_words.h"
#include "link/link_settings.h"
#include "link/reply_check.h"
#include "platform/serial.h"
#include "platform/system.h"
#include "platform/tcp.h"

using namespace exchange_detail;

unsigned TCP_handle = 0;
int TCP_Rx_Status = 0;
int TCP_Bytes_Rx = 0;
unsigned char TCP_Rx_Buffer[kTcpReceiveBufferSize];
int Contador_TCP = 1;

unsigned char g_requestBuffer[kRequestBufferSize];
unsigned char g_replyBuffer[kReplyBufferSize];

double g_exchangePause = 0.15;

namespace exchange_detail {

ExchangeLimits g_limits;
LinkReporter g_reporter;
int g_lastReplyDataBytes = 0;
int g_lastReplyLength = 0;
int g_lastException = 0;
bool g_lastWasWrite = false;
double g_waitEnd = 0;

} // namespace exchange_detail

namespace {

constexpr int kComQueueSize = 4096;

FrameTrace g_trace;
LinkEventTrace g_linkEventTrace;
ExchangeTrace g_exchangeTrace;
ReplyTrace g_replyTrace;
ReplyFault g_lastFault = ReplyFault::None;
bool g_linkOpen = false;
bool g_lossReported = false;

// Where the exchange under way goes, for the traffic monitor and the busy line.
struct Place {
    int port = 0;
    unsigned short tcpPort = 0;
    std::string host;
};
Place g_place;

int g_lastStatus = kExchangeOk;
double g_exchangeStart = 0;
bool g_underWay = false;

// The TCP wait and the error popup let events through; a view's timer firing then would start
// a second exchange on the shared buffers. The program around the link holds them back.
struct ExchangeScope {
    ExchangeScope() {
        g_underWay = true;
        g_exchangeStart = Timer();
        if (g_reporter.exchanging) g_reporter.exchanging(true);
        if (g_reporter.waiting) SetSerialWaitHook(exchange_detail::reportWaiting);
    }
    ~ExchangeScope() {
        SetSerialWaitHook({});
        g_underWay = false;
        if (g_reporter.exchanging) g_reporter.exchanging(false);
    }
    ExchangeScope(const ExchangeScope&) = delete;
    ExchangeScope& operator=(const ExchangeScope&) = delete;
};

} // namespace

namespace exchange_detail {

void reportWaiting() {
    if (g_reporter.waiting) g_reporter.waiting(Timer() - g_exchangeStart, std::max(0.0, g_waitEnd - Timer()));
}

void setIcon(const char* image) {
    if (g_reporter.icon) g_reporter.icon(image);
}

void reportError(const std::string& title, const std::string& message) {
    if (g_reporter.error) g_reporter.error(title, message);
}

void trace(FrameKind kind, const unsigned char* bytes, int length) {
    if (g_trace && length > 0) g_trace(Timer(), kind, bytes, length);
}

void linkEvent(const std::string& event) {
    if (g_linkEventTrace) g_linkEventTrace(Timer(), event);
}

void reportLoss(LinkLoss why) {
    if (g_lossReported || !g_linkOpen) return;
    g_lossReported = true;
    // An exchange ends with its own error icon; a link lost between exchanges keeps it, as the
    // link stays unusable until communication is switched on again.
    if (!g_underWay) setIcon(kIconError);
    if (g_reporter.lost) g_reporter.lost(why);
}

void markLinkClosed() { g_linkOpen = false; }

// Every reply looked at, accepted or not, with the check's verdict.
ReplyFault verdict(ReplyFault fault) {
    g_lastFault = fault;
    if (g_replyTrace) g_replyTrace(Timer(), fault);
    return fault;
}

void pause() {
    if (g_exchangePause > 0) Delay(g_exchangePause);
}

int broadcastSent() {
    constexpr double kBroadcastTurnaround = 0.2; // seconds: within the 100 to 200 ms serial lines ask
    Delay(kBroadcastTurnaround);
    pause();
    setIcon(kIconIdle);
    return kExchangeOk;
}

void showErrorIcon() {
    setIcon(kIconError);
    pause();
    setIcon(kIconIdle);
}

int fail(int status) {
    showErrorIcon();
    return status;
}

std::string errorTitle() { return strfmt("%s - %s", "RQ55", etiqueta[kTextError].c_str()); }

int LastStatus() { return g_lastStatus; }

int dataBytesOf(const unsigned char* reply, int length, int overhead) {
    if (reply[1] != 3) return 0;
    return std::max(0, std::min<int>(reply[2], length - overhead));
}

} // namespace exchange_detail

int Ulvo_Abrir_Puerto(int port, int baudRate, int dataBits, int parity, int stopBits, unsigned short tcpPort,
                      const std::string& host) {
    g_lossReported = false;
    g_place = {port, tcpPort, host};
    if (port < 99) {
        // A device pulled between two exchanges is noticed when Qt notices it, not at the next read.
        SetSerialLostHook([](int) { reportLoss(LinkLoss::DeviceGone); });
        const int result =
            OpenComConfig(port, "", baudRate, parity, dataBits, stopBits, kComQueueSize, kComQueueSize);
        g_linkOpen = result == 0;
        return result;
    }
    Contador_TCP = 1;
    // One conversation at a time: the TCP wait listens to the link's conversation only.
    if (TCP_handle != 0) DisconnectFromTCPServer(TCP_handle);
    TCP_handle = 0;
    const int result = ConnectToTCPServer(&TCP_handle, tcpPort, host, Ulvo_TCP_Cliente, nullptr, 0);
    if (result < 0) TCP_handle = 0;
    g_linkOpen = result >= 0;
    return result;
}

bool LinkIsOpen() { return g_linkOpen; }

bool ExchangeUnderWay() { return g_underWay; }

int Ulvo_Cerrar_Puerto(int port) {
    g_linkOpen = false;
    if (port < 99) {
        CloseCom(port);
    } else if (TCP_handle != 0) {
        DisconnectFromTCPServer(TCP_handle);
        TCP_handle = 0;
    }
    return 0;
}

int Ulvo_Transmitir_Modbus(int port, unsigned char* request, int requestLength, unsigned char* reply,
                           int /*expectedLength*/, int report, const std::string& /*spare*/,
                           unsigned short tcpPort, const std::string& host) {
    const ExchangeScope underWay;
    g_place = {port, tcpPort, host};
    g_lastReplyDataBytes = 0;
    g_lastReplyLength = 0;
    g_lastFault = ReplyFault::None;
    g_lastException = 0;
    // The request is address and function first, however the link frames it.
    g_lastWasWrite = request && requestLength >= 2 && (request[1] == 6 || request[1] == 16);
    // A request the buffers were not sized for is a caller's mistake; nothing is sent.
    if (!request || !reply || requestLength < 2 || requestLength > kMaxRequestLength) {
        g_lastStatus = kNoReply;
    } else if (WaitInterrupted()) {
        g_lastStatus = kStopped; // nothing is sent once a stop has been asked for
    } else if (port < 99) {
        g_lastStatus = transmitCom(port, request, requestLength, reply, report);
    } else if (host.empty()) {
        g_lastStatus = kNoHost; // nothing sent; the callers know this status as an exception reply
    } else {
        g_lastStatus = transmitTcp(port, request, requestLength, reply, report, tcpPort, host);
    }
    if (g_exchangeTrace) g_exchangeTrace(Timer(), LastExchangeFailure());
    if (g_lastStatus == kNoHost) return kExceptionReply;
    if (g_lastStatus == kDeviceGone || g_lastStatus == kStopped) return kNoReply;
    return g_lastStatus;
}

void SetExchangeLimits(const ExchangeLimits& limits) { g_limits = limits; }

const ExchangeLimits& CurrentExchangeLimits() { return g_limits; }

void SetLinkReporter(LinkReporter reporter) {
    g_reporter = std::move(reporter);
    SetWaitInterrupt(g_reporter.stopRequested);
}

ReplyFault LastReplyFault() { return g_lastFault; }

ExchangeEnd LastExchangeEnd() {
    switch (g_lastStatus) {
    case kExchangeOk: return ExchangeEnd::Accepted;
    case kNoReply: return ExchangeEnd::NoReply;
    case kTcpTimeout: return ExchangeEnd::TimedOut;
    case kCrcError: return ExchangeEnd::Refused;
    case kExceptionReply: return ExchangeEnd::Exception;
    case kTcpClosed: return ExchangeEnd::ConnectionClosed;
    case kDeviceGone: return ExchangeEnd::DeviceGone;
    case kNoHost: return ExchangeEnd::NotSent;
    case kStopped: return ExchangeEnd::Stopped;
    default: return ExchangeEnd::TcpError;
    }
}

int LastExceptionCode() { return g_lastException; }
bool LastExchangeWasWrite() { return g_lastWasWrite; }

std::string ExchangePlace(bool withForm) {
    if (!withForm) return LinkPlace(std::min(g_place.port, kTcpLinkPort), g_place.host, g_place.tcpPort);
    return LinkPlaceAndForm(g_place.port, g_place.host, g_place.tcpPort, ExchangeSpeaksModbusTcp());
}

bool ExchangeSpeaksModbusTcp() { return SpeaksModbusTcp(g_place.port, g_place.tcpPort); }

bool SpeaksModbusTcp(int port, unsigned short tcpPort) {
    return port == kModbusTcpPortNumber ||
           (port >= kTcpLinkPort && tcpPort == kModbusTcpPort && port != kRtuOverTcpPortNumber);
}

void SetLinkEventTrace(LinkEventTrace trace) { g_linkEventTrace = std::move(trace); }

void SetReplyTrace(ReplyTrace trace) { g_replyTrace = std::move(trace); }

void SetExchangeTrace(ExchangeTrace trace) { g_exchangeTrace = std::move(trace); }

int LastReplyDataBytes() { return g_lastReplyDataBytes; }

int LastReplyLength() { return g_lastReplyLength; }

void SetFrameTrace(FrameTrace trace) { g_trace = std::move(trace); }
