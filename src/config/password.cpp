#include "config/password.h"

#include "device/register_map.h"
#include "lang/label_table.h"
#include "lang/labels.h"
#include "panels/config_fields.h"
#include "panels/navigation.h"
#include "panels/view_support.h"
#include "platform/ui.h"
#include "rq55_uir.h"

namespace {

constexpr unsigned kMaxPassword = 9998;
constexpr unsigned kChangeRequest = 9999; // one above the largest password
constexpr int kTextNewPasswordNotWritten = 471;

int writePassword(unsigned value) {
    const unsigned char bytes[kPasswordWriteBytes] = {static_cast<unsigned char>(value >> 8),
                                                      static_cast<unsigned char>(value & 0xFF)};
    return WriteWithLinkSettings(RQ55_Ulvo_Escribir_Contrasena, bytes);
}

} // namespace

void RQ55_Cambiar_Contrasena(int /*menuBar*/, int /*menuItem*/, void*, int panel) {
    panel_retorno = panel;
    HidePanel(panel);
    RQ55_Visualiza_Pantalla_Contrasena();
}

void RQ55_Visualiza_Pantalla_Contrasena() {
    const int popup = LoadMenuPopup(CONTRASENA);
    if (popup < 0) return;
    RQ55_Poner_Etiquetas_Camb_Contr(popup, etiqueta);
    InstallPopup(popup);
}

int RQ55_Guardar_Cambio_Cont(int panel, int /*control*/, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    // The analyser's own limits come first, in its own words: a field holds what was typed, tinted
    // when it is beyond them, so those words are reached.
    if (TypedNumber(panel, CONTRASENA_ACTUAL) > kMaxPassword) {
        MessagePopup("ERROR", "MAx value for Password is 9998");
        return -2;
    }
    if (TypedNumber(panel, CONTRASENA_NUEVA) > kMaxPassword) {
        MessagePopup("ERROR", "MAx value for New Password is 9998");
        return -2;
    }
    // A password field holds only what was typed: one left empty sends nothing, and says so.
    if (RefuseUnfit(panel, {{CONTRASENA_ACTUAL}, {CONTRASENA_NUEVA}})) return -2;
    unsigned current = 0, fresh = 0;
    GetCtrlVal(panel, CONTRASENA_ACTUAL, current);
    GetCtrlVal(panel, CONTRASENA_NUEVA, fresh);
    // The analyser takes a new password only right after the current one and the change request;
    // a write that fails ends the sequence, and what was written stays written.
    bool first = true;
    for (unsigned value : {current, kChangeRequest, fresh}) {
        if (writePassword(value) != 1) {
            MessagePopup(etiqueta[325], etiqueta[first ? 326 : kTextNewPasswordNotWritten]);
            return -1;
        }
        first = false;
    }
    MessagePopup("", "Password change");
    return 0;
}

int RQ55_Volver_Contra(int panel, int /*control*/, int event, void*, int, int) {
    if (event == EVENT_COMMIT) ClosePopup(panel, panel_retorno);
    return 0;
}
