// The maxima and minima the analyser has recorded for 27 of its live quantities.
#pragma once

extern int panel_maxmin;

int RQ55_MaxMIn(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int HBR21_timeloop_MaxMin(int panel, int control, int event, void* callbackData, int eventData1,
                          int eventData2);
int RQ55_Terminar_MaxMin(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
// The analyser offers no register to clear its extremes; the button stays dimmed and does nothing.
int RQ55_Reset_Max_Min(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
