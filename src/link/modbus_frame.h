// Modbus frames as bytes: the two requests the program sends, the CRC, and how long a reply is
// from its first bytes. No I/O here, so every rule can be checked with known bytes.
#pragma once

// The largest RTU frame Modbus allows: an address, a PDU of at most 253 bytes and the CRC. The link
// carries any request and reply up to it (serve's gateway passes other masters' requests through);
// the program's own are smaller.
constexpr int kMaxRtuFrameLength = 256;

// The largest request the link sends, before the two CRC bytes the exchange appends behind it;
// the program's own largest is a write of 15 registers (7 + 30 bytes).
constexpr int kMaxRequestLength = kMaxRtuFrameLength - 2;
constexpr int kMaxWriteDataBytes = 30;
constexpr int kRequestBufferSize = kMaxRequestLength + 2;

// The largest reply, a whole RTU frame with its CRC (the program asks for at most 108 registers,
// 3 + 216 + 2 bytes). A reply buffer has two more bytes behind it so a CRC can always be stored
// after a whole reply.
constexpr int kMaxReplyLength = kMaxRtuFrameLength;
constexpr int kReplyBufferSize = kMaxReplyLength + 2;

// One TCP receive is at most 255 bytes; the frame of one reply is assembled from several
// receives, and the largest Modbus/TCP frame is its 6-byte header plus 255 bytes.
constexpr int kMbapHeaderLength = 6;
constexpr int kTcpReceiveBufferSize = 256;
constexpr int kTcpFrameBufferSize = kMbapHeaderLength + 255;

constexpr unsigned char kExceptionFlag = 0x80;

// Read Device Identification: function 43 with MEI type 14.
constexpr unsigned char kDeviceIdFunction = 0x2B;
constexpr unsigned char kDeviceIdMeiType = 0x0E;

// Fills the 6-byte read request: address, function, start (high, low), 0, count.
void Ulvo_Comando_Lectura(unsigned char address, unsigned char function, unsigned short start,
                          unsigned char count, unsigned char* request);

// Fills a function-16 request: address, 16, start, 0, count, byte count (2 x count, kept to 8
// bits), then the *length data bytes unchanged. On return *length is the request length
// (data + 7). More data than the largest request holds is refused: nothing is written, *length
// becomes -1 and so does the result.
int Ulvo_Comando_16(unsigned char address, unsigned short start, unsigned char count,
                    const unsigned char* data, unsigned char* request, int* length);

// The Modbus CRC-16 of the first `length` bytes.
unsigned short ModbusCrc(const unsigned char* bytes, int length);

// Stores the CRC of the first `length` bytes behind them, low byte first.
void Ulvo_CalculoCRC_2(unsigned char* buffer, int length);

// True when a frame ends in the CRC of what precedes it.
bool CrcValid(const unsigned char* frame, int length);

// From a reply's first three bytes (address, function, byte count or exception code): how many
// bytes follow them, CRC included.
int RtuReplyRemainder(const unsigned char* head);

// The whole length of an RTU reply whose first `available` bytes are known, or 0 while too few
// are in to tell: three, or for Read Device Identification, which gives no byte count, every
// object's header.
int RtuReplyLength(const unsigned char* bytes, int available);
// A Read Device Identification reply's length without its CRC, or 0 while too few are in to tell.
int DeviceIdFrameLength(const unsigned char* bytes, int available);

// Writes the Modbus/TCP header: transaction id, protocol 0, length of what follows.
void BuildMbapHeader(unsigned short transactionId, int length, unsigned char* header);

// The whole length of a Modbus/TCP frame whose first `available` bytes are known (header
// included), or 0 while the header is not complete.
int MbapFrameLength(const unsigned char* bytes, int available);

// The standard meaning of a Modbus exception code, in English ("illegal data address"), or
// "unknown exception".
const char* ExceptionName(int code);
