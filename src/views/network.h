// The network parameters view: every live quantity of the analyser, refreshed once a second.
#pragma once

// The open view and the panel it was opened from (the main panel, or the max/min view).
extern int panel_tomadatos;
extern int panel_origen_tomadatos;

// The two openers (main panel and max/min view); they behave alike.
int RQ55_parametros_red(int panel, int control, int event, void* callbackData, int eventData1,
                        int eventData2);
int RQ55_toma_datos(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RQ55_datos_timeloop(int panel, int control, int event, void* callbackData, int eventData1,
                        int eventData2);
// The Record switch: on, asks for a CSV file and appends a row of the values at every refresh;
// off, or when the view closes, the file is closed.
int RQ55_Grabar_Red(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// Closes the view and shows the panel it was opened from.
int RQ55_Terminar_tomadatos(int panel, int control, int event, void* callbackData, int eventData1,
                            int eventData2);
