// Panels, controls, callbacks, timers, popups and the event loop.
//
// The rest of the program sees plain int handles and control numbers; Qt stays behind this header.
// Panels are described in RQ55.uir (JSON) and read afresh by every LoadPanel. The control numbers
// come from the generated header rq55_uir.h.
#pragma once

#include <functional>
#include <string>
#include <vector>

// Events delivered to control callbacks.
enum {
    EVENT_NONE = 0,
    EVENT_COMMIT = 1,      // a user's change or button press
    EVENT_CLOSE = 14,      // the window's close box (panel callbacks only)
    EVENT_TIMER_TICK = 15, // a timer control's interval elapsed
};

// Control and panel attributes.
enum {
    ATTR_DIMMED = 1,      // int 0/1: shown but takes no input
    ATTR_VISIBLE,         // int 0/1
    ATTR_LABEL_TEXT,      // text: the caption beside the control
    ATTR_TEXT_POINT_SIZE, // int: point size of the control's text
    ATTR_IMAGE_FILE,      // text: picture of a picture button (file in the program directory)
    ATTR_MAX_VALUE,       // double: upper end of a numeric or gauge
    ATTR_MIN_VALUE,       // double
    ATTR_ENABLED,         // int 0/1: a timer ticks only while enabled
    ATTR_INTERVAL,        // double seconds: a timer's interval
    ATTR_CTRL_VAL,        // the control's value (same as Get/SetCtrlVal)
    ATTR_ON_TEXT,         // text: a switch's "on" state text
    ATTR_OFF_TEXT,        // text: a switch's "off" state text
    ATTR_TOOLTIP_TEXT,    // text
    ATTR_TEXT_BOLD,       // int 0/1
    ATTR_TEXT_COLOR,      // int 0xRRGGBB
    ATTR_TOP,             // int pixels
    ATTR_LEFT,            // int pixels
    ATTR_WIDTH,           // int pixels
    ATTR_HEIGHT,          // int pixels
    ATTR_SIZE_TO_TEXT,    // int 1: resize a text message to its text
    ATTR_TITLE,           // text: a panel's title
    ATTR_PANEL_VISIBLE,   // int 0/1 (read only): whether a panel is on screen
    ATTR_MENU_NAME,       // text: a menu's name (menu bars)
    ATTR_ITEM_NAME,       // text: a menu item's name (menu bars)
    ATTR_CLOSE_CTRL,      // int: a panel's control whose callback the window's close box runs
    ATTR_DEFAULT_CTRL,    // int: a panel's button that Enter in a field or list presses
    ATTR_NO_VALUE,        // int 1: a value display shows a dash until it is next given a value
    ATTR_NOTICE_STYLE,    // int 1: a text message drawn as a notice (wrapped, on a tinted ground)
    ATTR_MORE_DIGITS,     // int: decimals a numeric indicator shows beyond its own precision
    ATTR_CHECKED,         // int 0/1: a menu item's check mark (menu bars)
    ATTR_YNAME,           // text: the title of a graph's vertical axis
    ATTR_ENTRY_FAULT,     // int (read only): why an editable field's entry may not be sent, one of
                          // the EntryFault codes; 0 when it may (a field holding another is tinted)
    ATTR_MAX_ENTRY_LENGTH, // int (read only): the characters a text field takes (0: any number)
    ATTR_PRECISION,       // int (read only): the decimals a numeric field shows
    ATTR_DESCRIPTION,     // text: what a screen reader adds to the control's name
    ATTR_ACCESSIBLE_NAME, // text: the name a screen reader gives a control that shows no caption
    ATTR_UNIT,            // text: the unit a screen reader reads a value display's number with; for a
                          // gauge, the caption it reads the gauge's maximum with
};

// What is wrong with an entry the operator typed (ATTR_ENTRY_FAULT). An emptied field is none of
// them, but a secret one: it gives back its last accepted value when it is left.
enum EntryFault {
    kEntryFits = 0,
    kEntryNotANumber,       // letters, or a sign alone
    kEntryTooManyDecimals,  // more than the field's precision (any, in a whole-number field)
    kEntryOutOfRange,       // a number beyond the field's range
    kEntryTooLong,          // a text longer than the field takes
    kEntryBadCharacters,    // a text with characters the analyser cannot keep
    kEntryEmpty,            // a secret field (a password) where nothing is typed
};

