// Firmware uploads of random images to the simulated device through a faulty line, on the
// manual clock. An upload that reports success must have left the file's payload on the device
// byte for byte; one that does not must end with the time-out, the red failure line and the
// ready flag back.
#include "pages/CFWDlg.h"
#include "resources/resource.h"
#include "tests/soak/SoakSupport.h"
#include "tests/support/Harness.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <iostream>

namespace corvane::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

const QString kSuccessLine = QStringLiteral("->Firmware upgrade successfully \n");
const QString kFailureLine = QStringLiteral("->MCU upgrade failed\n");

// Mostly small images so that a thousand runs stay quick; one in twenty up to the 100,000
// bytes the page holds.
Bytes RandomImage(Rng& rng) {
    int size = 0;
    if (Chance(rng, 0.05)) {
        size = Uniform(rng, 3, 100000);
    } else {
        const double log =
            std::uniform_real_distribution<double>(std::log(3.0), std::log(6000.0))(rng);
        size = static_cast<int>(std::exp(log));
    }
    Bytes image(static_cast<std::size_t>(size));
    for (auto& b : image)
        b = static_cast<std::uint8_t>(Uniform(rng, 0, 255));
    return image;
}

struct Outcome {
    bool succeeded = false;
    bool failed = false;
    bool wrongSuccess = false;  // reported upgraded, but the device does not hold the payload
    std::vector<QString> popUps;
    std::size_t framesAfterEnd = 0;
};

