// The device status page: relays, the analyser's own serial line, its identity, and the analog
// outputs its model has, with the clock.
#pragma once

extern int panel_estado;

int RQ55_Estado(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// First-read timer: fires once, fills the page and starts the analog-output timer.
int RQ55_Timeloop_Estado(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
// Analog-output timer: refreshes each output the model has.
int RQ55_Timeloop_Estado_2(int panel, int control, int event, void* callbackData, int eventData1,
                           int eventData2);
int RQ55_Terminar_Estado(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);

// The relay contact switches of the page only show the setting; a click must not seem to change it.
int StatusSwitchReadOnly(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
