// The platform's own record of every panel and control, shared by the files of platform/ that
// implement ui.h. Nothing outside platform/ includes this header.
#pragma once

#include <QList>
#include <QPointF>
#include <QString>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "platform/ui.h"

class QFontMetrics;
class QGraphicsSimpleTextItem;
class QLabel;
class QLineSeries;
class QMenu;
class QMenuBar;
class QAction;
class QJsonArray;
class QJsonObject;
class QTimer;
class QScrollArea;
class QWidget;

namespace platform {

class PanelWindow;

struct ListItem {
    std::string label;
    int value = 0;
};

enum class NumData { Int, Unsigned, Double };

// Adds to a history kept for the tests' eyes, which holds the latest 1000 entries at least and
// never more than 2000: a program left running for days must not grow with it.
void Remember(std::vector<std::string>& history, std::string entry);

// A graph's line, drawn as pieces of a few points, each one after the first beginning with a copy
// of the last point of the one before (so the line is whole). Qt Charts lays a whole series out
// again at every point added or removed; in pieces, a line that moves on point by point costs
// the same however many points it holds. A piece that the line left behind is emptied and kept
// for the next one: adding a series to a chart or taking one out lays out the whole chart and its
// legend again, and the first piece carries the line's entry in the legend.
struct Plot {
    std::deque<QLineSeries*> pieces;
    std::vector<QLineSeries*> spare;
    // The points of the line, each once.
    QList<QPointF> points() const;
};

struct Control {
    int id = 0;
    int type = 0;
    std::string name;
    CtrlCallbackPtr callback = nullptr;
    void* callbackData = nullptr;
    QWidget* widget = nullptr;
    QLabel* caption = nullptr;
    bool captionLeft = false;
    QTimer* timer = nullptr;
    bool timerEnabled = false;
    NumData data = NumData::Double;
    int precision = 2;
    int moreDigits = 0; // shown beyond `precision` (a value ranged into a larger unit)
    bool indicator = false;
    double value = 0;                  // numeric indicators keep their value here
    std::vector<ListItem> items;       // rings and list boxes
    std::map<int, Plot> plots;         // graphs
    int nextPlot = 1;
    QGraphicsSimpleTextItem* yName = nullptr; // a graph's name of its vertical axis
    bool fixedX = false, fixedY = false;
    QString shortcut; // a key that presses it wherever the focus is on its window ("Ctrl+Q")
};

struct MenuEntry {
    QMenu* menu = nullptr;
    QAction* action = nullptr;
    MenuCallbackPtr callback = nullptr;
    QString text; // its name as the program gives it, without the letter marked for Alt
};

struct Panel {
    int handle = 0;
    int resource = 0;
    PanelWindow* window = nullptr;
    QScrollArea* scroll = nullptr; // holds the content, and scrolls it where the screen is too small
    QWidget* content = nullptr;
    QMenuBar* menuBar = nullptr;
    int menuBarHandle = 0;
    std::map<int, Control> controls;
    std::map<int, MenuEntry> menu;
    int closeControl = 0;
    int defaultControl = 0; // the button Enter in a field presses
    int cancelControl = 0;  // the button Escape presses
    QWidget* firstField = nullptr; // the first in reading order, which has the keyboard as it opens
    int nextControl = 2;
    bool placed = false;
    bool popup = false;
};

// Every panel by handle, and the panel that owns each menu bar.
extern std::map<int, std::unique_ptr<Panel>> g_panels;
extern std::map<int, int> g_menuBarPanel;

inline QString qs(const std::string& s) { return QString::fromStdString(s); }
inline std::string ss(const QString& s) { return s.toStdString(); }

Panel* findPanel(int handle);
Control* findControl(int panel, int control);
// The control of the panel that RQ55.uir names `name` (close_control, default_control); 0 for none.
int controlNamed(const Panel& p, const QString& name);
// The error for a control that findControl did not find: a bad panel or a bad control on it.
int missingControl(int panel);
// A file name relative to the program directory, as the resources are found.
QString resolvePath(const std::string& file);

// Callbacks bound by name (registered by the program before any panel is loaded).
CtrlCallbackPtr FindCallback(const std::string& name);
MenuCallbackPtr FindMenuCallback(const std::string& name);

// A new, empty panel window of the given content size, entered in the table.
Panel* NewPanelShell(const QString& title, int width, int height);
// Shows a panel's window in front, centred on the screen the first time it is shown, its title
// bar never above the screen.
void ShowOnScreen(Panel& p);
// Sizes a panel's window to its menu bar and content, or, where the screen has not room for that,
// to the screen, the content then scrolled.
void FitPanelWindow(Panel& p);

// Builds the panel's menu bar from its description in RQ55.uir.
void AddMenuBar(Panel& p, const QJsonArray& menus);

// Enter, Escape and F10 as every panel answers them; once, at start.
void InstallKeys();
// The panel's keyboard, from its description: its tab order, its default and cancel buttons, the
// shortcuts of its controls.
void EnableKeyboard(Panel& p, const QJsonObject& def);

// Runs a control's commit callback; runs a timer's tick now or, while timers are held back, once
// the hold ends.
int DispatchCommit(int panel, int control);
void DispatchTick(int panel, int control);

// Text of a numeric control's value, and the caption placed beside or above its control.
QString FormatNumber(const Control& c, double v);
// What a numeric display `width` pixels wide shows: the field's own format, or, when that is too
// wide, the shortest notation that keeps the magnitude and fits (250000 for 250000.0, 2.5e+06):
// never a number with digits cut off.
QString FitNumber(const Control& c, double v, const QFontMetrics& metrics, int width);
// What a value display shows before its first value.
inline const QString kNoValueText = QStringLiteral("\u2014");
void PlaceCaption(Control& c);
// Fits a graph's free axes to its plots.
void RescaleGraph(Control& c);
// Names a graph's vertical axis, the name reading across above it.
void SetGraphYName(Control& c, const QString& name);

// The popup record every popup adds, and the responder that answers it in tests.
void RecordPopup(PopupRecord record);

} // namespace platform
