// The main panel's six link settings, remembered from one run to the next: stored when
// communication is switched on successfully, put back on the panel at the next start.
#pragma once

// Stores the settings the panel shows (call after a successful switch-on; never in demo mode).
void RememberLinkSettings(int panel);

// Puts the stored settings on the panel; a missing or implausible one leaves the panel's own.
void RestoreLinkSettings(int panel);