// One upload from the Upgrade press to its end, with the device behind a faulty line.
class FirmwareSoak : public ::testing::Test {
protected:
    QString Write(const Bytes& bytes) {
        const QString path = dir.filePath(QStringLiteral("image.fw"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        return path;
    }

    // Runs the upload and checks what every run must hold: it ends, nothing of it goes out
    // afterwards, a success left the payload on the device byte for byte and a failure showed
    // the time-out and the red line. Returns how it ended.
    Outcome Upload(Harness& h, FaultyDevice& device, const Bytes& file) {
        Outcome out;
        h.main.Sender().SetSerialLink(&device);
        if (EnvNumber("SOAK_VERBOSE", 0)) {
            device.model.SetObserver([&h](const sim::Incoming& in) {
                std::cout << h.clock.Now() << (in.isBlock ? " block " : " frame ")
                          << Hex(std::vector<std::uint8_t>(in.bytes.begin(), in.bytes.begin() + 13))
                          << (in.valid ? "" : " (bad)") << "\n";
            });
        }
        h.main.OnTabClicked(kPageFirmware);
        h.Advance(100);  // the device information queries of the tab, faulted like the rest
        CFWDlg* page = h.main.FirmwarePage();
        EXPECT_NE(page, nullptr);
        if (!page) return out;
        if (h.program.popUps.MessageOpen()) h.CloseMessage();
        EXPECT_TRUE(h.main.Link().ready);

        const QString path = Write(file);
        page->SetFileChooser([path](QWidget*) { return path; });
        Harness::Click(page, IDC_FW_OPEN);
        h.Settle();
        Harness::Click(page, IDC_FW_UPGRADE);
        h.Settle();
        EXPECT_FALSE(h.main.Link().ready) << "the upgrade did not start";

        const std::int64_t limit = h.clock.Now() + 60LL * 60 * 1000;
        auto messages = [&] { return page->ItemText(IDC_FW_MESSAGES); };
        while (h.clock.Now() < limit) {
            if (h.program.popUps.MessageOpen()) {
                out.popUps.push_back(h.program.popUps.MessageText());
                h.CloseMessage();
                continue;
            }
            const QString text = messages();
            out.succeeded = text.endsWith(kSuccessLine);
            out.failed = text.endsWith(kFailureLine);
            if (h.main.Link().ready && (out.succeeded || out.failed)) break;
            h.clock.AdvanceToNext();
        }
        EXPECT_TRUE(out.succeeded || out.failed) << "the run neither ended nor failed in an hour";

        // What is still on its way arrives; the program must neither send nor report anything.
        // (The tab's device information chain takes no ready flag and may still be running if
        // one of its answers came late; its queries carry CC in byte 10.)
        const std::size_t commands = device.model.Commands().size();
        h.Advance(30000);
        for (std::size_t i = commands; i < device.model.Commands().size(); ++i) {
            const Frame& f = device.model.Commands()[i];
            EXPECT_TRUE(f[2] == 0x01 && f[10] == 0xCC) << "after the end of the run: " << Hex(f);
        }
        EXPECT_FALSE(h.program.popUps.MessageOpen());
        EXPECT_TRUE(h.main.Link().ready);
        EXPECT_EQ(messages().endsWith(kSuccessLine), out.succeeded);

        const sim::FirmwareCheck check = device.model.Firmware().Compare(file);
        if (out.succeeded) {
            out.wrongSuccess = !check.Matches() || check.missingBytes != 0 ||
                               (file.size() > 258 && !check.complete);
            EXPECT_TRUE(check.Matches())
                << file.size() << "-byte image reported upgraded with " << check.Describe();
            EXPECT_EQ(check.missingBytes, 0u);
            // Only an image of more than one block has a last block.
            if (file.size() > 258) {
                EXPECT_TRUE(check.complete) << check.Describe();
            }
            EXPECT_TRUE(out.popUps.empty()) << out.popUps.front().toStdString();
        } else {
            EXPECT_FALSE(out.popUps.empty());
            if (!out.popUps.empty()) {
                EXPECT_EQ(out.popUps.back(), QStringLiteral("Time out!"));
            }
            EXPECT_EQ(
                page->ItemAs<QPlainTextEdit>(IDC_FW_MESSAGES)->palette().color(QPalette::Text),
                QColor(255, 0, 0));
        }
        return out;
    }

    QTemporaryDir dir;
};

TEST_F(FirmwareSoak, UploadsThroughAFaultyLineSucceedIntactOrFailVisibly) {
    const int runs = SoakRuns(100);
    const std::uint64_t first = SoakSeed();
    int successes = 0, failures = 0;
    long long bytesSent = 0;
    FaultCounts faults;

    for (int run = 0; run < runs; ++run) {
        const std::uint64_t seed = first + static_cast<std::uint64_t>(run);
        SCOPED_TRACE(SeedNote(seed));
        Rng rng(seed);
        const Bytes file = RandomImage(rng);
        const double rate = FaultRate(rng);

        Harness h;
        FaultyDevice device(h.clock, rng, rate, [&h](std::uint8_t b) { h.main.OnRxByte(b); });
        const Outcome out = Upload(h, device, file);
        out.succeeded ? ++successes : ++failures;
        bytesSent += static_cast<long long>(file.size());
        faults.replies += device.counts.replies;
        faults.dropped += device.counts.dropped;
        faults.corrupted += device.counts.corrupted;
        faults.delayed += device.counts.delayed;
        faults.duplicated += device.counts.duplicated;
        if (HasFailure()) break;
    }
    std::cout << "[ soak ] " << runs << " uploads from seed " << first << ": " << successes
              << " succeeded, " << failures << " failed; " << bytesSent << " image bytes; "
              << faults.replies << " replies, " << faults.dropped << " dropped, "
              << faults.corrupted << " corrupted, " << faults.delayed << " delayed, "
              << faults.duplicated << " duplicated\n";
}

// A device that writes its flash before it answers a block, and now and then answers a block
// a second time once the next block is in. Its banks are a few blocks long, so that small
// images are steered to region B0 and back too, and the stale answer may carry either steer.
// A stale answer can be taken for the next block's; the run must then fail, never report an
// image that is not on the device. Runs without a stale answer must all succeed.
TEST_F(FirmwareSoak, StaleAcknowledgementsNeverGiveAWrongSuccess) {
    const int runs = SoakRuns(1000);
    const std::uint64_t first = SoakSeed();
    int successes = 0, failures = 0, stale = 0, staleSucceeded = 0, wrong = 0;

    for (int run = 0; run < runs; ++run) {
        const std::uint64_t seed = first + static_cast<std::uint64_t>(run);
        SCOPED_TRACE(SeedNote(seed));
        Rng rng(seed);
        Bytes file = RandomImage(rng);
        sim::DeviceSettings settings;
        settings.bankBlocks = static_cast<std::size_t>(Uniform(rng, 0, 6));
        settings.flashMs = Uniform(rng, 0, 120);
        const int blocks = static_cast<int>((file.size() + 253) / 256);

        Harness h;
        FaultyDevice device(
            h.clock, rng, 0, [&h](std::uint8_t b) { h.main.OnRxByte(b); }, settings);
        device.faultsOn = false;
        device.blockAckDelay = [&rng] { return Uniform(rng, 0, 20); };
        for (int i = Uniform(rng, 0, 3); i > 0; --i) {
            // Region B0 holds one page, 01; region 40 pages count from 00 in each segment.
            const bool boot = settings.bankBlocks > 0 && Chance(rng, 0.3);
            const int page = boot ? 1 : Uniform(rng, 0, std::min(blocks, 255));
            char rule[64];
            std::snprintf(rule, sizeof rule, "20,01,*,00,00,01,01,%s,%02X@1", boot ? "B0" : "40",
                          page);
            device.model.AddFault(*sim::ParseFaultRule(sim::FaultAction::LateDuplicate, rule));
        }

        const Outcome out = Upload(h, device, file);
        const bool hadStale = device.model.LateDuplicatesSent() > 0;
        out.succeeded ? ++successes : ++failures;
        stale += hadStale;
        staleSucceeded += hadStale && out.succeeded;
        wrong += out.wrongSuccess;
        if (!hadStale) {
            EXPECT_TRUE(out.succeeded) << "a run without a stale answer failed";
        }
        if (HasFailure()) break;
    }
    std::cout << "[ soak ] " << runs << " uploads from seed " << first
              << " with slow and stale block answers: " << successes << " succeeded ("
              << staleSucceeded << " of them despite a stale answer), " << failures
              << " failed visibly; " << stale << " runs had a stale answer; " << wrong
              << " wrong successes\n";
}

}  // namespace
}  // namespace corvane::test
