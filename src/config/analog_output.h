// The analog-output panel: one layout serving outputs 1 to 4. Each output's button opens it bound
// to that output's register block; the other callbacks act on whichever output is open (only one
// is open at a time), so the four outputs share one family of callbacks.
#pragma once

extern int panel_out_anal;
// The output the open panel shows (1-4), 0 while none is open.
extern int salida_analogica;

// The analog-output buttons of the inputs/outputs panel.
int RQ55_Conf_Anal_Out_1(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
int RQ55_Conf_Anal_Out_2(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
int RQ55_Conf_Anal_Out_3(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
int RQ55_Conf_Anal_Out_4(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
// First tick of the read timer: the one read of the output's 17 registers.
int RQ55_Timeloop_Out_anal_1(int panel, int control, int event, void* callbackData, int eventData1,
                             int eventData2);
// Every tick of the graph timer: the characteristic as the fields now give it.
int Grafico_1(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// Points mode 0 dims point 2.
int RQ55_Anal_Out_Modo_1(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
// The output type shows its own full-scale selector.
int RQ55_Salida_Anal_1(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// The visible full scale is the present-value indicator's maximum.
int RQ55_Fondo_Escala_OUT_1(int panel, int control, int event, void* callbackData, int eventData1,
                            int eventData2);
// Writes the output's 15 configuration registers after a yes to the question.
int RQ55_Guardar_Anal_Out_1(int panel, int control, int event, void* callbackData, int eventData1,
                            int eventData2);
// Closes whichever output is open and shows the inputs/outputs panel again.
int RQ55_Terminar_Out_Anal_1(int panel, int control, int event, void* callbackData, int eventData1,
                             int eventData2);
