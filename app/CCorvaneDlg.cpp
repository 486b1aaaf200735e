#include "app/CCorvaneDlg.h"

#include "app/GeneralSettings.h"
#include "app/NetworkControl.h"
#include "app/TabRow.h"
#include "app/TrafficMonitor.h"
#include "link/SystemPorts.h"
#include "pages/CEDIDDlg.h"
#include "pages/CFWDlg.h"
#include "pages/CMatrixDlg.h"
#include "resources/DialogTemplates.h"
#include "resources/resource.h"
#include "widgets/CaptionButton.h"

#include <QAbstractButton>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTimer>

namespace corvane {
namespace {

const QColor kBand(30, 144, 225);

// Entry times of the traffic record follow the program's clock from the wall-clock time of the
// start, so that they stay in order and a test's manual clock gives its own times. They are kept
// in UTC: moving a local time on asks the system for the time zone every time, which cost half of
// a reply's way through a page.
TrafficModel::TimeSource ProgramTime(Clock& clock) {
    return [&clock, start = QDateTime::currentDateTimeUtc(), base = clock.Now()] {
        return start.addMSecs(clock.Now() - base);
    };
}

}  // namespace

// The two log edits. Lines end in "\r\n" in the log's own terms; the edit shows them as lines.
// A log box. Laying out a data block's line takes about a millisecond, and a block's
// acknowledgement would wait for it: the text is put in a few milliseconds later, in the pause
// between blocks, all that came meanwhile in one insertion.
class CCorvaneDlg::EditLog final : public LogTarget {
public:
    explicit EditLog(QPlainTextEdit* edit) : edit_(edit) {
        flush_.setSingleShot(true);
        flush_.setInterval(kFlushDelayMs);
        QObject::connect(&flush_, &QTimer::timeout, [this] { Flush(); });
    }

    void InsertAtCaret(const std::string& text) override {
        pending_ += QString::fromStdString(text);
        if (!flush_.isActive()) flush_.start();
    }
    void Empty() override {
        pending_.clear();
        flush_.stop();
        edit_->clear();
    }

    void Flush() {
        flush_.stop();
        if (pending_.isEmpty()) return;
        pending_.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        // Through the edit's own cursor, then one scroll to it: handing the edit a moved copy
        // of its cursor took about 1.7 times as long for a data block's lines.
        edit_->insertPlainText(pending_);
        edit_->ensureCursorVisible();
        pending_.clear();
    }

private:
    static constexpr int kFlushDelayMs = 10;

