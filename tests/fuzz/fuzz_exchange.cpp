// The whole exchange, on each form of the link, against a peer that plays whatever bytes it is
// given. Whatever the exchange accepts is the reply to the request it sent: the same address,
// function and shape, a good CRC where the frame carries one, and over Modbus/TCP the request's
// transaction id. A stream the peer held back past an exchange's end is never read as a reply by
// a later exchange. Nothing may read or write outside the buffers.
//
// Input: a form byte (bits 0-1: COM, Modbus/TCP, RTU over TCP on another port, RTU over TCP on
// port 502 forced with port 101; bit 2 a write; bit 3 two exchanges in a row), the start register
// (two bytes), the register count, then the peer's script.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "link/exchange.h"
#include "link/exchange_words.h"
#include "scripted_platform.h"

namespace {

struct Form {
    int port;
    unsigned short tcpPort;
    bool modbusTcp;
};
constexpr Form kForms[] = {{1, 0, false}, {99, 502, true}, {99, 2000, false}, {101, 502, false}};

std::vector<unsigned char> g_received; // the last bytes the link traced as received

void check(bool condition) {
    if (!condition) std::abort();
}

void checkExchange(const Form& form, bool write, const unsigned char* request, int count,
                   const unsigned char* reply, int status) {
    if (status != kExchangeOk && status != kExceptionReply) {
        check(!LastExchangeFailure().empty());
        return;
    }
    check(reply[0] == request[0]);
    int length = 0;
    if (status == kExceptionReply) {
        check(reply[1] == (request[1] | kExceptionFlag));
        length = 3;
    } else if (write) {
        check(reply[1] == 16 && std::memcmp(reply + 2, request + 2, 4) == 0);
        length = 6;
    } else {
        check(reply[1] == 3 && reply[2] == 2 * count && LastReplyDataBytes() == 2 * count);
        length = 3 + 2 * count;
    }
    if (!form.modbusTcp) {
        check(CrcValid(reply, length + 2));
        return;
    }
    // The frame taken is the one at the front of what arrived last.
    const std::vector<unsigned char>& sent = scripted::LastWritten();
    check(g_received.size() >= static_cast<size_t>(kMbapHeaderLength + length));
    check(g_received[0] == sent[0] && g_received[1] == sent[1] && g_received[2] == 0 && g_received[3] == 0);
    check(std::memcmp(g_received.data() + kMbapHeaderLength, reply, static_cast<size_t>(length)) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 || size > 4096) return 0;
    const Form& form = kForms[data[0] & 3];
    const bool write = data[0] & 4;
    const int exchanges = data[0] & 8 ? 2 : 1;
    const auto start = static_cast<unsigned short>(data[1] << 8 | data[2]);
    const int count = 1 + data[3] % 108;

    static const bool traced = [] {
        SetFrameTrace([](double, FrameKind kind, const unsigned char* bytes, int length) {
            if (kind == FrameKind::Received) g_received.assign(bytes, bytes + length);
        });
        return true;
    }();
    (void)traced;

    scripted::Load(data + 4, static_cast<int>(size - 4));
    Ulvo_Abrir_Puerto(form.port, 19200, 8, 0, 1, form.tcpPort, "peer");
    // Buffers of exactly the sizes the link is promised, so the sanitizer sees any byte beyond.
    const auto request = std::make_unique<unsigned char[]>(kRequestBufferSize);
    const auto reply = std::make_unique<unsigned char[]>(kReplyBufferSize);
    for (int n = 0; n < exchanges; ++n) {
        if (n > 0) scripted::NextExchange();
        int length = 6;
        if (write) {
            const unsigned char values[2] = {data[3], data[2]};
            length = 2;
            Ulvo_Comando_16(1, start, 1, values, request.get(), &length);
        } else {
            Ulvo_Comando_Lectura(1, 3, start, static_cast<unsigned char>(count), request.get());
        }
        g_received.clear();
        const int status = Ulvo_Transmitir_Modbus(form.port, request.get(), length, reply.get(), 0, 1, "",
                                                  form.tcpPort, "peer");
        checkExchange(form, write, request.get(), count, reply.get(), status);
        check(scripted::LateBytesRead() == 0);
    }
    Ulvo_Cerrar_Puerto(form.port);
    return 0;
}
