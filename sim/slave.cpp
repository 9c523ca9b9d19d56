#include "sim/slave.h"

#include <algorithm>

namespace sim {

namespace {

constexpr int kMaxReadCount = 125;
constexpr int kMaxWriteCount = 123;
constexpr size_t kMaxMbapLength = 254; // unit identifier + the largest PDU
constexpr size_t kMaxRtuFrame = 256;   // address + the largest PDU + CRC

uint16_t word(const Bytes& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

void putWord(Bytes& bytes, uint16_t value) {
    bytes.push_back(static_cast<uint8_t>(value >> 8));
    bytes.push_back(static_cast<uint8_t>(value & 0xFF));
}

Bytes exceptionPdu(uint8_t address, uint8_t function, uint8_t code) {
    return {address, static_cast<uint8_t>(function | 0x80), code};
}

bool knownFunction(uint8_t function) {
    return function == 3 || function == 6 || function == 16;
}

} // namespace

uint16_t crc16(const uint8_t* data, size_t size) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    }
    return crc;
}

void appendCrc(Bytes& frame) {
    uint16_t crc = crc16(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
}

bool crcValid(const uint8_t* frame, size_t size) {
    return size >= 4 && crc16(frame, size) == 0;
}

ReceivedRequest describeRequest(const Bytes& pdu) {
    ReceivedRequest request;
    request.pdu = pdu;
    if (pdu.size() < 2) return request;
    request.function = pdu[1];
    if (knownFunction(pdu[1]) && pdu.size() >= 6) {
        request.start = word(pdu, 2);
        if (pdu[1] == 6) {
            request.count = 1;
            request.values.push_back(word(pdu, 4));
        } else {
            request.count = word(pdu, 4);
        }
        if (pdu[1] == 16)
            for (size_t at = 7; at + 1 < pdu.size(); at += 2)
                request.values.push_back(word(pdu, at));
    }
    return request;
}

std::optional<Bytes> answer(Model& model, int ownAddress, const Bytes& pdu, double now) {
    if (pdu.size() < 2) return std::nullopt;
    uint8_t address = pdu[0], function = pdu[1];
    bool broadcast = address == 0;
    if (!broadcast && address != ownAddress) return std::nullopt;
    model.advance(now);

    // A broadcast is carried out when it is a write, and never answered.
    auto reply = [&](Bytes bytes) -> std::optional<Bytes> {
        if (broadcast) return std::nullopt;
        return bytes;
    };
    if (!knownFunction(function)) return reply(exceptionPdu(address, function, kIllegalFunction));
    if (pdu.size() < 6) return reply(exceptionPdu(address, function, kIllegalValue));
    int start = word(pdu, 2);

    if (function == 3) {
        int count = word(pdu, 4);
        if (broadcast) return std::nullopt;
        if (pdu.size() != 6 || count < 1 || count > kMaxReadCount)
            return exceptionPdu(address, function, kIllegalValue);
        std::vector<uint16_t> values;
        if (uint8_t code = model.read(start, count, &values)) return exceptionPdu(address, function, code);
        Bytes out = {address, function, static_cast<uint8_t>(2 * count)};
        for (uint16_t value : values)
            putWord(out, value);
        return out;
    }

    std::vector<uint16_t> values;
    if (function == 6) {
        if (pdu.size() != 6) return reply(exceptionPdu(address, function, kIllegalValue));
        values.push_back(word(pdu, 4));
    } else {
        int count = word(pdu, 4);
        if (pdu.size() < 7 || count < 1 || count > kMaxWriteCount || pdu[6] != 2 * count ||
            pdu.size() != 7 + static_cast<size_t>(2 * count))
            return reply(exceptionPdu(address, function, kIllegalValue));
        for (int k = 0; k < count; ++k)
            values.push_back(word(pdu, 7 + 2 * k));
    }
    if (uint8_t code = model.write(start, values, now)) return reply(exceptionPdu(address, function, code));
    // Function 6 echoes the request; function 16 confirms start and count.
    return reply(Bytes(pdu.begin(), pdu.begin() + 6));
}

// The shortest frame starting at `frame` (at most `size` bytes) whose CRC checks out; 0 if none.
// One running CRC over the bytes, so a scan costs one pass, not one pass per possible end.
static size_t firstValidFrame(const uint8_t* frame, size_t size) {
    uint16_t crc = 0xFFFF;
    for (size_t end = 1; end <= size; ++end) {
        crc ^= frame[end - 1];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
        if (end >= 4 && crc == 0) return end;
    }
    return 0;
}

// Frames are consumed by moving a read position; the consumed bytes go in one erase per push, so
// the cost grows with the bytes received, not with their square.
std::vector<Bytes> RtuDeframer::push(const uint8_t* data, size_t size) {
    buffer_.insert(buffer_.end(), data, data + size);
    std::vector<Bytes> frames;
    size_t at = 0;
    while (buffer_.size() - at >= 2) {
        const uint8_t* frame = buffer_.data() + at;
        const size_t available = buffer_.size() - at;
        uint8_t function = frame[1];
        size_t length = 0;
        if (function == 3 || function == 6) {
            length = 8;
        } else if (function == 16) {
            if (available < 7) break;
            length = 9 + frame[6];
        } else {
            // A function we do not know: its frame ends where a CRC first checks out, and if none
            // does, bytes further on that start a known request mark noise to skip.
            length = firstValidFrame(frame, std::min(available, kMaxRtuFrame));
            if (length == 0) {
                size_t next = 1;
                while (next + 1 < available && !knownFunction(frame[next + 1]))
                    ++next;
                // Wait for more bytes, or for quiet; but a peer that never pauses must not make
                // the buffer grow past any frame's length.
                if (next + 1 >= available && available < kMaxRtuFrame) break;
                at += std::min(next, available);
                continue;
            }
        }
        if (available < length) break;
        if (crcValid(frame, length)) {
            frames.emplace_back(frame, frame + length - 2);
            at += length;
        } else {
            // A frame that fails its CRC is never answered; look for the next one a byte further.
            ++at;
        }
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(at));
    return frames;
}

bool MbapDeframer::push(const uint8_t* data, size_t size, std::vector<MbapRequest>* requests) {
    buffer_.insert(buffer_.end(), data, data + size);
    size_t at = 0;
    bool valid = true;
    while (buffer_.size() - at >= 7) {
        uint16_t protocol = word(buffer_, at + 2);
        size_t length = word(buffer_, at + 4);
        if (protocol != 0 || length < 2 || length > kMaxMbapLength) {
            valid = false;
            break;
        }
        if (buffer_.size() - at < 6 + length) break;
        MbapRequest request;
        request.transactionId = word(buffer_, at);
        const auto begin = buffer_.begin() + static_cast<long>(at + 6);
        request.pdu.assign(begin, begin + static_cast<long>(length));
        requests->push_back(std::move(request));
        at += 6 + length;
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(at));
    return valid;
}

Exchange Slave::handle(const Bytes& pdu, Framing framing, uint16_t transactionId, double now) {
    Exchange exchange;
    exchange.request = describeRequest(pdu);
    bool forUs = pdu.size() >= 2 && pdu[0] == address_;
    std::vector<FaultRule> rules;
    if (forUs) rules = faults_.take(exchange.request.function, exchange.request.start);
    auto has = [&](FaultRule::Kind kind) {
        return std::any_of(rules.begin(), rules.end(), [&](const FaultRule& r) { return r.kind == kind; });
    };

    // An exception from the plan stands for a refusal, so the request is not carried out.
    std::optional<Bytes> reply;
    if (has(FaultRule::Kind::Exception)) {
        for (const FaultRule& rule : rules)
            if (rule.kind == FaultRule::Kind::Exception)
                reply = exceptionPdu(pdu[0], pdu[1], static_cast<uint8_t>(rule.exceptionCode));
    } else {
        reply = answer(model_, address_, pdu, now);
    }
    if (!reply || has(FaultRule::Kind::Silence)) return exchange;
    if (has(FaultRule::Kind::Close)) {
        exchange.reply.push_back({.atMs = 0, .bytes = {}, .close = true});
        return exchange;
    }
    for (const FaultRule& rule : rules)
        if (rule.kind == FaultRule::Kind::Restart) {
            exchange.reply.push_back({.atMs = 0, .bytes = {}, .close = false, .refuseMs = rule.delayMs});
            return exchange;
        }

    for (const FaultRule& rule : rules) {
        if (rule.kind == FaultRule::Kind::ByteCount && (*reply)[1] == 3) {
            Bytes data(reply->begin() + 3, reply->end());
            data.resize(static_cast<size_t>(rule.byteCount), 0);
            reply->resize(2);
            reply->push_back(static_cast<uint8_t>(rule.byteCount));
            reply->insert(reply->end(), data.begin(), data.end());
        }
        if (rule.kind == FaultRule::Kind::Zero && (*reply)[1] == 3) std::fill(reply->begin() + 3, reply->end(), 0);
        if (rule.kind == FaultRule::Kind::OtherAddress) (*reply)[0] = static_cast<uint8_t>(rule.address);
    }

    Bytes frame;
    if (framing == Framing::Rtu) {
        frame = *reply;
        appendCrc(frame);
        if (has(FaultRule::Kind::BadCrc)) {
            frame[frame.size() - 2] ^= 0xFF;
            frame[frame.size() - 1] ^= 0xFF;
        }
    } else {
        putWord(frame, transactionId);
        putWord(frame, 0);
        putWord(frame, static_cast<uint16_t>(reply->size()));
        frame.insert(frame.end(), reply->begin(), reply->end());
    }

    int delayMs = 0;
    std::vector<int> segments;
    int pauseMs = 0;
    for (const FaultRule& rule : rules) {
        if (rule.kind == FaultRule::Kind::Replace) frame = rule.bytes;
        if (rule.kind == FaultRule::Kind::CutShort)
            frame.resize(std::min(frame.size(), static_cast<size_t>(std::max(rule.keepBytes, 0))));
        if (rule.kind == FaultRule::Kind::Late) delayMs += rule.delayMs;
        if (rule.kind == FaultRule::Kind::Split) segments = rule.segments, pauseMs = rule.pauseMs;
    }
    if (frame.empty()) return exchange;

    exchange.request.answered = true;
    size_t at = 0;
    int when = delayMs;
    for (int size : segments) {
        if (at >= frame.size() || size <= 0) break;
        size_t end = std::min(frame.size(), at + static_cast<size_t>(size));
        exchange.reply.push_back(
            {when, Bytes(frame.begin() + static_cast<long>(at), frame.begin() + static_cast<long>(end))});
        at = end;
        when += pauseMs;
    }
    if (at < frame.size())
        exchange.reply.push_back({when, Bytes(frame.begin() + static_cast<long>(at), frame.end())});
    return exchange;
}

} // namespace sim
