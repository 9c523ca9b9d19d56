#include "shell/pending.h"

#include "platform/ui.h"

namespace {
int nothing(int, int, int, void*, int, int) { return 0; }
void nothingFromMenu(int, int, void*, int) {}
} // namespace

void RegisterPendingCallbacks() {
    for (const char* name : {"RQ55_Conf_In_Out"}) RegisterCallback(name, nothing);
    for (const char* name : {"RQ55_Guardar_Conf", "RQ55_Cargar_Conf"})
        RegisterMenuCallback(name, nothingFromMenu);
}
