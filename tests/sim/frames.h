// Request builders and reply decoders shared by the simulator's tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "sim/model.h"
#include "sim/slave.h"
#include "test_support.h"

namespace simtest {

using sim::Bytes;

inline Bytes withCrc(Bytes frame) {
    sim::appendCrc(frame);
    return frame;
}

using testsupport::FromHex;
using testsupport::Hex;

inline Bytes readPdu(int address, int start, int count) {
    return {static_cast<uint8_t>(address),    3,
            static_cast<uint8_t>(start >> 8), static_cast<uint8_t>(start),
            static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)};
}

inline Bytes writePdu(int address, int start, std::initializer_list<uint16_t> values) {
    const auto n = static_cast<uint8_t>(values.size());
    Bytes pdu = {static_cast<uint8_t>(address), 16, static_cast<uint8_t>(start >> 8),
                 static_cast<uint8_t>(start),   0,  n,
                 static_cast<uint8_t>(2 * n)};
    for (uint16_t v : values) {
        pdu.push_back(static_cast<uint8_t>(v >> 8));
        pdu.push_back(static_cast<uint8_t>(v));
    }
    return pdu;
}

// Register k of a read reply (address, 3, byte count, data...).
inline uint16_t replyReg(const Bytes& reply, int k) {
    return static_cast<uint16_t>(reply[3 + 2 * k] << 8 | reply[4 + 2 * k]);
}

inline float replyFloat(const Bytes& reply, int index) {
    return sim::floatFromRegs(replyReg(reply, 2 * index), replyReg(reply, 2 * index + 1));
}

} // namespace simtest
