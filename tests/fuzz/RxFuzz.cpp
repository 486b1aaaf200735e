// Serial bytes, cut into random chunks, into the main window's OnRxByte: the frame assembler,
// the router and behind it the reply handler of the page in front (General, EDID, Switch or
// Firmware upgrade, and the values the router resets), with timers running between chunks.
//
// Input: byte 0 picks the first page, byte 1 seeds the chunk sizes, the rest is the stream.

#include "pages/CFWDlg.h"
#include "resources/resource.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/Harness.h"

#include <QFile>
#include <QTemporaryDir>

using corvane::test::Harness;

namespace {

constexpr std::uint8_t kPages[] = {
    corvane::kPageGeneral, corvane::kPageEdid, corvane::kPageSwitch, corvane::kPageFirmware, 0, 5};

// A firmware file of three blocks and a bit, so that the upgrade run has blocks to steer.
QString FirmwareFile() {
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString p = dir.filePath(QStringLiteral("image.fw"));
        QFile f(p);
        if (f.open(QIODevice::WriteOnly)) {
            QByteArray bytes(3 * 256 + 40, '\0');
            for (int i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<char>(i * 31 + 7);
            f.write(bytes);
        }
        return p;
    }();
    return path;
}

void BringToFront(Harness& h, std::uint8_t page) {
    if (page >= corvane::kPageGeneral && page <= corvane::kPageFirmware) {
        h.main.OnTabClicked(page);
        h.Settle();
        if (page == corvane::kPageFirmware && h.main.FirmwarePage()) {
            // An image loaded and the upgrade started: the run's replies are what matters here.
            corvane::CFWDlg* fw = h.main.FirmwarePage();
            if (fw->ImageLength() == 0) {
                fw->SetFileChooser([](QWidget*) { return FirmwareFile(); });
                Harness::Click(fw, corvane::IDC_FW_OPEN);
                h.Settle();
                Harness::Click(fw, corvane::IDC_FW_UPGRADE);
                h.Settle();
            }
        }
    } else {
        h.main.SetCurrentPage(page);
    }
}

void CheckState(const Harness& h) {
    const corvane::FrameAssembler& a = h.main.Assembler();
    FUZZ_CHECK(a.ScanLength() >= 2 && a.ScanLength() < 256);
    FUZZ_CHECK(a.FramePosition() >= 0 && a.FramePosition() < 13);
    FUZZ_CHECK(a.InFrame() == (a.FramePosition() >= 2));
    FUZZ_CHECK(h.main.Link().ready == 0 || h.main.Link().ready == 1);
    if (const corvane::CFWDlg* fw = h.main.FirmwarePage()) {
        FUZZ_CHECK(fw->Plan().Position() >= 0);
        FUZZ_CHECK(fw->Plan().Position() < fw->ImageLength() + 4096);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    corvane::fuzz::InitApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    std::size_t page = data[0] % std::size(kPages);
    Harness& h = corvane::fuzz::SharedHarness();
    corvane::fuzz::Settle(h);
    FUZZ_CHECK(h.main.Link().ready == 1);
    BringToFront(h, kPages[page]);

    corvane::fuzz::Chunker chunks(data + 2, size - 2, data[1], 40);
    std::vector<std::uint8_t> chunk;
    while (chunks.Next(chunk)) {
        for (std::uint8_t b : chunk) {
            h.main.OnRxByte(b);
            CheckState(h);
        }
        h.Settle();
        const std::uint32_t r = chunks.Random();
        if (r % 4 == 0) h.Advance(static_cast<std::int64_t>(r >> 8) % 700);
        if (r % 29 == 0) {
            page = (page + 1) % std::size(kPages);
            BringToFront(h, kPages[page]);
        }
        if (r % 7 == 0) h.CloseMessage();
        h.link.Clear();
        CheckState(h);
    }
    return 0;
}
