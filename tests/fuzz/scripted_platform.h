// The serial port, the TCP client and the clock under the link, replaced by a peer that plays a
// script at once: no real waits, pauses or time-outs. The clock only moves when the link waits or
// pauses, by the time it asked for.
//
// A script is a run of segments, each a length byte and that many bytes (cut short by the end of
// the script). Length 0 is a silence longer than any wait between two segments of one reply, and
// 255 is the server closing the connection (on a serial line, a silence too). On a serial line
// the segments are one stream that a silence breaks; over TCP each segment is one receive.
#pragma once

#include <vector>

namespace scripted {

void Load(const unsigned char* script, int length);

// The last frame the link wrote, as written (header or CRC included).
const std::vector<unsigned char>& LastWritten();

} // namespace scripted
