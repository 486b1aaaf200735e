// Datagrams into the search and configuration controller, through the UDP socket's read
// notification and its 1024-byte receive buffers, with searches, selections and configuration
// broadcasts started in between so that the socket changes roles as it does in use. No window:
// the controller runs on a manual clock with fake sockets, and a stand-in view mirrors the list
// from its reports.
//
// Input: records of [what, length low, length high, bytes...]. Bit 0 of what starts a search
// before the datagram, bit 1 a configuration broadcast (bit 6: Static IP, bit 7: with a MAC
// that is no address); bit 2 lets the timers run after it; bits 3-4 name the interface it comes
// in on; bit 5 selects the row its first byte names.

#include "session/NetworkController.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/FakeSockets.h"
#include "tests/support/StandInHost.h"

#include <numeric>

namespace {

using namespace corvane;

// Sockets in memory: a datagram is handed to the socket that exists now without a copy, and
// what is sent is checked as it goes: a search request to 30600 or a whole configuration packet
// to 30601, both broadcast.
class Sockets final : public SocketFactory {
public:
    class Datagram final : public DatagramSocket {
    public:
        Datagram(Sockets& owner, std::uint16_t port, Readable readable)
            : owner_(owner), port_(port), readable_(std::move(readable)) {}
        ~Datagram() override {
            if (owner_.current_ == this) owner_.current_ = nullptr;
        }
        bool SendTo(const std::uint8_t* bytes, std::size_t length, Ipv4 address, std::uint16_t port,
                    int) override {
            FUZZ_CHECK(address == kLimitedBroadcast && port == port_);
            if (port == kSearchPort) {
                FUZZ_CHECK(length == 1 && bytes[0] == kSearchRequest);
            } else {
                FUZZ_CHECK(port == kConfigPort && length == kConfigPacketSize && bytes[74] == 0xFF);
                FUZZ_CHECK(static_cast<std::uint8_t>(std::accumulate(bytes, bytes + 75, 0u)) ==
                           bytes[75]);
            }
            ++owner_.sent;
            return true;
        }
        long Receive(std::uint8_t* buffer, std::size_t max, int* interfaceIndex) override {
            if (!owner_.waiting_) return -1;
            owner_.waiting_ = false;
            const std::size_t n = std::min(max, owner_.length_);
            std::copy_n(owner_.bytes_, n, buffer);
            if (interfaceIndex) *interfaceIndex = owner_.index_;
            return static_cast<long>(n);
        }
        Readable ReadableCopy() const { return readable_; }

    private:
        Sockets& owner_;
        std::uint16_t port_;
        Readable readable_;
    };

    std::unique_ptr<StreamSocket> MakeStream(StreamSocket::Notify) override { return nullptr; }
    std::unique_ptr<DatagramSocket> MakeDatagram(std::uint16_t port,
                                                 DatagramSocket::Readable readable) override {
        auto socket = std::make_unique<Datagram>(*this, port, std::move(readable));
        current_ = socket.get();
        return socket;
    }
    std::vector<NetInterface> Interfaces() override { return interfaces; }

    // One datagram arrives on the socket there is now, if any.
    void Arrive(const std::uint8_t* bytes, std::size_t length, int index) {
        if (!current_) return;
        bytes_ = bytes;
        length_ = length;
        index_ = index;
        waiting_ = true;
        // The handler may close the socket and make another.
        const DatagramSocket::Readable readable = current_->ReadableCopy();
        readable();
        waiting_ = false;
    }

    std::vector<NetInterface> interfaces;
    int sent = 0;

private:
    Datagram* current_ = nullptr;
    const std::uint8_t* bytes_ = nullptr;
    std::size_t length_ = 0;
    int index_ = 0;
    bool waiting_ = false;
};

// What a view keeps of the reports: the list as drawn, the selection and the end of each
// configuration.
class View final : public NetworkListener {
public:
    explicit View(NetworkController& c) : controller(c) {}
    void OnSearchStarted() override {
        rows.clear();
        selected = -1;
    }
    void OnSwitcherListed(int row, const FoundSwitcher& found) override {
        FUZZ_CHECK(row >= 0 && static_cast<std::size_t>(row) <= rows.size());
        rows.insert(rows.begin() + row, found.address);
    }
    void OnTargetChanged(int row, const SwitcherTarget& target) override {
        selected = row;
        this->target = target;
    }
    void OnConfigConfirmed() override {
        FUZZ_CHECK(configsSent > 0);
        ++confirmed;
    }
    void OnConfigFinished() override { FUZZ_CHECK(confirmed > 0); }
    void OnConfigTimedOut() override {
        ++timedOut;
        controller.TimeOutSeen();
    }

    NetworkController& controller;
    std::vector<QString> rows;
    int selected = -1;
    SwitcherTarget target;
    int configsSent = 0;
    int confirmed = 0;
    int timedOut = 0;
};

bool IsUpperHex(const QString& text) {
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'A' && u <= 'F'))) return false;
    }
    return true;
}

