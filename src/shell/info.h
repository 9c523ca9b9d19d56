// The information popup of the main panel's menu, and the status panel's clock.
#pragma once

void RQ55_info(int menuBar, int menuItem, void* callbackData, int panel);
void RQ55_Visualiza_Pantalla_Info(int menuBar, int panel);
int RQ55_Terminar_Programa_Info(int panel, int control, int event, void* callbackData, int eventData1,
                                int eventData2);

int timer_hora(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// Writes today's date (the system's short form) and the time (24-hour HH:MM:SS) onto the panel.
void RQ55_Tiempo(int panel);
