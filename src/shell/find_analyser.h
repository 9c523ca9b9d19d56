// The find dialog of the main panel: asks every address of the chosen COM port (at the chosen baud
// rate and framing, or at every one the main panel offers) or of the chosen TCP host for its
// serial number, lists the analysers that answered, and puts the one chosen on the main panel.
#pragma once

// The dialog's texts in the chosen language.
void LabelFindDialog(int dialog);

// The main panel's Find button (usable while communication is off).
int RQ55_Buscar_Analizador(int panel, int control, int event, void* callbackData, int eventData1,
                           int eventData2);
int RQ55_Buscar_Iniciar(int panel, int control, int event, void* callbackData, int eventData1,
                        int eventData2);
int RQ55_Buscar_Cancelar(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
int RQ55_Buscar_Usar(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RQ55_Buscar_Cerrar(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
