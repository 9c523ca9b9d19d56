// The exchange over TCP: Modbus/TCP, or RTU frames carried over TCP; the reply assembled from as
// many receives as it takes.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "lang/label_table.h"
#include "link/exchange_steps.h"
#include "link/exchange_words.h"
#include "link/link_settings.h"
#include "link/reply_check.h"
#include "platform/system.h"
#include "platform/tcp.h"

using namespace exchange_detail;

namespace {

constexpr int kModbusTcpPasses = 1000;
constexpr int kRtuOverTcpPasses = 1500;
constexpr double kTcpPassSeconds = 0.01;
constexpr int kRtuOverTcpWriteTimeoutMs = 10000;

// Once a reply has begun, each further segment must follow within this time; a reply that stops
// half-way ends the exchange instead of waiting out the whole reply wait.
constexpr double kTcpByteTimeout = 0.5;

// The bytes of the TCP reply under way, assembled from as many receives as it takes. It holds a
// stale reply and the current one behind it; bytes a peer sends beyond that are dropped.
constexpr int kTcpAssemblySize = 4 * kTcpFrameBufferSize;
unsigned char g_tcpFrame[kTcpAssemblySize];
int g_tcpFrameLength = 0;
bool g_tcpFrameIsMbap = false;
double g_lastSegmentTime = 0;

void reportTcp(int text, bool modbusTcp, const std::string& host, unsigned short tcpPort) {
    const char* format = modbusTcp ? "%s(%s:%i)" : "%s\n(%s:%i)";
    reportError(errorTitle(),
                strfmt(format, etiqueta[text].c_str(), host.c_str(), static_cast<int>(tcpPort)));
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
        trace(FrameKind::Received, g_tcpFrame, length);
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

// A reply that came after its exchange gave up would otherwise be taken for the next one's: what
// waits on the connection, in Qt or still in the system, is read and thrown away. False when the
// connection turns out to have ended meanwhile.
bool discardStaleBytes() {
    if (!g_limits.discardBeforeRequest) return true;
    std::vector<unsigned char> stale;
    const int result = DiscardTCPInput(TCP_handle, &stale);
    trace(FrameKind::Discarded, stale.data(), static_cast<int>(stale.size()));
    return result != kTCP_ConnectionClosed;
}

// The connection ended: the callback hears of it (once) and the exchange ends without a reply.
int connectionClosed() {
    ProcessTCPEvents();
    return fail(kTcpClosed);
}

// RTU frames carry nothing that tells one reply from another: after a time-out a late reply to
// this request would pass for the reply to the next. It goes with the connection, so a new one
// is opened to the same place before the next request; if none can be, the link is lost.
void reconnect(unsigned short tcpPort, const std::string& host) {
    DisconnectFromTCPServer(TCP_handle);
    TCP_handle = 0;
    linkEvent("connection closed after the time-out, so a late reply cannot pass for the next one");
    if (ConnectToTCPServer(&TCP_handle, tcpPort, host, Ulvo_TCP_Cliente, nullptr, 0) < 0) {
        TCP_handle = 0;
        linkEvent("cannot connect again: " + LastTCPConnectError());
        // Told first, as any lost link is; then the link counts as closed, so whoever keeps it
        // open opens it anew rather than sending into nothing.
        reportLoss(LinkLoss::ReconnectFailed);
        markLinkClosed();
        return;
    }
    linkEvent("connected again");
}

} // namespace

int exchange_detail::transmitTcp(int port, unsigned char* request, int requestLength, unsigned char* reply,
                                 int report, unsigned short tcpPort, const std::string& host) {
    const bool modbusTcp = SpeaksModbusTcp(port, tcpPort);
    // A connection that could not be made again after a time-out: nothing to send on.
    if (TCP_handle == 0) return fail(kTcpClosed);
    if (!discardStaleBytes()) return connectionClosed();
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
        trace(FrameKind::Sent, frame, written);
        if (written == kTCP_ConnectionClosed) return connectionClosed();
        pause();
        if (written < total) return fail(kNoReply);
        if (request[0] == 0) return broadcastSent();
        passes = g_limits.tcpReplySeconds > 0 ? tcpPasses(g_limits.tcpReplySeconds) : kModbusTcpPasses;
    } else {
        Ulvo_CalculoCRC_2(request, requestLength);
        const int total = requestLength + 2;
        setIcon(kIconSending);
        const int written = ClientTCPWrite(TCP_handle, request, total, kRtuOverTcpWriteTimeoutMs);
        trace(FrameKind::Sent, request, written);
        if (written == kTCP_ConnectionClosed) return connectionClosed();
        TCP_Rx_Status = 0;
        if (written < total) return fail(kNoReply);
        if (request[0] == 0) return broadcastSent();
        passes = g_limits.tcpReplySeconds > 0 ? tcpPasses(g_limits.tcpReplySeconds) : kRtuOverTcpPasses;
    }

    // Each pass returns as soon as bytes arrive, so the wait costs nothing beyond the wire; the
    // number of passes still bounds it (10 s for Modbus/TCP, 15 s for RTU over TCP).
    setIcon(kIconReceiving);
    g_waitEnd = Timer() + passes * kTcpPassSeconds;
    TcpWait state = tcpWaitState(transactionId);
    for (int count = passes; count > 0 && state == TcpWait::Going && !WaitInterrupted(); --count) {
        WaitForTCPEvent(kTcpPassSeconds);
        ProcessTCPEvents();
        state = tcpWaitState(transactionId);
        if (state == TcpWait::Going) reportWaiting();
    }
    trace(FrameKind::Received, g_tcpFrame, g_tcpFrameLength);
    if (state == TcpWait::Going && WaitInterrupted()) return kStopped;
    // Part of a reply when the wait ran out is a reply cut short, not silence.
    if (state == TcpWait::Going && g_tcpFrameLength > 0) state = TcpWait::CutShort;
    if (TCP_Rx_Status < 0) return fail(TCP_Rx_Status);
    if (TCP_Rx_Status == 2) return fail(kTcpClosed);
    const bool replyMissing = state == TcpWait::Going || state == TcpWait::CutShort;
    if (replyMissing && !modbusTcp && g_limits.tcpReconnectAfterTimeout) reconnect(tcpPort, host);
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
        if (report == 1) reportTcp(WordsOf(ExchangeEnd::Refused, fault).popupText, modbusTcp, host, tcpPort);
        // Whole and the device's, only not the echo a write expects: kept for who relays it.
        if (fault == ReplyFault::Echo) g_lastReplyLength = modbusTcp ? replyLength : replyLength - 2;
        return fail(kCrcError);
    }
    g_lastReplyLength = modbusTcp ? replyLength : replyLength - 2;
    if (reply[1] & kExceptionFlag) {
        g_lastException = reply[2];
        if (report == 1) reportTcp(WordsOf(ExchangeEnd::Exception).popupText, modbusTcp, host, tcpPort);
        return fail(kExceptionReply);
    }
    g_lastReplyDataBytes = dataBytesOf(reply, replyLength, modbusTcp ? 3 : 5);
    pause();
    setIcon(kIconIdle);
    return kExchangeOk;
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
        if (handle == TCP_handle) reportLoss(LinkLoss::ServerClosed);
        break;
    default: break;
    }
    return 0;
}
