// Serial bytes, cut into random chunks, into a device session's OnRxByte: the frame assembler,
// the router and behind it the controller of the page in front (General, EDID, Switch or a
// firmware upgrade under way, and page numbers no handler has), on a manual clock that moves
// on between chunks. No windows: a small view plays the program around the controllers, shows
// one message at a time and closes it at random, as the operator would.
//
// Input: byte 0 picks the first page, byte 1 seeds the chunk sizes and the view's choices, the
// rest is the stream.
//
// Invariants: the assembler's scan buffer and frame position stay in range; the ready flag is 0
// or 1; the firmware plan stays within the image; every write to the link is a frame or a data
// block with a valid checksum; once the stream ends and every time-out has run out and been
// acknowledged, the ready flag is back.

#include "session/BeeperController.h"
#include "session/DeviceSession.h"
#include "session/EdidController.h"
#include "session/FactoryResetController.h"
#include "session/FirmwareController.h"
#include "session/GeneralReplies.h"
#include "session/SwitchController.h"
#include "tests/fuzz/Chunker.h"
#include "tests/fuzz/FuzzCheck.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace {

using namespace corvane;

constexpr std::uint8_t kPages[] = {kPageGeneral, kPageEdid, kPageSwitch, kPageFirmware, 0, 5};

// The serial link: checks each write and forgets it.
class CheckedLink final : public Link {
public:
    bool IsOpen() const override { return true; }
    void Write(const std::uint8_t* bytes, std::size_t length) override {
        if (length == kFrameSize) {
            FUZZ_CHECK(IsChecksumValid(bytes));
        } else {
            FUZZ_CHECK(length == 257);
            unsigned sum = 0;
            for (std::size_t i = 0; i < length; ++i)
                sum += bytes[i];
            FUZZ_CHECK(sum % 256 == 0);
        }
        ++writes;
    }
    int writes = 0;
};

// A firmware file of three blocks and a bit, so that the upgrade run has blocks to steer.
const std::vector<std::uint8_t>& FirmwareFile() {
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> v(3 * 256 + 40);
        for (std::size_t i = 0; i < v.size(); ++i)
            v[i] = static_cast<std::uint8_t>(i * 31 + 7);
        return v;
    }();
    return bytes;
}

