// Changing the analyser's access password: a popup from the main panel's menu.
#pragma once

// Menu command: hides the main panel and shows the popup.
void RQ55_Cambiar_Contrasena(int menuBar, int menuItem, void* callbackData, int panel);
// Loads, labels and installs the popup.
void RQ55_Visualiza_Pantalla_Contrasena();
// Save: range checks, then the current password, the change request 9999 and the new password to
// register 819. 0 after a completed change, -2 after a range error, -1 after a failed write. The
// popup stays open with the fields as typed.
int RQ55_Guardar_Cambio_Cont(int panel, int control, int event, void* callbackData, int eventData1,
                             int eventData2);
// Back: removes the popup and shows the main panel again.
int RQ55_Volver_Contra(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
