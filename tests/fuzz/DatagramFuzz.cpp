// Datagrams into the search reply and configuration reply handlers, through the UDP socket's
// read notification and its 1024-byte receive buffers, with searches and configuration
// broadcasts started in between so that the socket changes roles as it does in use.
//
// Input: records of [what, length low, length high, bytes...]. Bit 0 of what starts a search
// before the datagram, bit 1 a configuration broadcast; bit 2 lets the timers run after it.

#include "app/ConfigPacket.h"
#include "resources/resource.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/Harness.h"

#include <QComboBox>

using corvane::test::Harness;

namespace {

void CheckSwitchers(Harness& h) {
    const std::vector<QString>& found = h.program.network.foundSwitchers;
    FUZZ_CHECK(found.size() <= corvane::NetworkState::kMaxSwitchers);
    auto* list = h.main.ItemAs<QComboBox>(corvane::IDC_SWITCHER_IP);
    FUZZ_CHECK(list != nullptr);
    FUZZ_CHECK(static_cast<std::size_t>(list->count()) == found.size());
    for (int i = 0; i < list->count(); ++i) {
        bool ok = false;
        const int index = list->itemData(i).toInt(&ok);
        FUZZ_CHECK(ok && index >= 0 && static_cast<std::size_t>(index) < found.size());
        FUZZ_CHECK(found[static_cast<std::size_t>(index)].size() == 12);
    }
    h.main.Network().OnSwitcherSelected();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    corvane::fuzz::InitApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Harness& h = corvane::fuzz::SharedHarness();
    corvane::fuzz::Settle(h);
    corvane::NetworkControl& network = h.main.Network();
    // A search empties the switcher list.
    network.SearchSwitchers();
    std::size_t at = 0;
    while (at + 3 <= size) {
        const std::uint8_t what = data[at];
        const std::size_t length =
            std::min<std::size_t>(data[at + 1] | (std::size_t{data[at + 2]} << 8), size - at - 3);
        const std::vector<std::uint8_t> datagram(data + at + 3, data + at + 3 + length);
        at += 3 + length;

        if (what & 1) network.SearchSwitchers();
        if (what & 2) {
            const corvane::NetworkState& n = h.program.network;
            network.SendConfigBroadcast(
                corvane::BuildConfigPacket(n.addressMode, n.targetMac, n.newIp, n.newMac));
        }
        if (h.sockets.datagram) h.sockets.datagram->Arrive(datagram);
        h.Settle();
        if (what & 4) h.Advance(3000);
        h.CloseMessage();
        CheckSwitchers(h);
    }
    return 0;
}
