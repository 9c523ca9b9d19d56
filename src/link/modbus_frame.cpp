#include "link/modbus_frame.h"

#include <cstring>

void Ulvo_Comando_Lectura(unsigned char address, unsigned char function, unsigned short start,
                          unsigned char count, unsigned char* request) {
    request[0] = address;
    request[1] = function;
    request[2] = static_cast<unsigned char>(start >> 8);
    request[3] = static_cast<unsigned char>(start & 0xFF);
    request[4] = 0;
    request[5] = count;
}

int Ulvo_Comando_16(unsigned char address, unsigned short start, unsigned char count,
                    const unsigned char* data, unsigned char* request, int* length) {
    const int dataBytes = *length;
    if (dataBytes < 0 || dataBytes > kMaxWriteDataBytes) {
        *length = -1;
        return -1;
    }
    request[0] = address;
    request[1] = 16;
    request[2] = static_cast<unsigned char>(start >> 8);
    request[3] = static_cast<unsigned char>(start & 0xFF);
    request[4] = 0;
    request[5] = count;
    request[6] = static_cast<unsigned char>((count * 2) & 0xFF);
    if (dataBytes > 0) std::memcpy(request + 7, data, static_cast<size_t>(dataBytes));
    *length = dataBytes + 7;
    return *length;
}

unsigned short ModbusCrc(const unsigned char* bytes, int length) {
    unsigned short crc = 0xFFFF;
    for (int i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            const bool carry = crc & 1;
            crc = static_cast<unsigned short>(crc >> 1);
            if (carry) crc ^= 0xA001;
        }
    }
    return crc;
}

void Ulvo_CalculoCRC_2(unsigned char* buffer, int length) {
    const unsigned short crc = ModbusCrc(buffer, length);
    buffer[length] = static_cast<unsigned char>(crc & 0xFF);
    buffer[length + 1] = static_cast<unsigned char>(crc >> 8);
}

// Running the CRC over a frame together with its own CRC bytes leaves zero exactly when they
// match, which spares building the expected value.
bool CrcValid(const unsigned char* frame, int length) { return length >= 4 && ModbusCrc(frame, length) == 0; }

int RtuReplyRemainder(const unsigned char* head) {
    const unsigned char function = head[1];
    if (function & kExceptionFlag) return 2;
    if (function == 5 || function == 6 || function == 15 || function == 16) return 5;
    return head[2] + 2;
}

int DeviceIdFrameLength(const unsigned char* bytes, int available) {
    // Address, 43, 14, read code, conformity, more follows, next object, object count; then each
    // object's id, length and value.
    int at = 8;
    if (available < at) return 0;
    for (int objects = bytes[7]; objects > 0; --objects) {
        if (available < at + 2) return 0;
        at += 2 + bytes[at + 1];
    }
    return at;
}

int RtuReplyLength(const unsigned char* bytes, int available) {
    if (available < 3) return 0;
    if (bytes[1] == kDeviceIdFunction && bytes[2] == kDeviceIdMeiType) {
        const int frame = DeviceIdFrameLength(bytes, available);
        return frame > 0 ? frame + 2 : 0;
    }
    return 3 + RtuReplyRemainder(bytes);
}

void BuildMbapHeader(unsigned short transactionId, int length, unsigned char* header) {
    header[0] = static_cast<unsigned char>(transactionId >> 8);
    header[1] = static_cast<unsigned char>(transactionId & 0xFF);
    header[2] = 0;
    header[3] = 0;
    header[4] = static_cast<unsigned char>((length >> 8) & 0xFF);
    header[5] = static_cast<unsigned char>(length & 0xFF);
}

int MbapFrameLength(const unsigned char* bytes, int available) {
    if (available < kMbapHeaderLength) return 0;
    return kMbapHeaderLength + (bytes[4] << 8 | bytes[5]);
}

const char* ExceptionName(int code) {
    switch (code) {
    case 1: return "illegal function";
    case 2: return "illegal data address";
    case 3: return "illegal data value";
    case 4: return "server device failure";
    case 5: return "acknowledge";
    case 6: return "server device busy";
    case 8: return "memory parity error";
    case 0x0A: return "gateway path unavailable";
    case 0x0B: return "gateway target device failed to respond";
    default: return "unknown exception";
    }
}
