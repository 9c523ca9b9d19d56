// Opening and closing panels: one working panel is visible at a time; the panel a view was
// opened from is hidden meanwhile and shown again when the view closes.
#pragma once

#include <initializer_list>
#include <utility>

#include "lang/label_table.h"
#include "panels/freshness.h"

// The panel the open view or popup was opened from (the main panel for every view it opens).
extern int panel_retorno;

using PanelLabeller = void (*)(int panel, const LabelTable& labels);

// Opens a view: remembers the caller in `returnTo`, loads the panel, hides the caller, labels the
// panel (when a labeller is given), resets and enables each timer, displays it and watches it as
// a panel of its kind (what it shows until it has read, and when a read fails). Returns the
// view's handle, or a negative code when the panel cannot be loaded; the caller then stays on
// screen and the operator is told.
int OpenView(int caller, int& returnTo, int resource, PanelLabeller labeller,
             std::initializer_list<int> timers, PanelKind kind);

// Discards the view (its timers end with it) and shows the panel to return to.
void CloseView(int view, int returnTo);

// Loads the popup of a menu command whose caller is already remembered in panel_retorno and
// hidden. When the panel cannot be loaded the operator is told and the caller comes back.
int LoadMenuPopup(int resource);

// Loads a window that stands beside the others (a dialog, the traffic monitor), its title and the
// captions of its controls ({control, text number}) from the texts in force. 0 when it cannot be
// loaded; the operator is told.
int LoadLabelledWindow(int resource, int titleText, std::initializer_list<std::pair<int, int>> captions);

// Removes and discards a popup and shows the panel to return to.
void ClosePopup(int popup, int returnTo);
