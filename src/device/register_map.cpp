#include "device/register_map.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>

#include "link/exchange.h"
#include "link/modbus_frame.h"

namespace {

enum class Encoding {
    Float,  // two registers, IEEE-754 single, most significant byte first
    I32,    // two registers, signed, high word first
    U16,    // one register
    U8High, // the high byte of one register
    U8Low,  // the low byte of one register
};

// `repeat` values of one encoding, the first at register `reg` counted from the block's start;
// they fill the record's next indices.
struct Field {
    Encoding encoding;
    int reg;
    int repeat;
};

// A block without a layout is copied raw, in wire order.
struct ReadBlock {
    unsigned short start;
    unsigned char count;
    std::span<const Field> layout;
};

struct WriteStep {
    unsigned short start;
    unsigned char count;
    int dataOffset; // first byte of the caller's data this request carries
};

constexpr Field kNetworkLayout[] = {{Encoding::Float, 0, kNetworkParameterCount}};
constexpr Field kEnergyLayout[] = {{Encoding::Float, 0, kEnergyCount}};
constexpr Field kMaxMinLayout[] = {{Encoding::Float, 0, kMaxMinCount}};
constexpr Field kDemandLayout[] = {{Encoding::Float, 0, kDemandCount}};
constexpr Field kInOutLayout[] = {
    {Encoding::U8High, 0, 1}, {Encoding::U8Low, 0, 1}, {Encoding::U16, 1, 6},
    {Encoding::Float, 7, 2},  {Encoding::U16, 11, 6},  {Encoding::Float, 17, 2},
};
constexpr Field kAnalogOutputLayout[] = {
    {Encoding::U16, 0, 2},
    {Encoding::U8High, 2, 1},
    {Encoding::U8Low, 2, 1},
    {Encoding::Float, 3, 7},
};
// Registers 802 and 803 carry their value in the low byte; the high byte means nothing.
constexpr Field kEquipmentConfigLayout[] = {
    {Encoding::U16, 0, 1},   {Encoding::U8High, 1, 1}, {Encoding::U8Low, 1, 1}, {Encoding::U8Low, 2, 1},
    {Encoding::U8Low, 3, 1}, {Encoding::I32, 4, 2},    {Encoding::U16, 8, 3},
};
// As the equipment panel shows the block, then the four registers whose bytes it shows, whole.
constexpr Field kEquipmentConfigExactLayout[] = {
    {Encoding::U8Low, 0, 1}, {Encoding::U8High, 1, 1}, {Encoding::U8Low, 1, 1}, {Encoding::U8Low, 2, 1},
    {Encoding::U8Low, 3, 1}, {Encoding::I32, 4, 2},    {Encoding::U16, 8, 3},   {Encoding::U16, 0, 4},
};

constexpr ReadBlock kNetworkBlock{6, 60, kNetworkLayout};
constexpr ReadBlock kEnergyBlock{66, 22, kEnergyLayout};
constexpr ReadBlock kMaxMinBlock{130, 108, kMaxMinLayout};
constexpr ReadBlock kDemandBlock{238, 24, kDemandLayout};
constexpr ReadBlock kInOutBlock{200, 21, kInOutLayout};
constexpr ReadBlock kEquipmentConfigBlock{800, 11, kEquipmentConfigLayout};
constexpr ReadBlock kSerialNumberBlock{811, 11, {}};
constexpr ReadBlock kModelVersionBlock{811, 8, {}};
constexpr unsigned char kAnalogOutputRegisters = 17;

// Registers 200, 206 and 216 are not part of this write; the relay panel writes 206 and 216 on
// their own.
constexpr WriteStep kInOutWrite[] = {{201, 5, 0}, {207, 4, 10}, {211, 5, 18}, {217, 4, 28}};
constexpr WriteStep kEquipmentConfigWrite[] = {{810, 1, 8}, {800, 4, 0}};
constexpr WriteStep kEquipmentConfig2Write[] = {{804, 6, 0}};
constexpr WriteStep kPasswordWrite[] = {{819, 1, 0}};
constexpr WriteStep kEnergyResetWrite[] = {{kEnergyResetRegister, 1, 0}};
constexpr WriteStep kRelayCommandWrite[2] = {{206, 1, 0}, {216, 1, 0}};
constexpr WriteStep kModelVersionWrite[] = {{8420, 8, 0}};
// The seventh float of an analog output (B + 15, B + 16) is read but never written.
constexpr unsigned char kAnalogOutputWriteRegisters = 15;

int registersOf(Encoding encoding) {
    return encoding == Encoding::Float || encoding == Encoding::I32 ? 2 : 1;
}

uint32_t bigEndian32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// Every encoding but Float is an integer of at most 32 bits.
int32_t decodeInteger(Encoding encoding, const unsigned char* p) {
    switch (encoding) {
    case Encoding::I32: return static_cast<int32_t>(bigEndian32(p));
    case Encoding::U16: return p[0] << 8 | p[1];
    case Encoding::U8High: return p[0];
    case Encoding::U8Low: return p[1];
    case Encoding::Float: break;
    }
    return 0;
}

float decodeValue(Encoding encoding, const unsigned char* p) {
    if (encoding == Encoding::Float) return std::bit_cast<float>(bigEndian32(p));
    return static_cast<float>(decodeInteger(encoding, p));
}

template <typename Value, typename Decoder>
void decode(std::span<const Field> layout, const unsigned char* data, Value* record, Decoder decodeOne) {
    int index = 0;
    for (const Field& field : layout) {
        const int width = registersOf(field.encoding);
        for (int k = 0; k < field.repeat; ++k)
            record[index++] = decodeOne(field.encoding, data + 2 * (field.reg + k * width));
    }
}

// The block's data bytes, or null when the exchange failed.
const unsigned char* fetchBlock(const ReadBlock& block, int port, unsigned char address,
                                const std::string& spare, unsigned short tcpPort, const std::string& host) {
    const int dataBytes = 2 * block.count;
    Ulvo_Comando_Lectura(address, 3, block.start, block.count, g_requestBuffer);
    if (Ulvo_Transmitir_Modbus(port, g_requestBuffer, 6, g_replyBuffer, dataBytes, 0, spare, tcpPort, host) !=
        1)
        return nullptr;
    // The exchange accepts a reply whose byte count is short of the block; decoding it would read
    // bytes left in the buffer by an earlier reply.
    if (LastReplyDataBytes() < dataBytes) return nullptr;
    return g_replyBuffer + 3;
}

int readBlock(const ReadBlock& block, int port, unsigned char address, void* record, const std::string& spare,
              unsigned short tcpPort, const std::string& host) {
    const unsigned char* data = fetchBlock(block, port, address, spare, tcpPort, host);
    if (!data) return -1;
    if (block.layout.empty())
        std::memcpy(record, data, static_cast<size_t>(2 * block.count));
    else
        decode(block.layout, data, static_cast<float*>(record), decodeValue);
    return 1;
}

WriteProgress g_progress;

std::string registersOf(std::span<const WriteStep> steps) {
    std::string out;
    for (const WriteStep& step : steps) {
        if (!out.empty()) out += ", ";
        out += std::to_string(step.start);
        if (step.count > 1) out += "-" + std::to_string(step.start + step.count - 1);
    }
    return out;
}

// Stops at the first failed request: the registers of the requests before it stay written.
int writeSteps(std::span<const WriteStep> steps, int port, unsigned char address, const unsigned char* data,
               const std::string& spare, unsigned short tcpPort, const std::string& host) {
    g_progress = {};
    for (size_t n = 0; n < steps.size(); ++n) {
        const WriteStep& step = steps[n];
        int length = 2 * step.count;
        const bool sent = Ulvo_Comando_16(address, step.start, step.count, data + step.dataOffset,
                                          g_requestBuffer, &length) >= 0 &&
                          Ulvo_Transmitir_Modbus(port, g_requestBuffer, length, g_replyBuffer, 8, 1, spare,
                                                 tcpPort, host) == 1;
        if (!sent) {
            if (steps.size() > 1)
                g_progress = {registersOf(steps.first(n)), registersOf(steps.subspan(n))};
            return -1;
        }
    }
    return 1;
}

int readAnalogOutput(int output, int port, unsigned char address, float* record, const std::string& spare,
                     unsigned short tcpPort, const std::string& host) {
    const ReadBlock block{static_cast<unsigned short>(kAnalogOutputBase[output - 1]), kAnalogOutputRegisters,
                          kAnalogOutputLayout};
    return readBlock(block, port, address, record, spare, tcpPort, host);
}

int writeAnalogOutput(int output, int port, unsigned char address, const unsigned char* data,
                      const std::string& spare, unsigned short tcpPort, const std::string& host) {
    const WriteStep step{static_cast<unsigned short>(kAnalogOutputBase[output - 1]),
                         kAnalogOutputWriteRegisters, 0};
    return writeSteps({&step, 1}, port, address, data, spare, tcpPort, host);
}

} // namespace

