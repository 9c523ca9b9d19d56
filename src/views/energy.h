// The energy counters view and the reset of the counters with the analyser's access password.
#pragma once

extern int panel_energia;
extern int panel_contrasena_ener; // the password popup while it is open

int RQ55_Energia(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RQ55_energia_timeloop(int panel, int control, int event, void* callbackData, int eventData1,
                          int eventData2);
int RQ55_Terminar_Energia(int panel, int control, int event, void* callbackData, int eventData1,
                          int eventData2);

// Reset button: asks for the password in a modal popup.
int RQ55_Reset_Energia(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// OK of the popup: sends the password, then the reset command. -1 when a write failed (the popup
// stays for another try).
int RQ55_reset_ener_cont(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
// Cancel of the popup: nothing is sent.
int RQ55_Terminar_Contrasena_Ener(int panel, int control, int event, void* callbackData, int eventData1,
                                  int eventData2);
