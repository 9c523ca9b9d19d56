// The Modbus slave side of the simulator: request bytes in, reply bytes out, with no I/O, so that
// every framing and fault can be checked with known bytes.
#pragma once

#include "sim/fault_plan.h"
#include "sim/model.h"
#include "sim/simulator.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

using Bytes = std::vector<uint8_t>;

uint16_t crc16(const uint8_t* data, size_t size);
void appendCrc(Bytes& frame); // low byte first
bool crcValid(const uint8_t* frame, size_t size);

// The reply PDU (address, function, data) the analyser gives to a request PDU, or nothing when
// the request is not for it (another address, or a broadcast, which is still carried out).
std::optional<Bytes> answer(Model& model, int ownAddress, const Bytes& pdu, double now);
ReceivedRequest describeRequest(const Bytes& pdu);

// Cuts a stream of RTU bytes into request frames the way a slave on a line does: by the length
// each function implies, dropping frames whose CRC fails and skipping bytes that cannot start one.
class RtuDeframer {
public:
    // Returns the PDUs (CRC removed) completed by these bytes.
    std::vector<Bytes> push(const uint8_t* data, size_t size);
    // Bytes of an unfinished frame are waiting; the line going quiet should discard them.
    bool pending() const { return !buffer_.empty(); }
    void clear() { buffer_.clear(); }

private:
    Bytes buffer_;
};

struct MbapRequest {
    uint16_t transactionId = 0;
    Bytes pdu; // unit identifier, function, data
};

// Assembles Modbus/TCP requests by the MBAP header's length, whatever the TCP segments.
class MbapDeframer {
public:
    // False when the stream is not Modbus/TCP (protocol or length wrong): drop the connection.
    bool push(const uint8_t* data, size_t size, std::vector<MbapRequest>* requests);

private:
    Bytes buffer_;
};

enum class Framing { Rtu, Mbap };

// One piece of a reply and when to send it, in milliseconds after the request came in.
struct Transmission {
    int atMs = 0;
    Bytes bytes;
    bool close = false; // instead of bytes: the connection closes (over TCP)
    int refuseMs = 0;   // instead of bytes: new connections are refused this long (over TCP)
};

struct Exchange {
    ReceivedRequest request;
    std::vector<Transmission> reply; // empty: nothing is sent
};

// Answers one complete request: runs it against the model, applies the fault plan, frames it.
class Slave {
public:
    Slave(Model& model, FaultPlan& faults, int address) : model_(model), faults_(faults), address_(address) {}

    Exchange handle(const Bytes& pdu, Framing framing, uint16_t transactionId, double now);

private:
    Model& model_;
    FaultPlan& faults_;
    int address_;
};

} // namespace sim