// The whole list: sorted, one entry per switcher, well-formed addresses, MACs and interfaces.
void CheckList(const NetworkController& c, const View& view) {
    const std::vector<FoundSwitcher>& found = c.Found();
    FUZZ_CHECK(found.size() <= NetworkController::kMaxSwitchers);
    FUZZ_CHECK(view.rows.size() == found.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
        const FoundSwitcher& f = found[i];
        FUZZ_CHECK(view.rows[i] == f.address);
        FUZZ_CHECK(f.mac.size() == 12 && IsUpperHex(f.mac));
        const SwitcherTarget& t = f.fields;
        FUZZ_CHECK(QStringList(t.ip.begin(), t.ip.end()).join(QLatin1Char('.')) == f.address);
        FUZZ_CHECK(QStringList(t.mac.begin(), t.mac.end()).join(QString()) == f.mac);
        const QStringList octets = f.address.split(QLatin1Char('.'));
        FUZZ_CHECK(octets.size() == 4);
        for (const QString& octet : octets) {
            bool ok = false;
            FUZZ_CHECK(octet.toInt(&ok) <= 255 && ok);
        }
        for (std::size_t k = 0; k < f.interfaces.size(); ++k) {
            FUZZ_CHECK(f.interfaces[k] > 0);
            for (std::size_t m = 0; m < k; ++m)
                FUZZ_CHECK(f.interfaces[m] != f.interfaces[k]);
        }
        if (i > 0) {
            FUZZ_CHECK(QString::compare(found[i - 1].address, f.address, Qt::CaseInsensitive) <= 0);
        }
        // Sorted, so a second entry for the same switcher would sit among the same addresses.
        for (std::size_t m = i; m-- > 0 && found[m].address == f.address;)
            FUZZ_CHECK(found[m].mac != f.mac);
    }
}

// After every step: the view's list as long as the controller's, a listed switcher always
// selected, and the target the selected one.
void CheckSelection(const NetworkController& c, const View& view) {
    const std::vector<FoundSwitcher>& found = c.Found();
    FUZZ_CHECK(found.size() <= NetworkController::kMaxSwitchers);
    FUZZ_CHECK(view.rows.size() == found.size());
    FUZZ_CHECK(found.empty() == (c.SelectedRow() < 0));
    FUZZ_CHECK(c.SelectedRow() < static_cast<int>(found.size()));
    if (c.SelectedRow() >= 0) {
        const FoundSwitcher& f = found[static_cast<std::size_t>(c.SelectedRow())];
        FUZZ_CHECK(view.rows[static_cast<std::size_t>(c.SelectedRow())] == f.address);
        FUZZ_CHECK(c.Target().ip == f.fields.ip && c.Target().mac == f.fields.mac);
        FUZZ_CHECK(view.selected == c.SelectedRow());
    }
}

void CheckTimers(const NetworkController& c) {
    const WindowTimers& t = c.Timers();
    FUZZ_CHECK(c.AwaitingConfirmation() == t.IsRunning(NetworkController::kConfigTimeoutTimer));
    if (t.IsRunning(NetworkController::kSearchAgainTimer)) FUZZ_CHECK(c.AwaitingConfirmation());
    FUZZ_CHECK(!(t.IsRunning(NetworkController::kConfigDoneTimer) &&
                 t.IsRunning(NetworkController::kConfigCloseTimer)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ManualClock clock;
    Sockets sockets;
    sockets.interfaces = {test::BroadcastInterface(2, "eth0", 0xC0A80A17u),
                          test::BroadcastInterface(5, "enx1", 0xC6336402u),
                          test::BroadcastInterface(7, "enx2", 0xCB007102u)};
    test::StandInHost host;
    test::NullLog sendLog;
    test::NullLog receiveLog;
    TrafficLog log(sendLog, receiveLog);
    NetworkController controller(host, clock, log);
    View view(controller);
    controller.SetListener(&view);
    controller.UseSockets(sockets);
    controller.Search();

    static const int kInterfaces[] = {0, 2, 5, 9};
    std::size_t at = 0;
    while (at + 3 <= size) {
        const std::uint8_t what = data[at];
        const std::size_t length =
            std::min<std::size_t>(data[at + 1] | (std::size_t{data[at + 2]} << 8), size - at - 3);
        const std::uint8_t* datagram = data + at + 3;
        at += 3 + length;

        if (what & 1) {
            CheckList(controller, view);
            controller.Search();
        }
        if (what & 0x20) controller.Select(length == 0 ? -1 : datagram[0] - 1);
        if (what & 2) {
            ConfigRequest request;
            request.addressMode = (what & 0x40) ? kStaticIp : kAutoIp;
            request.targetMac = controller.Target().mac;
            request.newIp = {"198", "51", "100", QString::number(length % 300)};
            request.newMac = {"02", "43", "56", "00", "00", "01"};
            if (what & 0x80) request.newMac[5] = QStringLiteral("0G");
            const bool valid = (what & 0x80) == 0 && (!(what & 0x40) || length % 300 <= 255);
            const int sentBefore = sockets.sent;
            const QString error = controller.Configure(request);
            FUZZ_CHECK(error.isEmpty() == valid);
            if (valid) {
                ++view.configsSent;
                FUZZ_CHECK(controller.AwaitingConfirmation());
            } else {
                FUZZ_CHECK(error == kInvalidIp || error == kInvalidMac);
                FUZZ_CHECK(sockets.sent == sentBefore);
            }
        }
        sockets.Arrive(datagram, length, kInterfaces[(what >> 3) & 3]);
        clock.RunPending();
        if (what & 4) clock.Advance(3000);
        CheckSelection(controller, view);
        CheckTimers(controller);
    }
    CheckList(controller, view);
    // Every configuration ends: confirmed, or given up after 20 s with the ready flag back.
    const int timedOut = view.timedOut;
    host.ready = false;
    clock.Advance(NetworkController::kConfigTimeoutPeriod + 2000);
    FUZZ_CHECK(!controller.AwaitingConfirmation());
    FUZZ_CHECK(clock.ScheduledCount() == 0);
    if (view.timedOut > timedOut) FUZZ_CHECK(host.ready);
    return 0;
}
