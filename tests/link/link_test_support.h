// What the link, register-map and peer tests share: the program state an exchange expects, a
// recorder of the frames on the wire, and a simulated analyser with the link opened to it.
#pragma once

#include <string>
#include <vector>

#include "link/exchange.h"
#include "sim/simulator.h"
#include "test_support.h"

namespace linktest {

using Bytes = std::vector<unsigned char>;

inline constexpr const char* kIdle = "trffc_a.ico";
inline constexpr const char* kWaiting = "trffc_b.ico";
inline constexpr const char* kSending = "trffc_c.ico";
inline constexpr const char* kFailed = "trffc_d.ico";

// The texts of the English language file (21 "Error" to 25 "CRC error in the reply"), the
// taskbar icon installed and idle, both error switches off, and nothing recorded yet.
void ResetProgramState();

// Answers the self-closing error popup with its OK button as soon as it is up.
void PressOkOnErrorPopups();

struct Frame {
    double seconds = 0;
    FrameKind kind = FrameKind::Sent;
    Bytes bytes;
};

// Records every frame the link traces while it exists.
class FrameRecorder {
  public:
    FrameRecorder();
    ~FrameRecorder();
    FrameRecorder(const FrameRecorder&) = delete;
    FrameRecorder& operator=(const FrameRecorder&) = delete;

    std::vector<Bytes> sent() const { return of(FrameKind::Sent); }
    std::vector<Bytes> received() const { return of(FrameKind::Received); }
    std::vector<Bytes> discarded() const { return of(FrameKind::Discarded); }
    std::vector<Frame> frames;

  private:
    std::vector<Bytes> of(FrameKind kind) const;
};

using testsupport::FromHex;
using testsupport::Hex;
float FloatAt(const unsigned char* bytes); // IEEE-754 single, most significant byte first

// A simulated analyser (address 1, values frozen) on one transport, with the link
// opened to it: COM 5 for the pseudo-terminal, port number 99 for RTU over TCP and 100 for
// Modbus/TCP. Closes the link and stops the simulator when it goes.
// Skips a test of the serial link where the system has no pseudo-terminals to carry it (Windows).
#define SKIP_WITHOUT_PTY(transport)                                          \
    if ((transport) == sim::Transport::Pty && !sim::kPseudoTerminals)        \
    GTEST_SKIP() << "no pseudo-terminals here: the serial link is tested on Linux"

class SimulatedLink {
  public:
    explicit SimulatedLink(sim::Transport transport);
    ~SimulatedLink();
    SimulatedLink(const SimulatedLink&) = delete;
    SimulatedLink& operator=(const SimulatedLink&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    sim::Simulator sim;
    int port = 0;
    unsigned short tcpPort = 0;
    std::string host;

  private:
    std::string error_;
};

} // namespace linktest
