// The commissioning report from the main panel's button and the Configuration menu: a dialog that
// asks for the installation and the person, then for a file, reads every block with a progress
// bar and a Cancel that stops after the block under way, and writes the report.
#pragma once

int RQ55_Informe(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
void RQ55_Informe_Menu(int menuBar, int menuItem, void* callbackData, int panel);
int RQ55_Informe_Escribir(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RQ55_Informe_Cancelar(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RQ55_Informe_Cerrar(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
