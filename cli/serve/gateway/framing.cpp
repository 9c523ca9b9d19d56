#include "serve/gateway/framing.h"

#include <algorithm>

#include "link/modbus_frame.h"

namespace {

// Modbus/TCP: transaction, protocol, length, then the unit and the PDU of at most 253 bytes.
constexpr size_t kMbap = 7;
constexpr size_t kLongestPdu = 253;

int word(const Bytes& b, size_t at) { return b[at] << 8 | b[at + 1]; }

// An RTU request's whole length (CRC included) once enough of it is in; 0 while that is unknown.
// A function whose length is not known from its own bytes is taken as all that has arrived, if
// that ends in its CRC.
size_t rtuRequestLength(const Bytes& b) {
    if (b.size() < 2) return 0;
    const int function = b[1];
    if ((function >= 1 && function <= 6)) return 8;
    if (function == 15 || function == 16) return b.size() < 7 ? 0 : 9 + b[6];
    return b.size() >= 4 && CrcValid(b.data(), static_cast<int>(b.size())) ? b.size() : 0;
}

} // namespace

void RequestReader::feed(const unsigned char* bytes, size_t length) { buffer_.insert(buffer_.end(), bytes, bytes + length); }

RequestReader::Step RequestReader::next(GatewayRequest& request) {
    if (framing_ == GatewayFraming::ModbusTcp) {
        if (buffer_.size() < kMbap) return Step::Waiting;
        const size_t length = static_cast<size_t>(word(buffer_, 4));
        if (word(buffer_, 2) != 0 || length < 2 || length > kLongestPdu + 1) {
            why_ = word(buffer_, 2) != 0 ? "a Modbus/TCP header of protocol " + std::to_string(word(buffer_, 2))
                                         : "a Modbus/TCP frame of " + std::to_string(6 + length) +
                                               " bytes, which Modbus does not allow";
            buffer_.clear();
            return Step::Broken;
        }
        if (buffer_.size() < 6 + length) return Step::Waiting;
        request.transaction = static_cast<uint16_t>(word(buffer_, 0));
        request.unit = buffer_[6];
        request.pdu.assign(buffer_.begin() + kMbap, buffer_.begin() + static_cast<long>(6 + length));
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(6 + length));
        return Step::Request;
    }
    const size_t length = rtuRequestLength(buffer_);
    if (length == 0 && buffer_.size() <= static_cast<size_t>(kMaxRtuFrameLength)) return Step::Waiting;
    if (length > static_cast<size_t>(kMaxRtuFrameLength) || (length == 0 && !buffer_.empty())) {
        why_ = length > 0 ? "an RTU frame of " + std::to_string(length) + " bytes, which Modbus does not allow"
                          : std::to_string(buffer_.size()) + " bytes that hold no RTU frame";
        buffer_.clear();
        return Step::Dropped;
    }
    if (buffer_.size() < length) return Step::Waiting;
    // A frame whose CRC fails is not answered, as an analyser does not; what came with it goes too,
    // as nothing tells where the next frame would begin.
    if (!CrcValid(buffer_.data(), static_cast<int>(length))) {
        why_ = "an RTU frame whose CRC does not match";
        buffer_.clear();
        return Step::Dropped;
    }
    request.transaction = 0;
    request.unit = buffer_[0];
    request.pdu.assign(buffer_.begin() + 1, buffer_.begin() + static_cast<long>(length - 2));
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(length));
    return Step::Request;
}

bool RequestReader::dropPartial() {
    if (buffer_.empty()) return false;
    why_ = std::to_string(buffer_.size()) + " bytes that make no whole RTU frame";
    buffer_.clear();
    return true;
}

bool IsPassedFunction(int function) { return (function >= 1 && function <= 6) || function == 15 || function == 16; }

bool IsWriteFunction(int function) { return function == 5 || function == 6 || function == 15 || function == 16; }

int MalformedRequestException(const Bytes& pdu) {
    const int function = pdu.empty() ? 0 : pdu[0];
    const bool multiple = function == 15 || function == 16;
    if (pdu.size() < 5 || (multiple ? pdu.size() < 6 || pdu.size() != 6u + pdu[5] : pdu.size() != 5))
        return kIllegalDataValue;
    const int count = word(pdu, 3);
    switch (function) {
    case 1:
    case 2: return count >= 1 && count <= 2000 ? 0 : kIllegalDataValue;
    case 3:
    case 4: return count >= 1 && count <= 125 ? 0 : kIllegalDataValue;
    case 5: return count == 0xFF00 || count == 0 ? 0 : kIllegalDataValue;
    case 15: return count >= 1 && count <= 1968 && pdu[5] == (count + 7) / 8 ? 0 : kIllegalDataValue;
    case 16: return count >= 1 && count <= 123 && pdu[5] == 2 * count ? 0 : kIllegalDataValue;
    default: return 0;
    }
}

std::string RequestSpan(const Bytes& pdu) {
    if (pdu.size() < 5) return "?";
    const int function = pdu[0], first = word(pdu, 1);
    const bool coils = function == 1 || function == 2 || function == 5 || function == 15;
    const int count = function == 5 || function == 6 ? 1 : word(pdu, 3);
    const std::string what = coils ? "coil" : "register";
    if (count <= 1) return what + " " + std::to_string(first);
    return what + "s " + std::to_string(first) + "-" + std::to_string(first + count - 1);
}

Bytes FrameReply(GatewayFraming framing, const GatewayRequest& request, const Bytes& pdu) {
    Bytes out;
    if (framing == GatewayFraming::ModbusTcp) {
        const size_t length = pdu.size() + 1;
        out = {static_cast<unsigned char>(request.transaction >> 8), static_cast<unsigned char>(request.transaction), 0, 0,
               static_cast<unsigned char>(length >> 8), static_cast<unsigned char>(length), request.unit};
        out.insert(out.end(), pdu.begin(), pdu.end());
        return out;
    }
    out.push_back(request.unit);
    out.insert(out.end(), pdu.begin(), pdu.end());
    const unsigned short crc = ModbusCrc(out.data(), static_cast<int>(out.size()));
    out.push_back(static_cast<unsigned char>(crc & 0xFF));
    out.push_back(static_cast<unsigned char>(crc >> 8));
    return out;
}

Bytes ExceptionPdu(const GatewayRequest& request, int code) {
    const int function = request.pdu.empty() ? 0 : request.pdu[0];
    return {static_cast<unsigned char>((function | kExceptionFlag) & 0xFF), static_cast<unsigned char>(code)};
}