    QPlainTextEdit* edit_;
    QString pending_;
    QTimer flush_;
};

CCorvaneDlg::CCorvaneDlg(Program& program, PortSource* ports)
    : CDialog(MainTemplate(), program.clock),
      program_(program),
      traffic_(ProgramTime(program.clock)),
      sendLog_(std::make_unique<EditLog>(ItemAs<QPlainTextEdit>(IDC_TX_LOG))),
      receiveLog_(std::make_unique<EditLog>(ItemAs<QPlainTextEdit>(IDC_RX_LOG))),
      session_(program.clock),
      systemPorts_(ports ? nullptr : std::make_unique<SystemPortSource>()),
      portSource_(ports ? ports : systemPorts_.get()),
      network_(std::make_unique<NetworkControl>(*this)),
      settings_(std::make_unique<GeneralSettings>(*this)) {
    session_.SetObserver(this);
    session_.SetLogTargets(sendLog_.get(), receiveLog_.get());
    // A send takes the link of the checked control-mode radio.
    session_.SetComModeQuery([this] { return IsItemChecked(IDC_COM_MODE); });
    Router().SetHandler(kPageGeneral, [this](const Frame& f) { OnGeneralReply(f); });
    // The tab labels look and act as the template's statics; their own class makes them tabs to
    // assistive technology.
    TabRow::InstallAccessibleInterfaces();
    std::array<TabLabel*, 4> tabs{};
    for (int page = kPageGeneral; page <= kPageFirmware; ++page) {
        auto* tab = new TabLabel(page, ItemText(TabLabelId(page)), this);
        tab->setFont(font());
        ReplaceItem(TabLabelId(page), tab);
        tabs[static_cast<std::size_t>(page - kPageGeneral)] = tab;
    }
    tabRow_ = new TabRow(*this, tabs);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(QStringLiteral("Corvane"));
    SetFilterKeys(true);
    // Ends the program and releases the port, as the close button does.
    SetCloseControl(IDC_CLOSE);
    // Arial with a cell height of 16 pixels, which is an em of 14.
    captionFont_ = QFont(QStringLiteral("Arial"));
    captionFont_.setPixelSize(14);
    captionFont_.setBold(true);
    captionFont_.setStyleHint(QFont::SansSerif);
    program_.popUps.SetOwner(this);
    Log().SetObserver([this](TrafficKind kind, const std::uint8_t* bytes, std::size_t length,
                             const std::string& interfaceName) {
        traffic_.Add(kind, bytes, length, QString::fromStdString(interfaceName));
    });
    // Called on the source's threads; the refresh runs on this one.
    const bool reports = portSource_->SetChangeHandler([this] {
        QMetaObject::invokeMethod(
            this, [this] { OnPortsChanged(); }, Qt::QueuedConnection);
    });
    if (reports) portListPeriod_ = kPortListReportedPeriod;
}

CCorvaneDlg::~CCorvaneDlg() {
    portSource_->SetChangeHandler({});
    // The port thread may be waiting to hand over bytes; it must end before this window does.
    session_.EndSerialThread();
    network_.reset();
    Log().SetObserver({});
    session_.SetLogTargets(nullptr, nullptr);
    session_.SetObserver(nullptr);
    program_.popUps.SetOwner(nullptr);
}

const std::vector<int>& CCorvaneDlg::GeneralControlIds() {
    static const std::vector<int> ids = [] {
        std::vector<int> v = {IDC_MODE_GROUP,        IDC_COM_MODE,      IDC_TCP_MODE,
                              IDC_COM_GROUP,         IDC_PORT_LABEL,    IDC_PORT_LIST,
                              IDC_COM_CONNECT,       IDC_COM_ICON,      IDC_TCP_GROUP,
                              IDC_SWITCHER_IP_LABEL, IDC_SWITCHER_IP,   IDC_TCP_CONNECT,
                              IDC_TCP_ICON,          IDC_SEARCH,        IDC_CONFIG,
                              IDC_DEVICE_INFO_GROUP, IDC_STATUS,        IDC_CLEAR,
                              IDC_RESET_GROUP,       IDC_FACTORY_RESET, IDC_BEEP_GROUP,
                              IDC_ENABLE_BEEP};
        for (int id = IDC_INFO_FIRST; id <= IDC_INFO_LAST; ++id)
            v.push_back(id);
        return v;
    }();
    return ids;
}

void CCorvaneDlg::OnInitDialog() {
    setWindowIcon(QIcon(ResourcePixmap(IDR_MAINFRAME, QSize(32, 32))));
    SetUpCaptionButton(*this, IDC_CLOSE, IDI_CLOSE_HOVER, IDI_CLOSE, QStringLiteral("Close"));
    SetUpCaptionButton(*this, IDC_MINIMIZE, IDI_MINIMIZE_HOVER, IDI_MINIMIZE,
                       QStringLiteral("Minimize"));
    for (int page = kPageGeneral; page <= kPageFirmware; ++page) {
        auto* label = ItemAs<QLabel>(TabLabelId(page));
        label->setFont(captionFont_);
        label->setAutoFillBackground(true);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    }
    UpdateTabColours();

    CheckItem(IDC_COM_MODE, true);
    Link().controlMode = LinkState::kComMode;
    ApplyControlMode();
    BlankDeviceInformation();
    RefreshPortList();
    SetTimer(kPortListTimer, portListPeriod_);
    EnableItem(IDC_STATUS, false);
    EnableItem(IDC_CLEAR, false);
    ShowHidePages();
    LayOutCaption();
}

int CCorvaneDlg::TabLabelId(int page) {
    switch (page) {
        case kPageEdid:
            return IDC_TAB_EDID;
        case kPageSwitch:
            return IDC_TAB_SWITCH;
        case kPageFirmware:
            return IDC_TAB_FIRMWARE;
        default:
            return IDC_TAB_GENERAL;
    }
}

void CCorvaneDlg::BlankDeviceInformation() {
    for (int id = IDC_INFO_FIRST; id <= IDC_INFO_LAST; ++id)
        SetItemText(id, QString());
    receiveLog_->Empty();  // what is still to be put in goes too
}

void CCorvaneDlg::FlushLogs() {
    sendLog_->Flush();
    receiveLog_->Flush();
}

void CCorvaneDlg::ApplyControlMode() {
    const bool com = Link().controlMode == LinkState::kComMode;
    for (int id : {IDC_TCP_CONNECT, IDC_TCP_GROUP, IDC_SWITCHER_IP_LABEL, IDC_SEARCH, IDC_CONFIG,
                   IDC_SWITCHER_IP}) {
        EnableItem(id, !com);
    }
    for (int id : {IDC_COM_GROUP, IDC_PORT_LABEL, IDC_COM_CONNECT, IDC_PORT_LIST})
        EnableItem(id, com);
    if (com) {
        network_->CloseTcp();
    } else {
        session_.CloseSerial();
        SetItemText(IDC_COM_CONNECT, QStringLiteral("Connect"));
        SetLinkIcon(IDC_COM_ICON, false);
    }
}

void CCorvaneDlg::SetLinkIcon(int id, bool up) {
    if (auto* icon = ItemAs<QLabel>(id)) {
        icon->setPixmap(ResourcePixmap(up ? IDI_LINK_UP : IDI_LINK_DOWN, QSize(32, 32)));
        icon->setProperty("resource", up ? IDI_LINK_UP : IDI_LINK_DOWN);
        icon->setAccessibleName(up ? QStringLiteral("Connected") : QStringLiteral("Disconnected"));
    }
}

void CCorvaneDlg::OnLinkRefused(const QString& text) {
    program_.popUps.ShowMessage(text);
}

void CCorvaneDlg::OnTimer(int id) {
    // Timer 1 keeps running: it refreshes until a serial link is opened.
    if (id == kPortListTimer) RefreshPortList();
}

void CCorvaneDlg::OnTcpConnected() {
    network_->OnTcpConnected();
}

void CCorvaneDlg::OnTcpClosed() {
    network_->OnTcpClosed();
}

void CCorvaneDlg::OnMainTimeout() {
    // The status chain of the Switch page is given up with it.
    if (switchPage_) switchPage_->Abandon();
    program_.popUps.ShowMessage(QStringLiteral("Time out!"),
                                [this](int) { session_.SetReady(true); });
}

void CCorvaneDlg::OnCommand(int id, Notify code) {
    if (id == IDC_SWITCHER_IP && code == Notify::SelChange) network_->OnSwitcherSelected();
    if (code != Notify::Clicked) return;
    switch (id) {
        case IDC_CLOSE:
            Post([this] {
                if (quit_) quit_();
            });
            break;
        case IDC_MINIMIZE:
            Post([this] { showMinimized(); });
            break;
        case IDC_CLEAR:
            BlankDeviceInformation();
            break;
        case IDC_COM_MODE:
            Link().controlMode = LinkState::kComMode;
            ApplyControlMode();
            break;
        case IDC_TCP_MODE:
            Link().controlMode = LinkState::kTcpMode;
            ApplyControlMode();
            break;
        case IDC_TCP_CONNECT:
            network_->ConnectTcp();
            break;
        case IDC_SEARCH:
            network_->SearchSwitchers();
            break;
        case IDC_CONFIG:
            network_->OnConfig();
            break;
        case IDC_FACTORY_RESET:
            settings_->OnFactoryReset();
            break;
        case IDC_ENABLE_BEEP:
            settings_->OnEnableBeep();
            break;
        case IDC_COM_CONNECT:
            OnComConnect();
            break;
        default:  // Status does nothing
            break;
    }
}

void CCorvaneDlg::OnTabClicked(int page) {
    if (Link().ready == 0) return;
    const int before = CurrentPage();
    SetCurrentPage(static_cast<std::uint8_t>(page));
    UpdateTabColours();
    tabRow_->NotifySelection(before, page);
    SelectPage(page);
}

void CCorvaneDlg::SelectPage(int page) {
    switch (page) {
        case kPageEdid:
            if (!edidPage_) {
                edidPage_ = new CEDIDDlg(*this, clock(), this);
                edidPage_->InitDialog();
                Router().SetHandler(kPageEdid,
                                    [this](const Frame& f) { edidPage_->OnEdidReply(f); });
            }
            ShowHidePages();
            edidPage_->move(1, 56);
            break;
        case kPageSwitch:
            if (!switchPage_) {
                switchPage_ = new CMatrixDlg(*this, clock(), this);
                switchPage_->InitDialog();
                Router().SetHandler(kPageSwitch,
                                    [this](const Frame& f) { switchPage_->OnSwitchReply(f); });
            }
            ShowHidePages();
            switchPage_->move(1, 56);
            switchPage_->Controller().QueryInput();
            break;
        case kPageFirmware:
            if (!firmwarePage_) {
                firmwarePage_ = new CFWDlg(*this, clock(), this);
                firmwarePage_->InitDialog();
                Router().SetHandler(kPageFirmware,
                                    [this](const Frame& f) { firmwarePage_->OnFirmwareReply(f); });
            }
            ShowHidePages();
            firmwarePage_->move(1, 70);
            firmwarePage_->Controller().QueryDeviceType();
            break;
        default:
            ShowHidePages();
            break;
    }
}

void CCorvaneDlg::ShowHidePages() {
    const std::uint8_t page = CurrentPage();
    const bool general = page == kPageGeneral;
    for (int id : GeneralControlIds())
        ShowItem(id, general);
    if (switchPage_) switchPage_->setVisible(page == kPageSwitch);
    if (edidPage_) edidPage_->setVisible(page == kPageEdid);
    if (firmwarePage_) firmwarePage_->setVisible(page == kPageFirmware);
    update();
}

void CCorvaneDlg::UpdateTabColours() {
    // The tab in front takes the page's face colour; the others stay in the band.
    const QColor face = palette().color(QPalette::Button);
    for (int page = kPageGeneral; page <= kPageFirmware; ++page) {
        const bool current = CurrentPage() == page;
        const QColor text = current ? QColor(Qt::black) : QColor(Qt::white);
        const QColor back = current ? face : kBand;
        Item(TabLabelId(page))
            ->setStyleSheet(QStringLiteral("QLabel { color: %1; background-color: %2; }")
                                .arg(text.name(), back.name()));
    }
}

void CCorvaneDlg::LayOutCaption() {
    const int w = width();
    const QRect closeAt(w - 26, 1, 25, 25);
    const QRect minimizeAt(w - 51, 1, 25, 25);
    if (Item(IDC_CLOSE)->geometry() != closeAt) Item(IDC_CLOSE)->setGeometry(closeAt);
    if (Item(IDC_MINIMIZE)->geometry() != minimizeAt) Item(IDC_MINIMIZE)->setGeometry(minimizeAt);
    const QSize label = Item(IDC_TAB_GENERAL)->size();
    for (int k = 0; k < 4; ++k) {
        QWidget* tab = Item(TabLabelId(kPageGeneral + k));
        const QPoint at(1 + k * (label.width() + 1), 56 - label.height());
        if (tab->pos() != at) tab->move(at);
    }
}

QRect CCorvaneDlg::GeneralFrameRect() const {
    const QPoint info = Item(IDC_INFO_FIRST)->pos();
    return QRect(info.x() - 2, info.y() - 9, 314, 240);
}

QPixmap CCorvaneDlg::RenderSurface() const {
    const int w = width();
    const int h = height();
    const int lw = Item(IDC_TAB_GENERAL)->width();
    const int lh = Item(IDC_TAB_GENERAL)->height();
    QPixmap buffer(size() * devicePixelRatioF());
    buffer.setDevicePixelRatio(devicePixelRatioF());
    buffer.fill(palette().color(QPalette::Button));
    QPainter p(&buffer);
    p.setPen(QColor(128, 128, 128, 50));
    p.drawRect(0, 0, w - 1, h - 1);
    if (CurrentPage() == kPageGeneral) {
        p.setPen(QColor(30, 120, 200, 50));
        p.drawRect(GeneralFrameRect());
    }
    p.fillRect(1, 1, w - 2, 55, kBand);
    p.setPen(QColor(30, 120, 255));
    p.drawLine(0, 0, w - 2, 0);
    p.drawLine(0, 0, 0, 55);
    p.drawLine(w - 1, 0, w - 1, 55);
    p.setPen(QColor(30, 120, 200));
    for (int k = 1; k <= 3; ++k)
        p.drawLine(k * (lw + 1), 62 - lh, k * (lw + 1), 76 - lh);

    // Centred with its trailing blanks, which text layout would otherwise leave out.
    p.setFont(captionFont_);
    p.setPen(Qt::white);
    const QRect box = CaptionRect();
    const QFontMetrics fm(captionFont_);
    const int textWidth = fm.horizontalAdvance(kCaption);
    const int x = box.left() + (box.width() - textWidth) / 2;
    const int y = box.top() + (box.height() - fm.height()) / 2 + fm.ascent();
    p.drawText(x, y, kCaption);
    return buffer;
}

void CCorvaneDlg::paintEvent(QPaintEvent* event) {
    LayOutCaption();
    // Every repaint of a child that is not opaque paints the surface under it first, which during
    // a firmware run is several times a block: the surface is drawn again only when it changes,
    // and only the part asked for is copied.
    const qreal ratio = devicePixelRatioF();
    if (surface_.isNull() || surface_.deviceIndependentSize().toSize() != size() ||
        surface_.devicePixelRatio() != ratio || surfacePage_ != CurrentPage()) {
        surface_ = RenderSurface();
        surfacePage_ = CurrentPage();
    }
    const QRect area = event->rect();
    const QRectF source(QPointF(area.topLeft()) * ratio, QSizeF(area.size()) * ratio);
    QPainter(this).drawPixmap(QRectF(area), surface_, source);
}

void CCorvaneDlg::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        surface_ = QPixmap();
    CDialog::changeEvent(event);
}

void CCorvaneDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        CDialog::mousePressEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    for (int page = kPageGeneral; page <= kPageFirmware; ++page) {
        if (Item(TabLabelId(page))->geometry().contains(at)) {
            OnTabClicked(page);
            return;
        }
    }
    StartWindowDrag(event->globalPosition().toPoint());
    CDialog::mousePressEvent(event);
}

void CCorvaneDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addSeparator();
    QAction* about = menu.addAction(QStringLiteral("关于 Corvane(&A)..."));
    QAction* traffic = menu.addAction(QStringLiteral("Traffic..."));
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == about) ShowAbout();
    if (chosen == traffic) ShowTraffic();
}

TrafficMonitor* CCorvaneDlg::ShowTraffic() {
    // Its own top-level window, not a child: the dialog style sheet and key filter of the main
    // window are not meant for it, and it stays usable while a pop-up holds the main window.
    if (!trafficMonitor_) {
        trafficMonitor_ = std::make_unique<TrafficMonitor>(traffic_);
        trafficMonitor_->setWindowIcon(windowIcon());
    }
    trafficMonitor_->show();
    trafficMonitor_->raise();
    trafficMonitor_->activateWindow();
    return trafficMonitor_.get();
}

CDialog* CCorvaneDlg::ShowAbout() {
    auto* box = new CDialog(AboutTemplate(), clock());
    box->setWindowIcon(QIcon(ResourcePixmap(IDI_ABOUT, QSize(32, 32))));
    QObject::connect(qobject_cast<QAbstractButton*>(box->Item(kAboutOk)), &QAbstractButton::clicked,
                     box, [box] { box->EndDialog(kIdOk); });
    box->SetCloseControl(kAboutOk);
    box->RunModal(
        this, [box](int) { box->deleteLater(); }, false);
    return box;
}

}  // namespace corvane
