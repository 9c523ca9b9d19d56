#include "scripted_platform.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/serial.h"
#include "platform/system.h"
#include "platform/tcp.h"

namespace {

constexpr unsigned char kSilence = 0;
constexpr unsigned char kClose = 255;
constexpr double kSilenceSeconds = 1.0;

const unsigned char* g_script = nullptr;
int g_scriptLength = 0;
int g_next = 0; // the next segment's length byte

// The bytes that have arrived and wait to be read, and whether the server has closed.
std::vector<unsigned char> g_arrived;
bool g_closed = false;
bool g_closeReported = false;

double g_clock = 0;
double g_comTimeout = 0;
std::vector<unsigned char> g_written;
TCPCallbackPtr g_callback = nullptr;

enum class Next { Bytes, Silence, Closed, End };

// Moves the next segment into the arrived bytes.
Next arrive() {
    if (g_next >= g_scriptLength) return Next::End;
    const unsigned char marker = g_script[g_next++];
    if (marker == kSilence) {
        g_clock += kSilenceSeconds;
        return Next::Silence;
    }
    if (marker == kClose) {
        g_closed = true;
        return Next::Closed;
    }
    const int count = std::min<int>(marker, g_scriptLength - g_next);
    g_arrived.insert(g_arrived.end(), g_script + g_next, g_script + g_next + count);
    g_next += count;
    return Next::Bytes;
}

int take(unsigned char* buffer, int count) {
    const int got = std::min<int>(count, static_cast<int>(g_arrived.size()));
    if (got <= 0) return 0;
    std::memcpy(buffer, g_arrived.data(), static_cast<size_t>(got));
    g_arrived.erase(g_arrived.begin(), g_arrived.begin() + got);
    return got;
}

} // namespace

namespace scripted {

void Load(const unsigned char* script, int length) {
    g_script = script;
    g_scriptLength = length;
    g_next = 0;
    g_arrived.clear();
    g_closed = g_closeReported = false;
    g_written.clear();
}

const std::vector<unsigned char>& LastWritten() { return g_written; }

} // namespace scripted

void Delay(double seconds) { g_clock += seconds; }

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

int FlushInQ(int) {
    g_arrived.clear();
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

int DisconnectFromTCPServer(unsigned) { return 0; }

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
