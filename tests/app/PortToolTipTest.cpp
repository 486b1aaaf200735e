// Tooltips of the port list, from a fake enumeration: two adapters of one kind must differ.
#include "app/CCorvaneDlg.h"
#include "link/PortToolTip.h"
#include "resources/resource.h"
#include "tests/support/Harness.h"

#include <gtest/gtest.h>
#include <QComboBox>

namespace corvane {
namespace {

using test::Harness;

PortDescription Cp2102(const QString& serial) {
    PortDescription d;
    d.description = "CP2102 USB to UART Bridge Controller";
    d.isUsb = true;
    d.manufacturer = "Silicon Labs";
    d.vendorId = 0x10C4;
    d.productId = 0xEA60;
    d.serialNumber = serial;
    return d;
}

QString ToolTipOf(const CCorvaneDlg& main, const QString& entry) {
    const auto* combo = main.ItemAs<QComboBox>(IDC_PORT_LIST);
    const int i = combo->findText(entry);
    return i < 0 ? QStringLiteral("(not listed)") : combo->itemData(i, Qt::ToolTipRole).toString();
}

TEST(PortToolTip, EachListedPortCarriesItsDescriptionIdsAndSerialNumber) {
    Harness h;
    h.ports.Add("ttyUSB0").description = Cp2102("0001");
    h.ports.entries[0].description.stablePath =
        "/dev/serial/by-id/usb-Silicon_Labs_CP2102_0001-if00-port0";
    h.ports.Add("ttyUSB1").description = Cp2102("7A3F");
    h.ports.Add("ttyS0");
    PortDescription ch340;
    ch340.description = "USB2.0-Ser! (QinHeng Electronics)";
    ch340.manufacturer = "QinHeng Electronics";  // named already: not repeated
    ch340.vendorId = 0x1A86;                     // a product id the system did not give
    h.ports.Add("ttyUSB2").description = ch340;
    h.main.RefreshPortList();

    EXPECT_EQ(ToolTipOf(h.main, "ttyUSB0"),
              "CP2102 USB to UART Bridge Controller (Silicon Labs)\nUSB 10c4:ea60\n"
              "Serial number "
              "0001\n/dev/ttyUSB0\n/dev/serial/by-id/usb-Silicon_Labs_CP2102_0001-if00-port0");
    EXPECT_EQ(ToolTipOf(h.main, "ttyUSB1"),
              "CP2102 USB to UART Bridge Controller (Silicon Labs)\nUSB 10c4:ea60\n"
              "Serial number 7A3F\n/dev/ttyUSB1");
    EXPECT_EQ(ToolTipOf(h.main, "ttyS0"), "Serial port\nNo serial number\n/dev/ttyS0");
    EXPECT_EQ(ToolTipOf(h.main, "ttyUSB2"),
              "USB2.0-Ser! (QinHeng Electronics)\nUSB 1a86:????\nNo serial number\n/dev/ttyUSB2");

    // The list keeps its items while the set of ports is unchanged; a port whose description
    // arrives later (the slow part of the enumeration) gets it on the next tick.
    h.ports.entries[2].description = Cp2102("0042");
    h.Advance(600);
    EXPECT_EQ(ToolTipOf(h.main, "ttyS0"),
              "CP2102 USB to UART Bridge Controller (Silicon Labs)\nUSB 10c4:ea60\n"
              "Serial number 0042\n/dev/ttyS0");
}

}  // namespace
}  // namespace corvane
