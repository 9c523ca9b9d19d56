// The status panel's clock.
#pragma once

int timer_hora(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// Writes today's date (the system's short form) and the time (24-hour HH:MM:SS) onto the panel.
void RQ55_Tiempo(int panel);
