// What a gateway client sends and is sent back, as bytes: its requests cut out of the stream of a
// TCP connection (Modbus/TCP frames, or RTU frames with their CRC), checked as an analyser would
// check them, and the replies framed as the request came. Pure: no sockets here, so every rule can
// be checked with known bytes, and fuzzed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

enum class GatewayFraming { ModbusTcp, Rtu };

// One request: the Modbus/TCP transaction id (0 for RTU frames), the unit address and the PDU
// (function code and data).
struct GatewayRequest {
    uint16_t transaction = 0;
    uint8_t unit = 0;
    Bytes pdu;
};

// Cuts requests out of one connection's bytes as they arrive.
class RequestReader {
  public:
    explicit RequestReader(GatewayFraming framing) : framing_(framing) {}

    void feed(const unsigned char* bytes, size_t length);

    enum class Step {
        Waiting, // no whole request yet
        Request, // one in `request`
        Dropped, // bytes that are no request were thrown away (an RTU frame whose CRC fails, or junk)
        Broken,  // a Modbus/TCP header no request has: the connection cannot be read any further
    };
    Step next(GatewayRequest& request);
    // RTU frames are told apart by the silence between them: bytes that make no whole frame when
    // the client falls silent are thrown away (true when there were any), so the next frame is read
    // from its start.
    bool dropPartial();
    bool partial() const { return !buffer_.empty(); }
        // Why the last Dropped or Broken was: "a frame of 300 bytes, more than Modbus allows".
    const std::string& why() const { return why_; }

  private:
    GatewayFraming framing_;
    Bytes buffer_;
    std::string why_;
};

// The functions passed to the analysers' bus: those whose request and reply the link frames.
bool IsPassedFunction(int function);
// Whether the function writes (5, 6, 15, 16).
bool IsWriteFunction(int function);

// The exception an analyser would answer a request with whose data do not fit its function (a
// count outside Modbus' limits, a byte count that disagrees with it, a coil value other than on or
// off): 3, "illegal data value"; 0 when the request is well formed. The function is a passed one.
int MalformedRequestException(const Bytes& pdu);

// The first register (or coil) and how many a request names: "registers 800-801", "coil 5".
std::string RequestSpan(const Bytes& pdu);

// The reply to `request`, framed as it came: a Modbus/TCP header with its transaction id, or the
// unit address and the CRC.
Bytes FrameReply(GatewayFraming framing, const GatewayRequest& request, const Bytes& pdu);
// An exception reply's PDU: the function with its high bit set, and the code.
Bytes ExceptionPdu(const GatewayRequest& request, int code);

// Modbus' exception codes a gateway answers with of its own.
constexpr int kIllegalFunction = 0x01;
constexpr int kIllegalDataValue = 0x03;
constexpr int kGatewayPathUnavailable = 0x0A;
constexpr int kGatewayTargetFailed = 0x0B;
