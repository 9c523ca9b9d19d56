// The inputs/outputs panel: both relays' settings read once when it opens and saved together
// after a question, each relay switched by hand from its State button, and the buttons that open
// the analog outputs the analyser's model has.
#pragma once

extern int panel_in_out;

int RQ55_Conf_In_Out(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// First tick: the one read of registers 200-220.
int RQ55_Timeloop_In_Out(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
// A relay's mode decides which of its settings are usable.
int RQ55_Modo_R1(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RQ55_Modo_R2(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// Lock 1 shows Value A; any other lock hides it (it is still saved).
int RQ55_Lock_R1(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RQ55_Lock_R2(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// Switches the relay at once; -1 when the analyser did not confirm the command.
int RQ55_Estado_R1(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RQ55_Estado_R2(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// Writes both relays' settings (never the state commands) after a yes to the question.
int RQ55_Guardar_Conf_Reles(int panel, int control, int event, void* callbackData, int eventData1,
                            int eventData2);
int RQ55_Salir_In_Out(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// How many analog outputs a model code's analyser has on this panel: 55 none, 56 one, 57 two,
// 58 three, any other code all four.
int UsableAnalogOutputs(int modelCode);
