// The analyser's model and version texts: read once when the panel opens, written on Change.
#pragma once

#include <string>

extern int panel_version;

// Opens the panel from the calling panel, which stays hidden until the panel closes.
int RQ55_cambiar_Version(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
// First tick: the one read of registers 811-818.
int RQ55_Timeloop_Version(int panel, int control, int event, void* callbackData, int eventData1,
                          int eventData2);
// Change: one write of both texts to registers 8420-8427; a failed write is told once.
int RQ55_cambiar_Vers(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RQ55_Terminar_Cambiar_Ver(int panel, int control, int event, void* callbackData, int eventData1,
                              int eventData2);
