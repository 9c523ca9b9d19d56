// The information popup of the main panel's menu.
#pragma once

void RQ55_info(int menuBar, int menuItem, void* callbackData, int panel);
void RQ55_Visualiza_Pantalla_Info(int menuBar, int panel);
int RQ55_Terminar_Programa_Info(int panel, int control, int event, void* callbackData, int eventData1,
                                int eventData2);
