// What the operator types is what is sent: every editable field of every panel typed into with key
// events, left as a user leaves it (Tab, Enter, a click on the panel's button), and what the
// analyser then received. An entry a field does not take (letters, too many decimals, a number
// outside its range) is kept as typed, and the save refuses it with the field's name and the
// reason, sending nothing; emptied, the field gives back the value it held before, never one made
// from the refused entry.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <map>
#include <functional>

#include "config/analog_output.h"
#include "config/equipment.h"
#include "config/in_out.h"
#include "config/model_version.h"
#include "lang/labels.h"
#include "views/view_fixture.h"

using namespace viewtest;
using testsupport::ClickOn;
using testsupport::Leave;
using testsupport::TypeInto;

namespace {

class Panels;

struct Typed {
    int control;
    const char* keys;
    Leave leave;
};

// A register the analyser holds after the save: a float over two registers where `isFloat`.
struct Held {
    int address;
    double value;
    bool isFloat = false;
};

struct TypingCase {
    const char* name;
    std::function<int(Panels&)> open; // opens the panel as the operator does; returns it
    std::vector<Typed> typed;
    int button;                           // clicked on that panel once the fields are typed; 0: Enter did
    std::vector<std::string> writes = {}; // every write the analyser received, when listed
    std::vector<Held> held = {};          // registers the save must have set
    std::vector<std::string> messages = {};
    const char* readBack = nullptr; // what the first field shows once left, where checked
};

void PrintTo(const TypingCase& c, std::ostream* os) { *os << c.name; }

// The panels as the operator opens them.
class Panels : public LiveView {
  public:
    int switchedOn() {
        startAnalyser();
        EXPECT_TRUE(flipSwitch());
        return mainPanel;
    }
    // A panel opened from the main panel, with the one read its timer makes.
    int opened(int button, const int& panel, int timer) {
        switchedOn();
        for (int r = 800; r <= 810; ++r) analyser.setReg(r, static_cast<uint16_t>(300 + r)); // in range
        analyser.setReg(201, 0x0302); // both relays on their levels: every field can be typed
        analyser.setReg(211, 0x0102);
        analyser.setReg(202, 1234); // relay 1's value A, 12.34, shown by its lock 1
        analyser.setReg(204, 1);
        SimulateCommit(mainPanel, button);
        SimulateTimerTick(panel, timer);
        return panel;
    }
    int energyReset(bool resetRefused = false) {
        opened(PRINCIPAL_ENERGIA, panel_energia, ENERGIA_TIMER);
        if (resetRefused) refuse(16, 1000);
        ClickOn(panel_energia, ENERGIA_RESET);
        return panel_contrasena_ener;
    }
    int passwordChange() {
        switchedOn();
        SimulateMenuCommand(mainPanel, MENU_CONF_CONTRASENA);
        return FindPanelByTitle(etiqueta[211]);
    }
    int mainPanelOnly() {
        startAnalyser();
        RQ55_Poner_Etiquetas_PRINCIPAL(mainPanel, etiqueta);
        return mainPanel;
    }
    int analogOutput() {
        opened(PRINCIPAL_IN_OUT, panel_in_out, IN_OUT_TIMER);
        SimulateCommit(panel_in_out, IN_OUT_SALIDA_1);
        SimulateTimerTick(panel_out_anal, OUT_ANAL_TIMER);
        return panel_out_anal;
    }
};

class Typing : public Panels, public ::testing::WithParamInterface<TypingCase> {};

TEST_P(Typing, WhatIsTypedIsWhatIsSent) {
    const TypingCase& c = GetParam();
    const int panel = c.open(*this);
    ASSERT_GT(panel, 0);
    analyser.clearRequests();
    ClearRecordedPopups();
    for (const Typed& t : c.typed) TypeInto(panel, t.control, t.keys, t.leave);
    if (c.readBack) {
        EXPECT_EQ(text(panel, c.typed[0].control), c.readBack) << "the field keeps what was typed";
    }
    // An entry the field does not take is tinted, and said when the save refuses it (a password left
    // empty is refused untinted).
    const bool refused = !c.messages.empty() && (c.messages[0].rfind("Error|", 0) == 0 || c.messages[0].rfind("ERROR|", 0) == 0) &&
                         c.messages[0].find(": type a number") == std::string::npos;
    EXPECT_EQ(std::any_of(c.typed.begin(), c.typed.end(),
                          [&](const Typed& t) { return attribute(panel, t.control, ATTR_ENTRY_FAULT) != kEntryFits; }),
              refused);
    if (c.button)
        ClickOn(panel, c.button);
    else
        WaitUntil([&] { return !messages().empty(); }, 10.0); // the popup's OK, pressed by Enter
    EXPECT_EQ(messages(), c.messages);
    if (!c.writes.empty() || !c.messages.empty() || c.held.empty()) {
        EXPECT_EQ(writes(), c.writes);
    }
    for (const Held& h : c.held) {
        if (h.isFloat)
            EXPECT_EQ(analyser.getFloat(h.address), static_cast<float>(h.value)) << h.address;
        else
            EXPECT_EQ(analyser.reg(h.address), h.value) << h.address;
    }
}

const auto kEquipment = [](Panels& t) { return t.opened(PRINCIPAL_CONF_EQUIPO, panel_conf_equipo, CONF_EQUIPO_TIMER); };
const auto kInOut = [](Panels& t) { return t.opened(PRINCIPAL_IN_OUT, panel_in_out, IN_OUT_TIMER); };
const auto kVersion = [](Panels& t) { return t.opened(PRINCIPAL_VERSION, panel_version, VERSION_TIMER); };
const auto kAnalog = [](Panels& t) { return t.analogOutput(); };
const auto kPassword = [](Panels& t) { return t.passwordChange(); };
const auto kReset = [](Panels& t) { return t.energyReset(); };
const auto kResetRefused = [](Panels& t) { return t.energyReset(true); };
const auto kMain = [](Panels& t) { return t.mainPanelOnly(); };
const std::string kNothingSent = ": nothing was sent.";

INSTANTIATE_TEST_SUITE_P(
    Fields, Typing,
    ::testing::Values(
        TypingCase{"EquipmentAddress", kEquipment, {{CONF_EQUIPO_DIRECCION, "45", Leave::Tab}}, CONF_EQUIPO_GUARDAR,
                   {}, {{800, 45}}, {}, "45"},
        TypingCase{"EquipmentAddressOutOfRange", kEquipment, {{CONF_EQUIPO_DIRECCION, "300", Leave::Enter}},
                   CONF_EQUIPO_GUARDAR, {}, {}, {"Error|Address takes 0 to 255" + kNothingSent}, "300"},
        TypingCase{"EquipmentPeriodWithDecimals", kEquipment, {{CONF_EQUIPO_PERIODO, "4.5", Leave::Tab}},
                   CONF_EQUIPO_GUARDAR, {}, {}, {"Error|Demand period (min) takes whole numbers only" + kNothingSent}},
        TypingCase{"EquipmentWideRatio", kEquipment, {{CONF_EQUIPO_PRIMARIO_V, "70000", Leave::Stay}},
                   CONF_EQUIPO_GUARDAR_2, {}, {{804, 1}, {805, 4464}}},
        TypingCase{"RelayValueB", kInOut, {{IN_OUT_VALOR_B_1, "6.5", Leave::Enter}}, IN_OUT_GUARDAR, {},
                   {{203, 650}}, {}, "6.5"},
        TypingCase{"RelayValueBOutOfRange", kInOut, {{IN_OUT_VALOR_B_1, "700", Leave::Tab}}, IN_OUT_GUARDAR, {}, {},
                   {"Error|Relay 1, Value B takes 0.00 to 655.35" + kNothingSent}, "700"},
        TypingCase{"RelayValueBThreeDecimals", kInOut, {{IN_OUT_VALOR_B_1, "12.345", Leave::Enter}}, IN_OUT_GUARDAR,
                   {}, {}, {"Error|Relay 1, Value B takes at most 2 decimals" + kNothingSent}, "12.345"},
        TypingCase{"RelaySelectorOutOfRange", kInOut, {{IN_OUT_SELECTOR_2, "256", Leave::Stay}}, IN_OUT_GUARDAR,
                   {}, {}, {"Error|Relay 2, Measured quantity takes 0 to 255" + kNothingSent}},
        TypingCase{"AnalogPoint", kAnalog, {{OUT_ANAL_X1, "12.5", Leave::Tab}}, OUT_ANAL_GUARDAR, {},
                   {{233, 12.5, true}}},
        TypingCase{"ModelText", kVersion, {{VERSION_TEXTO_1, "RQ55 V4", Leave::Tab}}, VERSION_CAMBIAR, {},
                   {{811, 'Q' << 8 | 'R'}}},
        TypingCase{"ModelTextTooLong", kVersion, {{VERSION_TEXTO_1, "ABCDEFGHIJK", Leave::Stay}}, VERSION_CAMBIAR,
                   {}, {}, {"Error|Modelo / Model (10) takes at most 10 characters, without accents" + kNothingSent}},
        TypingCase{"PasswordChange", kPassword,
                   {{CONTRASENA_ACTUAL, "1234", Leave::Tab}, {CONTRASENA_NUEVA, "4321", Leave::Enter}}, 0,
                   {"819=1234", "819=9999", "819=4321"}, {}, {"|Password change"}},
        TypingCase{"PasswordChangeWrongPassword", kPassword,
                   {{CONTRASENA_ACTUAL, "1111", Leave::Tab}, {CONTRASENA_NUEVA, "4321", Leave::Tab}},
                   CONTRASENA_GUARDAR, {"819=1111"}, {}, {"Password|Wrong password, or the analyser did not answer."}},
        TypingCase{"PasswordOverTheAnalysersLimit", kPassword,
                   {{CONTRASENA_ACTUAL, "12345", Leave::Tab}, {CONTRASENA_NUEVA, "1", Leave::Tab}},
                   CONTRASENA_GUARDAR, {}, {}, {"ERROR|MAx value for Password is 9998"}, "12345"},
        TypingCase{"NewPasswordOverTheAnalysersLimit", kPassword,
                   {{CONTRASENA_ACTUAL, "1234", Leave::Tab}, {CONTRASENA_NUEVA, "99999", Leave::Stay}},
                   CONTRASENA_GUARDAR, {}, {}, {"ERROR|MAx value for New Password is 9998"}},
        // A password nobody typed is never sent, and the operator is told what to type.
        TypingCase{"NewPasswordNeverTyped", kPassword, {{CONTRASENA_ACTUAL, "1234", Leave::Tab}}, CONTRASENA_GUARDAR,
                   {}, {}, {"Error|New password: type a number from 0 to 9998; nothing was sent."}},
        TypingCase{"NoPasswordTyped", kPassword, {}, CONTRASENA_GUARDAR, {}, {},
                   {"Error|Current password: type a number from 0 to 9998; nothing was sent."}},
        TypingCase{"TypedZeroIsSent", kPassword,
                   {{CONTRASENA_ACTUAL, "0", Leave::Tab}, {CONTRASENA_NUEVA, "0", Leave::Tab}}, CONTRASENA_GUARDAR,
                   {"819=0"}, {}, {"Password|Wrong password, or the analyser did not answer."}},
        TypingCase{"EnergyResetNoPassword", kReset, {}, CONTRASENA_ENER_ACEPTAR, {}, {},
                   {"Error|Password: type a number from 0 to 9998; nothing was sent."}},
        TypingCase{"EnergyReset", kReset, {{CONTRASENA_ENER_CLAVE, "1234", Leave::Enter}}, 0, {"819=1234", "1000=0"},
                   {}, {"|Energy reset"}},
        TypingCase{"EnergyResetWrongPassword", kReset, {{CONTRASENA_ENER_CLAVE, "4321", Leave::Stay}},
                   CONTRASENA_ENER_ACEPTAR, {"819=4321"}, {},
                   {"Password|Wrong password, or the analyser did not answer."}},
        TypingCase{"EnergyResetRefusedAfterThePassword", kResetRefused, {{CONTRASENA_ENER_CLAVE, "1234", Leave::Tab}},
                   CONTRASENA_ENER_ACEPTAR, {"819=1234", "1000=0"}, {}, {"|Borrado Fallido"}},
        TypingCase{"EnergyResetPasswordOutOfRange", kReset, {{CONTRASENA_ENER_CLAVE, "99999", Leave::Tab}},
                   CONTRASENA_ENER_ACEPTAR, {}, {}, {"Error|Password takes 0 to 9998" + kNothingSent}, "99999"},
        TypingCase{"MainPanelAddressOutOfRange", kMain, {{PRINCIPAL_IDENTIDAD, "300", Leave::Tab}},
                   PRINCIPAL_COMUNICACION, {}, {}, {"Error|Address takes 1 to 247" + kNothingSent}, "300"},
        TypingCase{"RelayLevelLetters", kInOut, {{IN_OUT_NIVEL_1_2, "12a", Leave::Tab}}, IN_OUT_GUARDAR, {}, {},
                   {"Error|Relay 2, Level 1 is not a number" + kNothingSent}, "12a"},
        TypingCase{"EquipmentAddressWithDecimals", kEquipment, {{CONF_EQUIPO_DIRECCION, "7.9", Leave::Tab}},
                   CONF_EQUIPO_GUARDAR, {}, {}, {"Error|Address takes whole numbers only" + kNothingSent}, "7.9"}),
    [](const auto& info) { return std::string(info.param.name); });

// Every editable number field of every panel: an entry the field refuses, then the field emptied
// and left, then the panel's save. The field shows again what it held, and the analyser receives
// nothing made from the refused entry: every register written holds what it held before (of
// 800, 802 and 803 the panel shows and writes the low byte). A password field holds only what is
// typed: emptied, it holds nothing, and its save sends nothing.
struct RefusedThenEmptied {
    const char* name;
    std::function<int(Panels&)> open;
    int field;
    const char* refused;
    int button;
};

void PrintTo(const RefusedThenEmptied& c, std::ostream* os) { *os << c.name; }

class Emptied : public Panels, public ::testing::WithParamInterface<RefusedThenEmptied> {};

TEST_P(Emptied, NeverSendsAValueMadeFromARefusedEntry) {
    const RefusedThenEmptied& c = GetParam();
    const int panel = c.open(*this);
    ASSERT_GT(panel, 0);
    const std::string shown = text(panel, c.field);
    TypeInto(panel, c.field, c.refused, Leave::Tab);
    EXPECT_NE(attribute(panel, c.field, ATTR_ENTRY_FAULT), kEntryFits) << c.refused;
    TypeInto(panel, c.field, "", Leave::Tab);
    EXPECT_EQ(text(panel, c.field), shown);
    EXPECT_EQ(attribute(panel, c.field, ATTR_ENTRY_FAULT), shown.empty() ? kEntryEmpty : kEntryFits);
    std::map<int, uint16_t> before;
    for (int r = 0; r < 1100; ++r) before[r] = analyser.reg(r);
    analyser.clearRequests();
    ClickOn(panel, c.button);
    for (const sim::ReceivedRequest& r : analyser.requests())
        for (size_t i = 0; r.function == 16 && i < r.values.size(); ++i) {
            const int at = r.start + static_cast<int>(i);
            const uint16_t held = at == 800 || at == 802 || at == 803 ? before[at] & 0xFF : before[at];
            EXPECT_TRUE(r.values[i] == held && at != 819) << at << "=" << r.values[i];
        }
}

INSTANTIATE_TEST_SUITE_P(
    EveryField, Emptied,
    ::testing::Values(RefusedThenEmptied{"EquipmentAddress", kEquipment, CONF_EQUIPO_DIRECCION, "7.9", CONF_EQUIPO_GUARDAR},
                      RefusedThenEmptied{"EquipmentBaud", kEquipment, CONF_EQUIPO_VELOCIDAD, "300", CONF_EQUIPO_GUARDAR},
                      RefusedThenEmptied{"EquipmentMode", kEquipment, CONF_EQUIPO_MODO, "x", CONF_EQUIPO_GUARDAR},
                      RefusedThenEmptied{"EquipmentDelay", kEquipment, CONF_EQUIPO_RETARDO, "2.5", CONF_EQUIPO_GUARDAR},
                      RefusedThenEmptied{"EquipmentProtocol", kEquipment, CONF_EQUIPO_PROTOCOLO, "-1", CONF_EQUIPO_GUARDAR},
                      RefusedThenEmptied{"EquipmentPeriod", kEquipment, CONF_EQUIPO_PERIODO, "4.5", CONF_EQUIPO_GUARDAR},
                      RefusedThenEmptied{"EquipmentVtPrimary", kEquipment, CONF_EQUIPO_PRIMARIO_V, "1.5", CONF_EQUIPO_GUARDAR_2},
                      RefusedThenEmptied{"EquipmentVtSecondary", kEquipment, CONF_EQUIPO_SECUNDARIO_V, "70000", CONF_EQUIPO_GUARDAR_2},
                      RefusedThenEmptied{"EquipmentCtPrimary", kEquipment, CONF_EQUIPO_PRIMARIO_I, "5,5", CONF_EQUIPO_GUARDAR_2},
                      RefusedThenEmptied{"EquipmentCtSecondary", kEquipment, CONF_EQUIPO_SECUNDARIO_I, "five", CONF_EQUIPO_GUARDAR_2},
                      RefusedThenEmptied{"RelaySelector", kInOut, IN_OUT_SELECTOR_1, "256", IN_OUT_GUARDAR},
                      RefusedThenEmptied{"RelayValueA", kInOut, IN_OUT_VALOR_A_1, "5.5555", IN_OUT_GUARDAR},
                      RefusedThenEmptied{"RelayValueB", kInOut, IN_OUT_VALOR_B_2, "700", IN_OUT_GUARDAR},
                      RefusedThenEmptied{"RelayLock", kInOut, IN_OUT_BLOQUEO_1, "1.5", IN_OUT_GUARDAR},
                      RefusedThenEmptied{"RelayLevel1", kInOut, IN_OUT_NIVEL_1_1, "5.5555", IN_OUT_GUARDAR},
                      RefusedThenEmptied{"RelayLevel2", kInOut, IN_OUT_NIVEL_2_2, "1e3", IN_OUT_GUARDAR},
                      RefusedThenEmptied{"AnalogSelector", kAnalog, OUT_ANAL_SELECTOR, "0.5", OUT_ANAL_GUARDAR},
                      RefusedThenEmptied{"AnalogPointX", kAnalog, OUT_ANAL_X2, "1.23456", OUT_ANAL_GUARDAR},
                      RefusedThenEmptied{"AnalogPointY", kAnalog, OUT_ANAL_Y3, "--4", OUT_ANAL_GUARDAR},
                      RefusedThenEmptied{"PasswordCurrent", kPassword, CONTRASENA_ACTUAL, "12.5", CONTRASENA_GUARDAR},
                      RefusedThenEmptied{"PasswordNew", kPassword, CONTRASENA_NUEVA, "99999", CONTRASENA_GUARDAR},
                      RefusedThenEmptied{"ResetPassword", kReset, CONTRASENA_ENER_CLAVE, "12.34", CONTRASENA_ENER_ACEPTAR},
                      RefusedThenEmptied{"MainPort", kMain, PRINCIPAL_PUERTO, "99.5", PRINCIPAL_COMUNICACION},
                      RefusedThenEmptied{"MainAddress", kMain, PRINCIPAL_IDENTIDAD, "1.5", PRINCIPAL_COMUNICACION},
                      RefusedThenEmptied{"MainTcpPort", kMain, PRINCIPAL_TCP_PUERTO, "70000", PRINCIPAL_COMUNICACION}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
