// The analyser simulator: a stand-in RQ55 that answers Modbus requests like the real meter.
//
// A Simulator runs its model and one transport on a thread of its own, so that a program blocked
// in a serial or TCP read on the user-interface thread is still answered. Every public member
// is safe to call from any thread. A Qt application object (QCoreApplication or QApplication) must
// exist while it runs; its event loop need not.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/wiring.h"

namespace sim {

// Whether the system has pseudo-terminals for Transport::Pty: Windows has none.
#ifdef _WIN32
constexpr bool kPseudoTerminals = false;
#else
constexpr bool kPseudoTerminals = true;
#endif

enum class Transport {
    Pty,        // RTU frames on a pseudo-terminal; devicePath() names the side to open
    RtuOverTcp, // RTU frames, CRC included, over a TCP stream
    ModbusTcp,  // MBAP header, no CRC
};

// What to do to the reply of chosen requests.
struct FaultRule {
    enum class Kind {
        Silence,      // no reply at all
        Late,         // reply after delayMs
        CutShort,     // send only the first keepBytes bytes of the reply
        BadCrc,       // flip the CRC's bytes (RTU framings only)
        OtherAddress, // answer from address `address` (CRC made to match)
        Exception,    // exception reply with exceptionCode
        ByteCount,    // a well-formed reply carrying byteCount data bytes instead of 2 x count
        Zero,         // a well-formed read reply whose data are all zero (a meter that glitches)
        Split,        // send the reply in pieces of the given sizes, pauseMs apart
        Close,        // close the connection instead of replying (TCP; on a serial line, silence)
        Replace,      // send `bytes` as they are (header or CRC included) in the reply's place
        Restart,      // as a gateway that restarts: no reply, and new connections refused for delayMs
                      // (TCP; the connections open stay open)
    };
    Kind kind = Kind::Silence;
    int function = -1; // match: function code, -1 any
    int start = -1;    // match: first register of the request, -1 any
    int times = -1;    // number of matching requests affected, -1 every one
    int skip = 0;      // matching requests let through before the first one affected
    int delayMs = 0;
    int keepBytes = 0;
    int address = 0;
    int exceptionCode = 4;
    int byteCount = 0;
    std::vector<int> segments{};
    int pauseMs = 20;
    std::vector<uint8_t> bytes{};
};

struct Options {
    Transport transport = Transport::RtuOverTcp;
    int deviceAddress = 1;               // the Modbus address answered (0..247)
    int modelCode = 0;                   // 55..59; 0 picks one at random at start
    uint16_t tcpPort = 0;                // 0: any free loopback port
    uint16_t password = 1234;            // the access password
    bool moving = true;                  // live values wander and counters grow; false freezes them
    unsigned seed = 0;                   // 0: seeded from the clock
    std::string serialNumber = "AB1234"; // six characters, registers 819..821
    // Further analysers on the same line or port, one model each, at these addresses; each has
    // the serial number's first four characters followed by its address in two digits.
    std::vector<int> moreAddresses{};
    int lineBaud = 0; // Pty: answer only while the line is set to this baud rate (0: any)
    // TCP: a client whose replies wait untaken beyond this many bytes is served no more until it
    // takes them, and dropped when it does not within the time given.
    long long maxUnsentPerClient = 64 * 1024;
    double dropUnreadingClientAfter = 5.0;
    // The latest requests kept for requests(): a test reads them; a simulator left running for
    // days (rq55-sim, the demo) keeps none, so its memory stays where it started.
    size_t keptRequests = 100000;
    Wiring wiring{}; // how the analyser is wired (sim/wiring.h); right by default
};

// One request as the simulator received it.
struct ReceivedRequest {
    std::vector<uint8_t> pdu; // address, function, data (no CRC, no MBAP header)
    int function = 0;
    int start = -1;               // first register, when the function has one
    int count = 0;                // register count, when the function has one
    std::vector<uint16_t> values; // written values (function 6 and 16)
    bool answered = false;        // whether a reply was sent (after the fault plan)
};

class Simulator {
  public:
    Simulator();
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Starts the model and its transport; false with a reason when it cannot.
    bool start(const Options& options, std::string* error = nullptr);
    void stop();

    std::string devicePath() const; // Pty: the pseudo-terminal to open
    uint16_t tcpPort() const;       // TCP transports: the port listened on
    int modelCode() const;

    // The register bank (the values a read of that register returns now). These act on the
    // model created by start(); before it they do nothing and read 0. Setting a value skips the
    // side effects a Modbus write has (relay commands, password). With Options.moving true the
    // live values (registers 6-65), the extremes, the demand and the analog present values are
    // recomputed at every read, so a value set there does not stay: tests that need exact values
    // run with moving false. Energy counters set from outside carry on counting from the new value.
    uint16_t reg(int address) const;
    void setReg(int address, uint16_t value);
    void setFloat(int address, float value); // two registers, most significant word first
    // Each request, as it arrives, first writes its ordinal (1, 2, ...) into this register (0: no
    // longer), so a reply that reads it says which request it answers.
    void numberRequests(int address);
    float getFloat(int address) const;
    // Sets the record of a read block directly (for reads that overlap other blocks):
    // blockStart is the start of the read (6, 66, 130, 238, ...).
    void setBlockFloat(int blockStart, int index, float value);
    float blockFloat(int blockStart, int index) const;

    // Every rule that matches a request applies to its reply (a reply can be both late and
    // split). An Exception rule answers in the analyser's place, so the request is not carried
    // out; with every other kind the request takes effect and only its reply is spoiled.
    void addFault(const FaultRule& rule);
    void clearFaults();

    // Every request received, answered or not, for any address (the latest keptRequests of them).
    // Frames whose CRC fails never become requests.
    std::vector<ReceivedRequest> requests() const;
    void clearRequests();
    // Requests received since the start or clearRequests(), kept or not (cheaper than copying them).
    int requestCount() const;

    // Closes every TCP connection from the server side (to test a peer's disconnect handling).
    void dropConnections();

    // Sees every chunk of bytes as it arrives (received true) and as it is sent, on the
    // simulator's own thread; an empty function stops it.
    void setTrace(std::function<void(bool received, const std::vector<uint8_t>& bytes)> trace);
    // Sees what the transport does on its own (a client refused or dropped, and why), and how
    // many such events there have been.
    void setNotes(std::function<void(const std::string& event)> notes);
    int noteCount() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace sim
