// Serial ports addressed by COM number.
//
// COM n is resolved to a device: the environment variable RQ55_COM<n>, then the settings store
// (group "ComPorts", key "COM<n>"), then the system's own name (COMn on Windows, /dev/ttyS<n-1>
// elsewhere). Reads block until the requested count arrives or the time-out set with SetComTime
// passes. Results are counts (>= 0) or negative error codes that GetRS232ErrorString explains.
#pragma once

#include <functional>
#include <string>
#include <vector>

enum {
    kRS_UnknownSysError = -1,
    kRS_InvalidPortNum = -2,
    kRS_PortNotOpen = -3,
    kRS_CannotOpenPort = -4,   // the device does not exist or could not be opened
    kRS_PermissionDenied = -5, // the device exists but this user may not open it
    kRS_PortBusy = -6,         // another program holds the device
    kRS_InvalidParameter = -7, // baud rate, parity, data or stop bits refused
    kRS_WriteFailed = -8,
    kRS_ReadFailed = -9,
    kRS_DeviceGone = -10, // the device went away while open (a USB adapter pulled)
};

std::string ResolveComDevice(int port);

// A serial device the system has, and the COM number that resolves to it (0 when none does).
struct SerialDevice {
    std::string name;        // /dev/ttyUSB0, COM3
    std::string description; // "USB-Serial Controller", or empty
    int com = 0;
};
std::vector<SerialDevice> ListSerialDevices();

// parity: 0 none, 1 odd, 2 even. Returns 0 on success or a negative code.
int OpenComConfig(int port, const std::string& deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize);
int CloseCom(int port);
// Returns the number of bytes written (fewer on a time-out) or a negative code.
int ComWrt(int port, const unsigned char* buffer, int count);
// Returns the number of bytes read (fewer on a time-out, or when the wait is interrupted) or a
// negative code. A read that waits calls the wait hook about ten times a second.
int ComRd(int port, unsigned char* buffer, int count);
void SetSerialWaitHook(std::function<void()> hook);
// Empties the input: what Qt holds, what the system has received and its queue. The bytes that
// were waiting go to `discarded` when given.
int FlushInQ(int port, std::vector<unsigned char>* discarded = nullptr);
// Called once, from the event loop, when the device of an open port goes away while no read or
// write is under way (a USB adapter pulled between two exchanges).
void SetSerialLostHook(std::function<void(int port)> hook);
int FlushOutQ(int port);
int SetComTime(int port, double seconds);
// The text for an error code, naming the device and the reason of the last failure on it.
std::string GetRS232ErrorString(int errorCode);
// The same without the port's name: "cannot be opened: No such file or directory."
std::string RS232ErrorDetail(int errorCode);
