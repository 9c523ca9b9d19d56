// What the serial and the TCP halves of the exchange share: the reporting, the trace, the limits
// and the state of the exchange under way. Only the link's own exchange files include it.
#pragma once

#include <string>

#include "link/exchange.h"

namespace exchange_detail {

inline constexpr const char* kIconIdle = "trffc_a.ico";
inline constexpr const char* kIconReceiving = "trffc_b.ico";
inline constexpr const char* kIconSending = "trffc_c.ico";
inline constexpr const char* kIconError = "trffc_d.ico";

inline constexpr int kTextError = 21; // the error popup's title

// What an exchange ended with beyond the callers' codes, for LastExchangeFailure. kNoHost: no
// host name, nothing sent (the callers see kExceptionReply, as they always have); kDeviceGone: the
// serial device went away (the callers see kNoReply).
inline constexpr int kNoHost = -100;
inline constexpr int kDeviceGone = -101;
// The wait was ended by the program around the link (the callers see kNoReply).
inline constexpr int kStopped = -102;

extern ExchangeLimits g_limits;
extern LinkReporter g_reporter;
extern int g_lastReplyDataBytes;
extern int g_lastReplyLength;
extern int g_lastException;
extern double g_waitEnd; // when the wait under way gives up at the latest

void setIcon(const char* image);
void reportError(const std::string& title, const std::string& message);
void trace(FrameKind kind, const unsigned char* bytes, int length);
void linkEvent(const std::string& event);
// The link is lost: the program around it hears of it once per opening.
void reportLoss(LinkLoss why);
// The link has no connection left and cannot make one: it counts as closed from now on.
void markLinkClosed();
// Every reply looked at, accepted or not, with the check's verdict.
ReplyFault verdict(ReplyFault fault);
void pause();
// A broadcast (address 0) is written and nobody answers it: the line rests for the turnaround
// delay, in which every device carries it out, and the exchange has gone as it should.
int broadcastSent();
void showErrorIcon();
int fail(int status);
std::string errorTitle();
int dataBytesOf(const unsigned char* reply, int length, int overhead);
// The status the last exchange returned, with the codes beyond the callers' (kNoHost, kDeviceGone).
int LastStatus();
void reportWaiting();

int transmitCom(int port, unsigned char* request, int requestLength, unsigned char* reply, int report);
int transmitTcp(int port, unsigned char* request, int requestLength, unsigned char* reply, int report,
                unsigned short tcpPort, const std::string& host);

} // namespace exchange_detail
