// The wiring check view: is the analyser wired right? Each refresh reads the network block and the
// CT primary, draws the phasors (the voltages at their nominal angles, each current at its angle
// from its voltage) and says each finding with its values, as rq55ctl check does.
#pragma once

extern int panel_cableado;

int RQ55_Cableado(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RQ55_timeloop_Cableado(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RQ55_Cableado_Otra_Vez(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// Whether the operator said the site exports power (the wiring panel's choice, remembered).
bool SiteExports();
// The choice of which way the site's power flows: remembered, and the check made again under it.
int RQ55_Cableado_Sentido(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RQ55_Terminar_Cableado(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
