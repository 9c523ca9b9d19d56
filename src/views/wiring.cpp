#include "views/wiring.h"

#include <cmath>

#include "device/register_map.h"
#include "device/wiring_check.h"
#include "lang/label_table.h"
#include "link/link_settings.h"
#include "panels/freshness.h"
#include "panels/navigation.h"
#include "panels/view_support.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "rq55_uir.h"

int panel_cableado = 0;

namespace {

enum {
    kTextWiring = 522, kTextSequence = 525, kTextReadAt = 483, kTextClose = 10, kTextCheckAgain = 529,
    kTextDraws = 530, kTextExports = 531
};

// The conductors' colours, L1 brown, L2 black, L3 grey: each current dark and thick, its voltage a
// pale, thin, dashed shade, so no current is taken for a voltage.
constexpr int kCurrentColour[3] = {0x8b4513, 0x000000, 0x5f6b78};
constexpr int kVoltageColour[3] = {0xe3c9ad, 0xb8bec6, 0xd3d8dd};

// Which way the site's power flows, as the operator last chose it; remembered with the link.
constexpr const char* kExportsValue = "Exports";

} // namespace

bool SiteExports() {
    std::string text;
    return RegReadString(REGKEY_HKCU, kLinkSettingsKey, kExportsValue, text) == 0 && text == "1";
}

namespace {

void label(int panel, const LabelTable& labels) {
    SetPanelAttribute(panel, ATTR_TITLE, labels[kTextWiring]);
    SetCtrlVal(panel, CABLEADO_SECUENCIA, labels[kTextSequence]);
    SetCtrlAttribute(panel, CABLEADO_DIAGRAMA, ATTR_ACCESSIBLE_NAME, labels[kTextWiring]);
    SetCtrlAttribute(panel, CABLEADO_OTRA_VEZ, ATTR_LABEL_TEXT, labels[kTextCheckAgain]);
    SetCtrlAttribute(panel, CABLEADO_CERRAR, ATTR_LABEL_TEXT, labels[kTextClose]);
    ClearListCtrl(panel, CABLEADO_SENTIDO);
    InsertListItem(panel, CABLEADO_SENTIDO, -1, labels[kTextDraws], 0);
    InsertListItem(panel, CABLEADO_SENTIDO, -1, labels[kTextExports], 1);
    SetCtrlAttribute(panel, CABLEADO_SENTIDO, ATTR_ACCESSIBLE_NAME, labels[kTextWiring]);
    SetCtrlVal(panel, CABLEADO_SENTIDO, SiteExports() ? 1 : 0);
}

// An angle counter-clockwise from the right, as a phasor's, on the graph's compass (0 at the top,
// clockwise).
double compass(double degrees) { return std::fmod(450.0 - degrees, 360.0); }

void show(int panel, const WiringCheck& c) {
    DeleteGraphPlot(panel, CABLEADO_DIAGRAMA, -1);
    double largest = 0;
    for (const WiringPhasor& p : c.phasors) largest = std::max(largest, p.current);
    std::string said;
    for (const WiringPhasor& p : c.phasors) {
        const int k = p.phase - 1;
        const double voltage = -120.0 * k, length = largest > 0 ? p.current / largest : 0;
        const double vx[2] = {compass(voltage), compass(voltage)}, vy[2] = {0, 1};
        const double ix[2] = {compass(voltage - p.angleDegrees), compass(voltage - p.angleDegrees)}, iy[2] = {0, length};
        const int v = PlotXY(panel, CABLEADO_DIAGRAMA, vx, vy, 2, kVoltageColour[k]);
        SetPlotAttribute(panel, CABLEADO_DIAGRAMA, v, ATTR_PLOT_THICKNESS, 1);
        SetPlotAttribute(panel, CABLEADO_DIAGRAMA, v, ATTR_PLOT_DASHED, 1);
        const int i = PlotXY(panel, CABLEADO_DIAGRAMA, ix, iy, 2, kCurrentColour[k]);
        SetPlotAttribute(panel, CABLEADO_DIAGRAMA, i, ATTR_PLOT_THICKNESS, 3);
        said += (said.empty() ? "" : "; ") + PhasorWords(p, etiqueta);
    }
    SetCtrlAttribute(panel, CABLEADO_DIAGRAMA, ATTR_DESCRIPTION, said);
    std::string text = said + "\n\n";
    for (const WiringFinding& f : c.findings) text += FindingHeading(f, etiqueta) + ": " + f.words + "\n\n";
    if (c.findings.empty()) text += FillIn(etiqueta[523], {LoadKwText(c)}) + "\n\n";
    for (const std::string& note : c.notes) text += note + "\n";
    SetCtrlVal(panel, CABLEADO_HALLAZGOS, text);
    SetCtrlVal(panel, CABLEADO_HORA, FillIn(etiqueta[kTextReadAt], {TimeStr()}));
}

} // namespace

int RQ55_Cableado(int panel, int /*control*/, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    panel_cableado = OpenView(panel, panel_retorno, CABLEADO, label, {CABLEADO_TIMER}, PanelKind::LiveView);
    return 0;
}

int RQ55_timeloop_Cableado(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_TIMER_TICK) return 0;
    HoldRefresh(panel, control);
    float network[kNetworkParameterCount] = {}, config[kEquipmentConfigCount] = {};
    if (ReadWithLinkSettings(RQ55_Ulvo_Leer_Prametros_Red, network) != 1 ||
        ReadWithLinkSettings(RQ55_Ulvo_Leer_Conf_Equipo, config) != 1) {
        ShowReadFailed(panel);
        return 0;
    }
    // The CT primary is index 6 of the equipment configuration.
    show(panel, CheckWiring(WiringValuesOf(network, config[6]), PanelWiringAssumption(SiteExports(), etiqueta), etiqueta));
    ResumeRefresh(panel, control);
    return 0;
}

// After a failed read the refresh stops, as on every view; Check again starts it anew.
int RQ55_Cableado_Otra_Vez(int panel, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) RQ55_timeloop_Cableado(panel, CABLEADO_TIMER, EVENT_TIMER_TICK, nullptr, 0, 0);
    return 0;
}

int RQ55_Cableado_Sentido(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    int exports = 0;
    GetCtrlVal(panel, control, exports);
    RegWriteString(REGKEY_HKCU, kLinkSettingsKey, kExportsValue, exports ? "1" : "0");
    return RQ55_Cableado_Otra_Vez(panel, CABLEADO_OTRA_VEZ, EVENT_COMMIT, nullptr, 0, 0);
}

int RQ55_Terminar_Cableado(int /*panel*/, int /*control*/, int event, void*, int, int) {
    if (event == EVENT_COMMIT) CloseView(panel_cableado, panel_retorno);
    return 0;
}
