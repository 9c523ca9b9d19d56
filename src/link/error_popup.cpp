#include "link/error_popup.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "lang/label_table.h"
#include "link/exchange.h"
#include "link/link_settings.h"
#include "platform/system.h"
#include "platform/ui.h"

int ULVO_Visualiza_errores_comunicacion = 0;
int ULVO_Loggea_errores_comunicacion = 0;

namespace {

constexpr double kPopupSeconds = 2.0;
constexpr double kBusyAfterSeconds = 0.5;
constexpr int kTextWaiting = 413;
constexpr int kPopupHeight = 95;
constexpr int kTextTop = 18;
constexpr int kTextLeft = 20;
constexpr int kMinTextWidth = 90;
constexpr int kButtonTop = 55;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

// Texts 24, 25, 22 and 23 name the communication errors, and 394 to 399 the replies the reply
// check refuses (the CRC error among them keeps text 25). A language file that lacks one gives an
// empty text, which every message would "contain"; it must match nothing instead.
bool namesCommunicationError(const std::string& message) {
    for (int n : {24, 25, 22, 23, 394, 395, 396, 397, 398, 399}) {
        const std::string& text = etiqueta[n];
        if (!text.empty() && message.find(text) != std::string::npos) return true;
    }
    return false;
}

// One entry per line: the message's first line break (between the error and the port) becomes
// a blank.
std::string commLogLine(const std::string& date, const std::string& time, const std::string& message) {
    std::string text = message;
    if (const size_t lineBreak = text.find('\n'); lineBreak != std::string::npos) text[lineBreak] = ' ';
    return date + " " + time + " " + text + "\n";
}

void appendToCommLog(const std::string& message) {
    std::FILE* log = std::fopen("comm.log", "a");
    if (!log) return; // a log that cannot be written must not stop the program
    const std::string line = commLogLine(Ulvo_Trae_Fecha_dd_mm_aaaa(), TimeStr(), message);
    std::fputs(line.c_str(), log);
    std::fclose(log);
}

void showSelfClosingPopup(const std::string& title, const std::string& message) {
    const int panel = NewPanel(0, title, VAL_AUTO_CENTER, VAL_AUTO_CENTER, kPopupHeight, kMinTextWidth + 40);
    if (panel < 0) return;
    const int text = NewCtrl(panel, CTRL_TEXT_MSG, message, kTextTop, kTextLeft);
    SetCtrlVal(panel, text, message);
    SetCtrlAttribute(panel, text, ATTR_SIZE_TO_TEXT, 1);
    int width = 0;
    GetCtrlAttribute(panel, text, ATTR_WIDTH, width);
    width = std::max(width, kMinTextWidth);
    SetPanelAttribute(panel, ATTR_WIDTH, width + 40);

    const int buttonLeft = static_cast<int>(std::lround((width + 40) / 2.0 - kButtonWidth / 2.0));
    const int ok = NewCtrl(panel, CTRL_COMMAND_BUTTON, "OK", kButtonTop, buttonLeft);
    SetCtrlAttribute(panel, ok, ATTR_WIDTH, kButtonWidth);
    SetCtrlAttribute(panel, ok, ATTR_HEIGHT, kButtonHeight);
    int acknowledged = 0;
    InstallCtrlCallback(panel, ok, valida_error_COM, &acknowledged);
    SetPanelAttribute(panel, ATTR_CLOSE_CTRL, ok);

    InstallPopup(panel);
    const double shown = Timer();
    while (!acknowledged && Timer() - shown < kPopupSeconds) {
        ProcessSystemEvents();
        // A short sleep between passes keeps the wait from spinning a core at full load.
        if (!acknowledged) Delay(0.005);
    }
    RemovePopup(panel);
    DiscardPanel(panel);
}

} // namespace

void Ulvo_Visualiza_mensaje_de_error(const std::string& title, const std::string& message) {
    ProcessSystemEvents();
    const bool communicationError = namesCommunicationError(message);
    if (ULVO_Loggea_errores_comunicacion == 1 && communicationError) appendToCommLog(message);
    if (ULVO_Visualiza_errores_comunicacion == 0 && communicationError) return;
    showSelfClosingPopup(title, message);
}

int valida_error_COM(int, int, int event, void* callbackData, int, int) {
    if (event == EVENT_COMMIT && callbackData) *static_cast<int*>(callbackData) = 1;
    return 0;
}

std::string Ulvo_Trae_Fecha_dd_mm_aaaa() {
    std::string date = DateStr(); // MM-DD-YYYY
    if (date.size() >= 5) {
        std::swap(date[0], date[3]);
        std::swap(date[1], date[4]);
    }
    return date;
}

void ShowLinkLostPopup(LinkLoss why) {
    if (why == LinkLoss::ServerClosed) MessagePopup("TCP Client", "Server has closed connection!");
    if (why == LinkLoss::ReconnectFailed) MessagePopup("TCP Client", "Connection to server failed !");
}

void InstallLinkPopups(std::function<void(LinkLoss why)> linkLost, std::function<void(bool underWay)> exchange) {
    LinkReporter reporter;
    reporter.exchanging = [exchange](bool underWay) {
        if (underWay) {
            SuspendTimerCallbacks();
        } else {
            HideBusyLine();
            ResumeTimerCallbacks();
        }
        if (exchange) exchange(underWay);
    };
    reporter.waiting = [](double elapsed, double remaining) {
        if (elapsed < kBusyAfterSeconds) return;
        // Whole seconds, rounded up but for the few milliseconds the request took to go out.
        const int seconds = std::max(1, static_cast<int>(std::ceil(remaining - 0.05)));
        ShowBusyLine(FillIn(etiqueta[kTextWaiting], {ExchangePlace(false), std::to_string(seconds)}));
    };
    reporter.icon = [](const char* image) {
        WT_SetTrayIconAttr(icono_comunicaciones_barra_tareas, ATTR_TRAY_ICON_IMAGE, image);
    };
    reporter.error = Ulvo_Visualiza_mensaje_de_error;
    // The program around the link says it, then shows the popup once the link is closed.
    reporter.lost = [linkLost](LinkLoss why) {
        if (linkLost)
            linkLost(why);
        else
            ShowLinkLostPopup(why);
    };
    SetLinkReporter(std::move(reporter));
}