// The program around the session: the pages' reply handlers, and the message pop-up with its
// close continuation. Like the program's pop-ups, a message shown while one is up is not shown
// and its continuation runs at once.
class View final : public SessionObserver,
                   public SwitchListener,
                   public EdidListener,
                   public FirmwareController::Listener,
                   public FactoryResetListener,
                   public BeeperListener {
public:
    View() {
        session.Sender().SetSerialLink(&link);
        session.Link().comUp = 1;
        session.SetObserver(this);
        sw.SetListener(this);
        edid.SetListener(this);
        fw.SetListener(this);
        reset.SetListener(this);
        beeper.SetListener(this);
        session.Router().SetHandler(
            kPageGeneral, [this](const Frame& f) { RouteGeneralReply(f, reset, beeper); });
        session.Router().SetHandler(kPageEdid, [this](const Frame& f) { edid.OnReply(f); });
        session.Router().SetHandler(kPageSwitch, [this](const Frame& f) { sw.OnReply(f); });
        session.Router().SetHandler(kPageFirmware,
                                    [this](const Frame& f) { fw.OnFirmwareReply(f); });
    }

    // A tab click, or for a page number without a tab the router's page set as it is.
    void BringToFront(std::uint8_t page) {
        if (page < kPageGeneral || page > kPageFirmware) {
            session.Router().SetCurrentPage(page);
            return;
        }
        if (!session.IsReady()) return;
        session.Router().SetCurrentPage(page);
        if (page == kPageSwitch && session.CheckLinkReady()) {
            session.Tx().Compose(0x02, 0x01, {0x01});
            sw.AwaitInputReport();
            session.Sender().Send(session.Tx().frame);
            session.SetReady(false);
            session.StartMainTimeout();
        } else if (page == kPageFirmware && session.CheckLinkReady()) {
            session.SetReady(true);
            session.Tx().Compose(0x01, 0x01, {0, 0, 0, 0, 0, 0, 0xCC, 0});
            session.Sender().Send(session.Tx().frame);
            // The first visit loads the image and starts the upgrade: the run's replies are
            // what matters here.
            if (!fw.HasImage()) {
                FUZZ_CHECK(fw.LoadImage(FirmwareFile(), {}) ==
                           FirmwareController::LoadResult::Loaded);
                FUZZ_CHECK(fw.StartUpgrade());
            }
        }
    }

    // A click on the page in front.
    void Command(std::uint32_t r) {
        switch (session.CurrentPage()) {
            case kPageGeneral:
                if (r & 1) {
                    beeper.Set((r >> 1) & 1);
                } else if (reset.Request()) {
                    reset.Start();
                }
                break;
            case kPageEdid:
                if (r & 1) {
                    edid.StartCopy();
                } else {
                    edid.StartPreset();
                }
                break;
            case kPageSwitch:
                switch (r % 6) {
                    case 0:
                        sw.SetResolution(1 + static_cast<int>((r >> 3) % 5));
                        break;
                    case 1:
                        sw.SetAudio(1 + static_cast<int>((r >> 3) % 2));
                        break;
                    case 2:
                        sw.SetVgaFormat(1 + static_cast<int>((r >> 3) % 2));
                        break;
                    case 3:
                        sw.AutoAdjust();
                        break;
                    case 4:
                        sw.Scaler();
                        break;
                    default:
                        sw.SelectInput(1 + static_cast<int>((r >> 3) % 8));
                        break;
                }
                break;
            case kPageFirmware:
                fw.StartUpgrade();
                break;
            default:
                break;
        }
    }

    void CloseMessage() {
        if (!message_) return;
        auto then = std::move(message_);
        message_ = nullptr;
        then();
    }
    bool MessageOpen() const { return message_ != nullptr; }

    void CheckState() const {
        const FrameAssembler& a = session.Assembler();
        FUZZ_CHECK(a.ScanLength() >= 2 && a.ScanLength() < 256);
        FUZZ_CHECK(a.FramePosition() >= 0 && a.FramePosition() < 13);
        FUZZ_CHECK(a.InFrame() == (a.FramePosition() >= 2));
        FUZZ_CHECK(session.Link().ready == 0 || session.Link().ready == 1);
        if (fw.HasImage()) {
            FUZZ_CHECK(fw.Plan().Position() >= 0);
            FUZZ_CHECK(fw.Plan().Position() < fw.ImageLength() + 4096);
        }
    }

    ManualClock clock;
    DeviceSession session{clock};
    CheckedLink link;
    SwitchController sw{session, clock};
    EdidController edid{session, clock};
    FirmwareController fw{session, clock};
    FactoryResetController reset{session, clock, session.Sender()};
    BeeperController beeper{session, session.Sender()};

private:
    void ShowMessage(std::function<void()> then) {
        if (message_) {
            then();
            return;
        }
        message_ = std::move(then);
    }

    // SessionObserver
    void OnLinkRefused(const QString&) override {
        ShowMessage([] {});
    }
    void OnSerialLinkLost() override {}
    void OnMainTimeout() override {
        sw.Abandon();
        ShowMessage([this] { session.SetReady(true); });
    }
    // SwitchListener
    void OnSwitchState(int, int) override {}
    void OnSwitchEnd(SwitchListener::End end) override {
        if (end == SwitchListener::End::TimeOut) ShowMessage([this] { sw.TimeOutAcknowledged(); });
    }
    // EdidListener
    EdidChoice CurrentChoice() const override { return {3, 1, 1, 4}; }
    void OnEdidEnd(EdidListener::End end) override {
        if (end == EdidListener::End::TimeOut) ShowMessage([this] { edid.TimeOutAcknowledged(); });
    }
    // FirmwareController::Listener
    void RunLogCleared() override {}
    void RunLogLine(const QString&, FirmwareController::LineKind) override {}
    void ImageLoaded(const QString&, int) override {}
    void FileRefused(const QString&) override {
        ShowMessage([] {});
    }
    void Progress(int) override {}
    void DeviceInfo(const QString&) override {}
    void Ended(FirmwareController::End end) override {
        if (FirmwareController::WaitsForFinish(end))
            ShowMessage([this, end] { fw.FinishEnd(end); });
    }
    // FactoryResetListener
    void OnResetStarted() override {}
    void OnResetDone() override {}
    void OnResetFinished() override {}
    void OnResetTimedOut() override {
        ShowMessage([this] { reset.TimeOutSeen(); });
    }
    // BeeperListener
    void OnBeeperState(bool) override {}

    std::function<void()> message_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The session is a QObject; Qt keeps the references to argc and argv.
    static int qtArgc = 1;
    static char* qtArgv[] = {(*argv)[0], nullptr};
    (void)argc;
    static QCoreApplication* app = new QCoreApplication(qtArgc, qtArgv);
    (void)app;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    std::size_t page = data[0] % std::size(kPages);
    auto view = std::make_unique<View>();
    View& v = *view;
    v.BringToFront(kPages[page]);
    v.clock.RunPending();

    corvane::fuzz::Chunker chunks(data + 2, size - 2, data[1], 40);
    const std::uint8_t* chunk = nullptr;
    std::size_t n = 0;
    while (chunks.Next(chunk, n)) {
        for (std::size_t i = 0; i < n; ++i) {
            v.session.OnRxByte(chunk[i]);
            v.CheckState();
        }
        v.clock.RunPending();
        const std::uint32_t r = chunks.Random();
        if (r % 4 == 0) v.clock.Advance(static_cast<std::int64_t>(r >> 8) % 700);
        if (r % 29 == 0) {
            page = (page + 1) % std::size(kPages);
            v.BringToFront(kPages[page]);
        }
        if (r % 11 == 0) v.Command(r >> 5);
        if (r % 7 == 0) v.CloseMessage();
        v.clock.RunPending();
        v.CheckState();
    }

    // The stream is over: every exchange must end by its time-outs once the operator has closed
    // what they showed. The longest (the firmware run's reboot wait) gives up after 18 s.
    for (int i = 0; i < 40 && (v.session.Link().ready == 0 || v.MessageOpen()); ++i) {
        v.CloseMessage();
        v.clock.Advance(1000);
        v.CheckState();
    }
    v.CloseMessage();
    v.clock.RunPending();
    FUZZ_CHECK(v.session.Link().ready == 1);
    return 0;
}
