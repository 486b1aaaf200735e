#include "session/NetworkController.h"

#include <QStringList>

#include <algorithm>

namespace corvane {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

QString MacText(const std::array<QString, 6>& bytes) {
    return QStringList(bytes.begin(), bytes.end()).join(QString()).toUpper();
}

}  // namespace

NetworkController::NetworkController(SessionHost& host, Clock& clock, TrafficLog& log)
    : host_(host), log_(log), timers_(clock, [this](int id) { OnTimer(id); }) {
    UseSockets(NoSockets());
}

NetworkController::~NetworkController() = default;

void NetworkController::UseSockets(SocketFactory& sockets) {
    udp_ = std::make_unique<SwitcherSearch>(
        sockets, SwitcherSearch::Handlers{[this](const std::uint8_t* b, std::size_t n,
                                                 const Via& via) { OnSearchReply(b, n, via); },
                                          [this](const std::uint8_t* b, std::size_t n,
                                                 const Via& via) { OnConfigReply(b, n, via); }});
}

void NetworkController::Search() {
    found_.clear();
    selected_ = -1;
    if (listener_) listener_->OnSearchStarted();
    const std::uint8_t request = kSearchRequest;
    for (const Via& via : udp_->Search())
        log_.NoteDatagram(TrafficKind::SearchRequest, &request, 1, via.name);
}

void NetworkController::OnSearchReply(const std::uint8_t* bytes, std::size_t length,
                                      const Via& via) {
    log_.LogDatagram(bytes, length, via.name);
    const std::optional<SearchReply> reply = ParseSearchReply(bytes, length);
    if (!reply) return;

    // Every reply names the target; the selected entry, where there is one, then takes over.
    QString mac(2 * static_cast<qsizetype>(reply->mac.size()), Qt::Uninitialized);
    for (std::size_t i = 0; i < reply->mac.size(); ++i) {
        const auto at = 2 * static_cast<qsizetype>(i);
        mac[at] = QLatin1Char(kHexDigits[reply->mac[i] >> 4]);
        mac[at + 1] = QLatin1Char(kHexDigits[reply->mac[i] & 0x0F]);
        target_.mac[i] = mac.mid(at, 2);
    }
    for (std::size_t i = 0; i < reply->ip.size(); ++i)
        target_.ip[i] = QString::number(reply->ip[i]);
    if (reply->switcher) {
        const QString address = target_.ip[0] + QLatin1Char('.') + target_.ip[1] +
                                QLatin1Char('.') + target_.ip[2] + QLatin1Char('.') + target_.ip[3];
        if (AddSwitcher(address, mac, via.index)) selected_ = 0;
    }
    // Config... must reach the switcher the list shows selected, not the one that answered last.
    ApplySelection();
    ReportTarget();
    if (!reply->switcher) return;

    // Every switcher on the network answers a search; only the one being configured confirms
    // its configuration, and an ordinary search has nothing to confirm.
    if (!awaiting_ || (mac != configuredNewMac_ && mac != configuredOldMac_)) return;
    awaiting_ = false;
    timers_.KillTimer(kSearchAgainTimer);
    timers_.KillTimer(kConfigTimeoutTimer);
    timers_.SetTimer(kConfigDoneTimer, kConfigDonePeriod);
}

bool NetworkController::AddSwitcher(const QString& address, const QString& mac,
                                    int interfaceIndex) {
    // A switcher that answers on two interfaces (or twice) is listed once, with both.
    for (FoundSwitcher& entry : found_) {
        if (entry.address != address || entry.mac != mac) continue;
        std::vector<int>& on = entry.interfaces;
        if (interfaceIndex > 0 && std::find(on.begin(), on.end(), interfaceIndex) == on.end())
            on.push_back(interfaceIndex);
        return true;
    }
    if (found_.size() >= kMaxSwitchers) return false;
    // A sorted list: the new entry goes after every entry that does not sort after it.
    std::size_t at = 0;
    while (at < found_.size() &&
           QString::compare(found_[at].address, address, Qt::CaseInsensitive) <= 0) {
        ++at;
    }
    // The target holds this reply's fields now.
    FoundSwitcher entry{address, mac, target_, {}};
    if (interfaceIndex > 0) entry.interfaces.push_back(interfaceIndex);
    const auto row = static_cast<int>(at);
    found_.insert(found_.begin() + row, std::move(entry));
    if (listener_) listener_->OnSwitcherListed(row, found_[at]);
    return true;
}

void NetworkController::Select(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= found_.size()) return;
    selected_ = row;
    ApplySelection();
    ReportTarget();
}

void NetworkController::ApplySelection() {
    if (selected_ < 0) return;
    target_ = found_[static_cast<std::size_t>(selected_)].fields;
}

void NetworkController::ReportTarget() {
    if (listener_) listener_->OnTargetChanged(selected_, target_);
}

QString NetworkController::Configure(const ConfigRequest& request) {
    if (QString error = ConfigRequestError(request); !error.isEmpty()) return error;
    const ConfigPacket packet = BuildConfigPacket(request);
    // Where the chosen switcher answered; everywhere when that is not known.
    std::vector<int> interfaces;
    if (selected_ >= 0) interfaces = found_[static_cast<std::size_t>(selected_)].interfaces;
    for (const Via& via : udp_->SendConfig(packet, interfaces))
        log_.NoteDatagram(TrafficKind::ConfigSent, packet.data(), packet.size(), via.name);
    awaiting_ = true;
    configuredOldMac_ = MacText(request.targetMac);
    configuredNewMac_ = MacText(request.newMac);
    timers_.SetTimer(kConfigTimeoutTimer, kConfigTimeoutPeriod);
    return {};
}

void NetworkController::OnConfigReply(const std::uint8_t* bytes, std::size_t length,
                                      const Via& via) {
    log_.NoteDatagram(TrafficKind::ConfigReply, bytes, length, via.name);
    // An acknowledgement that comes after the configuration ended (timed out) starts nothing:
    // the repeated search would otherwise run on for good, and close the TCP link each time.
    if (!awaiting_ || !IsConfigAcknowledgement(bytes, length)) return;
    Search();
    timers_.SetTimer(kSearchAgainTimer, kSearchAgainPeriod);
}

void NetworkController::OnTimer(int id) {
    switch (id) {
        case kConfigDoneTimer:
            timers_.KillTimer(kConfigDoneTimer);
            if (listener_) listener_->OnConfigConfirmed();
            timers_.SetTimer(kConfigCloseTimer, kConfigClosePeriod);
            break;
        case kConfigCloseTimer:
            timers_.KillTimer(kConfigCloseTimer);
            if (listener_) listener_->OnConfigFinished();
            break;
        case kConfigTimeoutTimer:
            OnConfigTimeout();
            break;
        case kSearchAgainTimer:
            timers_.KillTimer(kSearchAgainTimer);
            Search();
            timers_.SetTimer(kSearchAgainTimer, kSearchAgainPeriod);
            break;
        default:
            break;
    }
}

void NetworkController::OnConfigTimeout() {
    awaiting_ = false;
    timers_.KillTimer(kSearchAgainTimer);
    timers_.KillTimer(kConfigTimeoutTimer);
    if (listener_) listener_->OnConfigTimedOut();
}

void NetworkController::TimeOutSeen() {
    host_.SetReady(true);
}

}  // namespace corvane
