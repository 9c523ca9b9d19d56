#include "views/wiring.h"

#include <cmath>

#include "device/register_map.h"
#include "device/wiring_check.h"
#include "lang/label_table.h"
#include "panels/freshness.h"
#include "panels/navigation.h"
#include "panels/view_support.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "rq55_uir.h"

int panel_cableado = 0;

namespace {

enum { kTextWiring = 522, kTextSequence = 525, kTextReadAt = 483 };

// The conductors' colours, L1 brown, L2 black, L3 grey; each voltage a lighter shade of its phase.
constexpr int kCurrentColour[3] = {0x8b4513, 0x1d2733, 0x7f8c8d};
constexpr int kVoltageColour[3] = {0xd9b38c, 0x9aa5b1, 0xc8d0d4};

void label(int panel, const LabelTable& labels) {
    SetPanelAttribute(panel, ATTR_TITLE, labels[kTextWiring]);
    SetCtrlVal(panel, CABLEADO_SECUENCIA, labels[kTextSequence]);
    SetCtrlAttribute(panel, CABLEADO_DIAGRAMA, ATTR_ACCESSIBLE_NAME, labels[kTextWiring]);
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
        PlotXY(panel, CABLEADO_DIAGRAMA, vx, vy, 2, kVoltageColour[k]);
        PlotXY(panel, CABLEADO_DIAGRAMA, ix, iy, 2, kCurrentColour[k]);
        said += strfmt("%sI%d %+.0f° %.1f A", said.empty() ? "" : "; ", p.phase, p.angleDegrees, p.current);
    }
    SetCtrlAttribute(panel, CABLEADO_DIAGRAMA, ATTR_DESCRIPTION, said);
    std::string text = said + "\n\n";
    for (const WiringFinding& f : c.findings) text += FindingTitle(f) + ": " + f.words + "\n\n";
    if (c.findings.empty()) text += FillIn(etiqueta[523], {strfmt("%.1f", c.loadKw)}) + "\n\n";
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
    show(panel, CheckWiring(WiringValuesOf(network, config[6])));
    ResumeRefresh(panel, control);
    return 0;
}

// After a failed read the refresh stops, as on every view; Check again starts it anew.
int RQ55_Cableado_Otra_Vez(int panel, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) RQ55_timeloop_Cableado(panel, CABLEADO_TIMER, EVENT_TIMER_TICK, nullptr, 0, 0);
    return 0;
}

int RQ55_Terminar_Cableado(int /*panel*/, int /*control*/, int event, void*, int, int) {
    if (event == EVENT_COMMIT) CloseView(panel_cableado, panel_retorno);
    return 0;
}
