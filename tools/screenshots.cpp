// Renders every window and page of the program to PNG files, without a display.
// Usage: corvane-screenshots DIR [SCALE]
#include "app/CCorvaneDlg.h"
#include "app/Program.h"
#include "resources/resource.h"
#include "widgets/PopUps.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QTextStream>

using namespace corvane;

namespace {

class Shots {
public:
    explicit Shots(QString dir) : dir_(std::move(dir)) {}

    void Save(QWidget* w, const QString& name) {
        QCoreApplication::processEvents();
        const QString path = QDir(dir_).filePath(name + ".png");
        const bool saved = w && w->grab().save(path);
        QTextStream(stdout) << (saved ? "wrote " : "FAILED ") << path << "\n";
        ok_ = ok_ && saved;
    }
    bool ok() const { return ok_; }

private:
    QString dir_;
    bool ok_ = true;
};

void Click(CDialog* dialog, int id) {
    if (auto* b = qobject_cast<QAbstractButton*>(dialog ? dialog->Item(id) : nullptr)) b->click();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        QTextStream(stderr) << "usage: corvane-screenshots DIR [SCALE]\n";
        return 2;
    }
    if (argc > 2) qputenv("QT_SCALE_FACTOR", argv[2]);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    Shots shots(dir);

    ManualClock clock;
    Program program(clock);
    PopUps& popUps = program.popUps;
    CCorvaneDlg main(program);
    main.InitDialog();
    main.show();
    shots.Save(&main, "main-general");

    // Without a link the Switch and FW Upgrade tabs show "Open COM failed!" over the page.
    const struct {
        int page;
        const char* name;
    } pages[] = {{kPageEdid, "main-edid"}, {kPageSwitch, "main-switch"}, {kPageFirmware, "main-firmware"}};
    for (const auto& page : pages) {
        main.OnTabClicked(page.page);
        if (popUps.MessageOpen()) {
            if (page.page == kPageSwitch) shots.Save(popUps.MessageWindow(), "message-open-com-failed");
            Click(popUps.MessageWindow(), IDC_MSG_OK);
            clock.RunPending();
        }
        shots.Save(&main, page.name);
    }

    popUps.ShowMessage(QStringLiteral("Time out!"));
    shots.Save(popUps.MessageWindow(), "message-time-out");
    Click(popUps.MessageWindow(), IDC_MSG_OK);
    popUps.ShowMessage(QStringLiteral("Connect to Matrix failed!"));
    shots.Save(popUps.MessageWindow(), "message-connect-failed");
    Click(popUps.MessageWindow(), IDC_MSG_OK);
    popUps.ShowMessage(QStringLiteral("Please open the file(.fw)!"));
    shots.Save(popUps.MessageWindow(), "message-open-file");
    Click(popUps.MessageWindow(), IDC_MSG_OK);
    clock.RunPending();
    popUps.Ask(QStringLiteral("Do you want to reset to factory settings?"), {});
    shots.Save(popUps.MessageWindow(), "message-question");
    Click(popUps.MessageWindow(), IDC_MSG_CANCEL);
    clock.RunPending();

    popUps.ShowBusy(QStringLiteral("Setting"));
    shots.Save(popUps.BusyWindow(), "busy-setting");
    clock.Advance(300);
    shots.Save(popUps.BusyWindow(), "busy-setting-one-dot");
    popUps.SetBusyText(QStringLiteral("Set successfully!"));
    popUps.FinishBusy();
    shots.Save(popUps.BusyWindow(), "busy-finished");
    popUps.CloseBusy();
    clock.RunPending();

    shots.Save(main.ShowAbout(), "about");
    return shots.ok() ? 0 : 1;
}
