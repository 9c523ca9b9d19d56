// The self-closing error popup: which messages the two switches show and log, its layout, and
// how it ends.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "lang/label_table.h"
#include "link/error_popup.h"
#include "link_test_support.h"
#include "platform/system.h"
#include "platform/testing.h"
#include "platform/ui.h"
#include "test_support.h"

using namespace linktest;

namespace {

// Presses the popup's OK button as soon as it is up.
void PressOkAtOnce() {
    SetPopupResponder([](const PopupRecord& record) {
        if (record.kind == "panel")
            PostDeferredCall([panel = record.panel] {
                int ok = 0;
                GetPanelAttribute(panel, ATTR_CLOSE_CTRL, ok);
                SimulateCommit(panel, ok);
            });
        return PopupAnswer{};
    });
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

struct SwitchCase {
    const char* name;
    int display;
    int log;
    int text; // the label text the message carries
    bool shown;
    bool logged;
};

TEST(ErrorPopup, SwitchesDecideWhatIsShownAndLogged) {
    const SwitchCase cases[] = {
        {"default: no answer is held back", 0, 0, 24, false, false},
        {"default: CRC error is held back", 0, 0, 25, false, false},
        {"default: exception is shown", 0, 0, 21, true, false},
        {"display on: no answer is shown", 1, 0, 24, true, false},
        {"display on: port error is shown", 2, 0, 22, true, false},
        {"log on: write error is logged, not shown", 0, 1, 23, false, true},
        {"log on: COM port error is logged, not shown", 0, 1, 22, false, true},
        {"log on: exception is shown, never logged", 0, 1, 21, true, false},
        {"both on: no answer is logged and shown", 1, 1, 24, true, true},
        {"log switch only acts on 1", 0, 2, 25, false, false},
    };
    testsupport::TempDir dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    for (const auto& c : cases) {
        ResetProgramState();
        PressOkAtOnce();
        std::filesystem::remove("comm.log");
        ULVO_Visualiza_errores_comunicacion = c.display;
        ULVO_Loggea_errores_comunicacion = c.log;
        const std::string message = etiqueta[c.text] + "\n(:3)";
        Ulvo_Visualiza_mensaje_de_error("RQ55 - Error", message);
        EXPECT_EQ(RecordedPopups().size(), c.shown ? 1u : 0u) << c.name;
        if (c.shown && !RecordedPopups().empty()) {
            EXPECT_EQ(RecordedPopups()[0].title, "RQ55 - Error") << c.name;
            EXPECT_EQ(RecordedPopups()[0].text, message) << c.name;
        }
        const std::string log = readFile("comm.log");
        EXPECT_EQ(log.find(etiqueta[c.text] + " (:3)\n") != std::string::npos, c.logged)
            << c.name << ": " << log;
    }
    std::filesystem::current_path(previous);
    ResetProgramState();
    testsupport::InstallDefaultResponder();
}

// A language file without the error texts must not make every message look like one.
TEST(ErrorPopup, MissingErrorTextsHoldNothingBack) {
    ResetProgramState();
    PressOkAtOnce();
    etiqueta.texts.resize(22); // texts 22 to 25 read as empty
    Ulvo_Visualiza_mensaje_de_error("RQ55 - Error", "Error\n(:1)");
    EXPECT_EQ(RecordedPopups().size(), 1u);
    testsupport::InstallDefaultResponder();
    ResetProgramState();
}

TEST(ErrorPopup, LayoutAndSelfClosingAfterTwoSeconds) {
    ResetProgramState();
    struct Seen {
        int height = 0, width = 0;
        int textTop = 0, textLeft = 0, textWidth = 0;
        int okTop = 0, okLeft = 0, okWidth = 0, okHeight = 0;
        std::string text, okLabel;
    } seen;
    const std::string message = "A rather longer message than ninety pixels\n(127.0.0.1:502)";
    SetPopupResponder([&](const PopupRecord& record) {
        const int panel = record.panel;
        int ok = 0;
        GetPanelAttribute(panel, ATTR_CLOSE_CTRL, ok);
        const int text = ok - 1; // built just before the button
        GetPanelAttribute(panel, ATTR_HEIGHT, seen.height);
        GetPanelAttribute(panel, ATTR_WIDTH, seen.width);
        GetCtrlAttribute(panel, text, ATTR_TOP, seen.textTop);
        GetCtrlAttribute(panel, text, ATTR_LEFT, seen.textLeft);
        GetCtrlAttribute(panel, text, ATTR_WIDTH, seen.textWidth);
        GetCtrlVal(panel, text, seen.text);
        GetCtrlAttribute(panel, ok, ATTR_TOP, seen.okTop);
        GetCtrlAttribute(panel, ok, ATTR_LEFT, seen.okLeft);
        GetCtrlAttribute(panel, ok, ATTR_WIDTH, seen.okWidth);
        GetCtrlAttribute(panel, ok, ATTR_HEIGHT, seen.okHeight);
        GetCtrlAttribute(panel, ok, ATTR_LABEL_TEXT, seen.okLabel);
        return PopupAnswer{};
    });
    const double started = Timer();
    Ulvo_Visualiza_mensaje_de_error("RQ55 - Error", message);
    const double seconds = Timer() - started;
    testsupport::InstallDefaultResponder();

    ASSERT_EQ(RecordedPopups().size(), 1u);
    EXPECT_EQ(RecordedPopups()[0].kind, "panel");
    EXPECT_EQ(seen.text, message);
    EXPECT_EQ(seen.height, 95);
    EXPECT_EQ(seen.textTop, 18);
    EXPECT_EQ(seen.textLeft, 20);
    EXPECT_GT(seen.textWidth, 90) << "the text message is sized to this long text";
    EXPECT_EQ(seen.width, seen.textWidth + 40);
    EXPECT_EQ(seen.okLabel, "OK");
    EXPECT_EQ(seen.okTop, 55);
    EXPECT_EQ(seen.okWidth, 75);
    EXPECT_EQ(seen.okHeight, 25);
    EXPECT_EQ(seen.okLeft, std::lround(seen.width / 2.0 - 37.5));
    EXPECT_GE(seconds, 1.95);
    EXPECT_LE(seconds, 3.0);
    EXPECT_EQ(FindPanelByTitle("RQ55 - Error"), 0) << "the popup is discarded";
}

TEST(ErrorPopup, ShortTextKeepsTheMinimumWidth) {
    ResetProgramState();
    int width = 0, okLeft = 0;
    SetPopupResponder([&](const PopupRecord& record) {
        int ok = 0;
        GetPanelAttribute(record.panel, ATTR_CLOSE_CTRL, ok);
        GetPanelAttribute(record.panel, ATTR_WIDTH, width);
        GetCtrlAttribute(record.panel, ok, ATTR_LEFT, okLeft);
        PostDeferredCall([panel = record.panel, ok] { SimulateCommit(panel, ok); });
        return PopupAnswer{};
    });
    Ulvo_Visualiza_mensaje_de_error("E", "!");
    testsupport::InstallDefaultResponder();
    EXPECT_EQ(width, 130);
    EXPECT_EQ(okLeft, 28); // 65 - 37.5, rounded
}

struct EndingCase {
    const char* name;
    bool closeBox; // the window's close box instead of OK
};

TEST(ErrorPopup, OkOrCloseBoxEndsItAtOnce) {
    for (const EndingCase c : {EndingCase{"OK", false}, EndingCase{"close box", true}}) {
        ResetProgramState();
        SetPopupResponder([&](const PopupRecord& record) {
            PostDeferredCall([panel = record.panel, closeBox = c.closeBox] {
                if (closeBox) {
                    SimulateCloseBox(panel);
                } else {
                    int ok = 0;
                    GetPanelAttribute(panel, ATTR_CLOSE_CTRL, ok);
                    SimulateCommit(panel, ok);
                }
            });
            return PopupAnswer{};
        });
        const double started = Timer();
        Ulvo_Visualiza_mensaje_de_error("RQ55 - Error", "Error\n(:1)");
        EXPECT_LT(Timer() - started, 1.0) << c.name;
        EXPECT_EQ(FindPanelByTitle("RQ55 - Error"), 0) << c.name;
    }
    testsupport::InstallDefaultResponder();
}

} // namespace
