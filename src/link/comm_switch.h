// The communication switch of the main panel: opens the link with the settings on the panel and
// confirms that an analyser answers, or closes it again.
#pragma once

// Commit callback of the main panel's switch. Switching on reads the six settings into the link
// settings, opens the link and reads the serial-number block, which also gives modelo_equipo; any
// failure is told to the operator and leaves the switch off.
int RQ55_Abrir_Puerto(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// Reads the settings of the main panel and opens or closes the link as the switch says.
void RQ55_Comunicaciones_On_Off(int panel);
