// Serial port names and errors. (Bytes over a serial port and a TCP connection are the exchange's
// tests, over every form of the link; the settings store is the language and main-panel tests'.)
#include <gtest/gtest.h>

#include <QByteArray>
#include <cstdlib>
#include <string>

#include "platform/serial.h"

namespace {

TEST(Serial, ComNumbersResolveThroughTheEnvironmentAndErrorsNameTheDevice) {
    qputenv("RQ55_COM7", QByteArray("/dev/pts/77"));
    EXPECT_EQ(ResolveComDevice(7), "/dev/pts/77");
    qunsetenv("RQ55_COM7");
#ifdef _WIN32
    EXPECT_EQ(ResolveComDevice(7), "COM7"); // COM port N is the system's own COMN
#else
    EXPECT_EQ(ResolveComDevice(7), "/dev/ttyS6");
#endif

    qputenv("RQ55_COM9", QByteArray("/dev/rq55-no-such-device"));
    const int r = OpenComConfig(9, "", 19200, 0, 8, 1, 4096, 4096);
    qunsetenv("RQ55_COM9");
    ASSERT_LT(r, 0);
    const std::string text = GetRS232ErrorString(r);
    EXPECT_NE(text.find("COM9"), std::string::npos) << text;
    EXPECT_NE(text.find("/dev/rq55-no-such-device"), std::string::npos) << text;
    EXPECT_EQ(ComWrt(9, reinterpret_cast<const unsigned char*>("x"), 1), kRS_PortNotOpen);
    EXPECT_EQ(OpenComConfig(0, "", 19200, 0, 8, 1, 4096, 4096), kRS_InvalidPortNum);
}

} // namespace
