#include "link/PortToolTip.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

PortDetails Cp2102(const QString& serial, const QString& location) {
    PortDetails p;
    p.systemLocation = location;
    p.description = "CP2102 USB to UART Bridge Controller";
    p.manufacturer = "Silicon Labs";
    p.vendorId = 0x10C4;
    p.productId = 0xEA60;
    p.serialNumber = serial;
    return p;
}

TEST(PortToolTip, TwoAdaptersOfOneKindDifferInSerialNumberAndPath) {
    const QString a = PortToolTip(Cp2102("0001", "/dev/ttyUSB0"));
    const QString b = PortToolTip(Cp2102("7A3F", "/dev/ttyUSB1"));
    EXPECT_EQ(a,
              "CP2102 USB to UART Bridge Controller (Silicon Labs)\nUSB 10c4:ea60\nSerial number "
              "0001\n/dev/ttyUSB0");
    EXPECT_NE(a, b);
}

TEST(PortToolTip, BuiltInPortAndPartialInformation) {
    PortDetails builtIn;
    builtIn.systemLocation = "/dev/ttyS0";
    EXPECT_EQ(PortToolTip(builtIn), "Serial port\nNo serial number\n/dev/ttyS0");

    // A manufacturer already named in the description is not repeated; a missing id shows as such.
    PortDetails ch340;
    ch340.systemLocation = "/dev/ttyUSB2";
    ch340.description = "USB2.0-Ser! (QinHeng Electronics)";
    ch340.manufacturer = "QinHeng Electronics";
    ch340.vendorId = 0x1A86;
    EXPECT_EQ(PortToolTip(ch340),
              "USB2.0-Ser! (QinHeng Electronics)\nUSB 1a86:????\nNo serial number\n/dev/ttyUSB2");
}

}  // namespace
}  // namespace corvane
