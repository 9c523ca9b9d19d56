// The run-time operations every panel is written against: panels from the resource file,
// values and commits, timers, nested event loops, popups, menus and the close box.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/system.h"
#include "platform/testing.h"
#include "platform/ui.h"
#include "test_support.h"

namespace {

// Control numbers of the test panel follow its list in panels.uir.
enum { T_NUM = 2, T_DBL, T_TEXT, T_MSG, T_RING, T_SWITCH, T_TIMER, T_BUTTON, T_CLOSE, T_GAUGE, T_GRAPH };
enum { T_MENU = 1, T_MENU_ITEM = 2 };

struct Event {
    int panel, control, event;
};
std::vector<Event> g_events;
int g_discardOnCommit = 0;

int TestCommit(int panel, int control, int event, void*, int, int) {
    g_events.push_back({panel, control, event});
    if (g_discardOnCommit == control) DiscardPanel(panel);
    return 0;
}
int TestTick(int panel, int control, int event, void*, int, int) {
    g_events.push_back({panel, control, event});
    return 0;
}
void TestMenu(int, int item, void*, int panel) { g_events.push_back({panel, item, -1}); }

class Ui : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterCallback("TestCommit", TestCommit);
        RegisterCallback("TestTick", TestTick);
        RegisterMenuCallback("TestMenu", TestMenu);
        g_events.clear();
        g_discardOnCommit = 0;
        panel = LoadPanel(0, TEST_PANELS, 1);
        ASSERT_GT(panel, 0);
    }
    void TearDown() override {
        DiscardPanel(panel);
        testsupport::InstallDefaultResponder();
        ClearRecordedPopups();
    }
    int panel = 0;
};

TEST_F(Ui, LoadFailuresAreReported) {
    EXPECT_EQ(LoadPanel(0, "/nonexistent/RQ55.uir", 1), UIE_ResourceFileNotFound);
    EXPECT_EQ(LoadPanel(0, TEST_PANELS, 99), UIE_NoSuchPanelResource);
    EXPECT_EQ(LoadPanel(0, TEST_PANELS, 2), UIE_UnknownCallback);
}

TEST_F(Ui, EveryLoadStartsFromTheResourceValues) {
    SetCtrlVal(panel, T_NUM, 42);
    const int second = LoadPanel(0, TEST_PANELS, 1);
    int value = 0;
    GetCtrlVal(second, T_NUM, value);
    EXPECT_EQ(value, 5);
    DiscardPanel(second);
}

TEST_F(Ui, ValuesRoundTripByControlType) {
    int i = 0;
    double d = 0;
    std::string s;
    EXPECT_EQ(SetCtrlVal(panel, T_NUM, 42), 0);
    GetCtrlVal(panel, T_NUM, i);
    EXPECT_EQ(i, 42);
    SetCtrlVal(panel, T_NUM, 7.9); // an integer control truncates
    GetCtrlVal(panel, T_NUM, i);
    EXPECT_EQ(i, 7);
    SetCtrlVal(panel, T_DBL, 1.00049);
    GetCtrlVal(panel, T_DBL, d);
    EXPECT_DOUBLE_EQ(d, 1.00049);
    GetCtrlVal(panel, T_DBL, s);
    EXPECT_EQ(s, "1.000"); // shown with the control's precision
    GetCtrlVal(panel, T_TEXT, s);
    EXPECT_EQ(s, "localhost");
    GetCtrlVal(panel, T_RING, i);
    EXPECT_EQ(i, 2);
    EXPECT_EQ(SetCtrlVal(panel, T_RING, 1), 0);
    GetCtrlVal(panel, T_RING, s);
    EXPECT_EQ(s, "8O1");
    EXPECT_EQ(SetCtrlVal(panel, T_RING, 9), UIE_ValueNotInList);
    SetCtrlVal(panel, T_MSG, "two\nlines");
    GetCtrlVal(panel, T_MSG, s);
    EXPECT_EQ(s, "two\nlines");
    EXPECT_EQ(SetCtrlVal(panel, 99, 1), UIE_BadControl);
    EXPECT_EQ(SetCtrlVal(12345, T_NUM, 1), UIE_BadPanelHandle);
    EXPECT_TRUE(g_events.empty()) << "a programmatic change fired a commit";
}