WriteProgress LastWriteProgress() { return g_progress; }

int RQ55_Ulvo_Leer_Prametros_Red(int port, unsigned char address, float* record, const std::string& spare,
                                 unsigned short tcpPort, const std::string& host) {
    return readBlock(kNetworkBlock, port, address, record, spare, tcpPort, host);
}

int RQ55_Ulvo_Leer_Energia(int port, unsigned char address, float* record, const std::string& spare,
                           unsigned short tcpPort, const std::string& host) {
    return readBlock(kEnergyBlock, port, address, record, spare, tcpPort, host);
}

int RQ55_Ulvo_Leer_maxmin(int port, unsigned char address, float* record, const std::string& spare,
                          unsigned short tcpPort, const std::string& host) {
    return readBlock(kMaxMinBlock, port, address, record, spare, tcpPort, host);
}

int RQ55_Ulvo_Leer_demanda(int port, unsigned char address, float* record, const std::string& spare,
                           unsigned short tcpPort, const std::string& host) {
    return readBlock(kDemandBlock, port, address, record, spare, tcpPort, host);
}

int RQ55_Ulvo_Leer_In_Out(int port, unsigned char address, float* record, const std::string& spare,
                          unsigned short tcpPort, const std::string& host) {
    return readBlock(kInOutBlock, port, address, record, spare, tcpPort, host);
}

