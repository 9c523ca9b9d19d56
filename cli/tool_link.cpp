#include "tool_link.h"

#include <QByteArray>
#include <cstdlib>

#include "link/exchange.h"
#include "device/scan.h"
#include "link/link_settings.h"
#include "platform/serial.h"
#include "platform/system.h"
#include "platform/tcp.h"
#include "stop_signals.h"

namespace {

// " Serial ports found: /dev/ttyUSB0 (--com 1), ..." or that there is none.
std::string serialPortsFound() {
    std::string found;
    for (const SerialDevice& d : ListSerialDevices())
        found += (found.empty() ? "" : ", ") + d.name + (d.com > 0 ? " (--com " + std::to_string(d.com) + ")" : "");
    return found.empty() ? " No serial port was found on this computer." : " Serial ports found: " + found + ".";
}

constexpr int kSerialDevicePort = 98; // --serial DEVICE is opened as this COM port
constexpr int kModbusTcpForced = 100;
constexpr int kRtuOverTcpForced = 101;

// The desktop program closes every exchange with a pause that gives the analyser its rest before
// the next request. Here the rest (--pause) comes before a request that follows another, so the
// last exchange of a command does not keep the user waiting for nothing. A scan asks each address
// once and needs none.
double g_analyserRest = 0.15;
double g_lastExchangeEndTime = -1;

} // namespace

bool OverTcp(const CliOptions& o) { return !o.host.empty(); }

int LinkPortOf(const CliOptions& o) {
    if (OverTcp(o))
        return o.protocol == Protocol::ModbusTcp    ? kModbusTcpForced
               : o.protocol == Protocol::RtuOverTcp ? kRtuOverTcpForced
                                                    : kTcpLinkPort;
    return o.serialDevice.empty() ? o.comPort : kSerialDevicePort;
}

std::string LinkName(const CliOptions& o) {
    if (OverTcp(o)) return HostPortText({o.host, o.tcpPort});
    return o.serialDevice.empty() ? strfmt("COM %d", o.comPort) : o.serialDevice;
}

void AnnounceProtocol(const CliOptions& o) {
    if (!OverTcp(o)) return;
    const int port = LinkPortOf(o);
    const bool modbusTcp = port == kModbusTcpForced || (o.tcpPort == kModbusTcpPort && port != kRtuOverTcpForced);
    Say(LinkName(o) + ": " + (!o.tlsCert.empty() ? "Modbus/TCP Security" : modbusTcp ? "Modbus/TCP" : "RTU over TCP"));
}

bool OpenLink(const CliOptions& o, LinkTarget& link, const std::function<void(const std::string&)>& say) {
    link = {LinkPortOf(o), 1, "", static_cast<unsigned short>(OverTcp(o) ? o.tcpPort : 0), o.host};
    if (!o.serialDevice.empty()) qputenv("RQ55_COM98", QByteArray(o.serialDevice.c_str()));
    static bool announced = false; // once, not at every opening of a watch
    if (!announced) AnnounceProtocol(o);
    announced = true;
    const Framing f = FramingOf(o.framing);
    const int result =
        Ulvo_Abrir_Puerto(link.port, o.baud, f.dataBits, f.parity, f.stopBits, link.tcpPort, link.host);
    if (result < 0) {
        // A serial device is named as typed, a COM port with the device it stands for; one that
        // is not there comes with the serial ports that are.
        std::string words = OverTcp(o)                ? LinkName(o) + " cannot be opened: " + LastTCPConnectError()
                            : o.serialDevice.empty() ? GetRS232ErrorString(result)
                                                      : o.serialDevice + " " + RS232ErrorDetail(result);
        if (!OverTcp(o) && result == kRS_CannotOpenPort) words += serialPortsFound();
        say(words);
        return false;
    }
    return true;
}

void PrepareLink(const CliOptions& o) {
    g_exchangePause = 0;
    g_analyserRest = o.command == "scan" ? 0 : o.pauseMs / 1000.0; // each address asked once
    // --timeout shortens the reply wait of every exchange (the attempts stay as they are); serve
    // waits a second unless told otherwise: a meter that has not answered by then is down for
    // monitoring.
    const int timeoutMs = o.timeoutMs > 0 ? o.timeoutMs : o.command == "serve" ? kServeReplyWaitMs : 0;
    if (timeoutMs > 0 && o.command != "scan") {
        ExchangeLimits limits;
        limits.comReplySeconds = limits.tcpReplySeconds = timeoutMs / 1000.0;
        SetExchangeLimits(limits);
    }
    LinkReporter reporter;
    reporter.exchanging = [](bool underWay) {
        if (underWay && g_lastExchangeEndTime >= 0) Delay(g_analyserRest - (Timer() - g_lastExchangeEndTime));
        if (!underWay) g_lastExchangeEndTime = Timer();
    };
    // A closed connection or a vanished device is the reason the read under way gives; only a
    // connection that cannot be opened again after a time-out has more to say.
    reporter.lost = [](LinkLoss why) {
        if (why == LinkLoss::ReconnectFailed)
            Say("the connection closed after the time-out cannot be opened again: " + LastTCPConnectError());
    };
    // serve ends within moments of a stop signal, whatever the link is waiting for.
    if (o.command == "serve") reporter.stopRequested = [] { return WaitForStopSignal(0); };
    SetLinkReporter(std::move(reporter));
}

