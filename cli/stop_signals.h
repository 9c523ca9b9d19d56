// Ctrl-C and SIGTERM for the commands that run until stopped: held back while a step runs, so a
// stop always comes between two steps, never in the middle of an exchange.
#pragma once

// Holds SIGINT and SIGTERM back from now on, and SIGHUP too when `reload` (serve: its files are
// read again). Call before any thread starts, so every thread inherits it.
void HoldStopSignals(bool reload = false);

// Whether SIGHUP has come since the last call (seen by WaitForStopSignal).
bool TakeReloadRequest();

// Waits up to `seconds` (none when 0 or less); true as soon as a stop signal has come, now or
// while it was held back. A SIGHUP held back is taken note of, and ends the wait.
bool WaitForStopSignal(double seconds);

// A file descriptor that turns readable when a stop signal comes, for an event loop to watch (the
// same one at every call); -1 when the system cannot give one. Read the signal off it with WaitForStopSignal(0).
int StopSignalDescriptor();
