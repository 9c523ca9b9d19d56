#include "views/clock.h"

#include "platform/system.h"
#include "platform/ui.h"
#include "rq55_uir.h"

int timer_hora(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_TIMER_TICK) return 0;
    // Stopped while the texts are written, so a slow update never overlaps the next tick.
    ResetTimer(panel, control);
    SetCtrlAttribute(panel, control, ATTR_ENABLED, 0);
    RQ55_Tiempo(panel);
    ResetTimer(panel, control);
    SetCtrlAttribute(panel, control, ATTR_ENABLED, 1);
    return 0;
}

void RQ55_Tiempo(int panel) {
    double now = 0;
    GetCurrentDateTime(&now);
    SetCtrlVal(panel, ESTADO_FECHA, FormatDateTimeString(now, "%x"));
    SetCtrlVal(panel, ESTADO_HORA, FormatDateTimeString(now, "%H:%M:%S"));
}
