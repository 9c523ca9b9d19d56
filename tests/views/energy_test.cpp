// The energy counters view and the reset of its counters.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "lang/label_table.h"
#include "platform/testing.h"
#include "platform/ui.h"
#include "rq55_uir.h"
#include "view_fixture.h"
#include "views/energy.h"

namespace {

using namespace viewtest;

constexpr int kEnergyStart = 66;

class EnergyView : public LiveView {
  protected:
    int open() {
        startAnalyser();
        EXPECT_TRUE(flipSwitch());
        return press(mainPanel, PRINCIPAL_ENERGIA, panel_energia);
    }
};

struct Counter {
    int index;
    float sent;
    int field;
    double shown;
    int unitField;
    const char* unit;
    const char* text; // as displayed, "" when not checked
};

const Counter kCounters[] = {
    {0, 1000.0f, ENERGIA_ACTIVA_IMP, 1000.0, ENERGIA_UNIDAD_ACTIVA_IMP, "kWh", "1000.0000"},
    {1, 1000.5f, ENERGIA_ACTIVA_EXP, 1.0005, ENERGIA_UNIDAD_ACTIVA_EXP, "MWh", "1.0005"},
    {2, -2000.0f, ENERGIA_REACTIVA_IND, -2000.0, ENERGIA_UNIDAD_REACTIVA_IND, "kVArh", ""},
    {4, 2500000.0f, ENERGIA_APARENTE, 2500.0, ENERGIA_UNIDAD_APARENTE, "MVAh", ""},
    {8, 48213.7f, ENERGIA_Q4, 48.2137, ENERGIA_UNIDAD_Q4, "MVArh", "48.2137"},
    {9, 7.9f, ENERGIA_HORAS, 7.0, 0, nullptr, "7"},
    {10, -7.9f, ENERGIA_BORRADOS, -7.0, 0, nullptr, "-7"},
};

TEST_F(EnergyView, CountersAboveAThousandShowInMegaUnitsAndCountsAreTruncated) {
    const int view = open();
    for (const Counter& c : kCounters)
        analyser.setBlockFloat(kEnergyStart, c.index, c.sent);
    ASSERT_EQ(SimulateTimerTick(view, ENERGIA_TIMER), 1);
    for (const Counter& c : kCounters) {
        EXPECT_NEAR(number(view, c.field), c.shown, 1e-4 * std::max(1.0, std::fabs(c.shown)))
            << "index " << c.index;
        if (c.unitField != 0) {
            EXPECT_EQ(text(view, c.unitField), c.unit) << "index " << c.index;
        }
        if (*c.text) {
            EXPECT_EQ(text(view, c.field), c.text) << "index " << c.index;
        }
    }
    EXPECT_TRUE(timerOn(view, ENERGIA_TIMER));
}

// The operator's three outcomes of the reset popup.
struct ResetCase {
    const char* name;
    int password;        // the analyser's is 1234
    bool resetRefused;   // the analyser refuses the reset command itself
    std::string message; // the last message shown, "title|text"
    size_t resetWrites;  // writes that reached register 1000
    bool popupStays;
};

// Names the case in test listings.
void PrintTo(const ResetCase& c, std::ostream* os) {
    *os << c.name;
}

class EnergyReset : public EnergyView, public ::testing::WithParamInterface<ResetCase> {};

TEST_P(EnergyReset, ShowsTheOutcomeAndSendsTheResetOnlyAfterAnAcceptedPassword) {
    const ResetCase& c = GetParam();
    const int view = open();
    ASSERT_EQ(SimulateTimerTick(view, ENERGIA_TIMER), 1);
    EXPECT_EQ(text(view, ENERGIA_UNIDAD_ACTIVA_IMP), "MWh");
    if (c.resetRefused) {
        sim::FaultRule refuse;
        refuse.kind = sim::FaultRule::Kind::Exception;
        refuse.function = 16;
        refuse.start = 1000;
        analyser.addFault(refuse);
    }
    SimulateCommit(view, ENERGIA_RESET);
    const int popup = panel_contrasena_ener;
    ASSERT_GT(popup, 0);
    ASSERT_EQ(RecordedPopups().back().kind, "panel");
    EXPECT_EQ(RecordedPopups().back().title, etiqueta[325]);
    ClearRecordedPopups();
    SetCtrlVal(popup, CONTRASENA_ENER_CLAVE, c.password);
    SimulateCommit(popup, CONTRASENA_ENER_ACEPTAR);

    const auto passwords = writesTo(819);
    ASSERT_EQ(passwords.size(), 1u);
    EXPECT_EQ(passwords[0].values, std::vector<uint16_t>{static_cast<uint16_t>(c.password)});
    const auto resets = writesTo(1000);
    ASSERT_EQ(resets.size(), c.resetWrites);
    if (!resets.empty()) {
        EXPECT_EQ(resets[0].values, std::vector<uint16_t>{0});
    }
    ASSERT_FALSE(messages().empty());
    EXPECT_EQ(messages().back(), c.message);
    EXPECT_EQ(loaded(popup), c.popupStays);

    if (!c.popupStays) {
        // The view's next tick shows the counters as the analyser now reports them.
        SimulateTimerTick(view, ENERGIA_TIMER);
        EXPECT_LT(number(view, ENERGIA_ACTIVA_IMP), 1.0);
        EXPECT_EQ(text(view, ENERGIA_UNIDAD_ACTIVA_IMP), "kWh");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, EnergyReset,
    ::testing::Values(ResetCase{"WrongPassword", 4321, false,
                                "Password|Wrong password, or the analyser did not answer.", 0, true},
                      ResetCase{"RightPassword", 1234, false, "|Energy reset", 1, false},
                      ResetCase{"ResetRefused", 1234, true, "|Borrado Fallido", 1, true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
