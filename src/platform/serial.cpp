#include "platform/serial.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QSettings>
#include <cstdlib>
#include <map>
#include <memory>

#include "platform/system.h"

namespace {

struct OpenPort {
    std::unique_ptr<QSerialPort> port;
    std::string device;
    int timeoutMs = 5000;
};

std::map<int, OpenPort> g_ports;
std::function<void()> g_waitHook;
std::function<void(int)> g_lostHook;
constexpr int kWaitSliceMs = 100;

// The reason behind the last error code, so that the message can name the device.
struct LastError {
    int code = 0;
    int port = 0;
    std::string device;
    std::string reason;
};
LastError g_lastError;

int fail(int code, int port, const std::string& device, const std::string& reason) {
    g_lastError = {code, port, device, reason};
    return code;
}

OpenPort* findPort(int port) {
    auto it = g_ports.find(port);
    return it == g_ports.end() ? nullptr : &it->second;
}

bool isPseudoTerminal(const std::string& device) {
    const QString real = QFileInfo(QString::fromStdString(device)).canonicalFilePath();
    return real.startsWith("/dev/pts/") || real.startsWith("/dev/pty");
}

} // namespace

std::string ResolveComDevice(int port) {
    const std::string var = "RQ55_COM" + std::to_string(port);
    if (const char* env = std::getenv(var.c_str()); env && *env) return env;
    std::string stored;
    if (RegReadString(REGKEY_HKCU, "ComPorts", "COM" + std::to_string(port), stored) == 0 && !stored.empty())
        return stored;
#ifdef Q_OS_WIN
    return "COM" + std::to_string(port);
#else
    return "/dev/ttyS" + std::to_string(port - 1);
#endif
}

std::vector<SerialDevice> ListSerialDevices() {
    constexpr int kLastCom = 98;
    std::vector<SerialDevice> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
#ifdef _WIN32
        // Windows' own name (COM3), not the device path behind it (\\.\COM3).
        SerialDevice d{info.portName().toStdString(), info.description().toStdString(), 0};
#else
        SerialDevice d{info.systemLocation().toStdString(), info.description().toStdString(), 0};
#endif
        const QString real = QFileInfo(info.systemLocation()).canonicalFilePath();
        for (int com = 1; com <= kLastCom && d.com == 0; ++com) {
            const QString resolved = QString::fromStdString(ResolveComDevice(com));
            if (resolved == info.systemLocation() || resolved == info.portName() ||
                (!real.isEmpty() && QFileInfo(resolved).canonicalFilePath() == real))
                d.com = com;
        }
        devices.push_back(std::move(d));
    }
    return devices;
}

int OpenComConfig(int port, const std::string& deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int /*outputQueueSize*/) {
    if (port < 1 || port > 255) return fail(kRS_InvalidPortNum, port, "", "");
    CloseCom(port);
    const std::string device = deviceName.empty() ? ResolveComDevice(port) : deviceName;

    auto serial = std::make_unique<QSerialPort>();
    serial->setPortName(QString::fromStdString(device));
    if (!serial->open(QIODevice::ReadWrite)) {
        const std::string reason = serial->errorString().toStdString();
        switch (serial->error()) {
        case QSerialPort::DeviceNotFoundError: return fail(kRS_CannotOpenPort, port, device, reason);
        case QSerialPort::PermissionError:
            if (serial->errorString().contains("lock", Qt::CaseInsensitive))
                return fail(kRS_PortBusy, port, device, reason);
            return fail(kRS_PermissionDenied, port, device, reason);
        default: return fail(kRS_CannotOpenPort, port, device, reason);
        }
    }

    const QSerialPort::Parity parities[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                            QSerialPort::EvenParity, QSerialPort::MarkParity,
                                            QSerialPort::SpaceParity};
    const bool framingOk =
        parity >= 0 && parity <= 4 && dataBits >= 5 && dataBits <= 8 && (stopBits == 1 || stopBits == 2);
    if (!framingOk || !serial->setBaudRate(static_cast<qint32>(baudRate)) ||
        !serial->setDataBits(static_cast<QSerialPort::DataBits>(dataBits)) ||
        !serial->setStopBits(stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop)) {
        const std::string reason = serial->errorString().toStdString();
        return fail(kRS_InvalidParameter, port, device, framingOk ? reason : "unsupported frame format");
    }
    // A pseudo-terminal cannot take a parity setting, yet bytes flow; only a real port fails on it.
    if (!serial->setParity(parities[parity]) && !isPseudoTerminal(device))
        return fail(kRS_InvalidParameter, port, device, serial->errorString().toStdString());
    serial->clearError();
    serial->setFlowControl(QSerialPort::NoFlowControl);
    serial->setReadBufferSize(inputQueueSize > 0 ? inputQueueSize : 4096);
    serial->clear();
    // Qt notices a device that went away when it next looks at the line, idle too: a USB adapter
    // pulled is a resource error, a pseudo-terminal whose other side closed a read error that Qt
    // raises again at every turn of the event loop. Either way the port is closed and the hook
    // told, from the event loop rather than from inside the port's own signal.
    QObject::connect(serial.get(), &QSerialPort::errorOccurred, [port, s = serial.get()](QSerialPort::SerialPortError e) {
        if ((e != QSerialPort::ResourceError && e != QSerialPort::ReadError) || !QCoreApplication::instance())
            return;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [port, s] {
                const OpenPort* p = findPort(port);
                if (!p || p->port.get() != s || !s->isOpen()) return;
                s->close();
                if (g_lostHook) g_lostHook(port);
            },
            Qt::QueuedConnection);
    });
    g_ports[port] = OpenPort{std::move(serial), device, 5000};
    return 0;
}

