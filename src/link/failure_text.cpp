#include "link/failure_text.h"

#include "lang/label_table.h"
#include "link/exchange.h"
#include "platform/system.h"

namespace {

// What happened, one text for each way an exchange can end.
constexpr int kTextNoAnswer = 450;
constexpr int kTextCrc = 451;
constexpr int kTextAddress = 452;
constexpr int kTextFunction = 453;
constexpr int kTextLength = 454;
constexpr int kTextOtherRequest = 455;
constexpr int kTextCutShort = 456;
constexpr int kTextException = 457;
constexpr int kTextClosed = 458;
constexpr int kTextDeviceGone = 459;
constexpr int kTextEcho = 460;
constexpr int kTextTcpError = 461;

int refusedText(ReplyFault fault) {
    switch (fault) {
    case ReplyFault::Address: return kTextAddress;
    case ReplyFault::Function: return kTextFunction;
    case ReplyFault::ByteCount: return kTextLength;
    case ReplyFault::Echo: return kTextEcho;
    case ReplyFault::Protocol:
    case ReplyFault::StaleTransaction: return kTextOtherRequest;
    case ReplyFault::CutShort: return kTextCutShort;
    default: return kTextCrc;
    }
}

} // namespace

std::string FailureSentence(const std::string& when) {
    switch (LastExchangeEnd()) {
    case ExchangeEnd::Refused: return FillIn(etiqueta[refusedText(LastReplyFault())], {when});
    case ExchangeEnd::Exception:
        return FillIn(etiqueta[kTextException], {when, strfmt("%02X", LastExceptionCode())});
    case ExchangeEnd::ConnectionClosed: return FillIn(etiqueta[kTextClosed], {when});
    case ExchangeEnd::DeviceGone: return FillIn(etiqueta[kTextDeviceGone], {when});
    case ExchangeEnd::TcpError: return FillIn(etiqueta[kTextTcpError], {when});
    default: return FillIn(etiqueta[kTextNoAnswer], {when});
    }
}
