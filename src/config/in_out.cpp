#include "config/in_out.h"

#include <cstdint>
#include <string>
#include <vector>

#include "device/register_map.h"
#include "device/setting_modes.h"
#include "lang/label_table.h"
#include "lang/labels.h"
#include "link/link_settings.h"
#include "panels/config_fields.h"
#include "panels/freshness.h"
#include "panels/navigation.h"
#include "panels/view_support.h"
#include "platform/ui.h"
#include "rq55_uir.h"

int panel_in_out = 0;

namespace {

constexpr int kTextRelaysNotSaved = 68;
constexpr int kTextRelayNotSwitched = 69;

struct Relay {
    int state, mode, selector, valueA, valueACaption, valueARange, valueB, lock, contact, level1, level2;
    int modeText, modeIndicator;
    int stateIndex; // its byte of register 200 in the InOutBlock
    int first;      // InOutBlock index of its mode/selector register (201 or 211)
    BlockWrite command;
};

const Relay kRelays[2] = {
    {IN_OUT_ESTADO_1, IN_OUT_MODO_1, IN_OUT_SELECTOR_1, IN_OUT_VALOR_A_1, IN_OUT_VALOR_A_TEXTO_1,
     IN_OUT_VALOR_A_RANGO_1, IN_OUT_VALOR_B_1, IN_OUT_BLOQUEO_1, IN_OUT_CONTACTO_1, IN_OUT_NIVEL_1_1,
     IN_OUT_NIVEL_2_1, IN_OUT_TEXTO_MODO_1, IN_OUT_INDICADOR_1, 0, 2, RQ55_Ulvo_Estado_Rele_1},
    {IN_OUT_ESTADO_2, IN_OUT_MODO_2, IN_OUT_SELECTOR_2, IN_OUT_VALOR_A_2, IN_OUT_VALOR_A_TEXTO_2,
     IN_OUT_VALOR_A_RANGO_2, IN_OUT_VALOR_B_2, IN_OUT_BLOQUEO_2, IN_OUT_CONTACTO_2, IN_OUT_NIVEL_1_2,
     IN_OUT_NIVEL_2_2, IN_OUT_TEXTO_MODO_2, IN_OUT_INDICADOR_2, 1, 10, RQ55_Ulvo_Estado_Rele_2},
};

constexpr int kOutputButtons[4] = {IN_OUT_SALIDA_1, IN_OUT_SALIDA_2, IN_OUT_SALIDA_3, IN_OUT_SALIDA_4};

// What the read gave and the fields cannot hold exactly, so an untouched field saves it unchanged.
struct Kept {
    KeptFloat level1, level2;
    KeptSwitch contact;
};
Kept g_kept[2];
int g_returnTo = 0;

const char* statePicture(int closed) { return closed ? "close3.ico" : "open3.ico"; }

void fillRelay(int panel, const Relay& r, const float* block, Kept& kept) {
    const int modeSelector = static_cast<int>(block[r.first]);
    const int closed = static_cast<int>(block[r.stateIndex]) != 0 ? 1 : 0;
    SetCtrlVal(panel, r.state, closed);
    SetCtrlAttribute(panel, r.state, ATTR_IMAGE_FILE, statePicture(closed));
    ShowInSelector(panel, r.mode, modeSelector & 0xFF);
    SetCtrlVal(panel, r.selector, (modeSelector >> 8) & 0xFF);
    SetCtrlVal(panel, r.valueA, block[r.first + 1] / 100.0);
    SetCtrlVal(panel, r.valueB, block[r.first + 2] / 100.0);
    SetCtrlVal(panel, r.lock, static_cast<int>(block[r.first + 3]));
    ShowSwitch(panel, r.contact, static_cast<int>(block[r.first + 4]), kept.contact);
    ShowFloat(panel, r.level1, block[r.first + 6], kept.level1);
    ShowFloat(panel, r.level2, block[r.first + 7], kept.level2);
}

// Packs one relay's 18 bytes of the save: registers 201-205 then 207-210 (211-215, 217-220).
void packRelay(int panel, const Relay& r, const Kept& kept, unsigned char* out) {
    out[0] = static_cast<unsigned char>(IntField(panel, r.selector));
    out[1] = static_cast<unsigned char>(IntField(panel, r.mode));
    PutBigEndian(out + 2, Hundredths(DoubleField(panel, r.valueA)), 2);
    PutBigEndian(out + 4, Hundredths(DoubleField(panel, r.valueB)), 2);
    PutBigEndian(out + 6, static_cast<uint32_t>(IntField(panel, r.lock)), 2);
    PutBigEndian(out + 8, static_cast<uint32_t>(TakeSwitch(panel, r.contact, kept.contact)), 2);
    PutFloat(out + 10, TakeFloat(panel, r.level1, kept.level1));
    PutFloat(out + 14, TakeFloat(panel, r.level2, kept.level2));
}

void applyMode(int panel, const Relay& r) {
    const int mode = IntField(panel, r.mode);
    const bool pulse = IsPulseOutputMode(mode);
    SetCtrlVal(panel, r.modeText, etiqueta[RelayModeText(mode)]);
    SetCtrlAttribute(panel, r.modeText, ATTR_TEXT_POINT_SIZE, pulse ? 18 : 20);
    SetCtrlVal(panel, r.modeIndicator, pulse ? 2 : 1);
    SetCtrlAttribute(panel, r.modeIndicator, ATTR_ACCESSIBLE_NAME, etiqueta[RelayModeText(mode)]);
    const std::pair<int, RelayField> fields[] = {
        {r.state, RelayField::State}, {r.selector, RelayField::Selector}, {r.valueA, RelayField::ValueA},
        {r.valueB, RelayField::ValueB}, {r.lock, RelayField::Lock},       {r.contact, RelayField::Contact},
        {r.level1, RelayField::Level1}, {r.level2, RelayField::Level2}};
    for (const auto& [control, field] : fields)
        SetCtrlAttribute(panel, control, ATTR_DIMMED, RelayModeUses(mode, field) ? 0 : 1);
}

void applyLock(int panel, const Relay& r) {
    const int visible = RelayShowsValueA(IntField(panel, r.lock)) ? 1 : 0;
    for (int control : {r.valueA, r.valueACaption, r.valueARange})
        SetCtrlAttribute(panel, control, ATTR_VISIBLE, visible);
}

int switchRelay(int panel, const Relay& r) {
    int command = 0;
    GetCtrlVal(panel, r.state, command);
    if (command != 0 && command != 1) return 0;
    SetCtrlAttribute(panel, r.state, ATTR_IMAGE_FILE, statePicture(command));
    const unsigned char data[kRelayCommandWriteBytes] = {0, static_cast<unsigned char>(command)};
    if (WriteWithLinkSettings(r.command, data) == 1) return 0;
    MessagePopup(etiqueta[21], etiqueta[kTextRelayNotSwitched]);
    return -1;
}

} // namespace

