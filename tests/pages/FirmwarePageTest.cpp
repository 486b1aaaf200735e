// Loading files, the device information line and the key filter.
#include "tests/pages/FirmwareFixture.h"

#include <QKeyEvent>

namespace corvane::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST_F(FirmwareTest, FilesWithoutPayloadOrTooLargeForTheImageAreRefused) {
    for (int size : {0, 2, 100001}) {
        SCOPED_TRACE(size);
        Open(Write(FileOf(size), QString("f%1.fw").arg(size)));
        EXPECT_EQ(PopUpText(), "Invalid file(.fw)!");
        h.CloseMessage();
        EXPECT_EQ(page->ItemText(IDC_FW_PATH), "");
        Upgrade();
        EXPECT_EQ(PopUpText(), "Please open the file(.fw)!");
        h.CloseMessage();
        EXPECT_EQ(h.link.Count(), 0u);
    }
}

TEST_F(FirmwareTest, ARefusedOrUnreadableFileKeepsTheImageLoadedBefore) {
    const QString good = Write(FileOf(100000));  // exactly what the image holds
    Open(good);
    EXPECT_EQ(page->ImageLength(), 100000);
    EXPECT_EQ(Progress()->maximum(), 100000);
    Open(Write(FileOf(1), "short.fw"));
    h.CloseMessage();
    Open(dir.filePath("missing.fw"));
    EXPECT_FALSE(h.program.popUps.MessageOpen());
    EXPECT_EQ(page->ItemText(IDC_FW_PATH), good);
    EXPECT_EQ(page->ImageLength(), 100000);
}

TEST_F(FirmwareTest, OpenDoesNothingWhileAnExchangeIsOutstanding) {
    int asked = 0;
    page->SetFileChooser([&asked](QWidget*) {
        ++asked;
        return QString();
    });
    h.main.Link().ready = 0;
    Harness::Click(page, IDC_FW_OPEN);
    EXPECT_EQ(asked, 0);
    h.main.Link().ready = 1;
    Harness::Click(page, IDC_FW_OPEN);
    EXPECT_EQ(asked, 1);
}

TEST_F(FirmwareTest, TheDeviceInformationRepliesBuildTheStatusLine) {
    h.Reply("01 01 02 00 00 00 00 00 CC 00");
    EXPECT_EQ(LastBody(), "01 02 00 00 00 00 00 00 CC 00");
    h.Reply("01 02 08 00 08 00 00 00 CC 00");
    EXPECT_EQ(LastBody(), "01 03 00 00 00 00 00 00 CC 00");
    h.Reply("01 03 02 00 0A 00 00 00 CC 00");
    EXPECT_EQ(page->ItemText(IDC_FW_STATUS), "Device: Pellaro 8x8     Version:2.10");
    EXPECT_EQ(h.link.Count(), 2u);

    const std::pair<const char*, const char*> labels[] = {
        {"00", "Ostrevin"}, {"01", "Corvane"}, {"03", "Ostrevin"}};
    for (const auto& [type, label] : labels) {
        h.Reply(std::string("01 01 ") + type + " 00 00 00 00 00 CC 00");
        h.Reply("01 02 10 00 FF 00 00 00 CC 00");
        h.Reply("01 03 00 00 00 00 00 00 CC 00");
        EXPECT_EQ(page->ItemText(IDC_FW_STATUS),
                  QString("Device: %1 16x255     Version:0.0").arg(label));
    }
}

TEST_F(FirmwareTest, EnterAndSpaceTypedIntoTheMessagesBoxAreSwallowed) {
    auto* box = page->ItemAs<QPlainTextEdit>(IDC_FW_MESSAGES);
    const auto type = [box](int key, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(box, &press);
    };
    type(Qt::Key_Return, "\r");
    type(Qt::Key_Space, " ");
    EXPECT_EQ(box->toPlainText(), "");
    type(Qt::Key_A, "a");
    EXPECT_EQ(box->toPlainText(), "a");
}

}  // namespace
}  // namespace corvane::test
