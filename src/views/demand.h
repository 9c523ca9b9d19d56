// The maximum-demand view: present and maximum demand of P, Q, S and the three currents.
#pragma once

extern int panel_demanda;

int RQ55_max_demanda(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RQ55_timeloop_Demenda(int panel, int control, int event, void* callbackData, int eventData1,
                          int eventData2);
int RQ55_Terminar_max_demanda(int panel, int control, int event, void* callbackData, int eventData1,
                              int eventData2);
// The analyser offers no register to clear its demand; the button stays dimmed and does nothing.
int RQ55_Reset_Demanda(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
