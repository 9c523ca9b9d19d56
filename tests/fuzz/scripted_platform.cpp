#include "scripted_platform.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "platform/serial.h"
#include "platform/system.h"
#include "platform/tcp.h"

namespace {

constexpr unsigned char kSilence = 0;
constexpr unsigned char kHold = 254;
constexpr unsigned char kClose = 255;
constexpr double kSilenceSeconds = 1.0;

const unsigned char* g_script = nullptr;
int g_scriptLength = 0;
int g_next = 0; // the next segment's length byte

// The bytes that have arrived and wait to be read (each marked late or not), and whether the
// server has closed.
std::vector<unsigned char> g_arrived;
std::vector<bool> g_late;
bool g_closed = false;

// The held-back stream: the script's segments from heldFrom to heldTo, not yet arrived.
bool g_holding = false;
int g_heldFrom = 0, g_heldTo = 0;
int g_lateBytesRead = 0;

void append(const unsigned char* bytes, int count, bool late) {
    g_arrived.insert(g_arrived.end(), bytes, bytes + count);
    g_late.insert(g_late.end(), static_cast<size_t>(count), late);
}

// The end of the held-back stream that starts at `from`: the next hold marker, or the script's end.
int heldEnd(int from) {
    while (from < g_scriptLength && g_script[from] != kHold) {
        const unsigned char marker = g_script[from];
        from += 1 + (marker == kSilence || marker == kClose ? 0 : marker);
    }
    return std::min(from, g_scriptLength);
}
bool g_closeReported = false;

double g_clock = 0;
double g_comTimeout = 0;
std::vector<unsigned char> g_written;
TCPCallbackPtr g_callback = nullptr;

enum class Next { Bytes, Silence, Closed, End };

// Moves the next segment into the arrived bytes.
Next arrive() {
    if (g_holding || g_next >= g_scriptLength) return Next::End;
    const unsigned char marker = g_script[g_next++];
    if (marker == kHold) {
        g_holding = true;
        g_heldFrom = g_next;
        g_heldTo = heldEnd(g_next);
        g_next = std::min(g_heldTo + 1, g_scriptLength);
        return Next::End;
    }
    if (marker == kSilence) {
        g_clock += kSilenceSeconds;
        return Next::Silence;
    }
    if (marker == kClose) {
        g_closed = true;
        return Next::Closed;
    }
    const int count = std::min<int>(marker, g_scriptLength - g_next);
    append(g_script + g_next, count, false);
    g_next += count;
    return Next::Bytes;
}

// A read of the link takes the bytes that have arrived; a discard takes them too, but may.
int take(unsigned char* buffer, int count, bool read = true) {
    const int got = std::min<int>(count, static_cast<int>(g_arrived.size()));
    if (got <= 0) return 0;
    std::memcpy(buffer, g_arrived.data(), static_cast<size_t>(got));
    if (read) g_lateBytesRead += static_cast<int>(std::count(g_late.begin(), g_late.begin() + got, true));
    g_arrived.erase(g_arrived.begin(), g_arrived.begin() + got);
    g_late.erase(g_late.begin(), g_late.begin() + got);
    return got;
}

void discardArrived(std::vector<unsigned char>* discarded) {
    if (discarded) discarded->insert(discarded->end(), g_arrived.begin(), g_arrived.end());
    g_arrived.clear();
    g_late.clear();
}

} // namespace

namespace scripted {

void Load(const unsigned char* script, int length) {
    g_script = script;
    g_scriptLength = length;
    g_next = 0;
    g_arrived.clear();
    g_late.clear();
    g_closed = g_closeReported = false;
    g_holding = false;
    g_lateBytesRead = 0;
    g_written.clear();
}

const std::vector<unsigned char>& LastWritten() { return g_written; }

void NextExchange() {
    if (!g_holding) return;
    g_holding = false;
    for (int at = g_heldFrom; at < g_heldTo;) {
        const unsigned char marker = g_script[at++];
        if (marker == kSilence || marker == kClose) continue;
        const int count = std::min<int>(marker, g_heldTo - at);
        append(g_script + at, count, true);
        at += count;
    }
}

int LateBytesRead() { return g_lateBytesRead; }

} // namespace scripted

void Delay(double seconds) { g_clock += seconds; }
void SetWaitInterrupt(std::function<bool()>) {}
bool WaitInterrupted() { return false; }

double Timer() { return g_clock; }

std::string strfmt(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

int OpenComConfig(int, const std::string&, long, int, int, int, int, int) { return 0; }
int CloseCom(int) { return 0; }

int ComWrt(int, const unsigned char* buffer, int count) {
    g_written.assign(buffer, buffer + count);
    return count;
}

// Reads until the count has arrived; a silence, a close or the end of the script is the time-out.
int ComRd(int, unsigned char* buffer, int count) {
    int got = take(buffer, count);
    while (got < count) {
        if (arrive() != Next::Bytes) {
            g_clock += g_comTimeout;
            break;
        }
        got += take(buffer + got, count - got);
    }
    return got;
}

void SetSerialWaitHook(std::function<void()>) {}
void SetSerialLostHook(std::function<void(int)>) {}

int FlushInQ(int, std::vector<unsigned char>* discarded) {
    discardArrived(discarded);
    return 0;
}
int FlushOutQ(int) { return 0; }
int SetComTime(int, double seconds) {
    g_comTimeout = seconds;
    return 0;
}

int ConnectToTCPServer(unsigned* handle, unsigned, const std::string&, TCPCallbackPtr fn, void*, int) {
    *handle = 1;
    g_callback = fn;
    return 0;
}

int ClientTCPWrite(unsigned, const void* buffer, int size, int) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    g_written.assign(bytes, bytes + size);
    return size;
}

int ClientTCPRead(unsigned, void* buffer, int size, int) {
    return take(static_cast<unsigned char*>(buffer), size);
}

// What the connection held goes with it, a held-back stream that has not arrived yet too.
int DisconnectFromTCPServer(unsigned) {
    discardArrived(nullptr);
    g_holding = false;
    return 0;
}

int DiscardTCPInput(unsigned, std::vector<unsigned char>* discarded) {
    const int count = static_cast<int>(g_arrived.size());
    discardArrived(discarded);
    return count;
}

std::string LastTCPConnectError() { return "refused"; }

int ProcessTCPEvents() {
    if (!g_callback) return 0;
    if (!g_arrived.empty()) g_callback(1, TCP_DATAREADY, 0, nullptr);
    if (g_closed && !g_closeReported) {
        g_closeReported = true;
        g_callback(1, TCP_DISCONNECT, 0, nullptr);
    }
    return 0;
}

// The peer answers at once: the next segment arrives now, or the wait passes.
int WaitForTCPEvent(double seconds) {
    if (!g_arrived.empty() || (g_closed && !g_closeReported)) return 1;
    const Next next = g_closed ? Next::End : arrive();
    if (next == Next::Bytes || next == Next::Closed) return 1;
    if (next == Next::End) g_clock += seconds;
    return 0;
}
