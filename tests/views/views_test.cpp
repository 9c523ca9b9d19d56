// The live views: where each value lands and in which unit, the refresh that stops at the first
// failed read, the energy reset, and the status page by model.
#include <QTemporaryDir>
#include <cmath>
#include <fstream>
#include <regex>

#include "device/named_values.h"
#include "device/register_map.h"

#include "panels/freshness.h"

#include "view_fixture.h"

namespace {

using namespace viewtest;

// A value the analyser sends, the field it lands in and the number shown there; for a ranged
// quantity also its unit field and the unit shown.
struct Shown {
    int index;
    float sent;
    int field;
    double shown;
    int unitField = 0;
    const char* unit = "";
    const char* text = nullptr; // the text shown, where it matters
};

// A view opened from the main panel: its refresh timer and close button; the block the refresh
// reads, a field it fills and the values it shows; the reset that the analyser allows only from
// its own keypad (0: none); and, for the status page, the first read that starts the refresh.
struct ViewCase {
    const char* name;
    const int* view;
    int button, timer, close, readStart, field, reset, firstTimer;
    std::vector<Shown> values = {};
};

void PrintTo(const ViewCase& c, std::ostream* os) { *os << c.name; }

// Each view over RTU frames on TCP (port number 99) and over Modbus/TCP on a TCP port other than
// 502 (port number 100).
class EachView : public LiveView, public ::testing::WithParamInterface<std::tuple<ViewCase, sim::Transport>> {};

TEST_P(EachView, ShowsTheValuesAndStopsAtAFailedReadUntilOpenedAgain) {
    const ViewCase& c = std::get<0>(GetParam());
    int view = open(c.button, *c.view, 59, std::get<1>(GetParam()));
    EXPECT_EQ(text(view, c.field), "\u2014") << "no value before the first read";
    if (c.firstTimer) SimulateTimerTick(view, c.firstTimer);
    for (const Shown& s : c.values) analyser.setBlockFloat(c.readStart, s.index, s.sent);
    ASSERT_EQ(SimulateTimerTick(view, c.timer), 1);
    for (const Shown& s : c.values) {
        EXPECT_NEAR(number(view, s.field), s.shown, 1e-4 * std::max(1.0, std::fabs(s.shown))) << s.index;
        EXPECT_EQ(s.unitField ? text(view, s.unitField) : "", s.unit) << s.index;
        if (s.text) {
            EXPECT_EQ(text(view, s.field), s.text) << s.index;
        }
    }
    if (c.reset) {
        EXPECT_TRUE(dimmed(view, c.reset));
        std::string tip;
        GetCtrlAttribute(view, c.reset, ATTR_TOOLTIP_TEXT, tip);
        EXPECT_EQ(tip, "The analyser resets these values from its own keypad.");
        const int before = analyser.requestCount();
        SimulateCommit(view, c.reset);
        EXPECT_EQ(analyser.requestCount(), before) << "the reset button sends nothing";
    }

    const std::string shown = text(view, c.field);
    refuse(3, c.readStart);
    ASSERT_EQ(SimulateTimerTick(view, c.timer), 1);
    const int reads = requestsFor(c.readStart);
    EXPECT_FALSE(timerOn(view, c.timer));
    EXPECT_EQ(SimulateTimerTick(view, c.timer), 0) << "a stopped refresh must not run";
    EXPECT_EQ(requestsFor(c.readStart), reads);
    EXPECT_EQ(text(view, c.field), shown) << "the last values stay";
    EXPECT_TRUE(dimmed(view, c.field)) << "greyed: no longer live";
    EXPECT_TRUE(
        std::regex_match(PanelNotice(view), std::regex("At [0-9:]{8} the analyser refused the request .*")))
        << PanelNotice(view);
    EXPECT_TRUE(RecordedPopups().empty()) << "a failed read and a reset button say nothing";

    analyser.clearFaults();
    SimulateCommit(view, c.close);
    EXPECT_TRUE(onScreen(mainPanel));
    SimulateCommit(mainPanel, c.button);
    view = *c.view;
    if (c.firstTimer) SimulateTimerTick(view, c.firstTimer);
    EXPECT_EQ(SimulateTimerTick(view, c.timer), 1) << "opening the view again restarts the refresh";
    EXPECT_GT(requestsFor(c.readStart), reads);
    EXPECT_EQ(PanelNotice(view), "");
}

// Network parameters and energies above 1000 change to the larger unit; counts are truncated.
const std::vector<Shown> kNetwork = {
    {0, 1000.0f, TOMADATOS_V1, 1000.0, TOMADATOS_UNIDAD_V1, "V", "1000.0"},
    {1, 1000.1f, TOMADATOS_V2, 1.0001, TOMADATOS_UNIDAD_V2, "kV", "1.0001"},
    {13, -5000.0f, TOMADATOS_P_TOTAL, -5000.0, TOMADATOS_UNIDAD_P_TOTAL, "kW"},
    {12, 1234.5f, TOMADATOS_P3, 1.2345, TOMADATOS_UNIDAD_P3, "MW"},
    {25, 1500.0f, TOMADATOS_FP_TOTAL, 1500.0},
    {29, 1000.5f, TOMADATOS_I_MEDIA, 1.0005, TOMADATOS_UNIDAD_I_MEDIA, "kA"},
};
const std::vector<Shown> kEnergy = {
    {0, 1000.0f, ENERGIA_ACTIVA_IMP, 1000.0, ENERGIA_UNIDAD_ACTIVA_IMP, "kWh"},
    {1, 1000.5f, ENERGIA_ACTIVA_EXP, 1.0005, ENERGIA_UNIDAD_ACTIVA_EXP, "MWh"},
    {8, 48213.7f, ENERGIA_Q4, 48.2137, ENERGIA_UNIDAD_Q4, "MVArh"},
    {9, 7.9f, ENERGIA_HORAS, 7.0},
    {10, -7.9f, ENERGIA_BORRADOS, -7.0},
};
// Maxima (0-26), minima (27-53) and demand show what the analyser sends: no unit change, and no
// reordering when a minimum exceeds its maximum.
const std::vector<Shown> kMaxMin = {
    {0, 250000.0f, MAXMIN_V1_MAX, 250000.0},    {6, 10.0f, MAXMIN_I1_MAX, 10.0},
    {13, 1750.5f, MAXMIN_P_TOTAL_MAX, 1750.5},  {22, 0.987f, MAXMIN_FP_TOTAL_MAX, 0.987},
    {23, 50.12f, MAXMIN_FRECUENCIA_MAX, 50.12}, {26, 180.5f, MAXMIN_I_MEDIA_MAX, 180.5},
    {27, 221.7f, MAXMIN_V1_MIN, 221.7},         {33, 20.0f, MAXMIN_I1_MIN, 20.0},
    {53, 120.25f, MAXMIN_I_MEDIA_MIN, 120.25},  {34, 2.3512045e-38f, MAXMIN_I2_MIN, 0.0, 0, "", "0.00"},
};
const std::vector<Shown> kDemand = {
    {0, 121.5f, DEMANDA_P_ACTUAL, 121.5},    {2, 133.0f, DEMANDA_S_ACTUAL, 133.0},
    {5, 211.75f, DEMANDA_I3_ACTUAL, 211.75}, {6, 2500.0f, DEMANDA_P_MAXIMA, 2500.0},
    {7, 68.0f, DEMANDA_Q_MAXIMA, 68.0},      {11, 268.0f, DEMANDA_I3_MAXIMA, 268.0},
    {1, 9.1837e-41f, DEMANDA_Q_ACTUAL, 0.0, 0, "", "0.00"},
};

INSTANTIATE_TEST_SUITE_P(
    Views, EachView,
    ::testing::Combine(::testing::Values(ViewCase{"Network", &panel_tomadatos, PRINCIPAL_PARAMETROS, TOMADATOS_TIMER,
                               TOMADATOS_CERRAR, 6, TOMADATOS_V1, 0, 0, kNetwork},
                      ViewCase{"Energy", &panel_energia, PRINCIPAL_ENERGIA, ENERGIA_TIMER, ENERGIA_CERRAR, 66,
                               ENERGIA_ACTIVA_IMP, 0, 0, kEnergy},
                      ViewCase{"MaxMin", &panel_maxmin, PRINCIPAL_MAXMIN, MAXMIN_TIMER, MAXMIN_CERRAR, 130,
                               MAXMIN_V1_MAX, MAXMIN_RESET, 0, kMaxMin},
                      ViewCase{"Demand", &panel_demanda, PRINCIPAL_DEMANDA, DEMANDA_TIMER, DEMANDA_CERRAR,
                               238, DEMANDA_P_ACTUAL, DEMANDA_RESET, 0, kDemand},
                      ViewCase{"StatusOutputs", &panel_estado, PRINCIPAL_ESTADO, ESTADO_TIMER_SALIDAS,
                               ESTADO_CERRAR, 230, ESTADO_MAGNITUD_SALIDA_1, 0, ESTADO_TIMER}),
                       ::testing::Values(sim::Transport::RtuOverTcp, sim::Transport::ModbusTcp)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) == sim::Transport::ModbusTcp ? "_port100" : "");
    });

