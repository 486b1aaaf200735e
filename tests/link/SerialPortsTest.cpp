// Port names, their order and numbers, and the enumeration's record of each port.
#include "link/SerialPorts.h"
#include "tests/support/FakePortSource.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace corvane {
namespace {

TEST(ParsePortNumber, TakesOneToThreeDigitsUpTo255) {
    EXPECT_EQ(ParsePortNumber("1"), 1);
    EXPECT_EQ(ParsePortNumber("12"), 12);
    EXPECT_EQ(ParsePortNumber("255"), 255);
    EXPECT_EQ(ParsePortNumber("007"), 7);
}

TEST(ParsePortNumber, AnythingElseIsNoPort) {
    // 300 would otherwise wrap round to 44 and open another port.
    EXPECT_EQ(ParsePortNumber("300"), 0);
    EXPECT_EQ(ParsePortNumber("256"), 0);
    EXPECT_EQ(ParsePortNumber("1a"), 0);
    EXPECT_EQ(ParsePortNumber("12345"), 0);
    EXPECT_EQ(ParsePortNumber("1234"), 0);
    EXPECT_EQ(ParsePortNumber(""), 0);
    EXPECT_EQ(ParsePortNumber("0"), 0);
    EXPECT_EQ(ParsePortNumber(" 3"), 0);
}

TEST(PortNameLess, OrdersByPrefixThenByNumber) {
    std::vector<QString> names = {"ttyUSB10", "ttyS1",  "ttyUSB2", "ttyACM0", "ttyS0",
                                  "ttyUSB0",  "pts/12", "pts/3",   "ttyS10",  "ttyAMA"};
    std::sort(names.begin(), names.end(), PortNameLess);
    EXPECT_EQ(names, (std::vector<QString>{"pts/3", "pts/12", "ttyACM0", "ttyAMA", "ttyS0", "ttyS1",
                                           "ttyS10", "ttyUSB0", "ttyUSB2", "ttyUSB10"}));
    // The Windows names follow their numbers.
    EXPECT_TRUE(PortNameLess("COM3", "COM12"));
    EXPECT_FALSE(PortNameLess("COM12", "COM3"));
    EXPECT_FALSE(PortNameLess("COM3", "COM3"));
}

TEST(PortNameOf, IsTheTextInTheClosingParentheses) {
    SSerInfo info;
    info.friendlyName = "USB Serial Port (COM10)";
    EXPECT_EQ(PortNameOf(info), "COM10");
    info.friendlyName = "Prolific (rev 3) (ttyUSB1)";
    EXPECT_EQ(PortNameOf(info), "ttyUSB1");
    info.friendlyName = "ttyS0";
    EXPECT_EQ(PortNameOf(info), "ttyS0");
}

TEST(EnumerateSerialPorts, FillsTheRecordsAndLeavesHeldPortsOut) {
    test::FakePortSource source;
    auto& usb = source.Add("ttyUSB0");
    usb.description = {"FT232R USB UART", true};
    source.Add("ttyS0");
    source.Add("ttyUSB1").held = true;
    std::vector<SSerInfo> ports(3);  // emptied first
    EnumerateSerialPorts(ports, source);
    ASSERT_EQ(ports.size(), 2u);

    EXPECT_EQ(ports[0].devicePath, "/dev/ttyUSB0");
    EXPECT_EQ(ports[0].portName, "ttyUSB0");
    EXPECT_EQ(ports[0].friendlyName, "FT232R USB UART (ttyUSB0)");
    EXPECT_EQ(ports[0].description, "FT232R USB UART");
    EXPECT_TRUE(ports[0].isUsb);
    EXPECT_EQ(PortNameOf(ports[0]), "ttyUSB0");

    // Without a description the port's name stands in for both.
    EXPECT_EQ(ports[1].friendlyName, "ttyS0");
    EXPECT_EQ(ports[1].description, "ttyS0");
    EXPECT_FALSE(ports[1].isUsb);
}

TEST(EnumerateSerialPorts, AnErrorOfTheSourceReachesTheCaller) {
    test::FakePortSource source;
    source.failing = true;
    std::vector<SSerInfo> ports;
    EXPECT_THROW(EnumerateSerialPorts(ports, source), PortEnumerationError);
}

TEST(TargetForEntry, OpensTheEnumeratedPathOfTheSelectedName) {
    test::FakePortSource source;
    source.Add("ttyS0");
    source.Add("ttyUSB0");
    source.Add("pts/4");
    std::vector<SSerInfo> ports;
    EnumerateSerialPorts(ports, source);
    const std::vector<QString> listed = {"pts/4", "ttyS0", "ttyUSB0"};

    // Device names have no number of their own: their place in the list stands in.
    PortTarget t = TargetForEntry("ttyUSB0", ports, listed);
    EXPECT_EQ(t.device, "/dev/ttyUSB0");
    EXPECT_EQ(t.number, 3u);
    t = TargetForEntry("pts/4", ports, listed);
    EXPECT_EQ(t.device, "/dev/pts/4");
    EXPECT_EQ(t.number, 1u);

    // Nothing selected, or a name the enumeration did not find: nothing to open.
    EXPECT_TRUE(TargetForEntry("", ports, listed).device.isEmpty());
    EXPECT_EQ(TargetForEntry("", ports, listed).number, 0u);
    EXPECT_TRUE(TargetForEntry("ttyACM0", ports, listed).device.isEmpty());
}

TEST(TargetForEntry, AComEntryIsNumberedByItsDigits) {
    std::vector<SSerInfo> ports(2);
    ports[0].friendlyName = "USB Serial Port (COM12)";
    ports[0].devicePath = "\\\\.\\COM12";
    ports[1].friendlyName = "Communications Port (COM300)";
    ports[1].devicePath = "\\\\.\\COM300";
    const std::vector<QString> listed = {"COM12", "COM300"};
    const PortTarget t = TargetForEntry("COM12", ports, listed);
    EXPECT_EQ(t.number, 12u);
    EXPECT_EQ(t.device, ports[0].devicePath);
    // 300 is no port number: the open must fail instead of reaching COM44.
    EXPECT_EQ(TargetForEntry("COM300", ports, listed).number, 0u);
    EXPECT_TRUE(TargetForEntry("COM300", ports, listed).device.isEmpty());
}

}  // namespace
}  // namespace corvane
