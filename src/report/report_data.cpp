#include "report/report_data.h"

#include "device/named_blocks.h"
#include "link/exchange_words.h"
#include "platform/system.h"

bool ReadReport(const LinkTarget& link, const ReportProgress& progress, ReportData& data) {
    data = ReportData{};
    data.address = link.address;
    // The serial-number block says which model it is, and so which analog outputs there are. An
    // analyser that does not give even that has nothing to report.
    unsigned char serial[kSerialNumberBytes] = {};
    data.identified = RQ55_Ulvo_Leer_Num_Serie(link.port, link.address, serial, link.spare, link.tcpPort,
                                               link.host) == 1;
    if (!data.identified) {
        data.identityFailure = FailureSentence(TimeStr());
        return true;
    }
    data.identity = IdentityFromSerialBlock(serial);

    std::vector<std::string> names = {"config", "inout"};
    for (int n = 1; n <= AnalogOutputsOfModel(data.identity.modelCode); ++n) names.push_back(strfmt("analog%d", n));
    for (const char* name : {"network", "energy", "maxmin", "demand"}) names.push_back(name);
    const int total = static_cast<int>(names.size());
    for (const std::string& name : names) {
        if (progress && !progress(name, static_cast<int>(data.blocks.size()), total)) return false;
        ReportBlock& block = data.blocks.emplace_back();
        block.name = name;
        std::string why;
        block.read = ReadNamedBlock(name, link, block.values, why);
        block.time = TimeStr();
        if (!block.read) block.failure = FailureSentence(block.time);
    }
    if (progress) progress("", total, total);
    return true;
}