int RQ55_Ulvo_Escribir_In_Out(int port, unsigned char address, const unsigned char* data,
                              const std::string& spare, unsigned short tcpPort, const std::string& host) {
    return writeSteps(kInOutWrite, port, address, data, spare, tcpPort, host);
}

int RQ55_Ulvo_Leer_Out_Anal_1(int port, unsigned char address, float* record, const std::string& spare,
                              unsigned short tcpPort, const std::string& host) {
    return readAnalogOutput(1, port, address, record, spare, tcpPort, host);
}

int RQ55_Ulvo_Leer_Out_Anal_2(int port, unsigned char address, float* record, const std::string& spare,
                              unsigned short tcpPort, const std::string& host) {
    return readAnalogOutput(2, port, address, record, spare, tcpPort, host);
}

int RQ55_Ulvo_Leer_Out_Anal_3(int port, unsigned char address, float* record, const std::string& spare,
                              unsigned short tcpPort, const std::string& host) {
    return readAnalogOutput(3, port, address, record, spare, tcpPort, host);
}

int RQ55_Ulvo_Leer_Out_Anal_4(int port, unsigned char address, float* record, const std::string& spare,
                              unsigned short tcpPort, const std::string& host) {
    return readAnalogOutput(4, port, address, record, spare, tcpPort, host);
}

int RQ55_Ulvo_Escribir_Out_Anal_1(int port, unsigned char address, const unsigned char* data,
                                  const std::string& spare, unsigned short tcpPort, const std::string& host) {
    return writeAnalogOutput(1, port, address, data, spare, tcpPort, host);
}

