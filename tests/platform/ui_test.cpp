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

using Events = std::vector<std::pair<int, int>>; // control, event (-1 for a menu item)
Events g_events;
int g_discardOnCommit = 0;

int TestCallback(int panel, int control, int event, void*, int, int) {
    g_events.push_back({control, event});
    if (g_discardOnCommit == control) DiscardPanel(panel);
    return 0;
}
void TestMenu(int, int item, void*, int) { g_events.push_back({item, -1}); }

// A control's value, or one of its attributes, as T.
template <typename T> T value(int panel, int control) {
    T v{};
    GetCtrlVal(panel, control, v);
    return v;
}
template <typename T> T attribute(int panel, int control, int attribute) {
    T v{};
    GetCtrlAttribute(panel, control, attribute, v);
    return v;
}

class Ui : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterCallback("TestCommit", TestCallback);
        RegisterCallback("TestTick", TestCallback);
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

TEST_F(Ui, PanelsLoadFromTheResourceFileEachTimeAfresh) {
    EXPECT_EQ(LoadPanel(0, "/nonexistent/RQ55.uir", 1), UIE_ResourceFileNotFound);
    EXPECT_EQ(LoadPanel(0, TEST_PANELS, 99), UIE_NoSuchPanelResource);
    EXPECT_EQ(LoadPanel(0, TEST_PANELS, 2), UIE_UnknownCallback);
    SetCtrlVal(panel, T_NUM, 42);
    const int second = LoadPanel(0, TEST_PANELS, 1);
    EXPECT_EQ(value<int>(second, T_NUM), 5);
    DiscardPanel(second);
}

TEST_F(Ui, ValuesRoundTripByControlType) {
    EXPECT_EQ(SetCtrlVal(panel, T_NUM, 42), 0);
    EXPECT_EQ(value<int>(panel, T_NUM), 42);
    SetCtrlVal(panel, T_NUM, 7.9); // an integer control truncates
    EXPECT_EQ(value<int>(panel, T_NUM), 7);
    SetCtrlVal(panel, T_DBL, 1.00049);
    EXPECT_DOUBLE_EQ(value<double>(panel, T_DBL), 1.00049);
    EXPECT_EQ(value<std::string>(panel, T_DBL), "1.000"); // shown with the control's precision
    EXPECT_EQ(value<int>(panel, T_RING), 2);
    EXPECT_EQ(SetCtrlVal(panel, T_RING, 1), 0);
    EXPECT_EQ(value<std::string>(panel, T_RING), "8O1");
    EXPECT_EQ(SetCtrlVal(panel, T_RING, 9), UIE_ValueNotInList);
    SetCtrlVal(panel, T_MSG, "two\nlines");
    EXPECT_EQ(value<std::string>(panel, T_MSG), "two\nlines");
    EXPECT_EQ(SetCtrlVal(panel, 99, 1), UIE_BadControl);
    EXPECT_TRUE(g_events.empty()) << "a programmatic change fired a commit";
}

TEST_F(Ui, CommitsMenusAndTheCloseBoxReachTheirCallbacks) {
    SimulateCommit(panel, T_SWITCH);
    EXPECT_EQ(value<int>(panel, T_SWITCH), 1);
    SimulateCommit(panel, T_BUTTON);
    const int bar = GetPanelMenuBar(panel);
    EXPECT_EQ(SetMenuBarAttribute(bar, T_MENU, ATTR_MENU_NAME, "Archivo"), 0);
    std::string name;
    GetMenuBarAttribute(bar, T_MENU, ATTR_MENU_NAME, name);
    EXPECT_EQ(name, "Archivo");
    SimulateMenuCommand(panel, T_MENU_ITEM);
    // The close box runs the close control, whose callback may discard the panel.
    DisplayPanel(panel);
    g_discardOnCommit = T_CLOSE;
    const int handle = panel;
    SimulateCloseBox(handle);
    ProcessSystemEvents();
    EXPECT_EQ(DisplayPanel(handle), UIE_BadPanelHandle);
    panel = LoadPanel(0, TEST_PANELS, 1); // for TearDown
    EXPECT_EQ(
        g_events,
        (Events{
            {T_SWITCH, EVENT_COMMIT}, {T_BUTTON, EVENT_COMMIT}, {T_MENU_ITEM, -1}, {T_CLOSE, EVENT_COMMIT}}));
}

// (Ticks held back while an exchange runs: the link's tests.)
TEST_F(Ui, TimerTicksOnlyWhileEnabled) {
    auto ticked = [] { return !g_events.empty(); };
    EXPECT_FALSE(WaitUntil(ticked, 0.08)) << "a timer disabled in the resource file ticked";
    SetCtrlAttribute(panel, T_TIMER, ATTR_ENABLED, 1);
    ResetTimer(panel, T_TIMER);
    EXPECT_TRUE(WaitUntil([] { return g_events.size() >= 2; }, 2.0));
    EXPECT_EQ(g_events[0], std::pair(static_cast<int>(T_TIMER), static_cast<int>(EVENT_TIMER_TICK)));

    SetCtrlAttribute(panel, T_TIMER, ATTR_ENABLED, 0);
    g_events.clear();
    EXPECT_FALSE(WaitUntil(ticked, 0.08));
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

} // namespace
