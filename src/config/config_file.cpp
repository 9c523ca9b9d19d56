#include "config/config_file.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>

#include "link/exchange.h"
#include "link/exchange_words.h"
#include "link/modbus_frame.h"
#include "platform/system.h"
#include "platform/whole_file.h"

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// What may stand after the last number: a blank, then a line end, each optional.
bool isFileEnd(const std::string& text, size_t at) {
    if (at < text.size() && text[at] == ' ') ++at;
    if (at < text.size() && text[at] == '\r') ++at;
    if (at < text.size() && text[at] == '\n') ++at;
    return at == text.size();
}

std::string shown(const std::string& text, size_t from) {
    size_t end = from;
    while (end < text.size() && end - from < 12 && text[end] != ' ' && text[end] != '\n' && text[end] != '\r')
        ++end;
    std::string piece = text.substr(from, end - from);
    for (char& c : piece)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
    return piece;
}

} // namespace

std::string ConfigBlockRegisters(int first, int end) {
    std::string out;
    for (int b = first; b < end; ++b) {
        const ConfigBlock& block = kConfigBlocks[b];
        out += (out.empty() ? "" : ", ") + std::to_string(block.start) + "-" +
               std::to_string(block.start + block.count - 1);
    }
    return out;
}

int ConfigRegisterOf(int index) {
    for (const ConfigBlock& block : kConfigBlocks)
        if (index >= block.offset && index < block.offset + 2 * block.count)
            return block.start + (index - block.offset) / 2;
    return -1;
}

std::string FormatConfigFile(const ConfigBytes& bytes) {
    std::string text;
    text.reserve(4 * kConfigFileNumbers);
    for (unsigned char byte : bytes) text += strfmt("%d ", byte);
    return text;
}

bool ParseConfigFile(const std::string& text, ConfigBytes& bytes, std::string& why) {
    ConfigBytes parsed{};
    size_t at = 0;
    int count = 0;
    while (count < kConfigFileNumbers) {
        const int number = count + 1;
        if (at >= text.size() || !isDigit(text[at])) {
            if (count > 0 && isFileEnd(text, at))
                why = strfmt("the file holds %d numbers, not %d", count, kConfigFileNumbers);
            else if (text[at] == '-')
                why = strfmt("number %d is negative: \"%s\"", number, shown(text, at).c_str());
            else if (text[at] == ' ')
                why = strfmt("two blanks before number %d", number);
            else if (count == 0 && isFileEnd(text, at))
                why = "the file holds no numbers";
            else
                why = strfmt("number %d is not a number: \"%s\"", number, shown(text, at).c_str());
            return false;
        }
        const size_t from = at;
        int value = 0;
        for (; at < text.size() && isDigit(text[at]); ++at)
            if (value <= 255) value = value * 10 + (text[at] - '0'); // stays small however many digits
        if (at < text.size() && text[at] != ' ' && text[at] != '\r' && text[at] != '\n') {
            why = strfmt("number %d is not a number: \"%s\"", number, shown(text, from).c_str());
            return false;
        }
        if (value > 255) {
            why = strfmt("number %d is %s, over 255", number, shown(text, from).c_str());
            return false;
        }
        parsed[static_cast<size_t>(count++)] = static_cast<unsigned char>(value);
        if (count == kConfigFileNumbers) break;
        if (at < text.size() && text[at] == ' ') {
            ++at;
        } else {
            why = isFileEnd(text, at) ? strfmt("the file holds %d numbers, not %d", count, kConfigFileNumbers)
                                      : strfmt("a line break after number %d", count);
            return false;
        }
    }
    if (!isFileEnd(text, at)) {
        const bool moreNumbers = text[at] == ' ' && at + 1 < text.size() && isDigit(text[at + 1]);
        why = moreNumbers
                  ? strfmt("the file holds more than %d numbers", kConfigFileNumbers)
                  : strfmt("text after number %d: \"%s\"", kConfigFileNumbers, shown(text, at + 1).c_str());
        return false;
    }
    bytes = parsed;
    return true;
}