int RQ55_Ulvo_Escribir_Out_Anal_2(int port, unsigned char address, const unsigned char* data,
                                  const std::string& spare, unsigned short tcpPort, const std::string& host) {
    return writeAnalogOutput(2, port, address, data, spare, tcpPort, host);
}

int RQ55_Ulvo_Escribir_Out_Anal_3(int port, unsigned char address, const unsigned char* data,
                                  const std::string& spare, unsigned short tcpPort, const std::string& host) {
    return writeAnalogOutput(3, port, address, data, spare, tcpPort, host);
}

int RQ55_Ulvo_Escribir_Out_Anal_4(int port, unsigned char address, const unsigned char* data,
                                  const std::string& spare, unsigned short tcpPort, const std::string& host) {
    return writeAnalogOutput(4, port, address, data, spare, tcpPort, host);
}

int RQ55_Ulvo_Leer_Conf_Equipo(int port, unsigned char address, float* record, const std::string& spare,
                               unsigned short tcpPort, const std::string& host) {
    return readBlock(kEquipmentConfigBlock, port, address, record, spare, tcpPort, host);
}

int RQ55_Ulvo_Leer_Conf_Equipo_Exacto(int port, unsigned char address, int32_t* record,
                                      const std::string& spare, unsigned short tcpPort,
                                      const std::string& host) {
    const unsigned char* data = fetchBlock(kEquipmentConfigBlock, port, address, spare, tcpPort, host);
    if (!data) return -1;
    decode(kEquipmentConfigExactLayout, data, record, decodeInteger);
    return 1;
}

int RQ55_Ulvo_Escribir_Conf_Equipo(int port, unsigned char address, const unsigned char* data,
                                   const std::string& spare, unsigned short tcpPort,
                                   const std::string& host) {
    return writeSteps(kEquipmentConfigWrite, port, address, data, spare, tcpPort, host);
}

int RQ55_Ulvo_Escribir_Conf_Equipo_2(int port, unsigned char address, const unsigned char* data,
                                     const std::string& spare, unsigned short tcpPort,
                                     const std::string& host) {
    return writeSteps(kEquipmentConfig2Write, port, address, data, spare, tcpPort, host);
}

int RQ55_Ulvo_Leer_Num_Serie(int port, unsigned char address, unsigned char* record, const std::string& spare,
                             unsigned short tcpPort, const std::string& host) {
    return readBlock(kSerialNumberBlock, port, address, record, spare, tcpPort, host);
}

int RQ55_Ulvo_Escribir_Contrasena(int port, unsigned char address, const unsigned char* data,
                                  const std::string& spare, unsigned short tcpPort, const std::string& host) {
    return writeSteps(kPasswordWrite, port, address, data, spare, tcpPort, host);
}

int RQ55_Ulvo_Estado_Rele_1(int port, unsigned char address, const unsigned char* data,
                            const std::string& spare, unsigned short tcpPort, const std::string& host) {
    return writeSteps({&kRelayCommandWrite[0], 1}, port, address, data, spare, tcpPort, host);
}

int RQ55_Ulvo_Estado_Rele_2(int port, unsigned char address, const unsigned char* data,
                            const std::string& spare, unsigned short tcpPort, const std::string& host) {
    return writeSteps({&kRelayCommandWrite[1], 1}, port, address, data, spare, tcpPort, host);
}

int RQ55_Reset_Cont_Energias(int port, unsigned char address, const unsigned char* data,
                             const std::string& spare, unsigned short tcpPort, const std::string& host) {
    return writeSteps(kEnergyResetWrite, port, address, data, spare, tcpPort, host);
}

int RQ55_Ulvo_Leer_Modelo_Version(int port, unsigned char address, unsigned char* record,
                                  const std::string& spare, unsigned short tcpPort, const std::string& host) {
    return readBlock(kModelVersionBlock, port, address, record, spare, tcpPort, host);
}

int RQ55_Ulvo_Escribir_Modelo_Version(int port, unsigned char address, const unsigned char* data,
                                      const std::string& spare, unsigned short tcpPort,
                                      const std::string& host) {
    return writeSteps(kModelVersionWrite, port, address, data, spare, tcpPort, host);
}
