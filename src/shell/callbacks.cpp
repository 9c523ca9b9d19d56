#include "shell/callbacks.h"

#include "lang/language.h"
#include "platform/ui.h"
#include "shell/info.h"
#include "shell/main_panel.h"
#include "shell/pending.h"

void RegisterProgramCallbacks() {
    // Main panel and shell.
    RegisterCallback("QUIT", QUIT);
    RegisterMenuCallback("RQ55_Cambia_Idioma_ESP", RQ55_Cambia_Idioma_ESP);
    RegisterMenuCallback("RQ55_Cambia_Idioma_ENG", RQ55_Cambia_Idioma_ENG);
    RegisterMenuCallback("RQ55_info", RQ55_info);
    RegisterCallback("RQ55_Terminar_Programa_Info", RQ55_Terminar_Programa_Info);
    RegisterCallback("timer_hora", timer_hora);

    RegisterPendingCallbacks();
}