TEST_F(Ui, CommitsReachTheNamedCallback) {
    SimulateCommit(panel, T_SWITCH);
    int on = 0;
    GetCtrlVal(panel, T_SWITCH, on);
    EXPECT_EQ(on, 1);
    SimulateCommit(panel, T_BUTTON);
    ASSERT_EQ(g_events.size(), 2u);
    EXPECT_EQ(g_events[0].control, T_SWITCH);
    EXPECT_EQ(g_events[1].control, T_BUTTON);
    EXPECT_EQ(g_events[1].event, EVENT_COMMIT);
}

TEST_F(Ui, AttributesTakeEffect) {
    int v = -1;
    SetCtrlAttribute(panel, T_NUM, ATTR_DIMMED, 1);
    GetCtrlAttribute(panel, T_NUM, ATTR_DIMMED, v);
    EXPECT_EQ(v, 1);
    SetCtrlAttribute(panel, T_NUM, ATTR_VISIBLE, 0);
    GetCtrlAttribute(panel, T_NUM, ATTR_VISIBLE, v);
    EXPECT_EQ(v, 0);
    std::string label;
    SetCtrlAttribute(panel, T_NUM, ATTR_LABEL_TEXT, "Port\nnumber");
    GetCtrlAttribute(panel, T_NUM, ATTR_LABEL_TEXT, label);
    EXPECT_EQ(label, "Port\nnumber");
    SetCtrlAttribute(panel, T_BUTTON, ATTR_LABEL_TEXT, "Start");
    GetCtrlAttribute(panel, T_BUTTON, ATTR_LABEL_TEXT, label);
    EXPECT_EQ(label, "Start");
    double max = 0;
    SetCtrlAttribute(panel, T_GAUGE, ATTR_MAX_VALUE, 20.0);
    GetCtrlAttribute(panel, T_GAUGE, ATTR_MAX_VALUE, max);
    EXPECT_EQ(max, 20.0);
    SetCtrlAttribute(panel, T_SWITCH, ATTR_ON_TEXT, "Closed");
    GetCtrlAttribute(panel, T_SWITCH, ATTR_ON_TEXT, label);
    EXPECT_EQ(label, "Closed");
    SetPanelAttribute(panel, ATTR_TITLE, "Renamed");
    EXPECT_EQ(FindPanelByTitle("Renamed"), panel);
    const float x[] = {0, 10}, y[] = {4, 20};
    EXPECT_GT(PlotXY(panel, T_GRAPH, x, y, 2, VAL_RED), 0);
    EXPECT_EQ(DeleteGraphPlot(panel, T_GRAPH, -1), 0);
}

TEST_F(Ui, TimerTicksOnlyWhileEnabledAndSuspensionDefersTicks) {
    ASSERT_TRUE(WaitUntil([] { return false; }, 0.08) == false);
    EXPECT_TRUE(g_events.empty()) << "a timer disabled in the resource file ticked";

    SetCtrlAttribute(panel, T_TIMER, ATTR_ENABLED, 1);
    ResetTimer(panel, T_TIMER);
    EXPECT_TRUE(WaitUntil([] { return g_events.size() >= 2; }, 2.0));
    EXPECT_EQ(g_events[0].event, EVENT_TIMER_TICK);

    SuspendTimerCallbacks();
    g_events.clear();
    WaitUntil([] { return false; }, 0.1);
    EXPECT_TRUE(g_events.empty()) << "a tick ran while an exchange held the buffers";
    ResumeTimerCallbacks();
    EXPECT_TRUE(WaitUntil([] { return !g_events.empty(); }, 1.0));

    SetCtrlAttribute(panel, T_TIMER, ATTR_ENABLED, 0);
    g_events.clear();
    WaitUntil([] { return false; }, 0.08);
    EXPECT_TRUE(g_events.empty());
}

TEST_F(Ui, RunUserInterfaceNestsAndReturnsTheQuitCode) {
    int inner = 0;
    PostDeferredCall([&inner] {
        PostDeferredCall([] { QuitUserInterface(7); });
        inner = RunUserInterface();
        QuitUserInterface(3);
    });
    EXPECT_EQ(RunUserInterface(), 3);
    EXPECT_EQ(inner, 7);
    EXPECT_EQ(QuitUserInterface(1), UIE_NoEventLoop);
}

