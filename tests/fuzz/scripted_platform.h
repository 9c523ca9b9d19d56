// The serial port, the TCP client and the clock under the link, replaced by a peer that plays a
// script at once: no real waits, pauses or time-outs. The clock only moves when the link waits or
// pauses, by the time it asked for.
//
// A script is a run of segments, each a length byte and that many bytes (cut short by the end of
// the script). Length 0 is a silence longer than any wait between two segments of one reply, and
// 255 is the server closing the connection (on a serial line, a silence too). On a serial line
// the segments are one stream that a silence breaks; over TCP each segment is one receive.
//
// 254 holds the peer back: from there to the next 254 (or the end) is a late stream that the
// exchange under way never sees (it meets silence); it arrives between this exchange and the next
// (NextExchange), on the same connection, where a link that tells replies apart only by time could
// take it for the next reply. A connection closed meanwhile takes it along.
#pragma once

#include <vector>

namespace scripted {

void Load(const unsigned char* script, int length);

// The last frame the link wrote, as written (header or CRC included).
const std::vector<unsigned char>& LastWritten();

// The time between two exchanges: a held-back stream arrives now.
void NextExchange();

// How many bytes of held-back streams a read of the link has taken (a discard does not count).
int LateBytesRead();

} // namespace scripted
