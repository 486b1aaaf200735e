#include "app/CConfigIPDlg.h"
#include "app/CCorvaneDlg.h"
#include "app/NetworkControl.h"
#include "app/TrafficModel.h"
#include "app/TrafficMonitor.h"
#include "pages/CFWDlg.h"
#include "resources/resource.h"
#include "sim/DeviceModel.h"
#include "tests/support/Harness.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <string>
#include <vector>

namespace corvane {
namespace {

using test::FrameFromBody;
using test::Harness;

const QDateTime kStart(QDate(2025, 1, 2), QTime(3, 4, 5, 6));

// A clock for entry times that moves 1 ms per entry.
TrafficModel::TimeSource SteppingTime() {
    auto t = std::make_shared<QDateTime>(kStart);
    return [t] {
        const QDateTime now = *t;
        *t = t->addMSecs(1);
        return now;
    };
}

void AddFrame(TrafficModel& model, TrafficKind kind, const std::string& body) {
    const Frame f = FrameFromBody(body);
    model.Add(kind, f.data(), f.size());
}

TEST(TrafficModel, KeepsTheLast10000EntriesOldestFirst) {
    TrafficModel model(SteppingTime());
    for (int i = 0; i < TrafficModel::kMaxEntries + 5; ++i) {
        const std::uint8_t marker[2] = {static_cast<std::uint8_t>(i >> 8),
                                        static_cast<std::uint8_t>(i)};
        model.Add(TrafficKind::Sent, marker, sizeof marker);
    }
    ASSERT_EQ(model.rowCount(), 10000);
    EXPECT_EQ(model.Dropped(), 5u);
    // The first five went; entry 5 is now the oldest and the last one added is at the end.
    EXPECT_EQ(model.Entry(0).bytes, (std::vector<std::uint8_t>{0x00, 0x05}));
    EXPECT_EQ(model.Entry(9999).bytes, (std::vector<std::uint8_t>{0x27, 0x14}));  // 10004
    EXPECT_EQ(model.Entry(0).time, kStart.addMSecs(5));

    model.Clear();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.Dropped(), 0u);
}

TEST(TrafficModel, LineTextAndTableCells) {
    TrafficModel model(SteppingTime());
    AddFrame(model, TrafficKind::Sent, "01 0B 00 00 00 00 00 00 00 00");
    Frame bad = FrameFromBody("01 0B 00 00 00 00 00 00 00 00");
    bad[12] ^= 0xFF;
    model.Add(TrafficKind::Received, bad.data(), bad.size());

    EXPECT_EQ(model.LineText(0),
              "2025-01-02 03:04:05.006\tsent\tA5 5B 01 0B 00 00 00 00 00 00 00 00 F4\t"
              "beeper state query; checksum good");
    EXPECT_EQ(model.AllText(), model.LineText(0) + "\n" + model.LineText(1) + "\n");
    EXPECT_EQ(model.data(model.index(1, TrafficModel::kTime), Qt::DisplayRole).toString(),
              "03:04:05.007");
    EXPECT_EQ(model.data(model.index(1, TrafficModel::kDirection), Qt::DisplayRole).toString(),
              "received");
    EXPECT_TRUE(model.data(model.index(1, TrafficModel::kMeaning), Qt::DisplayRole)
                    .toString()
                    .endsWith("checksum BAD"));
    // Only the bad one is drawn in red.
    EXPECT_FALSE(model.data(model.index(0, TrafficModel::kMeaning), Qt::ForegroundRole).isValid());
    EXPECT_TRUE(model.data(model.index(1, TrafficModel::kMeaning), Qt::ForegroundRole).isValid());
}

class TrafficMonitorTest : public ::testing::Test {
protected:
    TrafficMonitorTest() : model(SteppingTime()), monitor(model) {
        AddFrame(model, TrafficKind::Sent, "02 03 03 00 01 00 00 00 00 00");
        AddFrame(model, TrafficKind::Received, "02 03 00 03 01 00 00 00 00 00");
        AddFrame(model, TrafficKind::Sent, "90 0C 00 00 03 00 00 00 00 00");
    }
    void SelectRows(std::initializer_list<int> rows) {
        for (int row : rows) {
            monitor.View()->selectionModel()->select(
                model.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    TrafficModel model;
    TrafficMonitor monitor;
    QTemporaryDir dir;
};

TEST_F(TrafficMonitorTest, CopiesTheSelectedRowsInTraceOrder) {
    EXPECT_EQ(monitor.CopySelection(), "");
    SelectRows({2, 0});
    const QString expected = model.LineText(0) + "\n" + model.LineText(2) + "\n";
    EXPECT_EQ(monitor.CopySelection(), expected);
    EXPECT_EQ(QApplication::clipboard()->text(), expected);
}

TEST_F(TrafficMonitorTest, SavesTheWholeTraceWhereTheOperatorChose) {
    const QString path = dir.filePath("trace.txt");
    monitor.SetSaveChooser([path](QWidget*) { return path; });
    ASSERT_TRUE(monitor.SaveTrace());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), model.AllText());
    EXPECT_EQ(monitor.StatusText(), "Saved 3 entries to " + path);
}

TEST_F(TrafficMonitorTest, CancelledOrFailedSaveIsNotReportedAsSaved) {
    monitor.SetSaveChooser([](QWidget*) { return QString(); });
    EXPECT_FALSE(monitor.SaveTrace());
    EXPECT_EQ(monitor.StatusText(), "");

    const QString path = dir.filePath("no-such-folder/trace.txt");
    monitor.SetSaveChooser([path](QWidget*) { return path; });
    EXPECT_FALSE(monitor.SaveTrace());
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(monitor.StatusText().startsWith("Could not save to " + path))
        << monitor.StatusText().toStdString();
}

TEST(TrafficInProgram, SeesWhatTheLogsShowAndLeavesThemAsTheyWere) {
    Harness h;
    TrafficModel& traffic = h.main.Traffic();
    h.main.Tx().Compose(0x01, 0x0B);
    h.main.Sender().Send(h.main.Tx().frame);
    h.Reply("01 0B 00 00 00 00 00 00 00 00");
    ASSERT_EQ(traffic.rowCount(), 2);
    EXPECT_EQ(traffic.Entry(0).kind, TrafficKind::Sent);
    EXPECT_EQ(traffic.Entry(1).kind, TrafficKind::Received);
    EXPECT_EQ(traffic.Entry(1).meaning.Text(),
              "beeper state reply: status 00, beeper on; checksum good");
    // The logs hold exactly their own texts.
    h.main.FlushLogs();
    EXPECT_EQ(h.main.ItemAs<QPlainTextEdit>(IDC_TX_LOG)->toPlainText(),
              "A5 5B 01 0B 00 00 00 00 00 00 00 00 F4 \n");
    EXPECT_EQ(h.main.ItemAs<QPlainTextEdit>(IDC_RX_LOG)->toPlainText(),
              "A5 5B 01 0B 00 00 00 00 00 00 00 00 F4 \n");
    EXPECT_EQ(h.main.Log().Transmissions(), 1);
    EXPECT_EQ(h.main.Log().ReceivedFrames(), 1);

    // A frame with a bad checksum is dropped by the router but shown as bad.
    Frame bad = FrameFromBody("01 0B 00 00 00 00 00 00 00 00");
    bad[12] = 0x00;
    h.Reply(bad);
    ASSERT_EQ(traffic.rowCount(), 3);
    EXPECT_EQ(traffic.Entry(2).meaning.check, CheckResult::Bad);

    // Datagrams that no log shows reach the monitor only.
    const std::uint8_t search[] = {0x61};
    h.main.Log().NoteDatagram(TrafficKind::SearchRequest, search, 1);
    EXPECT_EQ(traffic.rowCount(), 4);
    EXPECT_EQ(h.main.Log().ReceivedFrames(), 2);
}

TEST(TrafficInProgram, SearchAndConfigurationDatagramsAreTraced) {
    Harness h;
    Harness::Click(&h.main, IDC_TCP_MODE);
    TrafficModel& traffic = h.main.Traffic();
    traffic.Clear();
    Harness::Click(&h.main, IDC_SEARCH);
    h.sockets.datagram->Arrive(test::SearchReplyBytes("02:43:56:00:00:01", "198.51.100.10"));
    Harness::Click(&h.main, IDC_CONFIG);
    CConfigIPDlg* dialog = h.main.Network().ConfigDialog();
    ASSERT_NE(dialog, nullptr);
    Harness::Click(dialog, IDC_CFG_STATIC_IP);
    const char* ip[] = {"198", "51", "100", "50"};
    for (int i = 0; i < 4; ++i)
        dialog->SetItemText(IDC_CFG_IP1 + i, ip[i]);
    Harness::Click(dialog, IDC_CFG_OK);
    h.Settle();
    std::vector<std::uint8_t> ack(h.sockets.sentDatagrams.back().bytes);
    ack[74] = 0x00;
    h.sockets.datagram->Arrive(ack);

    std::vector<std::string> lines;
    for (int row = 0; row < traffic.rowCount(); ++row) {
        lines.push_back(std::string(DirectionText(traffic.Entry(row).kind)) + ": " +
                        traffic.Entry(row).meaning.Text());
    }
    // The acknowledgement starts a new search at once.
    EXPECT_EQ(
        lines,
        (std::vector<std::string>{
            "sent: search request",
            "received: search reply: MAC 02:43:56:00:00:01, IP 198.51.100.10, switcher",
            "sent: network configuration: for MAC 02:43:56:00:00:01, static "
            "IP 198.51.100.50, gateway 198.51.100.1, mask 255.255.255.0, new MAC "
            "02:43:56:00:00:01; checksum good",
            "received: configuration acknowledgement: byte 74 = 00", "sent: search request"}));
}

TEST(TrafficInProgram, ContextMenuOffersTrafficBesideAbout) {
    Harness h;
    h.main.show();
    QStringList texts;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        QAction* traffic = nullptr;
        for (QAction* a : menu->actions()) {
            if (a->isSeparator()) continue;
            texts << a->text();
            if (a->text() == "Traffic...") traffic = a;
        }
        if (traffic) {
            menu->setActiveAction(traffic);
            traffic->trigger();
            menu->close();
        } else {
            menu->close();
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(100, 100),
                            h.main.mapToGlobal(QPoint(100, 100)));
    QCoreApplication::sendEvent(&h.main, &event);
    ASSERT_EQ(texts.size(), 2);
    EXPECT_EQ(texts[1], "Traffic...");
    EXPECT_TRUE(texts[0].startsWith(QStringLiteral("关于")));
    // The same window comes back on the next opening.
    TrafficMonitor* first = h.main.ShowTraffic();
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(h.main.ShowTraffic(), first);
}

// The simulator's device model on the serial side of the program: what the program writes goes
// to the model, and its replies come back byte by byte when they fall due on the manual clock.
class SimulatedLink final : public Link {
public:
    SimulatedLink(sim::DeviceModel& model, Harness& h) : model_(model), h_(h) {}
    bool IsOpen() const override { return true; }
    void Write(const std::uint8_t* bytes, std::size_t length) override {
        for (const sim::Reply& r : model_.Receive(bytes, length, h_.clock.Now())) {
            if (r.closeLine) continue;
            h_.clock.Schedule(r.delayMs, [this, data = r.bytes] {
                for (std::uint8_t b : data)
                    h_.main.OnRxByte(b);
            });
        }
    }

private:
    sim::DeviceModel& model_;
    Harness& h_;
};

TEST(TrafficInProgram, FirmwareUploadAgainstTheSimulatorIsTracedInFull) {
    Harness h;
    sim::DeviceModel device;
    SimulatedLink link(device, h);
    h.main.Sender().SetSerialLink(&link);
    h.main.OnTabClicked(kPageFirmware);
    h.Settle();

    QTemporaryDir dir;
    const QString path = dir.filePath("image.fw");
    std::vector<std::uint8_t> file(1000);
    for (std::size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<std::uint8_t>(i * 13 + 5);
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<qint64>(file.size()));
    out.close();
    CFWDlg* page = h.main.FirmwarePage();
    page->SetFileChooser([path](QWidget*) { return path; });
    Harness::Click(page, IDC_FW_OPEN);
    h.Settle();
    h.main.Traffic().Clear();
    Harness::Click(page, IDC_FW_UPGRADE);
    for (int step = 0; step < 3000 && !page->ItemText(IDC_FW_MESSAGES).contains("successfully");
         ++step) {
        h.Advance(10);
    }
    ASSERT_TRUE(page->ItemText(IDC_FW_MESSAGES).contains("Firmware upgrade successfully"));
    ASSERT_TRUE(device.Firmware().Compare(file).Matches());

    // 998 payload bytes: four blocks, each announced, sent and acknowledged.
    const TrafficModel& traffic = h.main.Traffic();
    int blocks = 0, announcements = 0, lastAnnouncements = 0, acks = 0, probes = 0;
    for (int row = 0; row < traffic.rowCount(); ++row) {
        const TrafficEntry& e = traffic.Entry(row);
        EXPECT_EQ(e.meaning.check, CheckResult::Good) << traffic.LineText(row).toStdString();
        if (e.meaning.name == "data block") ++blocks;
        if (e.meaning.name == "firmware block announcement") ++announcements;
        if (e.meaning.arguments.ends_with("last block")) ++lastAnnouncements;
        if (e.meaning.name == "firmware block reply") ++acks;
        if (e.meaning.name == "reboot probe") ++probes;
    }
    EXPECT_EQ(blocks, 4);
    EXPECT_EQ(announcements, 4);
    EXPECT_EQ(lastAnnouncements, 1);
    EXPECT_EQ(acks, 4);
    // The unit reboots for 4 s and the probe goes every 3 s: the third probe is answered.
    EXPECT_EQ(probes, 3);
    // Entry times follow the program's clock: the probes went 3000 ms apart.
    std::vector<QDateTime> probeTimes;
    for (int row = 0; row < traffic.rowCount(); ++row) {
        if (traffic.Entry(row).meaning.name == "reboot probe")
            probeTimes.push_back(traffic.Entry(row).time);
    }
    ASSERT_EQ(probeTimes.size(), 3u);
    EXPECT_EQ(probeTimes[0].msecsTo(probeTimes[1]), 3000);
    EXPECT_EQ(probeTimes[1].msecsTo(probeTimes[2]), 3000);
    EXPECT_EQ(traffic.Entry(traffic.rowCount() - 1).meaning.name, "reboot probe reply");
}

}  // namespace
}  // namespace corvane
