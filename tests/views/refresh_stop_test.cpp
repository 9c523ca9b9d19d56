// Every view stops refreshing at its first failed read: silently, keeping what it showed, and
// without asking the analyser again until it is opened anew.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "platform/testing.h"
#include "platform/ui.h"
#include "rq55_uir.h"
#include "view_fixture.h"
#include "views/demand.h"
#include "views/energy.h"
#include "views/maxmin.h"
#include "views/network.h"
#include "views/status.h"

namespace {

using namespace viewtest;

struct ViewCase {
    const char* name;
    int button;
    const int* view;
    int timer;
    int field;     // a field the refresh fills
    int readStart; // the block the refresh reads
    int close;
    int firstTimer; // status: the first-read timer that starts `timer`; 0 for the other views
};

// Names the case in test listings.
void PrintTo(const ViewCase& c, std::ostream* os) {
    *os << c.name;
}

class RefreshStop : public LiveView, public ::testing::WithParamInterface<ViewCase> {};

TEST_P(RefreshStop, AFailedReadStopsTheRefreshUntilTheViewIsOpenedAgain) {
    const ViewCase& c = GetParam();
    startAnalyser();
    ASSERT_TRUE(flipSwitch());
    int view = press(mainPanel, c.button, *c.view);
    if (c.firstTimer) {
        ASSERT_EQ(SimulateTimerTick(view, c.firstTimer), 1);
    }
    ASSERT_EQ(SimulateTimerTick(view, c.timer), 1);
    const std::string shown = text(view, c.field);

    sim::FaultRule refuse;
    refuse.kind = sim::FaultRule::Kind::Exception;
    refuse.function = 3;
    refuse.start = c.readStart;
    analyser.addFault(refuse);
    ASSERT_EQ(SimulateTimerTick(view, c.timer), 1);
    const int reads = requestsFor(c.readStart);

    EXPECT_FALSE(timerOn(view, c.timer));
    EXPECT_EQ(SimulateTimerTick(view, c.timer), 0) << "a stopped refresh must not run";
    EXPECT_EQ(requestsFor(c.readStart), reads);
    EXPECT_EQ(text(view, c.field), shown) << "the last values stay";
    EXPECT_TRUE(RecordedPopups().empty()) << "a failed read is silent";

    analyser.clearFaults();
    SimulateCommit(view, c.close);
    EXPECT_TRUE(onScreen(mainPanel));
    view = press(mainPanel, c.button, *c.view);
    if (c.firstTimer) {
        ASSERT_EQ(SimulateTimerTick(view, c.firstTimer), 1);
    }
    EXPECT_EQ(SimulateTimerTick(view, c.timer), 1) << "opening the view again restarts the refresh";
    EXPECT_GT(requestsFor(c.readStart), reads);
}

INSTANTIATE_TEST_SUITE_P(Views, RefreshStop,
                         ::testing::Values(ViewCase{"Network", PRINCIPAL_PARAMETROS, &panel_tomadatos,
                                                    TOMADATOS_TIMER, TOMADATOS_V1, 6, TOMADATOS_CERRAR, 0},
                                           ViewCase{"Energy", PRINCIPAL_ENERGIA, &panel_energia,
                                                    ENERGIA_TIMER, ENERGIA_ACTIVA_IMP, 66, ENERGIA_CERRAR, 0},
                                           ViewCase{"MaxMin", PRINCIPAL_MAXMIN, &panel_maxmin, MAXMIN_TIMER,
                                                    MAXMIN_V1_MAX, 130, MAXMIN_CERRAR, 0},
                                           ViewCase{"Demand", PRINCIPAL_DEMANDA, &panel_demanda,
                                                    DEMANDA_TIMER, DEMANDA_P_ACTUAL, 238, DEMANDA_CERRAR, 0},
                                           ViewCase{"StatusOutputs", PRINCIPAL_ESTADO, &panel_estado,
                                                    ESTADO_TIMER_SALIDAS, ESTADO_MAGNITUD_SALIDA_1, 230,
                                                    ESTADO_CERRAR, ESTADO_TIMER}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
