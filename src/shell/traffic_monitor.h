// The traffic monitor of the main panel's menu: every frame the program sends or receives, as it
// happens, with the time, the direction, the link, its bytes and what it is, and how each
// exchange ended. It keeps the last 10 000 lines; while it is closed nothing watches the link.
#pragma once

#include <deque>
#include <string>

void RQ55_Monitor_Trafico(int menuBar, int menuItem, void* callbackData, int panel);
int RQ55_Trafico_Pausa(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RQ55_Trafico_Borrar(int panel, int control, int event, void* callbackData, int eventData1,
                        int eventData2);
int RQ55_Trafico_Guardar(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
// The monitor's timer: what was traced since its last tick goes into the list.
int RQ55_Trafico_Mostrar(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
int RQ55_Trafico_Cerrar(int panel, int control, int event, void* callbackData, int eventData1,
                        int eventData2);

// The lines the monitor shows, oldest first (empty while it is closed).
const std::deque<std::string>& TrafficLines();

constexpr int kTrafficLinesKept = 10000;
