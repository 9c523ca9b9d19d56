#include "shell/link_memory.h"

#include <string>

#include "link/link_settings.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "rq55_uir.h"

namespace {


struct Setting {
    int control;
    const char* name;
    long lowest, highest; // the numbers the setting takes; 0, 0 for the host name
};

constexpr Setting kSettings[] = {
    {PRINCIPAL_PUERTO, "Port", 1, 100},
    {PRINCIPAL_IDENTIDAD, "Address", 1, 247},
    {PRINCIPAL_VELOCIDAD, "Baud", 1, 10000000},
    {PRINCIPAL_MODO, "Mode", 0, 3},
    {PRINCIPAL_IP, "Host", 0, 0},
    {PRINCIPAL_TCP_PUERTO, "TcpPort", 1, 65535},
};

constexpr size_t kLongestHost = 255;

bool wholeNumber(const std::string& text, long lowest, long highest, long& value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stol(text);
    return value >= lowest && value <= highest;
}

} // namespace

void RememberLinkSettings(int panel) {
    for (const Setting& s : kSettings) {
        std::string text;
        if (s.highest == 0) {
            GetCtrlVal(panel, s.control, text);
        } else {
            int value = 0;
            GetCtrlVal(panel, s.control, value);
            text = std::to_string(value);
        }
        RegWriteString(REGKEY_HKCU, kLinkSettingsKey, s.name, text);
    }
}

void RestoreLinkSettings(int panel) {
    for (const Setting& s : kSettings) {
        std::string text;
        if (RegReadString(REGKEY_HKCU, kLinkSettingsKey, s.name, text) != 0) continue;
        long value = 0;
        if (s.highest == 0) {
            if (!text.empty() && text.size() <= kLongestHost) SetCtrlVal(panel, s.control, text);
        } else if (wholeNumber(text, s.lowest, s.highest, value)) {
            // A baud rate the selector does not list is refused by it, and the panel keeps its own.
            SetCtrlVal(panel, s.control, static_cast<int>(value));
        }
    }
}
