// The device status page: what the first read fills and dims, and which analog outputs it keeps
// reading, by model.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "link/link_settings.h"
#include "platform/testing.h"
#include "platform/ui.h"
#include "rq55_uir.h"
#include "view_fixture.h"
#include "views/status.h"

namespace {

using namespace viewtest;

constexpr int kOutputGroups[4][3] = {
    {ESTADO_TIPO_SALIDA_1, ESTADO_VALOR_SALIDA_1, ESTADO_MAGNITUD_SALIDA_1},
    {ESTADO_TIPO_SALIDA_2, ESTADO_VALOR_SALIDA_2, ESTADO_MAGNITUD_SALIDA_2},
    {ESTADO_TIPO_SALIDA_3, ESTADO_VALOR_SALIDA_3, ESTADO_MAGNITUD_SALIDA_3},
    {ESTADO_TIPO_SALIDA_4, ESTADO_VALOR_SALIDA_4, ESTADO_MAGNITUD_SALIDA_4},
};
constexpr int kOutputBases[4] = {230, 247, 264, 281};

class StatusView : public LiveView {
  protected:
    int open(int model) {
        startAnalyser(frozen(model));
        EXPECT_TRUE(flipSwitch());
        return press(mainPanel, PRINCIPAL_ESTADO, panel_estado);
    }
    int outputReads() const {
        int reads = 0;
        for (int base : kOutputBases)
            reads += requestsFor(base);
        return reads;
    }
    bool groupDimmed(int view, int n) const {
        bool all = true;
        for (int field : kOutputGroups[n])
            all = all && dimmed(view, field);
        return all;
    }
    bool groupUsable(int view, int n) const {
        bool none = true;
        for (int field : kOutputGroups[n])
            none = none && !dimmed(view, field);
        return none;
    }
};

struct ModelCase {
    int model;
    int usable; // output groups 1..usable are usable; the rest are dimmed
    int readsPerTick;
};

// Names the case in test listings.
void PrintTo(const ModelCase& c, std::ostream* os) {
    *os << "model " << c.model;
}

class StatusByModel : public StatusView, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(StatusByModel, DimsTheOutputsTheModelLacksAndReadsOnlyTheOnesItHas) {
    const ModelCase& c = GetParam();
    const int view = open(c.model);
    ASSERT_EQ(SimulateTimerTick(view, ESTADO_TIMER), 1);
    EXPECT_EQ(text(view, ESTADO_MODELO), "RQ" + std::to_string(c.model));
    EXPECT_FALSE(timerOn(view, ESTADO_TIMER)) << "the first read happens once";
    ASSERT_TRUE(timerOn(view, ESTADO_TIMER_SALIDAS));

    for (int tick = 0; tick < 2; ++tick) {
        const int before = outputReads();
        ASSERT_EQ(SimulateTimerTick(view, ESTADO_TIMER_SALIDAS), 1);
        EXPECT_EQ(outputReads() - before, c.readsPerTick) << "tick " << tick;
        for (int n = 0; n < 4; ++n) {
            const bool expected = n < c.usable ? groupUsable(view, n) : groupDimmed(view, n);
            EXPECT_TRUE(expected) << "output " << n + 1 << (n < c.usable ? " usable" : " dimmed") << ", tick "
                                  << tick;
        }
    }
    EXPECT_TRUE(timerOn(view, ESTADO_TIMER_SALIDAS));
}

INSTANTIATE_TEST_SUITE_P(Models, StatusByModel,
                         ::testing::Values(ModelCase{55, 0, 0}, ModelCase{57, 2, 2}, ModelCase{59, 4, 4},
                                           ModelCase{70, 4, 0}),
                         [](const auto& info) { return "Model" + std::to_string(info.param.model); });

TEST_F(StatusView, ShowsTheRelaysTheSerialLineAndTheIdentityAsTheAnalyserHoldsThem) {
    const int view = open(59);
    analyser.setReg(201, 0x0300); // relay 1: mode 0, not in use
    analyser.setReg(211, 0x0402); // relay 2: mode 2
    analyser.setReg(214, 1);      // relay 2 locked
    analyser.setReg(215, 1);      // relay 2 contact normally closed
    analyser.setReg(800, 300);    // an address only its low byte of which is meaningful
    ASSERT_EQ(SimulateTimerTick(view, ESTADO_TIMER), 1);

    EXPECT_EQ(number(view, ESTADO_MODO_RELE_1), 0);
    for (int field : {ESTADO_ESTADO_RELE_1, ESTADO_BLOQUEO_RELE_1, ESTADO_CONTACTO_RELE_1})
        EXPECT_TRUE(dimmed(view, field)) << "relay 1 field " << field;
    EXPECT_EQ(number(view, ESTADO_MODO_RELE_2), 2);
    EXPECT_EQ(number(view, ESTADO_BLOQUEO_RELE_2), 1);
    EXPECT_EQ(number(view, ESTADO_CONTACTO_RELE_2), 1);
    for (int field : {ESTADO_ESTADO_RELE_2, ESTADO_BLOQUEO_RELE_2, ESTADO_CONTACTO_RELE_2})
        EXPECT_FALSE(dimmed(view, field)) << "relay 2 field " << field;

    EXPECT_EQ(number(view, ESTADO_DIRECCION), 44);
    EXPECT_EQ(text(view, ESTADO_NUM_SERIE), "AB1234");
    EXPECT_EQ(modelo_equipo, 59);

    // The contact switch only shows the setting: a click does not change it.
    SimulateCommit(view, ESTADO_CONTACTO_RELE_2);
    EXPECT_EQ(number(view, ESTADO_CONTACTO_RELE_2), 1);

    ASSERT_EQ(SimulateTimerTick(view, ESTADO_TIMER_SALIDAS), 1);
    double fullScale = 0;
    GetCtrlAttribute(view, ESTADO_VALOR_SALIDA_2, ATTR_MAX_VALUE, fullScale);
    EXPECT_EQ(fullScale, analyser.reg(249) & 0xFF) << "the gauge spans the output's full scale";
    EXPECT_EQ(number(view, ESTADO_MAGNITUD_SALIDA_2), analyser.reg(247));
    EXPECT_FLOAT_EQ(static_cast<float>(number(view, ESTADO_VALOR_SALIDA_2)), analyser.getFloat(262));
}

TEST_F(StatusView, AFailedConfigurationReadLeavesTheRestUnfilledAndNeverStartsTheOutputs) {
    const int view = open(57);
    sim::FaultRule refuse;
    refuse.kind = sim::FaultRule::Kind::Exception;
    refuse.function = 3;
    refuse.start = 800;
    analyser.addFault(refuse);
    ASSERT_EQ(SimulateTimerTick(view, ESTADO_TIMER), 1);

    EXPECT_EQ(number(view, ESTADO_MODO_RELE_1), 1) << "the relays were read before";
    EXPECT_EQ(number(view, ESTADO_DIRECCION), 0);
    EXPECT_EQ(text(view, ESTADO_MODELO), "");
    EXPECT_EQ(text(view, ESTADO_NUM_SERIE), "");
    for (int n = 0; n < 4; ++n)
        EXPECT_TRUE(groupUsable(view, n)) << "output " << n + 1;
    EXPECT_FALSE(timerOn(view, ESTADO_TIMER));
    EXPECT_FALSE(timerOn(view, ESTADO_TIMER_SALIDAS));
    EXPECT_EQ(SimulateTimerTick(view, ESTADO_TIMER_SALIDAS), 0);
    EXPECT_EQ(outputReads(), 0);
    EXPECT_TRUE(RecordedPopups().empty());
}

} // namespace
