#include "shell/callbacks.h"

#include "config/analog_output.h"
#include "config/config_file_menu.h"
#include "config/equipment.h"
#include "config/in_out.h"
#include "config/model_version.h"
#include "config/password.h"
#include "lang/language.h"
#include "link/error_popup.h"
#include "platform/ui.h"
#include "shell/comm_switch.h"
#include "shell/find_analyser.h"
#include "shell/info.h"
#include "shell/main_panel.h"
#include "shell/report_dialog.h"
#include "shell/traffic_monitor.h"
#include "views/clock.h"
#include "views/demand.h"
#include "views/wiring.h"
#include "views/energy.h"
#include "views/maxmin.h"
#include "views/network.h"
#include "views/status.h"
#include "views/trend.h"

void RegisterProgramCallbacks() {
    InstallLinkPopups(CloseLostLink, NoteExchange);

    // Main panel and shell.
    RegisterCallback("QUIT", QUIT);
    RegisterMenuCallback("RQ55_Cambia_Idioma_ESP", RQ55_Cambia_Idioma_ESP);
    RegisterMenuCallback("RQ55_Cambia_Idioma_ENG", RQ55_Cambia_Idioma_ENG);
    RegisterMenuCallback("RQ55_info", RQ55_info);
    RegisterMenuCallback("RQ55_Monitor_Trafico", RQ55_Monitor_Trafico);
    RegisterCallback("RQ55_Trafico_Pausa", RQ55_Trafico_Pausa);
    RegisterCallback("RQ55_Trafico_Borrar", RQ55_Trafico_Borrar);
    RegisterCallback("RQ55_Trafico_Guardar", RQ55_Trafico_Guardar);
    RegisterCallback("RQ55_Trafico_Cerrar", RQ55_Trafico_Cerrar);
    RegisterCallback("RQ55_Trafico_Mostrar", RQ55_Trafico_Mostrar);
    RegisterCallback("RQ55_Terminar_Programa_Info", RQ55_Terminar_Programa_Info);
    RegisterCallback("timer_hora", timer_hora);

    // The communication switch and the live views.
    RegisterCallback("RQ55_Abrir_Puerto", RQ55_Abrir_Puerto);
    RegisterCallback("RQ55_parametros_red", RQ55_parametros_red);
    RegisterCallback("RQ55_toma_datos", RQ55_toma_datos);
    RegisterCallback("RQ55_datos_timeloop", RQ55_datos_timeloop);
    RegisterCallback("RQ55_Terminar_tomadatos", RQ55_Terminar_tomadatos);
    RegisterCallback("RQ55_Buscar_Analizador", RQ55_Buscar_Analizador);
    RegisterCallback("RQ55_Buscar_Iniciar", RQ55_Buscar_Iniciar);
    RegisterCallback("RQ55_Buscar_Cancelar", RQ55_Buscar_Cancelar);
    RegisterCallback("RQ55_Buscar_Usar", RQ55_Buscar_Usar);
    RegisterCallback("RQ55_Buscar_Cerrar", RQ55_Buscar_Cerrar);
    RegisterCallback("RQ55_Informe", RQ55_Informe);
    RegisterCallback("RQ55_Informe_Escribir", RQ55_Informe_Escribir);
    RegisterCallback("RQ55_Informe_Cancelar", RQ55_Informe_Cancelar);
    RegisterCallback("RQ55_Informe_Cerrar", RQ55_Informe_Cerrar);
    RegisterCallback("RQ55_Grabar_Red", RQ55_Grabar_Red);
    RegisterCallback("RQ55_Tendencia_Red", RQ55_Tendencia_Red);
    RegisterCallback("RQ55_Tendencia_Elegir", RQ55_Tendencia_Elegir);
    RegisterCallback("RQ55_Tendencia_Cerrar", RQ55_Tendencia_Cerrar);
    RegisterCallback("RQ55_Energia", RQ55_Energia);
    RegisterCallback("RQ55_energia_timeloop", RQ55_energia_timeloop);
    RegisterCallback("RQ55_Terminar_Energia", RQ55_Terminar_Energia);
    RegisterCallback("RQ55_Reset_Energia", RQ55_Reset_Energia);
    RegisterCallback("RQ55_reset_ener_cont", RQ55_reset_ener_cont);
    RegisterCallback("RQ55_Terminar_Contrasena_Ener", RQ55_Terminar_Contrasena_Ener);
    RegisterCallback("RQ55_MaxMIn", RQ55_MaxMIn);
    RegisterCallback("HBR21_timeloop_MaxMin", HBR21_timeloop_MaxMin);
    RegisterCallback("RQ55_Terminar_MaxMin", RQ55_Terminar_MaxMin);
    RegisterCallback("RQ55_Reset_Max_Min", RQ55_Reset_Max_Min);
    RegisterCallback("RQ55_Cableado", RQ55_Cableado);
    RegisterCallback("RQ55_timeloop_Cableado", RQ55_timeloop_Cableado);
    RegisterCallback("RQ55_Cableado_Otra_Vez", RQ55_Cableado_Otra_Vez);
    RegisterCallback("RQ55_Cableado_Sentido", RQ55_Cableado_Sentido);
    RegisterCallback("RQ55_Terminar_Cableado", RQ55_Terminar_Cableado);
    RegisterCallback("RQ55_max_demanda", RQ55_max_demanda);
    RegisterCallback("RQ55_timeloop_Demenda", RQ55_timeloop_Demenda);
    RegisterCallback("RQ55_Terminar_max_demanda", RQ55_Terminar_max_demanda);
    RegisterCallback("RQ55_Reset_Demanda", RQ55_Reset_Demanda);
    RegisterCallback("RQ55_Estado", RQ55_Estado);
    RegisterCallback("RQ55_Timeloop_Estado", RQ55_Timeloop_Estado);
    RegisterCallback("RQ55_Timeloop_Estado_2", RQ55_Timeloop_Estado_2);
    RegisterCallback("RQ55_Terminar_Estado", RQ55_Terminar_Estado);
    RegisterCallback("StatusSwitchReadOnly", StatusSwitchReadOnly);

    // Set-up of the analyser.
    RegisterCallback("RQ55_Conf_Equipo", RQ55_Conf_Equipo);
    RegisterCallback("RQ55_Timeloop_Conf_Equipo", RQ55_Timeloop_Conf_Equipo);
    RegisterCallback("RQ55_Guardar_Conf_Equipo", RQ55_Guardar_Conf_Equipo);
    RegisterCallback("RQ55_Guardar_Conf_Equipo_2", RQ55_Guardar_Conf_Equipo_2);
    RegisterCallback("RQ55_Terminar_Conf_Equipo", RQ55_Terminar_Conf_Equipo);
    RegisterCallback("RQ55_Conf_In_Out", RQ55_Conf_In_Out);
    RegisterCallback("RQ55_Timeloop_In_Out", RQ55_Timeloop_In_Out);
    RegisterCallback("RQ55_Modo_R1", RQ55_Modo_R1);
    RegisterCallback("RQ55_Modo_R2", RQ55_Modo_R2);
    RegisterCallback("RQ55_Lock_R1", RQ55_Lock_R1);
    RegisterCallback("RQ55_Lock_R2", RQ55_Lock_R2);
    RegisterCallback("RQ55_Estado_R1", RQ55_Estado_R1);
    RegisterCallback("RQ55_Estado_R2", RQ55_Estado_R2);
    RegisterCallback("RQ55_Guardar_Conf_Reles", RQ55_Guardar_Conf_Reles);
    RegisterCallback("RQ55_Salir_In_Out", RQ55_Salir_In_Out);
    RegisterCallback("RQ55_Conf_Anal_Out_1", RQ55_Conf_Anal_Out_1);
    RegisterCallback("RQ55_Conf_Anal_Out_2", RQ55_Conf_Anal_Out_2);
    RegisterCallback("RQ55_Conf_Anal_Out_3", RQ55_Conf_Anal_Out_3);
    RegisterCallback("RQ55_Conf_Anal_Out_4", RQ55_Conf_Anal_Out_4);
    RegisterCallback("RQ55_Timeloop_Out_anal_1", RQ55_Timeloop_Out_anal_1);
    RegisterCallback("Grafico_1", Grafico_1);
    RegisterCallback("RQ55_Anal_Out_Modo_1", RQ55_Anal_Out_Modo_1);
    RegisterCallback("RQ55_Salida_Anal_1", RQ55_Salida_Anal_1);
    RegisterCallback("RQ55_Fondo_Escala_OUT_1", RQ55_Fondo_Escala_OUT_1);
    RegisterCallback("RQ55_Guardar_Anal_Out_1", RQ55_Guardar_Anal_Out_1);
    RegisterCallback("RQ55_Terminar_Out_Anal_1", RQ55_Terminar_Out_Anal_1);
    RegisterMenuCallback("RQ55_Cambiar_Contrasena", RQ55_Cambiar_Contrasena);
    RegisterCallback("RQ55_Guardar_Cambio_Cont", RQ55_Guardar_Cambio_Cont);
    RegisterCallback("RQ55_Volver_Contra", RQ55_Volver_Contra);
    RegisterCallback("RQ55_cambiar_Version", RQ55_cambiar_Version);
    RegisterCallback("RQ55_Timeloop_Version", RQ55_Timeloop_Version);
    RegisterCallback("RQ55_cambiar_Vers", RQ55_cambiar_Vers);
    RegisterCallback("RQ55_Terminar_Cambiar_Ver", RQ55_Terminar_Cambiar_Ver);

    // Configuration files.
    RegisterMenuCallback("RQ55_Guardar_Conf", RQ55_Guardar_Conf);
    RegisterMenuCallback("RQ55_Cargar_Conf", RQ55_Cargar_Conf);
    RegisterMenuCallback("RQ55_Informe_Menu", RQ55_Informe_Menu);
}
