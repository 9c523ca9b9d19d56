#include "link/exchange.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "lang/label_table.h"
#include "link/link_settings.h"
#include "link/reply_check.h"
#include "platform/serial.h"
#include "platform/system.h"
#include "platform/tcp.h"

unsigned TCP_handle = 0;
int TCP_Rx_Status = 0;
int TCP_Bytes_Rx = 0;
unsigned char TCP_Rx_Buffer[kTcpReceiveBufferSize];
int Contador_TCP = 1;

unsigned char g_requestBuffer[kRequestBufferSize];
unsigned char g_replyBuffer[kReplyBufferSize];

double g_exchangePause = 0.15;

namespace {

constexpr const char* kIconIdle = "trffc_a.ico";
constexpr const char* kIconReceiving = "trffc_b.ico";
constexpr const char* kIconSending = "trffc_c.ico";
constexpr const char* kIconError = "trffc_d.ico";

constexpr double kComWriteTimeout = 8.0;
constexpr double kComRetryTimeout = 1.0;
constexpr int kComQueueSize = 4096;

constexpr int kModbusTcpPort = 502;
constexpr int kModbusTcpPortNumber = 100;
constexpr int kRtuOverTcpPortNumber = 101;
constexpr int kModbusTcpPasses = 1000;
constexpr int kRtuOverTcpPasses = 1500;
constexpr double kTcpPassSeconds = 0.01;
constexpr int kRtuOverTcpWriteTimeoutMs = 10000;

constexpr int kTextError = 21;
constexpr int kTextNoAnswer = 24;
constexpr int kTextCrcError = 25;

// Once a reply has begun, each further segment must follow within this time; a reply that stops
// half-way ends the exchange instead of waiting out the whole reply wait.
constexpr double kTcpByteTimeout = 0.5;

ExchangeLimits g_limits;
FrameTrace g_trace;
ExchangeTrace g_exchangeTrace;
ReplyTrace g_replyTrace;
LinkReporter g_reporter;
int g_lastReplyDataBytes = 0;
ReplyFault g_lastFault = ReplyFault::None;
// What the last exchange ended with, for LastExchangeFailure. kNoHost is the link's own: the
// callers see it as kExceptionReply, as they always have.
constexpr int kNoHost = -100;
// The serial device went away during the exchange; the callers see kNoReply.
constexpr int kDeviceGone = -101;
bool g_linkOpen = false;
int g_lastStatus = kExchangeOk;
int g_lastException = 0;

// The bytes of the TCP reply under way, assembled from as many receives as it takes. It holds a
// stale reply and the current one behind it; bytes a peer sends beyond that are dropped.
constexpr int kTcpAssemblySize = 4 * kTcpFrameBufferSize;
unsigned char g_tcpFrame[kTcpAssemblySize];
int g_tcpFrameLength = 0;
bool g_tcpFrameIsMbap = false;
double g_lastSegmentTime = 0;

double g_exchangeStart = 0;
double g_waitEnd = 0; // when the wait under way gives up at the latest
bool g_underWay = false;

void reportWaiting() {
    if (g_reporter.waiting) g_reporter.waiting(Timer() - g_exchangeStart, std::max(0.0, g_waitEnd - Timer()));
}

// The TCP wait and the error popup let events through; a view's timer firing then would start
// a second exchange on the shared buffers. The program around the link holds them back.
struct ExchangeScope {
    ExchangeScope() {
        g_underWay = true;
        g_exchangeStart = Timer();
        if (g_reporter.exchanging) g_reporter.exchanging(true);
        if (g_reporter.waiting) SetSerialWaitHook(reportWaiting);
    }
    ~ExchangeScope() {
        SetSerialWaitHook({});
        g_underWay = false;
        if (g_reporter.exchanging) g_reporter.exchanging(false);
    }
    ExchangeScope(const ExchangeScope&) = delete;
    ExchangeScope& operator=(const ExchangeScope&) = delete;
};

void setIcon(const char* image) {
    if (g_reporter.icon) g_reporter.icon(image);
}

void reportError(const std::string& title, const std::string& message) {
    if (g_reporter.error) g_reporter.error(title, message);
}

void trace(bool sent, const unsigned char* bytes, int length) {
    if (g_trace && length > 0) g_trace(Timer(), sent, bytes, length);
}

// Every reply looked at, accepted or not, with the check's verdict.
ReplyFault verdict(ReplyFault fault) {
    g_lastFault = fault;
    if (g_replyTrace) g_replyTrace(Timer(), fault);
    return fault;
}

// The text that tells the operator why a reply was refused; a CRC error keeps its own text.
int faultText(ReplyFault fault) {
    switch (fault) {
    case ReplyFault::Address: return 394;
    case ReplyFault::Function: return 395;
    case ReplyFault::ByteCount: return 396;
    case ReplyFault::Echo: return 397;
    case ReplyFault::Protocol:
    case ReplyFault::StaleTransaction: return 398;
    case ReplyFault::CutShort: return 399;
    default: return kTextCrcError;
    }
}

void pause() {
    if (g_exchangePause > 0) Delay(g_exchangePause);
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

// COM messages name the port on a second line: "(:5)"; the empty text stands where a TCP
// message has the host.
void reportCom(int text, int port) {
    reportError(errorTitle(), strfmt("%s\n(%s:%i)", etiqueta[text].c_str(), "", port));
}

void reportTcp(int text, bool modbusTcp, const std::string& host, unsigned short tcpPort) {
    const char* format = modbusTcp ? "%s(%s:%i)" : "%s\n(%s:%i)";
    reportError(errorTitle(),
                strfmt(format, etiqueta[text].c_str(), host.c_str(), static_cast<int>(tcpPort)));
}

int dataBytesOf(const unsigned char* reply, int length, int overhead) {
    if (reply[1] != 3) return 0;
    return std::max(0, std::min<int>(reply[2], length - overhead));
}

// The rest of a reply too long for the reply buffer is read off the line (and dropped), so it
// cannot pass for the start of the next reply.
void drainCom(int port, int count) {
    unsigned char scratch[256];
    while (count > 0) {
        const int got = ComRd(port, scratch, std::min<int>(count, sizeof scratch));
        if (got <= 0) return;
        trace(false, scratch, got);
        count -= got;
    }
}

// A serial device that went away ends the exchange at once, and the program around the link is
// told, so it can close the link rather than keep trying a port that is no longer there.
int deviceGone() {
    showErrorIcon();
    if (g_reporter.deviceGone) g_reporter.deviceGone();
    return kDeviceGone;
}

int transmitCom(int port, unsigned char* request, int requestLength, unsigned char* reply, int report) {
    setIcon(kIconIdle);
    Ulvo_CalculoCRC_2(request, requestLength);
    const int frameLength = requestLength + 2;
    int attempts = g_limits.comAttempts;
    g_waitEnd = Timer() + attempts * g_limits.comReplySeconds;
    FlushOutQ(port);
    FlushInQ(port);
    SetComTime(port, kComWriteTimeout);

    bool taken = false;
    bool tooLong = false;
    int received = 0;
    while (attempts > 0 && !taken) {
        setIcon(kIconSending);
        const int written = ComWrt(port, request, frameLength);
        trace(true, request, written);
        if (written == kRS_DeviceGone) return deviceGone();
        if (written < frameLength) {
            showErrorIcon();
            --attempts;
            continue;
        }
        SetComTime(port, g_limits.comReplySeconds);
        const int head = ComRd(port, reply, 3);
        if (head == kRS_DeviceGone) return deviceGone();
        if (head < 3) {
            trace(false, reply, head);
            FlushInQ(port);
            FlushOutQ(port);
            SetComTime(port, kComRetryTimeout); // governs the next attempt's write
            --attempts;
            showErrorIcon();
            continue;
        }
        // A byte count of up to 255 may announce more than the reply buffer holds: read what
        // fits, drop the rest, and refuse the reply as if its CRC had failed.
        const int remaining = RtuReplyRemainder(reply);
        const int room = kMaxReplyLength - 3;
        tooLong = remaining > room;
        setIcon(kIconReceiving);
        const int body = ComRd(port, reply + 3, std::min(remaining, room));
        received = 3 + std::max(body, 0);
        trace(false, reply, received);
        if (tooLong && body == room) drainCom(port, remaining - room);
        taken = true;
    }

    if (!taken) {
        if (report == 1) reportCom(kTextNoAnswer, port);
        return fail(kNoReply);
    }
    // A reply too long for the buffer cannot be the block asked for; any other is checked whole,
    // its CRC first, before a byte of it is used.
    const ReplyFault fault =
        verdict(tooLong ? ReplyFault::ByteCount : CheckReply(request, reply, received, true));
    if (fault != ReplyFault::None) {
        if (report == 1) reportCom(faultText(fault), port);
        return fail(kCrcError);
    }
    if (reply[1] & kExceptionFlag) {
        g_lastException = reply[2];
        if (report == 1) reportCom(kTextError, port);
        return fail(kExceptionReply);
    }
    g_lastReplyDataBytes = dataBytesOf(reply, received, 5);
    pause();
    setIcon(kIconIdle);
    return kExchangeOk;
}

// The length of the frame at the front of the assembly, from its own bytes; 0 while unknown.
int frontFrameLength() { return ReplyFrameLength(g_tcpFrame, g_tcpFrameLength, g_tcpFrameIsMbap); }

// A frame at the front that can never fit the assembly ends the wait at once, as does a whole one.
bool tcpFrameComplete() {
    const int expected = frontFrameLength();
    return expected > 0 && (g_tcpFrameLength >= expected || expected > kTcpAssemblySize);
}

// Modbus/TCP: a whole reply at the front that answers another request (a late one) is dropped,
// and the wait goes on for the reply to this one.
void dropStaleFrames(unsigned short transactionId) {
    while (g_tcpFrameIsMbap && tcpFrameComplete()) {
        const int length = frontFrameLength();
        if (length > g_tcpFrameLength ||
            CheckMbapHeader(g_tcpFrame, transactionId) != ReplyFault::StaleTransaction)
            return;
        trace(false, g_tcpFrame, length);
        verdict(ReplyFault::StaleTransaction);
        g_tcpFrameLength -= length;
        std::memmove(g_tcpFrame, g_tcpFrame + length, static_cast<size_t>(g_tcpFrameLength));
    }
}

int tcpPasses(double seconds) { return std::max(1, static_cast<int>(std::ceil(seconds / kTcpPassSeconds))); }

enum class TcpWait { Going, Frame, CutShort, Ended };

TcpWait tcpWaitState(unsigned short transactionId) {
    if (TCP_Rx_Status < 0 || TCP_Rx_Status == 2) return TcpWait::Ended;
    if (TCP_Rx_Status == 0) return TcpWait::Going;
    dropStaleFrames(transactionId);
    if (tcpFrameComplete()) return TcpWait::Frame;
    if (g_tcpFrameLength > 0 && Timer() - g_lastSegmentTime > kTcpByteTimeout) return TcpWait::CutShort;
    return TcpWait::Going;
}

// A reply that came after its exchange gave up would otherwise be taken for the next one's.
void discardStaleBytes() {
    unsigned char scratch[kTcpReceiveBufferSize];
    for (int reads = 0; reads < 64; ++reads) {
        const int got = ClientTCPRead(TCP_handle, scratch, sizeof scratch, 0);
        if (got <= 0) return;
        trace(false, scratch, got);
    }
}

int transmitTcp(int port, unsigned char* request, int requestLength, unsigned char* reply, int report,
                unsigned short tcpPort, const std::string& host) {
    const bool modbusTcp =
        port == kModbusTcpPortNumber || (tcpPort == kModbusTcpPort && port != kRtuOverTcpPortNumber);
    discardStaleBytes();
    g_tcpFrameLength = 0;
    g_tcpFrameIsMbap = modbusTcp;

    int passes = 0;
    const auto transactionId = static_cast<unsigned short>(Contador_TCP & 0xFFFF);
    if (modbusTcp) {
        unsigned char frame[kMbapHeaderLength + kMaxRequestLength];
        BuildMbapHeader(transactionId, requestLength, frame);
        ++Contador_TCP;
        std::memcpy(frame + kMbapHeaderLength, request, static_cast<size_t>(requestLength));
        const int total = kMbapHeaderLength + requestLength;
        setIcon(kIconSending);
        TCP_Rx_Status = 0;
        const int written = ClientTCPWrite(TCP_handle, frame, total, 0);
        trace(true, frame, written);
        pause();
        if (written < total) return fail(kNoReply);
        passes = g_limits.tcpReplySeconds > 0 ? tcpPasses(g_limits.tcpReplySeconds) : kModbusTcpPasses;
    } else {
        Ulvo_CalculoCRC_2(request, requestLength);
        const int total = requestLength + 2;
        setIcon(kIconSending);
        const int written = ClientTCPWrite(TCP_handle, request, total, kRtuOverTcpWriteTimeoutMs);
        trace(true, request, written);
        TCP_Rx_Status = 0;
        if (written < total) return fail(kNoReply);
        passes = g_limits.tcpReplySeconds > 0 ? tcpPasses(g_limits.tcpReplySeconds) : kRtuOverTcpPasses;
    }

    // Each pass returns as soon as bytes arrive, so the wait costs nothing beyond the wire; the
    // number of passes still bounds it (10 s for Modbus/TCP, 15 s for RTU over TCP).
    setIcon(kIconReceiving);
    g_waitEnd = Timer() + passes * kTcpPassSeconds;
    TcpWait state = tcpWaitState(transactionId);
    for (int count = passes; count > 0 && state == TcpWait::Going; --count) {
        WaitForTCPEvent(kTcpPassSeconds);
        ProcessTCPEvents();
        state = tcpWaitState(transactionId);
        if (state == TcpWait::Going) reportWaiting();
    }
    trace(false, g_tcpFrame, g_tcpFrameLength);
    if (TCP_Rx_Status < 0) return fail(TCP_Rx_Status);
    if (TCP_Rx_Status == 2) return fail(kTcpClosed);
    if (state == TcpWait::Going) return fail(kTcpTimeout);

    // The reply is checked whole before a byte of it is used; what follows it is dropped.
    const int frameLength = frontFrameLength();
    const int offset = modbusTcp ? kMbapHeaderLength : 0;
    const int replyLength = frameLength - offset;
    ReplyFault fault = ReplyFault::CutShort;
    if (state == TcpWait::Frame && replyLength > kMaxReplyLength)
        fault = ReplyFault::ByteCount;
    else if (state == TcpWait::Frame && modbusTcp)
        fault = CheckMbapHeader(g_tcpFrame, transactionId);
    else if (state == TcpWait::Frame)
        fault = ReplyFault::None;
    if (fault == ReplyFault::None) {
        std::memcpy(reply, g_tcpFrame + offset, static_cast<size_t>(replyLength));
        fault = CheckReply(request, reply, replyLength, !modbusTcp);
    }
    if (verdict(fault) != ReplyFault::None) {
        if (report == 1) reportTcp(faultText(fault), modbusTcp, host, tcpPort);
        return fail(kCrcError);
    }
    if (reply[1] & kExceptionFlag) {
        g_lastException = reply[2];
        if (report == 1) reportTcp(kTextError, modbusTcp, host, tcpPort);
        return fail(kExceptionReply);
    }
    g_lastReplyDataBytes = dataBytesOf(reply, replyLength, modbusTcp ? 3 : 5);
    pause();
    setIcon(kIconIdle);
    return kExchangeOk;
}

} // namespace

int Ulvo_Abrir_Puerto(int port, int baudRate, int dataBits, int parity, int stopBits, unsigned short tcpPort,
                      const std::string& host) {
    if (port < 99) {
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
    g_lastReplyDataBytes = 0;
    g_lastFault = ReplyFault::None;
    g_lastException = 0;
    // A request the buffers were not sized for is a caller's mistake; nothing is sent.
    if (!request || !reply || requestLength < 2 || requestLength > kMaxRequestLength) {
        g_lastStatus = kNoReply;
    } else if (port < 99) {
        g_lastStatus = transmitCom(port, request, requestLength, reply, report);
    } else if (host.empty()) {
        g_lastStatus = kNoHost; // nothing sent; the callers know this status as an exception reply
    } else {
        g_lastStatus = transmitTcp(port, request, requestLength, reply, report, tcpPort, host);
    }
    if (g_exchangeTrace) g_exchangeTrace(Timer(), LastExchangeFailure());
    if (g_lastStatus == kNoHost) return kExceptionReply;
    if (g_lastStatus == kDeviceGone) return kNoReply;
    return g_lastStatus;
}

int Ulvo_TCP_Cliente(unsigned handle, int event, int /*errorCode*/, void* /*callbackData*/) {
    switch (event) {
    case TCP_DATAREADY: {
        unsigned char received[kTcpReceiveBufferSize] = {};
        const int count = ClientTCPRead(handle, received, kTcpReceiveBufferSize - 1, 0);
        if (count < 0) {
            TCP_Rx_Status = count;
            break;
        }
        TCP_Rx_Status = 1;
        TCP_Bytes_Rx = count;
        std::memcpy(TCP_Rx_Buffer, received, static_cast<size_t>(count));
        const int kept = std::min(count, kTcpAssemblySize - g_tcpFrameLength);
        std::memcpy(g_tcpFrame + g_tcpFrameLength, received, static_cast<size_t>(kept));
        g_tcpFrameLength += kept;
        if (count > 0) g_lastSegmentTime = Timer();
        break;
    }
    case TCP_DISCONNECT:
        TCP_Rx_Status = 2;
        if (g_reporter.serverClosed) g_reporter.serverClosed();
        break;
    default: break;
    }
    return 0;
}

void SetExchangeLimits(const ExchangeLimits& limits) { g_limits = limits; }

const ExchangeLimits& CurrentExchangeLimits() { return g_limits; }

void SetLinkReporter(LinkReporter reporter) { g_reporter = std::move(reporter); }

std::string LastExchangeFailure() {
    switch (g_lastStatus) {
    case kExchangeOk: return "";
    case kNoReply: return "no reply";
    case kExceptionReply:
        return strfmt("exception %02X (%s)", g_lastException, ExceptionName(g_lastException));
    case kTcpTimeout: return "time-out";
    case kTcpClosed: return "connection closed";
    case kNoHost: return "no host name";
    case kDeviceGone: return "serial device gone";
    case kCrcError: break;
    default: return strfmt("TCP error %d", g_lastStatus);
    }
    return ReplyFaultName(g_lastFault);
}

ReplyFault LastReplyFault() { return g_lastFault; }

void SetReplyTrace(ReplyTrace trace) { g_replyTrace = std::move(trace); }

void SetExchangeTrace(ExchangeTrace trace) { g_exchangeTrace = std::move(trace); }

int LastReplyDataBytes() { return g_lastReplyDataBytes; }

void SetFrameTrace(FrameTrace trace) { g_trace = std::move(trace); }
