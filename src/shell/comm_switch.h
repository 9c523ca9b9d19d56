// The communication switch of the main panel: opens the link with the settings on the panel and
// confirms that an analyser answers, or closes it again.
#pragma once

#include <string>

#include "link/exchange.h"
#include "rq55_uir.h"

// The six link settings of the main panel, in the order the switch dims and undims them: locked
// while the link is open, because the settings in use are those read at switch-on.
inline constexpr int kLinkSettingControls[] = {PRINCIPAL_MODO, PRINCIPAL_VELOCIDAD,  PRINCIPAL_PUERTO,
                                               PRINCIPAL_IP,   PRINCIPAL_TCP_PUERTO, PRINCIPAL_IDENTIDAD};

// Commit callback of the main panel's switch. Switching on reads the six settings into the link
// settings, opens the link and reads the serial-number block, which also gives modelo_equipo; any
// failure is told to the operator and leaves the switch off.
int RQ55_Abrir_Puerto(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// Reads the settings of the main panel and opens or closes the link as the switch says.
void RQ55_Comunicaciones_On_Off(int panel);

// The settings that cannot change while the link is open, and the find button, which needs the
// link free: dimmed while communication is on.
void DimLinkSettings(int panel, int dimmed);

// The link in force as the status line words it: "COM3, 19200 8N1", "127.0.0.1:502 Modbus/TCP".
std::string LinkDescription();

// The status line of the main panel: the analyser that answered and the link; since when it has
// not answered; that the link was lost (when and why); why the last switch-on failed (the host,
// port and the system's reason, the port's error, or that no analyser answered at the address,
// with the next step); or that communication is off.
void ShowLinkStatus(int panel);

// After every exchange: a switched-on analyser that did not answer is said on the status line
// with the time since when, until one of its replies comes.
void NoteExchange(bool underWay);

// The link was lost (the server closed the connection, the serial device went away, a connection
// could not be made again): at once the switch goes back to off, the status line and the open
// panel say when and why; the link closes once the exchange under way is over, and then the popup
// says so. Nothing reconnects by itself.
void CloseLostLink(LinkLoss why);
