// The link as rq55ctl opens and uses it: --tcp, --serial or --com with its options, the rest
// between exchanges, the reply wait, and what the link has to say on stderr.
#pragma once

#include <functional>
#include <string>

#include "device/register_map.h"
#include "options.h"

// One line on stderr, after the tool's name.
void Say(const std::string& line);
// What the tool prints on stdout, each piece written through at once; and at its end, the exit
// status, or 1 with the system's reason on stderr when some of it did not arrive (a full disk).
void Print(const std::string& text);
int CheckedOutput(int status);

// Whether the link is TCP; the port number the link layer opens it as; and its name in words as a
// serve instance is named after it: "127.0.0.1:5021", "/dev/ttyUSB0", "COM 3".
bool OverTcp(const CliOptions& options);
int LinkPortOf(const CliOptions& options);
std::string LinkName(const CliOptions& options);

// "127.0.0.1:5021: RTU over TCP" on stderr, for a TCP link (or Modbus/TCP, or Modbus/TCP Security).
void AnnounceProtocol(const CliOptions& options);

// Opens the link the options name; false with the reason told to `say` (stderr unless given).
bool OpenLink(const CliOptions& options, LinkTarget& link,
              const std::function<void(const std::string&)>& say = Say);

// serve's reply wait unless --timeout says otherwise.
constexpr int kServeReplyWaitMs = 1000;

// The link as the tool uses it: a closed connection told in one line on stderr, the rest of
// --pause between two requests, the reply wait of --timeout (scan derives its own), and for serve
// a stop signal that ends any wait at once.
void PrepareLink(const CliOptions& options);
