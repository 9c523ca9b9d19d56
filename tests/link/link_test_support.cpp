#include "link_test_support.h"

#include <QByteArray>
#include <bit>
#include <cstdint>
#include <cstdlib>

#include "lang/label_table.h"
#include "link/error_popup.h"
#include "link/exchange.h"
#include "link/link_settings.h"
#include "platform/testing.h"
#include "platform/ui.h"

namespace linktest {

void ResetProgramState() {
    etiqueta.texts.assign(30, "-");
    etiqueta.texts[21] = "Error";
    etiqueta.texts[22] = "COM port error";
    etiqueta.texts[23] = "Error writing to the port";
    etiqueta.texts[24] = "The analyser does not answer";
    etiqueta.texts[25] = "CRC error in the reply";
    etiqueta.texts.resize(400, "-");
    const char* refused[] = {"Reply from another address or unit", "Reply with another function",
                             "Reply of the wrong length", "The reply does not confirm the write",
                             "Reply to another request", "Reply cut short"};
    for (int i = 0; i < 6; ++i) etiqueta.texts[static_cast<size_t>(394 + i)] = refused[i];
    if (!TrayIconInstalled())
        WT_InstallSysTrayIcon(kIdle, "RQ55", nullptr, &icono_comunicaciones_barra_tareas);
    WT_SetTrayIconAttr(icono_comunicaciones_barra_tareas, ATTR_TRAY_ICON_IMAGE, kIdle);
    ULVO_Visualiza_errores_comunicacion = 0;
    ULVO_Loggea_errores_comunicacion = 0;
    ClearTrayIconHistory();
    ClearRecordedPopups();
}

void PressOkOnErrorPopups() {
    SetPopupResponder([](const PopupRecord& record) {
        if (record.kind == "panel")
            PostDeferredCall([panel = record.panel] {
                int ok = 0;
                GetPanelAttribute(panel, ATTR_CLOSE_CTRL, ok);
                SimulateCommit(panel, ok);
            });
        return PopupAnswer{};
    });
}

FrameRecorder::FrameRecorder() {
    SetFrameTrace([this](double seconds, FrameKind kind, const unsigned char* bytes, int length) {
        frames.push_back({seconds, kind, Bytes(bytes, bytes + length)});
    });
}

FrameRecorder::~FrameRecorder() { SetFrameTrace({}); }

std::vector<Bytes> FrameRecorder::of(FrameKind kind) const {
    std::vector<Bytes> out;
    for (const Frame& f : frames)
        if (f.kind == kind) out.push_back(f.bytes);
    return out;
}

float FloatAt(const unsigned char* p) {
    const uint32_t bits = static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                          static_cast<uint32_t>(p[2]) << 8 | p[3];
    return std::bit_cast<float>(bits);
}

SimulatedLink::SimulatedLink(sim::Transport transport) {
    if (!sim.start({.transport = transport, .deviceAddress = 1, .modelCode = 59, .moving = false, .seed = 55},
                   &error_)) {
        if (error_.empty()) error_ = "the simulator did not start";
        return;
    }
    int opened = 0;
    if (transport == sim::Transport::Pty) {
        port = 5;
        qputenv("RQ55_COM5", QByteArray::fromStdString(sim.devicePath()));
        opened = Ulvo_Abrir_Puerto(port, 9600, 8, 2, 1, 0, ""); // even parity, which a pseudo-terminal does not take
    } else {
        port = transport == sim::Transport::ModbusTcp ? 100 : 99;
        tcpPort = sim.tcpPort();
        host = "127.0.0.1";
        opened = Ulvo_Abrir_Puerto(port, 0, 0, 0, 0, tcpPort, host);
    }
    if (opened < 0) error_ = "the link did not open: " + std::to_string(opened);
}

SimulatedLink::~SimulatedLink() {
    if (port != 0) Ulvo_Cerrar_Puerto(port);
    sim.stop();
}

} // namespace linktest
