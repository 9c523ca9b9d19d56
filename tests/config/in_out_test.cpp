// The inputs/outputs and analog-output panels against the simulated analyser.
#include <gtest/gtest.h>

#include <bit>

#include "config/analog_output.h"
#include "config/in_out.h"
#include "panels/config_fields.h"
#include "panels/view_support.h"
#include "views/view_fixture.h"

using namespace viewtest;

namespace {

// A float as the two registers that carry it, "high=low".
std::string words(float value) {
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    return std::to_string(bits >> 16) + "=" + std::to_string(bits & 0xFFFF);
}

class InOut : public LiveView {
  protected:
    void SetUp() override {
        LiveView::SetUp();
        startAnalyser();
        ASSERT_TRUE(flipSwitch());
    }
    int openInOut() {
        analyser.clearRequests();
        SimulateCommit(mainPanel, PRINCIPAL_IN_OUT);
        EXPECT_FALSE(onScreen(mainPanel));
        SimulateTimerTick(panel_in_out, IN_OUT_TIMER);
        EXPECT_FALSE(timerOn(panel_in_out, IN_OUT_TIMER)) << "one read per opening";
        return panel_in_out;
    }
    std::vector<std::string> press(int panel, int button) {
        analyser.clearRequests();
        ClearRecordedPopups();
        SimulateCommit(panel, button);
        return writes();
    }
    void setRelays() {
        const uint16_t r1[] = {0x0100, 0x0302, 29, 57, 1, 2, 0};
        const uint16_t r2[] = {0x0107, 1234, 0, 0, 1, 0};
        for (int i = 0; i < 7; ++i) analyser.setReg(200 + i, r1[i]);
        for (int i = 0; i < 6; ++i) analyser.setReg(211 + i, r2[i]);
        analyser.setFloat(207, 1.0e-4f); // finer than the field shows
        analyser.setFloat(209, 50.0f);
        analyser.setFloat(217, -250.125f);
        analyser.setFloat(219, 80.0f);
    }
};

// Both groups as the registers hold them, and a save of what was read writes every register
// back unchanged (0.29 and 0.57 included, a lock-hidden value, mode 7, a switch register of 2
// and a level finer than its field); the state commands are never part of the save.
TEST_F(InOut, ShowsBothRelaysAndSavesThemUnchanged) {
    setRelays();
    const int panel = openInOut();
    const struct {
        int field;
        double shown;
    } fields[] = {
        {IN_OUT_ESTADO_1, 1},     {IN_OUT_MODO_1, 2},           {IN_OUT_SELECTOR_1, 3},
        {IN_OUT_VALOR_A_1, 0.29}, {IN_OUT_VALOR_B_1, 0.57},     {IN_OUT_BLOQUEO_1, 1},
        {IN_OUT_CONTACTO_1, 1},   {IN_OUT_NIVEL_2_1, 50},       {IN_OUT_ESTADO_2, 0},
        {IN_OUT_MODO_2, 7},       {IN_OUT_SELECTOR_2, 1},       {IN_OUT_VALOR_A_2, 12.34},
        {IN_OUT_CONTACTO_2, 1},   {IN_OUT_NIVEL_1_2, -250.125},
    };
    for (const auto& f : fields) EXPECT_DOUBLE_EQ(number(panel, f.field), f.shown) << f.field;
    EXPECT_EQ(text(panel, IN_OUT_TEXTO_MODO_2), etiqueta[110]) << "mode 7";
    EXPECT_FALSE(attribute(panel, IN_OUT_VALOR_A_2, ATTR_VISIBLE)) << "lock 0 hides value A";
    std::string picture;
    GetCtrlAttribute(panel, IN_OUT_ESTADO_1, ATTR_IMAGE_FILE, picture);
    EXPECT_EQ(picture, "close3.ico");
    // A screen reader tells the relays apart, and hears what each number field takes.
    std::string name, description, mode;
    GetCtrlAttribute(panel, IN_OUT_VALOR_A_2, ATTR_ACCESSIBLE_NAME, name);
    GetCtrlAttribute(panel, IN_OUT_VALOR_A_2, ATTR_DESCRIPTION, description);
    GetCtrlAttribute(panel, IN_OUT_MODO_1, ATTR_ACCESSIBLE_NAME, mode);
    EXPECT_EQ(name + " | " + description + " | " + mode, "Relay 2: Value A | 0.00 \u2026 655.35, 0.01 | Relay 1: Mode");

    const std::vector<std::string> unchanged = {
        "201=770=29=57=1=2", "207=" + words(1.0e-4f) + "=" + words(50.0f), "211=263=1234=0=0=1",
        "217=" + words(-250.125f) + "=" + words(80.0f)};
    EXPECT_EQ(press(panel, IN_OUT_GUARDAR), unchanged);
    EXPECT_EQ(messages(), std::vector<std::string>{}) << "the question only";

    SetCtrlVal(panel, IN_OUT_VALOR_A_1, 12.34);
    SetCtrlVal(panel, IN_OUT_CONTACTO_2, 0);
    SetCtrlVal(panel, IN_OUT_NIVEL_1_1, 2.5);
    EXPECT_EQ(press(panel, IN_OUT_GUARDAR),
              (std::vector<std::string>{"201=770=1234=57=1=2", "207=" + words(2.5f) + "=" + words(50.0f),
                                        "211=263=1234=0=0=0", unchanged[3]}));

    confirmAnswer = 0;
    EXPECT_TRUE(press(panel, IN_OUT_GUARDAR).empty()) << "declined";
    confirmAnswer = 1;
    refuse(16, 207);
    EXPECT_EQ(press(panel, IN_OUT_GUARDAR).size(), 2u) << "stops at the failed request";
    EXPECT_EQ(messages(), std::vector<std::string>{"Error|Written only in part: registers 201-205 were written, "
                                                   "registers 207-210, 211-215, 217-220 were not."});
    refuse(16, 201);
    EXPECT_EQ(press(panel, IN_OUT_GUARDAR).size(), 1u);
    EXPECT_EQ(messages(), std::vector<std::string>{etiqueta[21] + "|" + etiqueta[68]}) << "nothing written";
    // A gateway that lets no write through (or an analyser that takes none) answers exception 01.
    analyser.clearFaults();
    refuse(16, 201, 1);
    EXPECT_EQ(press(panel, IN_OUT_GUARDAR).size(), 1u);
    EXPECT_EQ(messages(), std::vector<std::string>{
                              "Error|The relay settings were not saved. The analyser, or a gateway in front of it, refuses "
                              "writes (exception 01): a gateway run by rq55ctl serve passes them only when started with "
                              "--gateway-writes allow."});

    SimulateCommit(panel, IN_OUT_CERRAR);
    EXPECT_TRUE(onScreen(mainPanel));
}

TEST_F(InOut, ModeDimsLockHidesAndTheModelDecidesTheOutputs) {
    const int panel = openInOut();
    const int r1[8] = {IN_OUT_ESTADO_1,  IN_OUT_SELECTOR_1, IN_OUT_VALOR_A_1, IN_OUT_VALOR_B_1,
                       IN_OUT_BLOQUEO_1, IN_OUT_CONTACTO_1, IN_OUT_NIVEL_1_1, IN_OUT_NIVEL_2_1};
    const int r2[8] = {IN_OUT_ESTADO_2,  IN_OUT_SELECTOR_2, IN_OUT_VALOR_A_2, IN_OUT_VALOR_B_2,
                       IN_OUT_BLOQUEO_2, IN_OUT_CONTACTO_2, IN_OUT_NIVEL_1_2, IN_OUT_NIVEL_2_2};
    const struct {
        int mode;
        const char* usable; // state, selector, A, B, lock, switch, level 1, level 2
        int text, size, indicator;
    } modes[] = {{0, "00000000", 302, 20, 1},
                 {1, "10000000", 302, 20, 1},
                 {2, "01111111", 302, 20, 1},
                 {7, "00010010", 110, 18, 2}};
    for (const auto& m : modes) {
        for (int relay = 0; relay < 2; ++relay) {
            const int* controls = relay == 0 ? r1 : r2;
            const int mode = relay == 0 ? IN_OUT_MODO_1 : IN_OUT_MODO_2;
            const int modeText = relay == 0 ? IN_OUT_TEXTO_MODO_1 : IN_OUT_TEXTO_MODO_2;
            ShowInSelector(panel, mode, m.mode);
            SimulateCommit(panel, mode);
            for (int i = 0; i < 8; ++i)
                EXPECT_EQ(dimmed(panel, controls[i]), m.usable[i] == '0')
                    << "mode " << m.mode << " field " << i;
            EXPECT_EQ(text(panel, modeText), etiqueta[m.text]);
            EXPECT_EQ(attribute(panel, modeText, ATTR_TEXT_POINT_SIZE), m.size);
            EXPECT_EQ(number(panel, relay == 0 ? IN_OUT_INDICADOR_1 : IN_OUT_INDICADOR_2), m.indicator);
        }
    }
    for (int lock : {1, 0, 2}) {
        SetCtrlVal(panel, IN_OUT_BLOQUEO_1, lock);
        SimulateCommit(panel, IN_OUT_BLOQUEO_1);
        for (int control : {IN_OUT_VALOR_A_1, IN_OUT_VALOR_A_TEXTO_1, IN_OUT_VALOR_A_RANGO_1})
            EXPECT_EQ(attribute(panel, control, ATTR_VISIBLE), lock == 1) << lock;
    }

    const struct { int model, usable; } models[] = {{55, 0}, {56, 1}, {57, 2}, {58, 3}, {59, 4}, {70, 4}};
    const int buttons[4] = {IN_OUT_SALIDA_1, IN_OUT_SALIDA_2, IN_OUT_SALIDA_3, IN_OUT_SALIDA_4};
    for (const auto& m : models) {
        modelo_equipo = m.model;
        ResumeRefresh(panel, IN_OUT_TIMER);
        SimulateTimerTick(panel, IN_OUT_TIMER);
        for (int n = 0; n < 4; ++n)
            EXPECT_EQ(dimmed(panel, buttons[n]), n >= m.usable) << m.model << " " << n;
    }
}

// One write of the command to 206 (216), the picture following the button; a refused command
// returns -1, keeps the picture and says so once.
TEST_F(InOut, StateButtonsSwitchTheRelayAtOnce) {
    analyser.setReg(200, 0); // both open
    const int panel = openInOut();
    const struct {
        int button, callbackResult;
        bool refused;
        const char* write;
        const char* picture;
    } cases[] = {{IN_OUT_ESTADO_2, 0, false, "216=1", "close3.ico"},
                 {IN_OUT_ESTADO_1, 0, false, "206=1", "close3.ico"},
                 {IN_OUT_ESTADO_1, -1, true, "206=0", "open3.ico"}};
    for (const auto& c : cases) {
        if (c.refused) refuse(16, 206);
        analyser.clearRequests();
        ClearRecordedPopups();
        int value = 0;
        GetCtrlVal(panel, c.button, value);
        SetCtrlVal(panel, c.button, 1 - value);
        const int result = c.button == IN_OUT_ESTADO_1
                               ? RQ55_Estado_R1(panel, c.button, EVENT_COMMIT, nullptr, 0, 0)
                               : RQ55_Estado_R2(panel, c.button, EVENT_COMMIT, nullptr, 0, 0);
        EXPECT_EQ(result, c.callbackResult);
        EXPECT_EQ(writes(), std::vector<std::string>{c.write});
        std::string picture;
        GetCtrlAttribute(panel, c.button, ATTR_IMAGE_FILE, picture);
        EXPECT_EQ(picture, c.picture);
        EXPECT_EQ(messages().size(), c.refused ? 1u : 0u);
    }
    EXPECT_EQ(analyser.reg(200) >> 8, 1) << "relay 1 closed by the first command";
}

// Each output reads and writes its own block through the one shared panel; the type picks the
// full-scale selector the save writes; the graph follows the points mode as it is edited.
TEST_F(InOut, AnalogOutputsShareOnePanelBoundByNumber) {
    const int buttons[4] = {IN_OUT_SALIDA_1, IN_OUT_SALIDA_2, IN_OUT_SALIDA_3, IN_OUT_SALIDA_4};
    const int inOut = openInOut();
    for (int n = 1; n <= 4; ++n) {
        SCOPED_TRACE(n);
        const int base = 230 + 17 * (n - 1);
        analyser.setReg(base, 13);
        analyser.setReg(base + 1, 0);
        analyser.setReg(base + 2, 0x0114);
        const float xy[6] = {0, 4, 50, 12, 100, 20};
        for (int i = 0; i < 6; ++i) analyser.setFloat(base + 3 + 2 * i, xy[i]);
        analyser.clearRequests();
        SimulateCommit(inOut, buttons[n - 1]);
        const int panel = panel_out_anal;
        EXPECT_FALSE(onScreen(inOut));
        SimulateTimerTick(panel, OUT_ANAL_TIMER);
        EXPECT_EQ(requestsFor(base), 1);
        EXPECT_FALSE(attribute(panel, OUT_ANAL_ESCALA_0, ATTR_VISIBLE));
        EXPECT_EQ(number(panel, OUT_ANAL_ESCALA), 20);
        double max = 0;
        GetCtrlAttribute(panel, OUT_ANAL_VALOR, ATTR_MAX_VALUE, max);
        EXPECT_EQ(max, 20);
        EXPECT_TRUE(dimmed(panel, OUT_ANAL_X2));

        using Plot = std::vector<std::pair<double, double>>;
        SimulateTimerTick(panel, OUT_ANAL_TIMER_GRAFICO);
        EXPECT_EQ(GraphPlots(panel, OUT_ANAL_GRAFICO), (std::vector<Plot>{Plot{{0, 4}, {100, 20}}}));
        SetCtrlVal(panel, OUT_ANAL_PUNTOS, 1);
        SimulateCommit(panel, OUT_ANAL_PUNTOS);
        EXPECT_FALSE(dimmed(panel, OUT_ANAL_X2));
        SimulateTimerTick(panel, OUT_ANAL_TIMER_GRAFICO);
        EXPECT_EQ(GraphPlots(panel, OUT_ANAL_GRAFICO),
                  (std::vector<Plot>{Plot{{0, 4}, {50, 12}, {100, 20}}}));

        const std::string points = words(0) + "=" + words(4) + "=" + words(50) + "=" + words(12) + "=" +
                                   words(100) + "=" + words(20);
        EXPECT_EQ(press(panel, OUT_ANAL_GUARDAR),
                  std::vector<std::string>{std::to_string(base) + "=13=1=276=" + points});
        SetCtrlVal(panel, OUT_ANAL_TIPO, 0);
        SimulateCommit(panel, OUT_ANAL_TIPO);
        SetCtrlVal(panel, OUT_ANAL_ESCALA_0, 5);
        EXPECT_EQ(press(panel, OUT_ANAL_GUARDAR),
                  std::vector<std::string>{std::to_string(base) + "=13=1=5=" + points});
        confirmAnswer = 0;
        EXPECT_TRUE(press(panel, OUT_ANAL_GUARDAR).empty()) << "declined";
        confirmAnswer = 1;

        SimulateCommit(panel, OUT_ANAL_CERRAR);
        EXPECT_TRUE(onScreen(inOut));
    }
    refuse(16, 230);
    SimulateCommit(inOut, IN_OUT_SALIDA_1);
    EXPECT_EQ(press(panel_out_anal, OUT_ANAL_GUARDAR).size(), 1u);
    EXPECT_EQ(messages(), std::vector<std::string>{etiqueta[21] + "|" + etiqueta[70]});
    SimulateCommit(panel_out_anal, OUT_ANAL_CERRAR);
    SimulateCommit(inOut, IN_OUT_CERRAR);
    EXPECT_TRUE(onScreen(mainPanel));
}

} // namespace
