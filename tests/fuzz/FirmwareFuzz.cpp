// Files into the firmware loader (the page's Open button), then, for a file it accepts, a
// whole upgrade run against a device that accepts every block and steers the next one with a
// byte taken from the file itself. Every data block on the wire must be 257 bytes with a
// valid checksum and carry exactly the scrambled file bytes of the block the page announced.

#include "pages/CFWDlg.h"
#include "resources/resource.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/Harness.h"

#include <QFile>
#include <QTemporaryDir>

using corvane::test::Harness;

namespace {

const std::string kStartOk = "20 01 AA 00 00 00 00 00 00 00";
const std::string kRequest80Ok = "20 01 00 00 00 00 00 00 EE 00";
const std::string kRequest10Ok = "20 01 00 00 00 00 00 00 00 00";

void CheckBlock(const std::vector<std::uint8_t>& block, const std::uint8_t* file, int length,
                int position) {
    FUZZ_CHECK(block.size() == 257);
    unsigned sum = 0;
    for (std::uint8_t b : block)
        sum += b;
    FUZZ_CHECK(sum % 256 == 0);
    const auto mask = static_cast<std::uint8_t>(0x5E ^ (length & 0xFF));
    for (int i = 0; i < 256; ++i) {
        const long long index = static_cast<long long>(position) + 2 + i;
        const std::uint8_t expected = index < length ? file[index] ^ mask : 0;
        FUZZ_CHECK(block[static_cast<std::size_t>(1 + i)] == expected);
    }
}

std::uint8_t Steer(std::uint8_t b) {
    if (b < 0x20) return 0xF0;  // to the alternate region
    if (b < 0x40) return 0xB0;  // back, 4096 bytes on
    return b;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    corvane::fuzz::InitApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("input.fw"));
    {
        QFile f(path);
        FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }

    Harness& h = corvane::fuzz::SharedHarness();
    corvane::fuzz::Settle(h);
    FUZZ_CHECK(h.main.Link().ready == 1);
    h.main.OnTabClicked(corvane::kPageFirmware);
    h.Settle();
    corvane::CFWDlg* page = h.main.FirmwarePage();
    FUZZ_CHECK(page != nullptr);
    const int before = page->ImageLength();
    page->SetFileChooser([path](QWidget*) { return path; });
    Harness::Click(page, corvane::IDC_FW_OPEN);
    h.Settle();

    const bool acceptable = size > 2 && size <= 100000;
    // A file that is refused leaves the image loaded before as it was.
    FUZZ_CHECK(page->ImageLength() == (acceptable ? static_cast<int>(size) : before));
    FUZZ_CHECK(acceptable || h.program.popUps.MessageOpen());
    if (!acceptable) return 0;
    const int length = static_cast<int>(size);

    h.link.Clear();
    Harness::Click(page, corvane::IDC_FW_UPGRADE);
    h.Settle();
    h.Reply(kStartOk);
    h.Advance(50);
    h.Reply(kRequest80Ok);
    h.Reply(kRequest10Ok);
    h.Advance(50);

    // Each block moves the position on by at least 256 bytes.
    const int bound = length / 256 + 2;
    int blocks = 0;
    while (page->RunStage() == corvane::CFWDlg::Stage::Block) {
        FUZZ_CHECK(++blocks <= bound);
        const int position = page->Plan().Position();
        // A steer back moves the position 4096 bytes on; past the end the block is zeros.
        FUZZ_CHECK(position >= 0 && position < length + 4096);
        FUZZ_CHECK(!h.link.writes.empty());
        CheckBlock(h.link.writes.back(), data, length, position);
        const std::uint8_t steer = Steer(data[static_cast<std::size_t>(position) % size]);
        h.link.Clear();
        char ack[40];
        std::snprintf(ack, sizeof ack, "20 01 00 00 00 01 01 00 %02X 00", steer);
        h.Reply(std::string(ack));
        h.Advance(50);
    }
    FUZZ_CHECK(blocks >= 1);
    return 0;
}