int CloseCom(int port) {
    auto it = g_ports.find(port);
    if (it == g_ports.end()) return kRS_PortNotOpen;
    it->second.port->close();
    g_ports.erase(it);
    return 0;
}

int ComWrt(int port, const unsigned char* buffer, int count) {
    OpenPort* p = findPort(port);
    if (!p) return fail(kRS_PortNotOpen, port, "", "");
    if (count <= 0) return 0;
    const qint64 queued = p->port->write(reinterpret_cast<const char*>(buffer), count);
    if (queued < 0) {
        const int code = p->port->error() == QSerialPort::ResourceError ? kRS_DeviceGone : kRS_WriteFailed;
        return fail(code, port, p->device, p->port->errorString().toStdString());
    }
    QDeadlineTimer deadline(p->timeoutMs);
    while (p->port->bytesToWrite() > 0) {
        if (!p->port->waitForBytesWritten(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0))))
            break;
    }
    if (p->port->error() == QSerialPort::ResourceError)
        return fail(kRS_DeviceGone, port, p->device, p->port->errorString().toStdString());
    p->port->clearError();
    return static_cast<int>(queued - p->port->bytesToWrite());
}

int ComRd(int port, unsigned char* buffer, int count) {
    OpenPort* p = findPort(port);
    if (!p) return fail(kRS_PortNotOpen, port, "", "");
    int got = 0;
    QDeadlineTimer deadline(p->timeoutMs);
    while (got < count) {
        const qint64 n = p->port->read(reinterpret_cast<char*>(buffer) + got, count - got);
        if (n < 0) return fail(kRS_ReadFailed, port, p->device, p->port->errorString().toStdString());
        got += static_cast<int>(n);
        if (got >= count) break;
        const qint64 remaining = deadline.remainingTime();
        if (remaining <= 0) break;
        if (WaitInterrupted()) break;
        const int slice = static_cast<int>(std::min<qint64>(remaining, kWaitSliceMs));
        if (!p->port->waitForReadyRead(slice)) {
            if (p->port->error() == QSerialPort::ResourceError)
                return fail(kRS_DeviceGone, port, p->device, p->port->errorString().toStdString());
            const bool timedOut = p->port->error() == QSerialPort::TimeoutError;
            p->port->clearError();
            // A device that went away reports at once; do not spin until the deadline.
            if (!timedOut && p->port->bytesAvailable() == 0) break;
            if (g_waitHook) g_waitHook();
        }
    }
    return got;
}

void SetSerialWaitHook(std::function<void()> hook) { g_waitHook = std::move(hook); }

int FlushInQ(int port, std::vector<unsigned char>* discarded) {
    OpenPort* p = findPort(port);
    if (!p) return kRS_PortNotOpen;
    // What the system holds is read rather than only dropped, so that it can be shown.
    p->port->waitForReadyRead(0);
    const QByteArray bytes = p->port->readAll();
    if (discarded) discarded->insert(discarded->end(), bytes.begin(), bytes.end());
    p->port->clear(QSerialPort::Input);
    p->port->clearError();
    return 0;
}

void SetSerialLostHook(std::function<void(int port)> hook) { g_lostHook = std::move(hook); }

int FlushOutQ(int port) {
    OpenPort* p = findPort(port);
    if (!p) return kRS_PortNotOpen;
    p->port->clear(QSerialPort::Output);
    return 0;
}

int SetComTime(int port, double seconds) {
    OpenPort* p = findPort(port);
    if (!p) return kRS_PortNotOpen;
    p->timeoutMs = static_cast<int>(seconds * 1000.0 + 0.5);
    return 0;
}

std::string RS232ErrorDetail(int errorCode) {
    const bool known = g_lastError.code == errorCode;
    const std::string why = known && !g_lastError.reason.empty() ? ": " + g_lastError.reason : "";
    switch (errorCode) {
    case kRS_InvalidPortNum: return "is not a valid port number; use 1 to 98, or 99 for a TCP link.";
    case kRS_PortNotOpen: return "is not open.";
    case kRS_CannotOpenPort: return "cannot be opened" + why + ".";
    case kRS_PermissionDenied:
#ifdef _WIN32
        // Windows refuses a port another program holds open with "access denied".
        return "cannot be opened: access denied" + why + ".\nClose the program that holds it, then try again.";
#else
        return "cannot be opened: permission denied.\n"
               "Give your user access to serial ports (on Debian: sudo usermod -aG dialout $USER),\n"
               "then log out and in again.";
#endif
    case kRS_PortBusy: return "is in use by another program" + why + ".";
    case kRS_InvalidParameter: return "refused the port settings" + why + ".";
    case kRS_WriteFailed: return "failed to write" + why + ".";
    case kRS_ReadFailed: return "failed to read" + why + ".";
    case kRS_DeviceGone: return "went away" + why + ".";
    default: return "failed with error " + std::to_string(errorCode) + why + ".";
    }
}

std::string GetRS232ErrorString(int errorCode) {
    const bool known = g_lastError.code == errorCode;
    const std::string com = known ? "COM" + std::to_string(g_lastError.port) : "The serial port";
    const std::string dev = known && !g_lastError.device.empty() ? " (" + g_lastError.device + ")" : "";
    return com + dev + " " + RS232ErrorDetail(errorCode);
}