using NetworkView = LiveView;

// Why a read failed, as the view says it: one row per way an exchange can end. The values read
// before stay, nothing of the failed reply is shown, and the reopened view then shows only what its
// own read brought, never a reply that came too late for the last one.
struct CauseCase {
    const char* name;
    sim::FaultRule fault;
    const char* said; // the notice, after its time of day
};

void PrintTo(const CauseCase& c, std::ostream* os) { *os << c.name; }

class ReadFailure : public LiveView, public ::testing::WithParamInterface<CauseCase> {};

TEST_P(ReadFailure, SaysWhatHappenedAndTheReopenedViewShowsOnlyItsOwnRead) {
    const CauseCase& c = GetParam();
    const ExchangeLimits before = CurrentExchangeLimits();
    SetExchangeLimits({.tcpReplySeconds = 0.3});
    int view = open(PRINCIPAL_PARAMETROS, panel_tomadatos);
    analyser.setBlockFloat(6, 0, 111.0f);
    ASSERT_EQ(SimulateTimerTick(view, TOMADATOS_TIMER), 1);
    analyser.setBlockFloat(6, 0, 333.0f);
    analyser.addFault(c.fault);
    ASSERT_EQ(SimulateTimerTick(view, TOMADATOS_TIMER), 1);
    const std::string notice = PanelNotice(view);
    EXPECT_TRUE(std::regex_match(notice, std::regex(std::string(".*[0-9:]{8}") + c.said))) << notice;
    EXPECT_EQ(number(view, TOMADATOS_V1), 111.0) << "nothing of a failed reply is shown";
    EXPECT_TRUE(RecordedPopups().empty());

    SimulateCommit(view, TOMADATOS_CERRAR);
    analyser.clearFaults();
    analyser.setBlockFloat(6, 0, 222.0f);
    SimulateCommit(mainPanel, PRINCIPAL_PARAMETROS);
    view = panel_tomadatos;
    ASSERT_EQ(SimulateTimerTick(view, TOMADATOS_TIMER), 1);
    SetExchangeLimits(before);
    EXPECT_EQ(number(view, TOMADATOS_V1), 222.0);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, ReadFailure,
    ::testing::Values(
        CauseCase{"TooLate", {.kind = sim::FaultRule::Kind::Late, .delayMs = 700}, "\\. The values shown are .*"},
        CauseCase{"BadCrc", {.kind = sim::FaultRule::Kind::BadCrc}, " the analyser's reply failed its CRC check\\. .*"},
        CauseCase{"OtherAddress",
                  {.kind = sim::FaultRule::Kind::OtherAddress, .address = 7},
                  " the reply came from another address or unit\\. .*"},
        CauseCase{"WrongLength",
                  {.kind = sim::FaultRule::Kind::ByteCount, .byteCount = 10},
                  " the reply was of the wrong length\\. .*"},
        CauseCase{"CutShort", {.kind = sim::FaultRule::Kind::CutShort, .keepBytes = 10}, " the reply was cut short\\. .*"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(NetworkView, OpenedFromTheMaxMinViewItReturnsThere) {
    const int maxmin = open(PRINCIPAL_MAXMIN, panel_maxmin);
    SimulateCommit(maxmin, MAXMIN_PARAMETROS);
    const int view = panel_tomadatos;
    EXPECT_TRUE(onScreen(view));
    EXPECT_FALSE(onScreen(maxmin));
    EXPECT_EQ(SimulateTimerTick(view, TOMADATOS_TIMER), 1);
    // The covered max/min view leaves the line to this one.
    const int maxminReads = requestsFor(130);
    SimulateTimerTick(maxmin, MAXMIN_TIMER);
    EXPECT_EQ(requestsFor(130), maxminReads);
    EXPECT_TRUE(timerOn(maxmin, MAXMIN_TIMER));

    SimulateCommit(view, TOMADATOS_CERRAR);
    EXPECT_TRUE(onScreen(maxmin));
    EXPECT_FALSE(onScreen(mainPanel));
    SimulateCommit(maxmin, MAXMIN_CERRAR);
    EXPECT_TRUE(onScreen(mainPanel));
    EXPECT_FALSE(onScreen(maxmin));
}

// How many of analog output n's type, present value and quantity fields are dimmed.
int dimmedFields(int view, int n) {
    constexpr int kFields[4][3] = {
        {ESTADO_TIPO_SALIDA_1, ESTADO_VALOR_SALIDA_1, ESTADO_MAGNITUD_SALIDA_1},
        {ESTADO_TIPO_SALIDA_2, ESTADO_VALOR_SALIDA_2, ESTADO_MAGNITUD_SALIDA_2},
        {ESTADO_TIPO_SALIDA_3, ESTADO_VALOR_SALIDA_3, ESTADO_MAGNITUD_SALIDA_3},
        {ESTADO_TIPO_SALIDA_4, ESTADO_VALOR_SALIDA_4, ESTADO_MAGNITUD_SALIDA_4},
    };
    return static_cast<int>(std::count_if(std::begin(kFields[n]), std::end(kFields[n]),
                                          [view](int f) { return dimmed(view, f); }));
}

// The first read fills the relays, the serial line and the identity once; then the analog outputs
// the model has are read at every tick.
struct StatusCase {
    const char* name;
    int model;
    bool configRefused; // the analyser refuses the equipment-configuration read
    int usable;         // analog outputs 1..usable are usable, the others dimmed
    int readsPerTick;   // analog-output reads at each tick; -1: that refresh never starts
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

class StatusByModel : public LiveView, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(StatusByModel, FillsThePageOnceAndReadsOnlyTheOutputsTheModelHas) {
    const StatusCase& c = GetParam();
    const int view = open(PRINCIPAL_ESTADO, panel_estado, c.model);
    analyser.setReg(201, 0x0300); // relay 1: mode 0, not in use
    analyser.setReg(211, 0x0402); // relay 2: mode 2
    analyser.setReg(214, 1);      // relay 2 locked
    analyser.setReg(215, 1);      // relay 2 contact normally closed
    analyser.setReg(800, 300);    // an address only the low byte of which counts
    if (c.configRefused) refuse(3, 800);
    ASSERT_EQ(SimulateTimerTick(view, ESTADO_TIMER), 1);
    EXPECT_FALSE(timerOn(view, ESTADO_TIMER)) << "the first read happens once";

    EXPECT_EQ(number(view, ESTADO_MODO_RELE_1), 0);
    EXPECT_EQ(number(view, ESTADO_MODO_RELE_2), 2);
    for (int field : {ESTADO_ESTADO_RELE_1, ESTADO_BLOQUEO_RELE_1, ESTADO_CONTACTO_RELE_1})
        EXPECT_TRUE(dimmed(view, field)) << "relay 1 field " << field;
    // A refused read greys the values it had shown: they are no longer live.
    for (int field : {ESTADO_ESTADO_RELE_2, ESTADO_BLOQUEO_RELE_2})
        EXPECT_EQ(dimmed(view, field), c.configRefused) << "relay 2 field " << field;
    EXPECT_FALSE(dimmed(view, ESTADO_CONTACTO_RELE_2));
    EXPECT_EQ(number(view, ESTADO_BLOQUEO_RELE_2), 1);
    // The contact switch only shows the setting: a click does not change it.
    SimulateCommit(view, ESTADO_CONTACTO_RELE_2);
    EXPECT_EQ(number(view, ESTADO_CONTACTO_RELE_2), 1);
    // A refused configuration read leaves the rest of the page without values, and says so.
    EXPECT_EQ(text(view, ESTADO_DIRECCION), c.configRefused ? "\u2014" : "44");
    EXPECT_EQ(text(view, ESTADO_NUM_SERIE), c.configRefused ? "\u2014" : "AB1234");
    EXPECT_EQ(text(view, ESTADO_MODELO), c.configRefused ? "\u2014" : "RQ" + std::to_string(c.model));
    EXPECT_EQ(PanelNotice(view).empty(), !c.configRefused);

    EXPECT_EQ(SimulateTimerTick(view, ESTADO_TIMER_SALIDAS), c.readsPerTick < 0 ? 0 : 1);
    EXPECT_EQ(requestsFor(230, 297), std::max(c.readsPerTick, 0)) << "reads of the analog output blocks";
    EXPECT_EQ(timerOn(view, ESTADO_TIMER_SALIDAS), c.readsPerTick >= 0);
    for (int n = 0; n < 4; ++n)
        EXPECT_EQ(dimmedFields(view, n), c.configRefused ? 2 : n < c.usable ? 0 : 3) << "output " << n + 1;
    if (c.readsPerTick >= 2) {
        double fullScale = 0;
        GetCtrlAttribute(view, ESTADO_VALOR_SALIDA_2, ATTR_MAX_VALUE, fullScale);
        EXPECT_EQ(fullScale, analyser.reg(249) & 0xFF) << "the gauge spans the output's full scale";
        EXPECT_EQ(number(view, ESTADO_MAGNITUD_SALIDA_2), analyser.reg(247));
        EXPECT_FLOAT_EQ(static_cast<float>(number(view, ESTADO_VALOR_SALIDA_2)), analyser.getFloat(262));
    }
    EXPECT_TRUE(RecordedPopups().empty());
}

INSTANTIATE_TEST_SUITE_P(Models, StatusByModel,
                         ::testing::Values(StatusCase{"Model55", 55, false, 0, 0},
                                           StatusCase{"Model57", 57, false, 2, 2},
                                           StatusCase{"Model59", 59, false, 4, 4},
                                           StatusCase{"Model70", 70, false, 4, 0},
                                           StatusCase{"ConfigurationRefused", 57, true, 4, -1}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {

using namespace viewtest;

using testsupport::Lines;
using testsupport::ReadFile;

// The values exactly as read, one row per refresh, under the columns rq55ctl's CSV has; a file
// that cannot be written stops the recording, never the view.
TEST_F(LiveView, RecordingWritesEachRefreshExactlyAndAFailedFileStopsOnlyTheRecording) {
    const int view = open(PRINCIPAL_PARAMETROS, panel_tomadatos);
    analyser.setBlockFloat(6, 0, 1000.1f); // ranged on screen, not in the file
    QTemporaryDir dir;
    chosenFile = dir.path().toStdString() + "/log.csv";
    SimulateCommit(view, TOMADATOS_GRABAR);
    for (int refresh = 0; refresh < 3; ++refresh) ASSERT_EQ(SimulateTimerTick(view, TOMADATOS_TIMER), 1);
    SimulateCommit(view, TOMADATOS_GRABAR);
    SimulateTimerTick(view, TOMADATOS_TIMER);

    std::vector<float> sent(kNetworkParameterCount);
    for (int i = 0; i < kNetworkParameterCount; ++i)
        sent[static_cast<size_t>(i)] = analyser.getFloat(6 + 2 * i);
    std::vector<NamedValue> named;
    AddNamedValues(NetworkValues(), sent.data(), named);
    const std::vector<std::string> lines = Lines(ReadFile(chosenFile));
    ASSERT_EQ(lines.size(), 4u) << "a header and three rows, none after the switch went off";
    EXPECT_EQ(lines[0] + "\n", CsvHeader(named));
    const std::string values = CsvRow("", 1, named).substr(1);
    for (size_t row = 1; row < 4; ++row)
        EXPECT_EQ(lines[row].substr(lines[row].find(',') + 1) + "\n", values) << row;

    chosenFile = dir.path().toStdString(); // a folder: nothing can be written there
    ClearRecordedPopups();
    SimulateCommit(view, TOMADATOS_GRABAR);
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].rfind("Recording|The file cannot be written", 0), 0u) << messages()[0];
    EXPECT_EQ(number(view, TOMADATOS_GRABAR), 0);
    EXPECT_EQ(SimulateTimerTick(view, TOMADATOS_TIMER), 1) << "the view keeps refreshing";
    EXPECT_TRUE(timerOn(view, TOMADATOS_TIMER));
}

// The report from the main panel: a Cancel while the blocks are read writes nothing and leaves the
// file that was there as it was; then the report is written whole, with the title typed.
TEST_F(LiveView, TheReportDialogWritesTheReportAndCancelLeavesTheFileAlone) {
    startAnalyser(57);
    ASSERT_TRUE(flipSwitch());
    testsupport::ClickOn(mainPanel, PRINCIPAL_INFORME);
    const int dialog = FindPanelByTitle("Report");
    ASSERT_GT(dialog, 0);
    testsupport::TypeInto(dialog, INFORME_TITULO, "Plant 4", testsupport::Leave::Tab);
    QTemporaryDir dir;
    chosenFile = dir.path().toStdString() + "/r.pdf";
    std::ofstream(chosenFile) << "as it was";
    PostDeferredCall([dialog] { SimulateCommit(dialog, INFORME_CANCELAR); });
    testsupport::ClickOn(dialog, INFORME_ESCRIBIR);
    EXPECT_EQ(Lines(ReadFile(chosenFile)), std::vector<std::string>{"as it was"});
    EXPECT_LE(analyser.requestCount(), 2) << "stopped after the block under way";

    testsupport::ClickOn(dialog, INFORME_ESCRIBIR);
    EXPECT_EQ(Lines(ReadFile(chosenFile)).at(0).substr(0, 5), "%PDF-");
    EXPECT_EQ(text(dialog, INFORME_ESTADO), "Report written to " + chosenFile);
    testsupport::ClickOn(dialog, INFORME_CERRAR);
    SimulateMenuCommand(mainPanel, MENU_CONF_INFORME);
    EXPECT_GT(FindPanelByTitle("Report"), 0) << "the Configuration menu opens it too";
}

} // namespace
