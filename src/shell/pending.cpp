#include "shell/pending.h"

#include "platform/ui.h"

namespace {
void nothingFromMenu(int, int, void*, int) {}
} // namespace

void RegisterPendingCallbacks() {
    for (const char* name : {"RQ55_Guardar_Conf", "RQ55_Cargar_Conf"})
        RegisterMenuCallback(name, nothingFromMenu);
}