bool ReadConfigFile(const std::string& path, ConfigBytes& bytes, std::string& why) {
    const QString name = QString::fromStdString(path);
    const QFileInfo info(name);
    if (info.isDir()) {
        why = "it is a folder, not a file";
        return false;
    }
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        why = "it cannot be opened: " + file.errorString().toStdString();
        return false;
    }
    // One byte more than allowed tells a file that is too long without reading all of it.
    const QByteArray content = file.read(kConfigFileMaxBytes);
    if (file.error() != QFileDevice::NoError) {
        why = "it cannot be read: " + file.errorString().toStdString();
        return false;
    }
    if (content.size() >= kConfigFileMaxBytes) {
        why = strfmt("it is %d bytes or longer; a configuration file is shorter", kConfigFileMaxBytes);
        return false;
    }
    return ParseConfigFile(content.toStdString(), bytes, why);
}

int ReadConfiguration(const LinkTarget& link, ConfigBytes& bytes, int* failedBlock) {
    ConfigBytes read{};
    int index = 0;
    for (const ConfigBlock& block : kConfigBlocks) {
        unsigned char request[kRequestBufferSize] = {};
        unsigned char reply[kReplyBufferSize] = {};
        const int dataBytes = 2 * block.count;
        Ulvo_Comando_Lectura(link.address, 3, block.start, block.count, request);
        const int status = Ulvo_Transmitir_Modbus(link.port, request, 6, reply, dataBytes, 0, link.spare,
                                                  link.tcpPort, link.host);
        if (status != kExchangeOk || LastReplyDataBytes() < dataBytes) {
            if (failedBlock) *failedBlock = index;
            return -1;
        }
        std::memcpy(read.data() + block.offset, reply + 3, static_cast<size_t>(dataBytes));
        ++index;
    }
    bytes = read;
    return 1;
}

int WriteConfiguration(const LinkTarget& link, const ConfigBytes& bytes, int report, int* failedBlock) {
    int index = 0;
    for (const ConfigBlock& block : kConfigBlocks) {
        unsigned char request[kRequestBufferSize] = {};
        unsigned char reply[kReplyBufferSize] = {};
        int length = 2 * block.count;
        Ulvo_Comando_16(link.address, block.start, block.count, bytes.data() + block.offset, request,
                        &length);
        if (Ulvo_Transmitir_Modbus(link.port, request, length, reply, 8, report, link.spare, link.tcpPort,
                                   link.host) != kExchangeOk) {
            if (failedBlock) *failedBlock = index;
            return -1;
        }
        ++index;
    }
    return 1;
}

SaveResult SaveConfigurationFile(const std::string& path, const LinkTarget& link, std::string& why) {
    if (!CanCreateFile(path, why)) {
        why = "the file cannot be created: " + why;
        return SaveResult::CannotCreate;
    }
    ConfigBytes bytes{};
    int failed = 0;
    if (ReadConfiguration(link, bytes, &failed) != 1) {
        const ConfigBlock& block = kConfigBlocks[failed];
        why = strfmt("registers %d-%d: %s", block.start, block.start + block.count - 1,
                     LastExchangeFailure().c_str());
        return SaveResult::ReadFailed;
    }
    if (!WriteWholeFile(path, FormatConfigFile(bytes), why)) {
        why = "the file cannot be written: " + why;
        return SaveResult::CannotWrite;
    }
    return SaveResult::Saved;
}

std::vector<int> DifferingRegisters(const ConfigBytes& a, const ConfigBytes& b) {
    std::vector<int> registers;
    for (int i = 0; i < kConfigFileNumbers; i += 2)
        if (a[static_cast<size_t>(i)] != b[static_cast<size_t>(i)] ||
            a[static_cast<size_t>(i) + 1] != b[static_cast<size_t>(i) + 1])
            registers.push_back(ConfigRegisterOf(i));
    return registers;
}
