// The analyser's register blocks, one operation each. Every operation takes the link identity
// (port, device address, spare text, TCP port, host), runs one exchange per block and returns
// 1 when every exchange succeeded, -1 at the first that did not. Reads run silently and fill the
// caller's record only on success; writes report errors and send the caller's bytes, already in
// wire order.
#pragma once

#include <cstdint>
#include <string>

// The link identity every register-map operation takes.
struct LinkTarget {
    int port;
    unsigned char address;
    std::string spare;
    unsigned short tcpPort;
    std::string host;
};

// Sizes of the records the reads fill (floats, or bytes for the two raw blocks).
constexpr int kNetworkParameterCount = 30;
constexpr int kEnergyCount = 11;
constexpr int kMaxMinCount = 54;
constexpr int kDemandCount = 12;
constexpr int kInOutCount = 18;
constexpr int kAnalogOutputCount = 11;
constexpr int kEquipmentConfigCount = 10;
// The exact reading of the equipment configuration: the ten values as the panel shows them (the
// address is register 800's low byte) and then registers 800 to 803 whole.
constexpr int kEquipmentConfigExactCount = 14;
constexpr int kSerialNumberBytes = 22;
constexpr int kModelVersionBytes = 16;

// Data sizes of the writes, in bytes.
constexpr int kInOutWriteBytes = 36;
constexpr int kAnalogOutputWriteBytes = 30;
constexpr int kEquipmentConfigWriteBytes = 10;
constexpr int kEquipmentConfig2WriteBytes = 12;
constexpr int kPasswordWriteBytes = 2;
constexpr int kEnergyResetWriteBytes = 2;
// The register a write of 1 to resets the energy counters.
constexpr int kEnergyResetRegister = 1000;
constexpr int kRelayCommandWriteBytes = 2;
constexpr int kModelVersionWriteBytes = 16;

// First register of analog output k (1 to 4).
constexpr int kAnalogOutputBase[4] = {230, 247, 264, 281};

int RQ55_Ulvo_Leer_Prametros_Red(int port, unsigned char address, float* record, const std::string& spare,
                                 unsigned short tcpPort, const std::string& host);
int RQ55_Ulvo_Leer_Energia(int port, unsigned char address, float* record, const std::string& spare,
                           unsigned short tcpPort, const std::string& host);
int RQ55_Ulvo_Leer_maxmin(int port, unsigned char address, float* record, const std::string& spare,
                          unsigned short tcpPort, const std::string& host);
int RQ55_Ulvo_Leer_demanda(int port, unsigned char address, float* record, const std::string& spare,
                           unsigned short tcpPort, const std::string& host);
int RQ55_Ulvo_Leer_In_Out(int port, unsigned char address, float* record, const std::string& spare,
                          unsigned short tcpPort, const std::string& host);
int RQ55_Ulvo_Escribir_In_Out(int port, unsigned char address, const unsigned char* data,
                              const std::string& spare, unsigned short tcpPort, const std::string& host);

int RQ55_Ulvo_Leer_Out_Anal_1(int port, unsigned char address, float* record, const std::string& spare,
                              unsigned short tcpPort, const std::string& host);
int RQ55_Ulvo_Leer_Out_Anal_2(int port, unsigned char address, float* record, const std::string& spare,
                              unsigned short tcpPort, const std::string& host);
int RQ55_Ulvo_Leer_Out_Anal_3(int port, unsigned char address, float* record, const std::string& spare,
                              unsigned short tcpPort, const std::string& host);
int RQ55_Ulvo_Leer_Out_Anal_4(int port, unsigned char address, float* record, const std::string& spare,
                              unsigned short tcpPort, const std::string& host);
int RQ55_Ulvo_Escribir_Out_Anal_1(int port, unsigned char address, const unsigned char* data,
                                  const std::string& spare, unsigned short tcpPort, const std::string& host);
int RQ55_Ulvo_Escribir_Out_Anal_2(int port, unsigned char address, const unsigned char* data,
                                  const std::string& spare, unsigned short tcpPort, const std::string& host);
int RQ55_Ulvo_Escribir_Out_Anal_3(int port, unsigned char address, const unsigned char* data,
                                  const std::string& spare, unsigned short tcpPort, const std::string& host);
int RQ55_Ulvo_Escribir_Out_Anal_4(int port, unsigned char address, const unsigned char* data,
                                  const std::string& spare, unsigned short tcpPort, const std::string& host);

int RQ55_Ulvo_Leer_Conf_Equipo(int port, unsigned char address, float* record, const std::string& spare,
                               unsigned short tcpPort, const std::string& host);
// The same one read, every value kept as the integer it is (a float rounds a wide value above
// 2^24), decoded as the equipment panel shows it: kEquipmentConfigExactCount values.
int RQ55_Ulvo_Leer_Conf_Equipo_Exacto(int port, unsigned char address, int32_t* record,
                                      const std::string& spare, unsigned short tcpPort,
                                      const std::string& host);
// Register 810 (bytes 8-9) first, then 800-803 (bytes 0-7).
int RQ55_Ulvo_Escribir_Conf_Equipo(int port, unsigned char address, const unsigned char* data,
                                   const std::string& spare, unsigned short tcpPort, const std::string& host);
int RQ55_Ulvo_Escribir_Conf_Equipo_2(int port, unsigned char address, const unsigned char* data,
                                     const std::string& spare, unsigned short tcpPort,
                                     const std::string& host);

int RQ55_Ulvo_Leer_Num_Serie(int port, unsigned char address, unsigned char* record, const std::string& spare,
                             unsigned short tcpPort, const std::string& host);
int RQ55_Ulvo_Escribir_Contrasena(int port, unsigned char address, const unsigned char* data,
                                  const std::string& spare, unsigned short tcpPort, const std::string& host);
// A relay's state command: register 206 (relay 1) or 216 (relay 2), one register.
int RQ55_Ulvo_Estado_Rele_1(int port, unsigned char address, const unsigned char* data,
                            const std::string& spare, unsigned short tcpPort, const std::string& host);
int RQ55_Ulvo_Estado_Rele_2(int port, unsigned char address, const unsigned char* data,
                            const std::string& spare, unsigned short tcpPort, const std::string& host);
int RQ55_Reset_Cont_Energias(int port, unsigned char address, const unsigned char* data,
                             const std::string& spare, unsigned short tcpPort, const std::string& host);
int RQ55_Ulvo_Leer_Modelo_Version(int port, unsigned char address, unsigned char* record,
                                  const std::string& spare, unsigned short tcpPort, const std::string& host);
// Read from registers 811-818, written to 8420-8427.
int RQ55_Ulvo_Escribir_Modelo_Version(int port, unsigned char address, const unsigned char* data,
                                      const std::string& spare, unsigned short tcpPort,
                                      const std::string& host);

// What the last write of several requests got through: the registers the analyser confirmed
// and those it refused or never received ("201-205, 207-210"); both empty after a write of one
// request, and `written` empty when the first request failed.
struct WriteProgress {
    std::string written, notWritten;
};
WriteProgress LastWriteProgress();
