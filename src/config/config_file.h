// The analyser's output configuration as a file: 170 data bytes of nine register blocks (the
// in/out settings, the four analog outputs, registers 804-810), written as decimal numbers, each
// followed by one blank. Files made by every earlier version of the program load, and files made
// here load there.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "device/register_map.h"

constexpr int kConfigFileNumbers = 170;
// A configuration file is shorter than this; a saved one is at most 680 bytes.
constexpr int kConfigFileMaxBytes = 1000;

using ConfigBytes = std::array<unsigned char, kConfigFileNumbers>;

// One block of the file: its registers and where its bytes start among the 170.
struct ConfigBlock {
    unsigned short start;
    unsigned char count;
    int offset;
};
constexpr ConfigBlock kConfigBlocks[] = {{201, 5, 0},   {207, 4, 10},   {211, 5, 18},
                                         {217, 4, 28},  {230, 15, 36},  {247, 15, 66},
                                         {264, 15, 96}, {281, 15, 126}, {804, 7, 156}};

// The registers of blocks [first, end) of the file: "201-205, 207-210".
std::string ConfigBlockRegisters(int first, int end);

// The register whose high (even index) or low byte is number `index` of the file.
int ConfigRegisterOf(int index);

// The file's text: "%d " for each byte.
std::string FormatConfigFile(const ConfigBytes& bytes);

// Exactly 170 decimal numbers 0-255 separated by single blanks; a final blank, CR or LF may
// follow the last. Anything else is refused with the reason in `why` ("number 12 is 300, over
// 255"), and `bytes` is left as it was.
bool ParseConfigFile(const std::string& text, ConfigBytes& bytes, std::string& why);

// Reads and checks a whole file; a file that cannot be opened or read, and one of 1000 bytes or
// more, is refused like a bad text.
bool ReadConfigFile(const std::string& path, ConfigBytes& bytes, std::string& why);


// The nine reads, silently, in file order. 1 when all succeeded; -1 at the first that did not
// (its index in `failedBlock`), `bytes` then unchanged.
int ReadConfiguration(const LinkTarget& link, ConfigBytes& bytes, int* failedBlock = nullptr);

// The nine function-16 writes in file order, each with `report`, stopping at the first that
// fails. 1 when all succeeded; -1 with the failing block's index.
int WriteConfiguration(const LinkTarget& link, const ConfigBytes& bytes, int report,
                       int* failedBlock = nullptr);

enum class SaveResult { Saved, CannotCreate, ReadFailed, CannotWrite };

// Reads the nine blocks and writes them to `path` only when all nine arrived, whole or not at all
// (platform/whole_file.h): a failed save leaves an existing file as it was and nothing partial
// behind. A file that cannot be created is found before anything is read. `why` says what went
// wrong.
SaveResult SaveConfigurationFile(const std::string& path, const LinkTarget& link, std::string& why);

// The registers (in file order) whose bytes differ between two configurations.
std::vector<int> DifferingRegisters(const ConfigBytes& a, const ConfigBytes& b);
