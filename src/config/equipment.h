// The analyser's equipment configuration (registers 800-810): read once when the panel opens,
// saved in two groups, the communication settings with a question and the transformer ratios
// without one.
#pragma once

extern int panel_conf_equipo;

// Opens the panel from the calling panel, which stays hidden until the panel closes.
int RQ55_Conf_Equipo(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// First tick: the one read of registers 800-810.
int RQ55_Timeloop_Conf_Equipo(int panel, int control, int event, void* callbackData, int eventData1,
                              int eventData2);
// Group 1: registers 810, then 800-803, after a yes to the question.
int RQ55_Guardar_Conf_Equipo(int panel, int control, int event, void* callbackData, int eventData1,
                             int eventData2);
// Group 2: registers 804-809 in one write.
int RQ55_Guardar_Conf_Equipo_2(int panel, int control, int event, void* callbackData, int eventData1,
                               int eventData2);
int RQ55_Terminar_Conf_Equipo(int panel, int control, int event, void* callbackData, int eventData1,
                              int eventData2);
