#include "config/model_version.h"

#include <cstring>

#include "device/identity.h"
#include "device/register_map.h"
#include "lang/label_table.h"
#include "link/link_settings.h"
#include "panels/config_fields.h"
#include "panels/freshness.h"
#include "panels/navigation.h"
#include "panels/view_support.h"
#include "platform/ui.h"
#include "rq55_uir.h"

int panel_version = 0;

namespace {

constexpr int kFirstTextBytes = kModelTextBytes;
constexpr int kSecondTextBytes = kVersionTextBytes;
constexpr int kTextNotSaved = 390;

int g_returnTo = 0;
// What the one read gave, so a field the operator leaves alone is written back byte for byte.
bool g_read = false;
unsigned char g_readBytes[kModelVersionBytes] = {};
std::string g_readTexts[2];

} // namespace

int RQ55_cambiar_Version(int panel, int /*control*/, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    g_read = false;
    panel_version = OpenView(panel, g_returnTo, VERSION, nullptr, {VERSION_TIMER}, PanelKind::Settings);
    return 0;
}

int RQ55_Timeloop_Version(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_TIMER_TICK) return 0;
    HoldRefresh(panel, control); // one read per opening, whatever it gives
    unsigned char bytes[kModelVersionBytes] = {};
    if (RQ55_Ulvo_Leer_Modelo_Version(Puerto, static_cast<unsigned char>(Identidad), bytes, Telefono,
                                      static_cast<unsigned short>(TCP_Puerto), IP) != 1) {
        ShowReadFailed(panel);
        return 0;
    }
    std::memcpy(g_readBytes, bytes, sizeof bytes);
    g_readTexts[0] = TextFromSwappedPairs(bytes, kFirstTextBytes);
    g_readTexts[1] = TextFromSwappedPairs(bytes + kFirstTextBytes, kSecondTextBytes);
    g_read = true;
    // Kept as the fields show them, so an unedited field is recognised whatever bytes it holds.
    SetCtrlVal(panel, VERSION_TEXTO_1, g_readTexts[0]);
    SetCtrlVal(panel, VERSION_TEXTO_2, g_readTexts[1]);
    GetCtrlVal(panel, VERSION_TEXTO_1, g_readTexts[0]);
    GetCtrlVal(panel, VERSION_TEXTO_2, g_readTexts[1]);
    return 0;
}

int RQ55_cambiar_Vers(int panel, int /*control*/, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    if (RefuseUnfit(panel, {{VERSION_TEXTO_1}, {VERSION_TEXTO_2}}) || !ConfirmWriteOfDefaults(panel)) return 0;
    const struct {
        int field, offset, count;
    } texts[] = {{VERSION_TEXTO_1, 0, kFirstTextBytes}, {VERSION_TEXTO_2, kFirstTextBytes, kSecondTextBytes}};
    unsigned char bytes[kModelVersionWriteBytes] = {};
    for (int t = 0; t < 2; ++t) {
        std::string text;
        GetCtrlVal(panel, texts[t].field, text);
        if (g_read && text == g_readTexts[t])
            std::memcpy(bytes + texts[t].offset, g_readBytes + texts[t].offset,
                        static_cast<size_t>(texts[t].count));
        else
            TextToSwappedPairs(text, bytes + texts[t].offset, texts[t].count);
    }
    // A silent analyser must not look like a saved one.
    if (WriteWithLinkSettings(RQ55_Ulvo_Escribir_Modelo_Version, bytes) != 1) ReportNotSaved(kTextNotSaved);
    return 0;
}

int RQ55_Terminar_Cambiar_Ver(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) CloseView(panel_version, g_returnTo);
    return 0;
}
