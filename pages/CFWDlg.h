#pragma once
// Firmware upgrade page: a view of the firmware controller. It forwards the buttons and the
// device's frames, draws the run log, the progress and the device information, and shows the
// pop-ups the controller's ends call for.

#include "framework/Dialog.h"
#include "link/CommandFrame.h"
#include "pages/PageHost.h"
#include "session/FirmwareController.h"

#include <QString>

#include <functional>

namespace corvane {

class CFWDlg : public CDialog, private FirmwareController::Listener {
    Q_OBJECT
public:
    // Asks the operator for a .fw file; an empty result means cancelled. Tests replace it.
    using FileChooser = std::function<QString(QWidget* parent)>;
    using Stage = FirmwareController::Stage;

    CFWDlg(PageHost& host, Clock& clock, QWidget* parent);

    void SetFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }

    // Every checksum-valid frame that arrives while this page is in front.
    void OnFirmwareReply(const Frame& frame) { controller_.OnFirmwareReply(frame); }

    FirmwareController& Controller() { return controller_; }
    const FirmwareController& Controller() const { return controller_; }
    Stage RunStage() const { return controller_.RunStage(); }
    bool Failed() const { return controller_.Failed(); }
    int ImageLength() const { return controller_.ImageLength(); }
    const BlockPlan& Plan() const { return controller_.Plan(); }

    static QString ChooseFileWithDialog(QWidget* parent);

protected:
    void OnInitDialog() override;
    void OnCommand(int id, Notify code) override;

private:
    void OnOpen();

    // FirmwareController::Listener
    void RunLogCleared() override;
    void RunLogLine(const QString& line, FirmwareController::LineKind kind) override;
    void ImageLoaded(const QString& absolutePath, int length) override;
    void FileRefused(const QString& message) override;
    void Progress(int position) override;
    void DeviceInfo(const QString& text) override;
    void Ended(FirmwareController::End end) override;

    void ApplyMessageColour(bool failed);

    PageHost& host_;
    FileChooser chooseFile_;
    FirmwareController controller_;
};

}  // namespace corvane
