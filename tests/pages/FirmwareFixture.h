#pragma once
// The firmware page in the whole program, with files written to a temporary folder and a
// chooser that picks them.

#include "pages/CFWDlg.h"
#include "resources/resource.h"
#include "tests/support/Harness.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTemporaryDir>

#include <string>
#include <vector>

namespace corvane::test {

// Reply bodies (bytes 2..11) the device sends during a run.
inline const std::string kStartOk = "20 01 AA 00 00 00 00 00 00 00";
inline const std::string kRequest80Ok = "20 01 00 00 00 00 00 00 EE 00";
inline const std::string kRequest10Ok = "20 01 00 00 00 00 00 00 00 00";
inline const std::string kDeviceBack = "01 01 00 00 00 00 00 00 00 00";
inline std::string BlockOk(const std::string& b10 = "00") {
    return "20 01 00 00 00 01 01 00 " + b10 + " 00";
}

class FirmwareTest : public ::testing::Test {
protected:
    void SetUp() override {
        h.main.OnTabClicked(kPageFirmware);
        h.Settle();
        page = h.main.FirmwarePage();
        ASSERT_NE(page, nullptr);
        h.link.Clear();
    }

    // A file of n bytes whose bytes differ from their neighbours.
    static std::vector<std::uint8_t> FileOf(int n) {
        std::vector<std::uint8_t> v(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i)
            v[i] = static_cast<std::uint8_t>(i * 37 + 11 + i / 256);
        return v;
    }
    QString Write(const std::vector<std::uint8_t>& bytes, const QString& name = "image.fw") {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        return path;
    }
    void Open(const QString& path) {
        page->SetFileChooser([path](QWidget*) { return path; });
        Harness::Click(page, IDC_FW_OPEN);
        h.Settle();
    }
    void Load(const std::vector<std::uint8_t>& bytes) { Open(Write(bytes)); }
    void Upgrade() {
        Harness::Click(page, IDC_FW_UPGRADE);
        h.Settle();
    }
    // From the Upgrade press to the first block's data on the wire.
    void RunToFirstBlock() {
        Upgrade();
        h.Reply(kStartOk);
        h.Advance(50);
        h.Reply(kRequest80Ok);
        h.Reply(kRequest10Ok);
        h.Advance(50);
    }
    // Acknowledges the block on the wire and lets the next one go out.
    void AckBlock(const std::string& b10 = "00") {
        h.Reply(BlockOk(b10));
        h.Advance(50);
    }

    std::string LastBody() const { return h.link.LastBody(); }
    const std::vector<std::uint8_t>& LastWrite() const { return h.link.writes.back(); }
    QString Messages() const { return page->ItemText(IDC_FW_MESSAGES); }
    QColor MessageColour() const {
        return page->ItemAs<QPlainTextEdit>(IDC_FW_MESSAGES)->palette().color(QPalette::Text);
    }
    QProgressBar* Progress() const { return page->ItemAs<QProgressBar>(IDC_FW_PROGRESS); }
    bool Ready() const { return h.main.Link().ready == 1; }
    QString PopUpText() const {
        return h.program.popUps.MessageOpen() ? h.program.popUps.MessageText() : QString();
    }

    // The 257 bytes of a data block carrying payload bytes from..from+255 of the file, as the
    // device expects them: each byte XOR 0x5E XOR the file length's low byte, zeros past the
    // end, and byte 0 making the 8-bit sum of the data zero.
    static std::vector<std::uint8_t> ExpectedBlock(const std::vector<std::uint8_t>& file,
                                                   int from) {
        const int length = static_cast<int>(file.size());
        std::vector<std::uint8_t> block(257, 0);
        unsigned sum = 0;
        for (int i = 0; i < 256; ++i) {
            const int index = from + 2 + i;
            if (index < length) block[1 + i] = file[index] ^ 0x5E ^ (length & 0xFF);
            sum += block[1 + i];
        }
        block[0] = static_cast<std::uint8_t>((0x100 - (sum & 0xFF)) & 0xFF);
        return block;
    }

    Harness h;
    CFWDlg* page = nullptr;
    QTemporaryDir dir;
};

}  // namespace corvane::test
