// Serial port names and errors. (Bytes over a serial port and a TCP connection are the exchange's
// tests, over every form of the link; the settings store is the language and main-panel tests'.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/serial.h"

namespace {

TEST(Serial, ComNumbersResolveThroughTheEnvironmentAndErrorsNameTheDevice) {
    setenv("RQ55_COM7", "/dev/pts/77", 1);
    EXPECT_EQ(ResolveComDevice(7), "/dev/pts/77");
    unsetenv("RQ55_COM7");
    EXPECT_EQ(ResolveComDevice(7), "/dev/ttyS6");

    setenv("RQ55_COM9", "/dev/rq55-no-such-device", 1);
    const int r = OpenComConfig(9, "", 19200, 0, 8, 1, 4096, 4096);
    unsetenv("RQ55_COM9");
    ASSERT_LT(r, 0);
    const std::string text = GetRS232ErrorString(r);
    EXPECT_NE(text.find("COM9"), std::string::npos) << text;
    EXPECT_NE(text.find("/dev/rq55-no-such-device"), std::string::npos) << text;
    EXPECT_EQ(ComWrt(9, reinterpret_cast<const unsigned char*>("x"), 1), kRS_PortNotOpen);
    EXPECT_EQ(OpenComConfig(0, "", 19200, 0, 8, 1, 4096, 4096), kRS_InvalidPortNum);
}

} // namespace
