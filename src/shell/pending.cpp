#include "shell/pending.h"

#include "platform/ui.h"

namespace {
int nothing(int, int, int, void*, int, int) { return 0; }
void nothingFromMenu(int, int, void*, int) {}
} // namespace

void RegisterPendingCallbacks() {
    for (const char* name : {"RQ55_Abrir_Puerto", "RQ55_parametros_red", "RQ55_Energia", "RQ55_MaxMIn",
                             "RQ55_max_demanda", "RQ55_Estado", "RQ55_Conf_Equipo", "RQ55_Conf_In_Out",
                             "RQ55_cambiar_Version", "RQ55_Terminar_Estado"})
        RegisterCallback(name, nothing);
    for (const char* name : {"RQ55_Guardar_Conf", "RQ55_Cargar_Conf", "RQ55_Cambiar_Contrasena"})
        RegisterMenuCallback(name, nothingFromMenu);
}