// Attributes of one plot on a graph.
enum {
    ATTR_PLOT_LG_TEXT = 200, // text: the plot's name in the graph's legend
    ATTR_PLOT_THICKNESS,     // int: the line's width in pixels (2 unless set)
    ATTR_PLOT_DASHED,        // int 0/1: a dashed line
};

// Errors of the user-interface operations (all negative).
enum {
    UIE_Failure = -1,
    UIE_BadPanelHandle = -2,
    UIE_BadControl = -3,
    UIE_ResourceFileNotFound = -4,
    UIE_BadResourceFile = -5,
    UIE_NoSuchPanelResource = -6,
    UIE_UnknownCallback = -7,
    UIE_WrongControlType = -8,
    UIE_BadAttribute = -9,
    UIE_ValueNotInList = -10,
    UIE_NoEventLoop = -11,
};

// Control types for panels built in code (NewCtrl) and in RQ55.uir.
enum {
    CTRL_NUMERIC = 1,
    CTRL_STRING,   // text input
    CTRL_TEXT_MSG, // static text
    CTRL_TEXT_BOX, // read-only text display
    CTRL_COMMAND_BUTTON,
    CTRL_PICTURE_TOGGLE,
    CTRL_BINARY_SWITCH,
    CTRL_RING, // selector with items
    CTRL_LIST_BOX,
    CTRL_TIMER,
    CTRL_GRAPH,
    CTRL_GAUGE,
    CTRL_DECORATION, // framed box that groups controls
    CTRL_PROGRESS,   // progress bar: its value is the percentage done
};

constexpr int VAL_AUTO_CENTER = -32768; // NewPanel position: centre on the screen
constexpr int VAL_RED = 0xFF0000;

using CtrlCallbackPtr = int (*)(int panel, int control, int event, void* callbackData, int eventData1,
                                int eventData2);
using MenuCallbackPtr = void (*)(int menuBar, int menuItem, void* callbackData, int panel);

// Callbacks named in RQ55.uir are bound through this registry.
void RegisterCallback(const std::string& name, CtrlCallbackPtr fn);
void RegisterMenuCallback(const std::string& name, MenuCallbackPtr fn);
bool IsCallbackRegistered(const std::string& name);

// Creates the application object; call once before anything else. Returns 1, or 0 on failure.
int InitRunTime(int argc, char** argv);

// Panels. Handles are positive; negative results are errors.
int LoadPanel(int parent, const std::string& file, int resourceId);
int NewPanel(int parent, const std::string& title, int top, int left, int height, int width);
int DisplayPanel(int panel);
int HidePanel(int panel);
int DiscardPanel(int panel);
int InstallPopup(int panel);
int RemovePopup(int panel);
int SetPanelAttribute(int panel, int attribute, int value);
int SetPanelAttribute(int panel, int attribute, const std::string& value);
int GetPanelAttribute(int panel, int attribute, int& value);
int GetPanelAttribute(int panel, int attribute, std::string& value);

// The controls that display values the program reads (numeric indicators and read-only text
// boxes), in control-number order.
std::vector<int> GetValueDisplays(int panel);

// Controls built in code; returns the new control's number.
int NewCtrl(int panel, int type, const std::string& label, int top, int left);
int InstallCtrlCallback(int panel, int control, CtrlCallbackPtr fn, void* callbackData);

// Values. Programmatic changes never fire a commit.
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, unsigned value);
int SetCtrlVal(int panel, int control, double value);
int SetCtrlVal(int panel, int control, const char* value);
int SetCtrlVal(int panel, int control, const std::string& value);
int GetCtrlVal(int panel, int control, int& value);
int GetCtrlVal(int panel, int control, unsigned& value);
int GetCtrlVal(int panel, int control, double& value);
int GetCtrlVal(int panel, int control, std::string& value);

int SetCtrlAttribute(int panel, int control, int attribute, int value);
int SetCtrlAttribute(int panel, int control, int attribute, double value);
int SetCtrlAttribute(int panel, int control, int attribute, const char* value);
int SetCtrlAttribute(int panel, int control, int attribute, const std::string& value);
int GetCtrlAttribute(int panel, int control, int attribute, int& value);
int GetCtrlAttribute(int panel, int control, int attribute, double& value);
int GetCtrlAttribute(int panel, int control, int attribute, std::string& value);

// Timers: restart the interval count.
int ResetTimer(int panel, int control);

