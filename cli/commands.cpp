#include "commands.h"

#include <QByteArray>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "blocks.h"
#include "check_command.h"
#include "config/config_file.h"
#include "device/device_identification.h"
#include "device/identity.h"
#include "device/scan.h"
#include "link/exchange.h"
#include "link/exchange_words.h"
#include "link/link_settings.h"
#include "platform/system.h"
#include "platform/whole_file.h"
#include "stop_signals.h"
#include "tool_link.h"

namespace {

// The addresses where nobody answered (each once), for the next step said after the command.
std::vector<int> g_silent;
void noteIfSilent(int address) {
    const ExchangeEnd end = LastExchangeEnd();
    if ((end == ExchangeEnd::NoReply || end == ExchangeEnd::TimedOut) &&
        std::find(g_silent.begin(), g_silent.end(), address) == g_silent.end())
        g_silent.push_back(address);
}

std::vector<int> addressesOf(const CliOptions& o, bool scan) {
    if (!o.addresses.empty()) return o.addresses;
    if (!scan) return {1};
    std::vector<int> all;
    for (int a = 1; a <= 247; ++a) all.push_back(a);
    return all;
}

int identify(const LinkTarget& link) {
    unsigned char block[kSerialNumberBytes] = {};
    if (RQ55_Ulvo_Leer_Num_Serie(link.port, link.address, block, link.spare, link.tcpPort, link.host) != 1) {
        Say(strfmt("address %d, serial number (registers 811-821): %s", link.address,
                   LastExchangeFailure().c_str()));
        return kFailed;
    }
    const Identity id = IdentityFromSerialBlock(block);
    Print(strfmt("address %d: model code %d, serial number %s, model text \"%s\", version text \"%s\"\n",
                 link.address, id.modelCode, id.serial.c_str(), id.modelText.c_str(), id.versionText.c_str()));
    return kOk;
}

// Over TCP, who answers the link, by Read Device Identification: serve's gateway says it is one; an
// analyser, or a plain converter in front of it, does not answer it, and nothing is said then. A
// second is all it waits.
void identifyLink(const CliOptions& o, const LinkTarget& link) {
    DeviceIdentification id;
    if (!AskDeviceIdentification(link, 1.0, id)) return;
    Print(strfmt("%s identifies itself as vendor \"%s\", product \"%s\", version \"%s\"\n", LinkName(o).c_str(),
                 id.vendor.c_str(), id.product.c_str(), id.version.c_str()));
}

// One read of the block at every address; false when any of them failed (said on stderr).
bool readRound(const std::string& block, LinkTarget link, const std::vector<int>& addresses,
               BlockPrinter& printer) {
    bool allRead = true;
    for (int address : addresses) {
        link.address = static_cast<unsigned char>(address);
        std::vector<NamedValue> values;
        std::string why;
        const std::string time = IsoTimeNow();
        if (!ReadNamedBlock(block, link, values, why)) {
            Say(strfmt("address %d, %s", address, why.c_str()));
            noteIfSilent(address);
            allRead = false;
            continue;
        }
        Print(printer.print(time, address, block, values)); // a logger's file holds every row once read
    }
    return allRead;
}

// --watch reads once a period until --count runs out or a stop signal comes (after the round under
// way). A logger outlives a gateway's reboot or a pulled cable: after a round that failed, the link
// is closed and the next round opens it again, so rows resume as soon as the analyser answers.
// Any failed round makes the exit status 1.
int watchBlocks(const CliOptions& o, LinkTarget& link, bool linkOpen, const std::vector<int>& addresses) {
    BlockPrinter printer(o.format);
    int status = linkOpen ? kOk : kFailed;
    for (long round = 0; o.count == 0 || round < o.count; ++round) {
        const double started = Timer();
        if (round > 0 && !linkOpen) linkOpen = OpenLink(o, link);
        if (!linkOpen || !readRound(o.arguments[0], link, addresses, printer)) {
            status = kFailed;
            if (linkOpen) Ulvo_Cerrar_Puerto(link.port);
            linkOpen = false;
        }
        const bool last = o.count != 0 && round + 1 >= o.count;
        if (last || WaitForStopSignal(o.watchSeconds - (Timer() - started))) break;
    }
    if (linkOpen) Ulvo_Cerrar_Puerto(link.port);
    return status;
}

int backup(const std::string& pattern, const LinkTarget& link) {
    const std::string path = FileNameFor(pattern, link.address);
    std::string why;
    if (SaveConfigurationFile(path, link, why) != SaveResult::Saved) {
        Say(strfmt("address %d, backup to %s: %s", link.address, path.c_str(), why.c_str()));
        return kFailed;
    }
    Print(strfmt("address %d: configuration saved to %s\n", link.address, path.c_str()));
    return kOk;
}

// The differing registers of the analyser against the file, one line each.
int compare(const ConfigBytes& file, const LinkTarget& link, const char* what, bool print) {
    ConfigBytes analyser{};
    int failed = 0;
    if (ReadConfiguration(link, analyser, &failed) != 1) {
        const ConfigBlock& b = kConfigBlocks[failed];
        Say(strfmt("address %d, %s, registers %d-%d: %s", link.address, what, b.start, b.start + b.count - 1,
                   LastExchangeFailure().c_str()));
        return kFailed;
    }
    const std::vector<int> registers = DifferingRegisters(file, analyser);
    for (int reg : registers) {
        int index = 0;
        while (ConfigRegisterOf(index) != reg) ++index;
        const int inFile = file[index] << 8 | file[index + 1];
        const int inAnalyser = analyser[index] << 8 | analyser[index + 1];
        if (print)
            Print(strfmt("address %d: register %d: file %d (0x%04X), analyser %d (0x%04X)\n", link.address,
                         reg, inFile, inFile, inAnalyser, inAnalyser));
    }
    return registers.empty() ? kOk : kDifferent;
}

// Over Modbus/TCP Security the gateway's door decides writes by the client's certificate.
int restore(const ConfigBytes& file, const LinkTarget& link, bool verify, bool tls) {
    int failed = 0;
    if (WriteConfiguration(link, file, 0, &failed) != 1) {
        const ConfigBlock& b = kConfigBlocks[failed];
        std::string refused = WritesRefusedSentence(true);
        if (tls && !refused.empty())
            refused = "the analyser, or the gateway in front of it, refuses writes: a Modbus/TCP Security door of "
                      "rq55ctl serve passes them only from a certificate whose role it maps to read-write";
        Say(strfmt("address %d, restore, registers %d-%d: %s%s%s", link.address, b.start, b.start + b.count - 1,
                   LastExchangeFailure().c_str(), refused.empty() ? "" : "; ", refused.c_str()));
        return kFailed;
    }
    Print(strfmt("address %d: configuration written\n", link.address));
    if (!verify) return kOk;
    const int result = compare(file, link, "verify", true);
    if (result == kOk) Print(strfmt("address %d: every register took\n", link.address));
    return result;
}

int scan(const CliOptions& o) {
    ScanPlan plan;
    plan.port = LinkPortOf(o);
    plan.host = o.host;
    plan.tcpPort = static_cast<unsigned short>(o.tcpPort);
    plan.addresses = addressesOf(o, true);
    plan.bauds = o.scanBauds.empty() ? std::vector<int>{o.baud} : o.scanBauds;
    plan.framings = o.scanFramings.empty() ? std::vector<int>{o.framing} : o.scanFramings;
    plan.timeoutSeconds = o.timeoutMs / 1000.0;
    if (!o.serialDevice.empty()) qputenv("RQ55_COM98", QByteArray(o.serialDevice.c_str()));
    AnnounceProtocol(o);
    int lastPercent = -10;
    const auto progress = [&](const ScanProgress& p) {
        const int percent = p.total ? 100 * p.done / p.total : 100;
        if (percent / 10 != lastPercent / 10) {
            Say(OverTcp(o) ? strfmt("scan %d%%: unit %d", percent, p.address)
                           : strfmt("scan %d%%: address %d at %d %s", percent, p.address, p.baud,
                                    FramingName(p.framing)));
            lastPercent = percent;
        }
        return true;
    };
    std::string error;
    const std::vector<ScanHit> hits = ScanForAnalysers(plan, progress, &error);
    if (!error.empty()) Say(error);
    for (const ScanHit& hit : hits) {
        std::string where =
            OverTcp(o) ? strfmt("unit %d", hit.address)
                       : strfmt("address %d, %d baud, %s", hit.address, hit.baud, FramingName(hit.framing));
        Print(strfmt("%s: model RQ%d, serial number %s%s\n", where.c_str(), hit.identity.modelCode,
                     hit.identity.serial.c_str(), hit.ignoresUnitId ? " (answers every unit id)" : ""));
    }
    if (hits.empty()) Say("no analyser found");
    return hits.empty() ? kFailed : kOk;
}

// A server that closes the connection as soon as it is sent RTU frames is most often a Modbus/TCP
// one on a port other than 502: said once, with the option that speaks to it.
int hintIfClosed(const CliOptions& o, int status) {
    if (status == kFailed && OverTcp(o) && o.protocol == Protocol::ByPort && o.tcpPort != 502 &&
        LastExchangeEnd() == ExchangeEnd::ConnectionClosed)
        Say("the server closed the connection: if it speaks Modbus/TCP on a port other than 502, add --modbus-tcp");
    return status;
}

int nextStep(const CliOptions& o, int status) {
    if (!g_silent.empty()) {
        std::string list;
        for (int a : g_silent) list += (list.empty() ? "" : ", ") + std::to_string(a);
        const std::string where = OverTcp(o) ? LinkName(o) : strfmt("%s at %d baud, %s", LinkName(o).c_str(), o.baud, FramingName(o.framing));
        Say("no analyser answered at address " + list + " on " + where + ": rq55ctl scan finds the addresses" +
            (OverTcp(o) ? "" : ", baud rates and framings") + " that answer");
    }
    return hintIfClosed(o, status);
}

} // namespace

