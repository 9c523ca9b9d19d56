#include "device/named_blocks.h"

#include <cstdint>
#include <cstring>

#include "device/identity.h"
#include "link/exchange.h"
#include "link/exchange_words.h"
#include "platform/system.h"

namespace {

using FloatRead = int (*)(int, unsigned char, float*, const std::string&, unsigned short, const std::string&);

constexpr FloatRead kAnalogReads[4] = {RQ55_Ulvo_Leer_Out_Anal_1, RQ55_Ulvo_Leer_Out_Anal_2,
                                       RQ55_Ulvo_Leer_Out_Anal_3, RQ55_Ulvo_Leer_Out_Anal_4};

std::string failure(const char* what) { return std::string(what) + ": " + LastExchangeFailure(); }

bool readFloats(FloatRead read, const BlockInfo& info, int size, const char* what, const LinkTarget& link,
                int output, std::vector<NamedValue>& out, std::string& why) {
    std::vector<float> record(static_cast<size_t>(size));
    if (read(link.port, link.address, record.data(), link.spare, link.tcpPort, link.host) != 1) {
        why = failure(what);
        return false;
    }
    AddNamedValues(info, record.data(), out, output);
    return true;
}

// The blocks read as floats, by name: their read, the names and units of their values, how many
// there are, and the registers asked for.
struct FloatBlock {
    const char* name;
    FloatRead read;
    const BlockInfo& (*info)();
    int count;
    const char* what;
};
constexpr FloatBlock kFloatBlocks[] = {
    {"network", RQ55_Ulvo_Leer_Prametros_Red, NetworkValues, kNetworkParameterCount, "network (registers 6-65)"},
    {"energy", RQ55_Ulvo_Leer_Energia, EnergyValues, kEnergyCount, "energy (registers 66-87)"},
    {"maxmin", RQ55_Ulvo_Leer_maxmin, MaxMinValues, kMaxMinCount, "maxmin (registers 130-237)"},
    {"demand", RQ55_Ulvo_Leer_demanda, DemandValues, kDemandCount, "demand (registers 238-261)"},
    {"inout", RQ55_Ulvo_Leer_In_Out, InOutValues, kInOutCount, "inout (registers 200-220)"},
};

const FloatBlock* floatBlock(const std::string& name) {
    for (const FloatBlock& b : kFloatBlocks)
        if (name == b.name) return &b;
    return nullptr;
}

bool readFloatBlock(const std::string& name, const LinkTarget& link, std::vector<NamedValue>& out,
                    std::string& why) {
    const FloatBlock& b = *floatBlock(name);
    return readFloats(b.read, b.info(), b.count, b.what, link, 0, out, why);
}

bool readConfig(const LinkTarget& link, std::vector<NamedValue>& out, std::string& why) {
    int32_t record[kEquipmentConfigExactCount] = {};
    if (RQ55_Ulvo_Leer_Conf_Equipo_Exacto(link.port, link.address, record, link.spare, link.tcpPort,
                                          link.host) != 1) {
        why = failure("config (registers 800-810)");
        return false;
    }
    AddNamedValues(EquipmentConfigValues(), record, out);
    return true;
}

bool readIdentity(const LinkTarget& link, Identity& id, std::string& why) {
    unsigned char block[kSerialNumberBytes] = {};
    if (RQ55_Ulvo_Leer_Num_Serie(link.port, link.address, block, link.spare, link.tcpPort, link.host) != 1) {
        why = failure("serial number (registers 811-821)");
        return false;
    }
    id = IdentityFromSerialBlock(block);
    return true;
}

// Output n's values; on the status page each says which output it belongs to.
bool readAnalog(int n, const LinkTarget& link, bool ofStatus, std::vector<NamedValue>& out, std::string& why) {
    const std::string what =
        strfmt("analog%d (registers %d-%d)", n, kAnalogOutputBase[n - 1], kAnalogOutputBase[n - 1] + 16);
    return readFloats(kAnalogReads[n - 1], AnalogOutputValues(), kAnalogOutputCount, what.c_str(), link,
                      ofStatus ? n : 0, out, why);
}

} // namespace

bool IsBlockName(const std::string& name) {
    for (const char* b : {"analog1", "analog2", "analog3", "analog4", "config", "status"})
        if (name == b) return true;
    return floatBlock(name) != nullptr;
}

std::vector<const BlockInfo*> ValueTablesOf(const std::string& block) {
    if (const FloatBlock* b = floatBlock(block)) return {&b->info()};
    if (block.rfind("analog", 0) == 0 && IsBlockName(block)) return {&AnalogOutputValues()};
    if (block == "config") return {&EquipmentConfigValues()};
    if (block == "status") return {&InOutValues(), &EquipmentConfigValues(), &IdentityValues(), &AnalogOutputValues()};
    return {};
}

bool ReadNamedBlock(const std::string& block, const LinkTarget& link, std::vector<NamedValue>& out,
                    std::string& why) {
    out.clear();
    if (floatBlock(block)) return readFloatBlock(block, link, out, why);
    if (block.rfind("analog", 0) == 0) return readAnalog(block[6] - '0', link, false, out, why);
    if (block == "config") return readConfig(link, out, why);
    // The status page's reads, in its order: in/out, configuration, serial number, then the
    // analog outputs the model has.
    Identity id;
    if (!readFloatBlock("inout", link, out, why) || !readConfig(link, out, why) || !readIdentity(link, id, why))
        return false;
    const BlockInfo& identity = IdentityValues();
    out.push_back({FindValue(identity, "serial_number"), 0, 0, 0, id.serial});
    out.push_back({FindValue(identity, "model_code"), 0, static_cast<float>(id.modelCode), id.modelCode, ""});
    for (int n = 1; n <= AnalogOutputsOfModel(id.modelCode); ++n)
        if (!readAnalog(n, link, true, out, why)) return false;
    return true;
}

