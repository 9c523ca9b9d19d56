// The simulator's deframers and slave over any byte stream, cut into segments as the input says:
// nothing crashes, and every reply the slave frames for RTU carries a good CRC.
#include <cstdint>
#include <cstdlib>

#include "sim/slave.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const bool mbap = data[0] & 1;
    const size_t segment = 1 + data[1] % 64;
    data += 2;
    size -= 2;
    sim::Options options;
    options.seed = 1;
    options.modelCode = 59;
    options.moving = false;
    sim::Model model(options, 0);
    sim::FaultPlan faults;
    sim::Slave slave(model, faults, 1);
    sim::RtuDeframer rtu;
    sim::MbapDeframer frames;
    for (size_t at = 0; at < size; at += segment) {
        const size_t n = size - at < segment ? size - at : segment;
        if (mbap) {
            std::vector<sim::MbapRequest> requests;
            if (!frames.push(data + at, n, &requests)) return 0;
            for (const sim::MbapRequest& r : requests) slave.handle(r.pdu, sim::Framing::Mbap, r.transactionId, 1.0);
            continue;
        }
        for (const sim::Bytes& pdu : rtu.push(data + at, n))
            for (const sim::Transmission& t : slave.handle(pdu, sim::Framing::Rtu, 0, 1.0).reply)
                if (!sim::crcValid(t.bytes.data(), t.bytes.size())) std::abort();
    }
    return 0;
}