// The file of one address: the pattern with each %a replaced by it (backup and report).
std::string FileNameFor(const std::string& pattern, int address) {
    std::string path;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 'a') {
            path += std::to_string(address);
            ++i;
        } else {
            path += pattern[i];
        }
    }
    return path;
}

int CheckBeforeOpening(const CliOptions& o) {
    if (o.command == "read" && !IsBlockName(o.arguments[0])) {
        Say("unknown block \"" + o.arguments[0] +
            "\": network, energy, maxmin, demand, inout, analog1..analog4, config or status");
        return kUsageError;
    }
    if ((o.command == "backup" || o.command == "report") && addressesOf(o, false).size() > 1 &&
        o.arguments[0].find("%a") == std::string::npos) {
        Say(o.command + " of several addresses: the file name must hold %a, replaced by each address");
        return kUsageError;
    }
    if (o.command == "backup" || o.command == "report")
        for (int address : addressesOf(o, false)) {
            const std::string path = FileNameFor(o.arguments[0], address);
            std::string why;
            if (!CanCreateFile(path, why)) {
                Say(path + ": the file cannot be created: " + why);
                return kUsageError;
            }
        }
    if (o.command == "restore" || o.command == "diff") {
        ConfigBytes bytes{};
        std::string why;
        if (!ReadConfigFile(o.arguments[0], bytes, why)) {
            Say(o.arguments[0] + ": " + why);
            return kUsageError;
        }
    }
    return kOk;
}