int UsableAnalogOutputs(int modelCode) {
    if (modelCode >= 55 && modelCode <= 58) return modelCode - 55;
    return 4;
}

int RQ55_Conf_In_Out(int panel, int /*control*/, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    g_kept[0] = g_kept[1] = Kept{};
    panel_in_out =
        OpenView(panel, g_returnTo, IN_OUT, RQ55_Poner_Etiquetas_In_Out, {IN_OUT_TIMER}, PanelKind::Settings);
    return 0;
}

int RQ55_Timeloop_In_Out(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_TIMER_TICK) return 0;
    HoldRefresh(panel, control); // one read per opening, whatever it gives
    float block[kInOutCount] = {};
    if (ReadWithLinkSettings(RQ55_Ulvo_Leer_In_Out, block) != 1) {
        ShowReadFailed(panel);
        return 0;
    }
    for (int n = 0; n < 2; ++n) fillRelay(panel, kRelays[n], block, g_kept[n]);
    RQ55_Modo_R1(panel, IN_OUT_MODO_1, EVENT_COMMIT, nullptr, 0, 0);
    RQ55_Modo_R2(panel, IN_OUT_MODO_2, EVENT_COMMIT, nullptr, 0, 0);
    RQ55_Lock_R1(panel, IN_OUT_BLOQUEO_1, EVENT_COMMIT, nullptr, 0, 0);
    RQ55_Lock_R2(panel, IN_OUT_BLOQUEO_2, EVENT_COMMIT, nullptr, 0, 0);
    const int usable = UsableAnalogOutputs(modelo_equipo);
    for (int n = 0; n < 4; ++n) SetCtrlAttribute(panel, kOutputButtons[n], ATTR_DIMMED, n < usable ? 0 : 1);
    return 0;
}

int RQ55_Modo_R1(int panel, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) applyMode(panel, kRelays[0]);
    return 0;
}

int RQ55_Modo_R2(int panel, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) applyMode(panel, kRelays[1]);
    return 0;
}

int RQ55_Lock_R1(int panel, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) applyLock(panel, kRelays[0]);
    return 0;
}

int RQ55_Lock_R2(int panel, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) applyLock(panel, kRelays[1]);
    return 0;
}

int RQ55_Estado_R1(int panel, int, int event, void*, int, int) {
    return event == EVENT_COMMIT ? switchRelay(panel, kRelays[0]) : 0;
}

int RQ55_Estado_R2(int panel, int, int event, void*, int, int) {
    return event == EVENT_COMMIT ? switchRelay(panel, kRelays[1]) : 0;
}

namespace {

// The fields of one relay a save sends, named with the relay's heading.
std::vector<SentField> sentFields(int panel, const Relay& r, int heading) {
    std::string relay, valueA;
    GetCtrlVal(panel, heading, relay);
    GetCtrlVal(panel, r.valueACaption, valueA);
    std::vector<SentField> fields = {{r.valueA, relay + ", " + valueA}};
    for (int control : {r.selector, r.valueB, r.lock, r.level1, r.level2}) {
        std::string caption;
        GetCtrlAttribute(panel, control, ATTR_LABEL_TEXT, caption);
        fields.push_back({control, relay + ", " + caption});
    }
    return fields;
}

} // namespace

int RQ55_Guardar_Conf_Reles(int panel, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    std::vector<SentField> fields = sentFields(panel, kRelays[0], IN_OUT_TITULO_1);
    const std::vector<SentField> second = sentFields(panel, kRelays[1], IN_OUT_TITULO_2);
    fields.insert(fields.end(), second.begin(), second.end());
    if (RefuseUnfit(panel, fields) || !ConfirmWriteOfDefaults(panel)) return 0;
    if (ConfirmPopup("SAVE CHANGES", "Are you sure you want to save changes?") != 1) return 0;
    unsigned char bytes[kInOutWriteBytes] = {};
    packRelay(panel, kRelays[0], g_kept[0], bytes);
    packRelay(panel, kRelays[1], g_kept[1], bytes + 18);
    if (WriteWithLinkSettings(RQ55_Ulvo_Escribir_In_Out, bytes) != 1) ReportNotSaved(kTextRelaysNotSaved);
    return 0;
}

int RQ55_Salir_In_Out(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) CloseView(panel_in_out, g_returnTo);
    return 0;
}
