// Links the widget-free library alone: a headless tool can use the serial port, the TCP client,
// the settings store, the language file and the Modbus frames without Qt Widgets. Running it
// builds one request and checks its CRC, so the objects are not only linked but work.
#include <QCoreApplication>
#include <cstdio>

#include "lang/ini.h"
#include "lang/label_table.h"
#include "link/link_settings.h"
#include "link/modbus_frame.h"
#include "platform/serial.h"
#include "platform/system.h"
#include "platform/tcp.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    unsigned char frame[8] = {};
    Ulvo_Comando_Lectura(1, 3, 0, 10, frame);
    Ulvo_CalculoCRC_2(frame, 6);
    IniText ini = Ini_New(0);
    Ini_Dispose(ini);
    const bool linked = !ResolveComDevice(1).empty() && !GetProjectDir().empty() && etiqueta[0].empty() &&
                        ProcessTCPEvents() >= 0 && Puerto >= 0;
    if (!CrcValid(frame, 8) || !linked) {
        std::fprintf(stderr, "widget-free library: a request built without the widget layer is wrong\n");
        return 1;
    }
    return 0;
}