TEST_F(Ui, PopupsAreRecordedAndAnswered) {
    SetPopupResponder([](const PopupRecord& r) {
        PopupAnswer a;
        a.result = r.kind == "confirm" ? 0 : 1;
        a.path = "/tmp/chosen.bin";
        return a;
    });
    ClearRecordedPopups();
    MessagePopup("Title", "Message");
    EXPECT_EQ(ConfirmPopup("SAVE CHANGES", "Sure?"), 0);
    std::string path;
    EXPECT_EQ(FileSelectPopupEx("", "*.bin", "*.*", "Select file name", VAL_SAVE_BUTTON, path), 1);
    EXPECT_EQ(path, "/tmp/chosen.bin");
    InstallPopup(panel);
    const auto& popups = RecordedPopups();
    ASSERT_EQ(popups.size(), 4u);
    EXPECT_EQ(popups[0].kind, "message");
    EXPECT_EQ(popups[0].title, "Title");
    EXPECT_EQ(popups[0].text, "Message");
    EXPECT_EQ(popups[3].kind, "panel");
    EXPECT_EQ(popups[3].text, "Hello");
    RemovePopup(panel);
}

TEST_F(Ui, CloseBoxRunsTheCloseControlAndAPanelMayDiscardItselfInItsCallback) {
    DisplayPanel(panel);
    g_discardOnCommit = T_CLOSE;
    const int handle = panel;
    SimulateCloseBox(handle);
    ProcessSystemEvents();
    ASSERT_EQ(g_events.size(), 1u);
    EXPECT_EQ(g_events[0].control, T_CLOSE);
    EXPECT_EQ(DisplayPanel(handle), UIE_BadPanelHandle);
    panel = LoadPanel(0, TEST_PANELS, 1); // for TearDown
}

TEST_F(Ui, MenuItemsCallTheirCallbackAndCanBeRenamed) {
    const int bar = GetPanelMenuBar(panel);
    ASSERT_GT(bar, 0);
    EXPECT_EQ(SetMenuBarAttribute(bar, T_MENU, ATTR_MENU_NAME, "Archivo"), 0);
    EXPECT_EQ(SetMenuBarAttribute(bar, T_MENU_ITEM, ATTR_ITEM_NAME, "Guardar"), 0);
    std::string name;
    GetMenuBarAttribute(bar, T_MENU, ATTR_MENU_NAME, name);
    EXPECT_EQ(name, "Archivo");
    SimulateMenuCommand(panel, T_MENU_ITEM);
    ASSERT_EQ(g_events.size(), 1u);
    EXPECT_EQ(g_events[0].control, T_MENU_ITEM);
}

TEST_F(Ui, TrayIconKeepsItsImageWithoutADesktopTray) {
    int icon = 0;
    ClearTrayIconHistory();
    WT_InstallSysTrayIcon("trffc_a.ico", "RQ55", nullptr, &icon);
    WT_SetTrayIconAttr(icon, ATTR_TRAY_ICON_IMAGE, "trffc_c.ico");
    WT_SetTrayIconAttr(icon, ATTR_TRAY_ICON_IMAGE, "trffc_a.ico");
    EXPECT_EQ(CurrentTrayIconImage(), "trffc_a.ico");
    EXPECT_EQ(TrayIconHistory(), (std::vector<std::string>{"trffc_a.ico", "trffc_c.ico", "trffc_a.ico"}));
    EXPECT_TRUE(TrayIconInstalled());
    WT_RemoveSysTrayIcon(icon);
    EXPECT_FALSE(TrayIconInstalled());
}

TEST_F(Ui, CodeBuiltPanelsAndLists) {
    const int dialog = NewPanel(0, "Idioma / Language", VAL_AUTO_CENTER, VAL_AUTO_CENTER, 120, 220);
    const int list = NewCtrl(dialog, CTRL_LIST_BOX, "", 25, 35);
    InsertListItem(dialog, list, -1, "Español", 1);
    InsertListItem(dialog, list, -1, "English", 2);
    int value = 0, count = 0;
    GetCtrlVal(dialog, list, value);
    EXPECT_EQ(value, 1) << "a list starts on its first entry";
    GetNumListItems(dialog, list, count);
    EXPECT_EQ(count, 2);
    SetCtrlVal(dialog, list, 2);
    GetCtrlVal(dialog, list, value);
    EXPECT_EQ(value, 2);
    int width = 0;
    GetPanelAttribute(dialog, ATTR_WIDTH, width);
    EXPECT_EQ(width, 220);
    DiscardPanel(dialog);
}

} // namespace
