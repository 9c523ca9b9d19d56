// The self-closing error popup: which messages the two switches show and log, its layout, and
// how it ends.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <regex>

#include "lang/label_table.h"
#include "link/error_popup.h"
#include "link_test_support.h"
#include "platform/system.h"
#include "platform/testing.h"
#include "platform/ui.h"
#include "test_support.h"

using namespace linktest;

namespace {

class ErrorPopup : public testing::Test {
  protected:
    void SetUp() override {
        ResetProgramState();
        PressOkOnErrorPopups();
    }
    void TearDown() override {
        ResetProgramState();
        testsupport::InstallDefaultResponder();
    }
};

TEST_F(ErrorPopup, SwitchesDecideWhatIsShownAndLogged) {
    const struct {
        const char* name;
        int display, log;
        int text; // the label text the message carries
        bool shown, logged;
    } cases[] = {
        {"default: no answer is held back", 0, 0, 24, false, false},
        {"default: CRC error is held back", 0, 0, 25, false, false},
        {"default: exception is shown", 0, 0, 21, true, false},
        {"display on: port error is shown", 2, 0, 22, true, false},
        {"log on: write error is logged, not shown", 0, 1, 23, false, true},
        {"log on: exception is shown, never logged", 0, 1, 21, true, false},
        {"both on: no answer is logged and shown", 1, 1, 24, true, true},
        {"log switch only acts on 1", 0, 2, 25, false, false},
    };
    testsupport::TempDir dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    double now = 0;
    GetCurrentDateTime(&now);
    for (const auto& c : cases) {
        ClearRecordedPopups();
        std::filesystem::remove("comm.log");
        ULVO_Visualiza_errores_comunicacion = c.display;
        ULVO_Loggea_errores_comunicacion = c.log;
        const std::string message = etiqueta[c.text] + "\n(:3)";
        Ulvo_Visualiza_mensaje_de_error("RQ55 - Error", message);
        ASSERT_EQ(RecordedPopups().size(), c.shown ? 1u : 0u) << c.name;
        if (c.shown) {
            EXPECT_EQ(RecordedPopups()[0].text, message) << c.name;
        }
        const std::string log = testsupport::ReadFile("comm.log");
        // One line, "DD-MM-YYYY HH:MM:SS <text> (:3)", dated today (and ended as Windows ends lines there).
        const std::regex line(R"(\d\d-\d\d-\d{4} \d\d:\d\d:\d\d )" + etiqueta[c.text] + R"( \(:3\)\r?\n)");
        EXPECT_EQ(std::regex_match(log, line), c.logged) << c.name << ": " << log;
        if (c.logged) {
            EXPECT_EQ(log.substr(0, 10), FormatDateTimeString(now, "%d-%m-%Y"));
        }
    }
    std::filesystem::current_path(previous);
    // A language file without the error texts must not make every message look like one.
    ClearRecordedPopups();
    ULVO_Visualiza_errores_comunicacion = 0;
    etiqueta.texts.resize(22); // texts 22 to 25 read as empty
    Ulvo_Visualiza_mensaje_de_error("RQ55 - Error", "Error\n(:1)");
    EXPECT_EQ(RecordedPopups().size(), 1u);
}

TEST_F(ErrorPopup, SizedToItsTextAndClosingItselfAfterTwoSeconds) {
    const std::string message = "A rather longer message than ninety pixels\n(127.0.0.1:502)";
    int width = 0, textWidth = 0, okLeft = 0, okWidth = 0;
    std::string text;
    SetPopupResponder([&](const PopupRecord& record) {
        int ok = 0;
        GetPanelAttribute(record.panel, ATTR_CLOSE_CTRL, ok);
        GetPanelAttribute(record.panel, ATTR_WIDTH, width);
        GetCtrlAttribute(record.panel, ok - 1, ATTR_WIDTH, textWidth); // the text comes just before OK
        GetCtrlVal(record.panel, ok - 1, text);
        GetCtrlAttribute(record.panel, ok, ATTR_LEFT, okLeft);
        GetCtrlAttribute(record.panel, ok, ATTR_WIDTH, okWidth);
        return PopupAnswer{};
    });
    const double started = Timer();
    Ulvo_Visualiza_mensaje_de_error("RQ55 - Error", message);
    const double seconds = Timer() - started;
    EXPECT_EQ(text, message);
    EXPECT_GT(textWidth, 90);
    EXPECT_EQ(width, textWidth + 40);
    EXPECT_NEAR(okLeft + okWidth / 2.0, width / 2.0, 1.0) << "OK is centred";
    EXPECT_GE(seconds, 1.95) << "the popup stays its two seconds";
    EXPECT_EQ(FindPanelByTitle("RQ55 - Error"), 0) << "the popup is discarded";
}

TEST_F(ErrorPopup, OkOrCloseBoxEndsItAtOnce) {
    for (const bool closeBox : {false, true}) {
        if (closeBox)
            SetPopupResponder([](const PopupRecord& record) {
                PostDeferredCall([panel = record.panel] { SimulateCloseBox(panel); });
                return PopupAnswer{};
            });
        // Ended by the button, not by the two seconds: the popup's own wait is never reached.
        const size_t popupsBefore = RecordedPopups().size();
        Ulvo_Visualiza_mensaje_de_error("RQ55 - Error", "Error\n(:1)");
        EXPECT_EQ(RecordedPopups().size(), popupsBefore + 1) << (closeBox ? "close box" : "OK");
        EXPECT_EQ(FindPanelByTitle("RQ55 - Error"), 0);
    }
}

} // namespace
