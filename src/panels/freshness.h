// What the operator sees is true: a value on a panel was read from the analyser in this opening
// of the panel, or the panel says what it is.
//
// A live view shows a dash in every value display until its first good read; once a read fails
// (and its refresh stops), a notice on the panel says what happened and when, and that the values
// are the last ones read, and they are greyed. A settings panel keeps its resource values when its read fails,
// as its Save writes them, and its notice says they are defaults. Opened with communication off,
// either kind says so at once; a lost link is said on every panel still open.
#pragma once

#include <string>

// A fed view shows what another view reads (a chart of the network view's values): its notice
// sends the operator back to that view.
enum class PanelKind { LiveView, Settings, FedView };

// Call once the panel is open (a negative handle is ignored).
void WatchPanel(int panel, PanelKind kind);

// What made the last read fail, in a sentence with the time of day: "The analyser did not
// answer at 10:02:11.", "At 10:02:11 the reply was cut short.", ... one text for each way an
// exchange can end.
std::string ReadFailureNow();

// The panel's read failed: now, as the last exchange ended, or as `failure` (ReadFailureNow's
// sentence, kept from the time it happened) says.
void ShowReadFailed(int panel);
void ShowReadFailed(int panel, const std::string& failure);

// A settings panel whose read failed, or that opened with communication off, shows defaults: before
// its save writes them, the operator is asked whether to write them anyway. True when the save may
// go on (the fields hold what was read, or the operator said yes).
bool ConfirmWriteOfDefaults(int panel);

// The link was lost (the server closed the connection, the serial device went away) at `at`: every
// open panel says so, and a read that fails after it says so too. Until ForgetLinkLoss (the switch
// is on again).
void ShowLinkLost(const std::string& at);
void ForgetLinkLoss();

// The notice a panel shows, or "" when it shows none (for tests and screenshots).
std::string PanelNotice(int panel);
