// Hooks for the test suite. Nothing in the program itself uses them.
#pragma once

#include <functional>
#include <string>
#include <vector>

class QWidget;

struct PopupRecord {
    std::string kind; // "message", "confirm", "file", or "panel" for InstallPopup
    std::string title;
    std::string text; // message text; for panels, the texts of its text messages joined by "\n"
    int panel = 0;    // the panel of an InstallPopup
};

struct PopupAnswer {
    int result = 1;   // ConfirmPopup: 1 yes / 0 no; FileSelectPopupEx: 1 chosen / 0 cancelled
    std::string path; // FileSelectPopupEx
};

// With a responder installed, MessagePopup, ConfirmPopup and FileSelectPopupEx show nothing and
// return what it answers; InstallPopup still shows its panel. Every popup is recorded either way.
// Pass nullptr to go back to real dialogs.
void SetPopupResponder(std::function<PopupAnswer(const PopupRecord&)> responder);
const std::vector<PopupRecord>& RecordedPopups();
void ClearRecordedPopups();

// Runs a control's callback as if the user had committed it (for a picture toggle or switch,
// first flipping its value), or a menu item as if chosen.
int SimulateCommit(int panel, int control);
int SimulateMenuCommand(int panel, int menuItem);
// Presses the window's close box.
int SimulateCloseBox(int panel);
// Runs a timer control's callback with a tick now, if the timer is enabled.
int SimulateTimerTick(int panel, int control);

// Processes events until the condition holds or the time passes; returns the condition.
bool WaitUntil(const std::function<bool()>& condition, double seconds);

// Makes GetProjectDir answer the given directory ("" restores the executable's directory).
void SetProjectDirForTesting(const std::string& dir);

// The changes of the tray icon's image, in order (the latest 1000 at least), and the current image.
const std::vector<std::string>& TrayIconHistory();
void ClearTrayIconHistory();
std::string CurrentTrayIconImage();
bool TrayIconInstalled();

// Panels currently loaded, and the first loaded panel with the given title (0 when none).
std::vector<int> LoadedPanels();
int FindPanelByTitle(const std::string& title);
// The points of every plot on a graph, in the order they were plotted, and the names its legend
// shows.
std::vector<std::vector<std::pair<double, double>>> GraphPlots(int panel, int control);
std::vector<std::string> GraphPlotNames(int panel, int control);
// The texts the busy line showed, in order (the latest 1000 at least), and what it shows now ("" when
// hidden).
const std::vector<std::string>& BusyLineHistory();
void ClearBusyLineHistory();
std::string BusyLineText();

// What was given a screen reader to say wherever the focus was (a notice, the status line), in
// order (the latest 1000 at least).
const std::vector<std::string>& Announcements();
void ClearAnnouncements();

// Whether a value display shows its whole text within its width.
bool ShownWhole(int panel, int control);
// The labels a graph's axis shows now (y: the vertical one), and whether the chart shows them
// whole (never elided to "...").
std::vector<std::string> GraphAxisLabels(int panel, int control, bool y);
bool GraphAxisLabelsWhole(int panel, int control, bool y);
// The widget of a control, for typing into it and clicking it as the operator does; its panel's
// window made the active one, so focus moves as on a real display. Null when there is none.
QWidget* ControlWidget(int panel, int control);

// Whether a panel's window lies within its screen's free area, title bar and all, and every part of
// its content can be reached (scrolled to where the window is smaller); else why not.
bool PanelFitsScreen(int panel, std::string& why);

// Renders a panel to a PNG file; returns 1 on success.
int SavePanelImage(int panel, const std::string& pngPath);