int RunCommand(const CliOptions& o, AddressCommand report) {
    if (o.command == "scan") return scan(o);
    ConfigBytes file{};
    std::string why;
    if (o.command == "restore" || o.command == "diff") ReadConfigFile(o.arguments[0], file, why);
    LinkTarget link;
    const bool linkOpen = OpenLink(o, link);
    if (o.command == "read" && o.watchSeconds > 0) return watchBlocks(o, link, linkOpen, addressesOf(o, false));
    if (!linkOpen) return kFailed;
    int status = kOk;
    if (o.command == "identify" && OverTcp(o)) {
        link.address = static_cast<unsigned char>(addressesOf(o, false).front());
        identifyLink(o, link);
    }
    if (o.command == "read") {
        BlockPrinter printer(o.format);
        status = readRound(o.arguments[0], link, addressesOf(o, false), printer) ? kOk : kFailed;
        Ulvo_Cerrar_Puerto(link.port);
        return nextStep(o, status);
    }
    for (int address : addressesOf(o, false)) {
        link.address = static_cast<unsigned char>(address);
        int result = kOk;
        if (o.command == "identify")
            result = identify(link);
        else if (o.command == "backup")
            result = backup(o.arguments[0], link);
        else if (o.command == "report" && report)
            result = report(o, link);
        else if (o.command == "restore")
            result = restore(file, link, o.verify, !o.tlsCert.empty());
        else if (o.command == "diff")
            result = compare(file, link, "diff", true);
        else if (o.command == "check")
            result = CheckWiringAt(o, link);
        if (result == kFailed) noteIfSilent(address);
        // A failure outweighs a difference.
        if (result == kFailed || (result == kDifferent && status == kOk)) status = result;
    }
    Ulvo_Cerrar_Puerto(link.port);
    return nextStep(o, status);
}

namespace {
std::string g_outputFault; // why the first of the output that did not arrive did not
} // namespace

void Print(const std::string& text) {
    errno = 0;
    if ((std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) && g_outputFault.empty()) {
        // Whoever read the output has gone (`| head`): nothing more can reach anyone, so the command
        // ends at once, quietly, with the status of output that did not all arrive.
        if (errno == EPIPE) std::_Exit(kFailed);
        g_outputFault = errno ? std::strerror(errno) : "it could not be written";
    }
}

int CheckedOutput(int status) {
    if (g_outputFault.empty() && std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
    Say("standard output: " + (g_outputFault.empty() ? std::string("what was printed did not all arrive") : g_outputFault));
    // A failure outweighs a difference found.
    return status == kOk || status == kDifferent ? kFailed : status;
}

void Say(const std::string& line) { std::fprintf(stderr, "rq55ctl: %s\n", line.c_str()); }
