// The network view's trend chart: the phase voltages, the currents, the total powers, the power
// factor or the frequency over the last minutes, drawn from the view's own reads (it sends
// nothing itself). It lives while the network view is open.
#pragma once

// What the network view tells the chart: it opened (the history starts empty), a good read of its
// record at a time (ms since 1970), a failed read, and that it closed (the chart closes with it).
void TrendRestart();
void TrendAdd(const float* record, double atMs);
void TrendReadFailed();
void TrendEnd();

// The view's Trend button; the chart's choice of quantities and of time span; its Close.
int RQ55_Tendencia_Red(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RQ55_Tendencia_Elegir(int panel, int control, int event, void* callbackData, int eventData1,
                          int eventData2);
int RQ55_Tendencia_Cerrar(int panel, int control, int event, void* callbackData, int eventData1,
                          int eventData2);
