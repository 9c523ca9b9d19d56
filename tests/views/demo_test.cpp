// The demo mode as a new user meets it: the main panel preset for the built-in simulated
// analyser, one flip of the switch, and live values that move.
#include <gtest/gtest.h>

#include <string>

#include "lang/label_table.h"
#include "lang/language.h"
#include "platform/system.h"
#include "platform/testing.h"
#include "platform/ui.h"
#include "rq55_uir.h"
#include "shell/main_panel.h"
#include "sim/simulator.h"
#include "test_support.h"
#include "view_fixture.h"
#include "views/network.h"

namespace {

using namespace viewtest;

TEST(Demo, SwitchingOnAndOpeningTheNetworkViewShowsValuesThatMove) {
    testsupport::ScopedSettings settings;
    RegWriteString(REGKEY_HKLM, kLanguageKey, kLanguageValue, "2");
    sim::Simulator analyser;
    sim::Options options; // moving values, as in the demo
    options.transport = sim::Transport::RtuOverTcp;
    std::string error;
    ASSERT_TRUE(analyser.start(options, &error)) << error;
    MainPanelPreset preset;
    preset.demo = true;
    preset.port = 99;
    preset.host = "127.0.0.1";
    preset.tcpPort = analyser.tcpPort();
    SetMainPanelPreset(preset);

    std::string banner, first, second;
    bool on = false;
    PostDeferredCall([&] {
        GetCtrlAttribute(panel_principal, PRINCIPAL_DEMO, ATTR_LABEL_TEXT, banner);
        SimulateCommit(panel_principal, PRINCIPAL_COMUNICACION);
        int value = 0;
        GetCtrlVal(panel_principal, PRINCIPAL_COMUNICACION, value);
        on = value == 1;
        SimulateCommit(panel_principal, PRINCIPAL_PARAMETROS);
        // The view's own timer does the reading; wait for two of its refreshes.
        WaitUntil([&] { return number(panel_tomadatos, TOMADATOS_P_TOTAL) != 0; }, 5.0);
        first = text(panel_tomadatos, TOMADATOS_P_TOTAL) + " " + text(panel_tomadatos, TOMADATOS_I1);
        WaitUntil(
            [&] {
                second = text(panel_tomadatos, TOMADATOS_P_TOTAL) + " " + text(panel_tomadatos, TOMADATOS_I1);
                return second != first;
            },
            5.0);
        SimulateCommit(panel_principal, PRINCIPAL_COMUNICACION);
        QuitUserInterface(0);
    });
    char name[] = "rq55";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(RQ55_main(1, argv), 0);
    for (int panel : LoadedPanels())
        DiscardPanel(panel);
    SetMainPanelPreset({});
    analyser.stop();
    etiqueta = LabelTable{};

    EXPECT_EQ(banner, "Simulated analyser (demo mode)");
    EXPECT_TRUE(on) << "the preset settings must reach the simulated analyser";
    EXPECT_NE(first, "0.00 0.00");
    EXPECT_NE(second, first) << "live values must move";
}

} // namespace
