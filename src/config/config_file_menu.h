// The main panel's menu commands that copy the analyser's output configuration to a file and
// write it back from one.
#pragma once

void RQ55_Guardar_Conf(int menuBar, int menuItem, void* callbackData, int panel);
void RQ55_Cargar_Conf(int menuBar, int menuItem, void* callbackData, int panel);