// List boxes and selectors. index -1 appends.
int InsertListItem(int panel, int control, int index, const std::string& label, int value);
int ClearListCtrl(int panel, int control);
int DeleteListItem(int panel, int control, int index);
int GetNumListItems(int panel, int control, int& count);
int GetLabelFromIndex(int panel, int control, int index, std::string& label);
int GetValueFromIndex(int panel, int control, int index, int& value);

// Graphs: one line through the points; returns a plot handle. On a graph whose x axis is a time
// axis, x is milliseconds since 1970 (UTC) and is shown as the local time of day.
int PlotXY(int panel, int control, const float* x, const float* y, int count, int color);
int PlotXY(int panel, int control, const double* x, const double* y, int count, int color);
int SetPlotAttribute(int panel, int control, int plot, int attribute, const std::string& value);
int SetPlotAttribute(int panel, int control, int plot, int attribute, int value);
int DeleteGraphPlot(int panel, int control, int plot); // plot -1: every plot
// A line over time that moves on at a cost that does not grow with it: a point added at the end
// of a plot, and the points before x dropped from its front. Neither refits the axes.
int AppendPlotPoint(int panel, int control, int plot, double x, double y);
int DropPlotPointsBefore(int panel, int control, int plot, double x);
// The range of a graph's axis: fitted to the plots at every PlotXY (VAL_AUTOSCALE, the start), or
// the given one from now on (VAL_MANUAL), widened to round numbers (on a time axis, round times of
// day).
enum { VAL_BOTTOM_XAXIS = 0, VAL_LEFT_YAXIS = 2 };
enum { VAL_MANUAL = 0, VAL_AUTOSCALE = 1 };
int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max);
// The range an axis shows now (a time axis in ms since 1970).
int GetAxisScalingMode(int panel, int control, int axis, int& mode, double& min, double& max);

// Menu bars (the main panel's). Menus and items share one numbering per menu bar.
int GetPanelMenuBar(int panel);
int SetMenuBarAttribute(int menuBar, int menuOrItem, int attribute, const std::string& value);
int GetMenuBarAttribute(int menuBar, int menuOrItem, int attribute, std::string& value);
int SetMenuBarAttribute(int menuBar, int menuOrItem, int attribute, int value);
int GetMenuBarAttribute(int menuBar, int menuOrItem, int attribute, int& value);

// Modal popups.
// For a run with nobody at the screen (rq55 --check-install): a message goes to stderr, a question
// is answered no and a file dialog cancelled, and nothing waits.
void SetPopupsOnConsole(bool onConsole);
bool PopupsOnConsole();

int MessagePopup(const std::string& title, const std::string& message);
int ConfirmPopup(const std::string& title, const std::string& message); // 1 yes, 0 no
enum { VAL_SELECT_BUTTON = 0, VAL_SAVE_BUTTON = 1, VAL_LOAD_BUTTON = 2 };
// Returns 1 or more with the chosen path, 0 when cancelled.
int FileSelectPopupEx(const std::string& defaultDir, const std::string& defaultSpec,
                      const std::string& typeList, const std::string& title, int button, std::string& path);

// Event loop. RunUserInterface nests; QuitUserInterface ends the innermost one with a code.
int RunUserInterface();
int QuitUserInterface(int code);
int ProcessSystemEvents();
// Runs fn on the user-interface thread once the current callback has returned.
int PostDeferredCall(std::function<void()> fn);
// Holds back timer callbacks while an exchange owns the shared buffers; ticks that arrive
// meanwhile are delivered once afterwards (to timers still enabled then). Nests.
void SuspendTimerCallbacks();
void ResumeTimerCallbacks();

// A wait the operator should see: a busy cursor, and a line along the bottom of the window in
// front saying what the program waits for. Showing it again updates the text; it paints at once,
// without letting events through.
void ShowBusyLine(const std::string& text);
void HideBusyLine();

// Taskbar notification icon. The current image is kept even where no tray exists.
enum { ATTR_TRAY_ICON_IMAGE = 100 };
using TrayCallbackPtr = int (*)(int icon, int event, int eventData);
int WT_InstallSysTrayIcon(const std::string& imageFile, const std::string& tooltip, TrayCallbackPtr fn,
                          int* handle);
int WT_SetTrayIconAttr(int handle, int attribute, const std::string& value);
int WT_RemoveSysTrayIcon(int handle);
