// What the operator sees is true: a value on a panel was read from the analyser in this opening
// of the panel, or the panel says what it is.
//
// A live view shows a dash in every value display until its first good read; once a read fails
// (and its refresh stops), a notice on the panel gives the time and says the values are the last
// ones read, and they are greyed. A settings panel keeps its resource values when its read fails,
// as its Save writes them, and its notice says they are defaults. Opened with communication off,
// either kind says so at once; a lost link is said on every panel still open.
#pragma once

#include <string>

// A fed view shows what another view reads (a chart of the network view's values): its notice
// sends the operator back to that view.
enum class PanelKind { LiveView, Settings, FedView };

// Call once the panel is open (a negative handle is ignored).
void WatchPanel(int panel, PanelKind kind);

// The panel's read failed, now or at the time of day given.
void ShowReadFailed(int panel);
void ShowReadFailed(int panel, const std::string& when);

// The link was lost (the server closed the connection, the serial device went away).
void ShowLinkLost();

// The notice a panel shows, or "" when it shows none (for tests and screenshots).
std::string PanelNotice(int panel);
