// The communication-error popup that closes by itself, the optional "comm.log", and the desktop
// program's way of showing what the link reports.
#pragma once

#include <functional>
#include <string>

#include "link/exchange.h"

// Both 0 at start. Display: non-zero shows every message; 0 holds back the messages that name a
// communication error (texts 22 to 25, and 394 to 399 for a refused reply). Logging: 1 appends those messages
// to "comm.log".
extern int ULVO_Visualiza_errores_comunicacion;
extern int ULVO_Loggea_errores_comunicacion;

// Logs the message when the log is on, then shows it (unless held back) in a small popup that
// goes away after 2 s or when OK is pressed.
void Ulvo_Visualiza_mensaje_de_error(const std::string& title, const std::string& message);

// The popup's OK button: marks the popup acknowledged (callbackData points to its flag).
int valida_error_COM(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// Today's date as DD-MM-YYYY.
std::string Ulvo_Trae_Fecha_dd_mm_aaaa();

// Installs the desktop program's reporting on the link: the error popup, the "TCP Client" message
// when the server closes the connection, the animated taskbar icon, and timers held back while
// an exchange runs. linkLost runs after the server closed the connection or the serial device
// went away; exchange as every exchange starts (true) and once it has ended (false; LastExchangeEnd
// says how).
void InstallLinkPopups(std::function<void(LinkLoss why)> linkLost = {}, std::function<void(bool underWay)> exchange = {});

// The popup of a lost link (a TCP connection; a serial device gone has none).
void ShowLinkLostPopup(LinkLoss why);
