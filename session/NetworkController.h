#pragma once
// The switcher search and the network configuration over UDP: the search broadcast out of every
// interface, the list of switchers that answered (one entry per switcher, with every interface
// it answered on), the configuration broadcast where the chosen switcher is, its
// acknowledgement, the repeated search until the switcher answers again, and the end of a
// configuration (confirmed, or time-out after 20 s).

#include "framework/WindowTimers.h"
#include "link/SwitcherSearch.h"
#include "link/TrafficLog.h"
#include "session/ConfigPacket.h"
#include "session/SessionHost.h"

#include <QString>

#include <array>
#include <memory>
#include <vector>

namespace corvane {

// The switcher a configuration goes to: decimal octets and two upper-case hexadecimal digits a
// MAC byte, empty while nothing has answered.
struct SwitcherTarget {
    std::array<QString, 4> ip;
    std::array<QString, 6> mac;
};

// One switcher that answered the current search.
struct FoundSwitcher {
    QString address;  // dotted decimal, as listed
    QString mac;      // 12 upper-case hexadecimal digits
    // The same, a field for each octet and MAC byte, as a selection hands them to the target.
    SwitcherTarget fields;
    // The interfaces it answered on, in the order first heard; none when the platform did not say.
    std::vector<int> interfaces;
};

class NetworkListener {
public:
    virtual ~NetworkListener() = default;
    // A search starts: the results of the last one are gone.
    virtual void OnSearchStarted() {}
    // A switcher answered the current search for the first time and is listed at row.
    virtual void OnSwitcherListed(int row, const FoundSwitcher& found) = 0;
    // After each search reply and each selection: the selected row (-1 for none) and the target.
    virtual void OnTargetChanged(int selectedRow, const SwitcherTarget& target) = 0;
    // The configured switcher answered a search again (900 ms after its answer).
    virtual void OnConfigConfirmed() = 0;
    // 900 ms after the confirmation: the configuration's end may be taken down.
    virtual void OnConfigFinished() = 0;
    // No confirmation within 20 s. Call TimeOutSeen() once the operator has seen it.
    virtual void OnConfigTimedOut() = 0;
};

class NetworkController {
public:
    static constexpr int kConfigDoneTimer = 1004;
    static constexpr int kConfigCloseTimer = 1005;
    static constexpr int kConfigTimeoutTimer = 1007;
    static constexpr int kSearchAgainTimer = 1008;
    static constexpr int kConfigDonePeriod = 900;
    static constexpr int kConfigClosePeriod = 900;
    static constexpr int kConfigTimeoutPeriod = 20000;
    static constexpr int kSearchAgainPeriod = 3000;
    // One search lists at most this many switchers.
    static constexpr std::size_t kMaxSwitchers = 256;

    NetworkController(SessionHost& host, Clock& clock, TrafficLog& log);
    ~NetworkController();

    void SetListener(NetworkListener* listener) { listener_ = listener; }
    // The sockets to use from now on; until then there are none and every search ends silently.
    void UseSockets(SocketFactory& sockets);

    // A new search: the list empties, and the request goes out of every broadcast interface.
    void Search();
    // The operator chose list row (out of range: ignored).
    void Select(int row);
    // Checks the request as the configuration dialog does and returns the message when it is
    // refused; otherwise broadcasts the packet where the selected switcher answered (everywhere
    // when unknown), waits for the acknowledgement and returns an empty text.
    QString Configure(const ConfigRequest& request);
    // The operator saw the time-out: the ready flag comes back.
    void TimeOutSeen();

    const std::vector<FoundSwitcher>& Found() const { return found_; }
    int SelectedRow() const { return selected_; }
    const SwitcherTarget& Target() const { return target_; }
    // A configuration was sent and its switcher has not answered a search again yet.
    bool AwaitingConfirmation() const { return awaiting_; }
    const WindowTimers& Timers() const { return timers_; }
    SwitcherSearch& Udp() { return *udp_; }

    // The datagrams, as the socket hands them over.
    void OnSearchReply(const std::uint8_t* bytes, std::size_t length, const Via& via);
    void OnConfigReply(const std::uint8_t* bytes, std::size_t length, const Via& via);

private:
    void OnTimer(int id);
    void OnConfigTimeout();
    // Lists a switcher, or adds the interface to its entry; false when the list is full.
    bool AddSwitcher(const QString& address, const QString& mac, int interfaceIndex);
    void ApplySelection();
    void ReportTarget();

    SessionHost& host_;
    TrafficLog& log_;
    WindowTimers timers_;
    NetworkListener* listener_ = nullptr;
    std::unique_ptr<SwitcherSearch> udp_;
    // In list order: sorted by address text.
    std::vector<FoundSwitcher> found_;
    int selected_ = -1;
    SwitcherTarget target_;
    // While a configuration waits for its switcher to answer a search again: its MAC before and
    // after, as 12 upper-case hexadecimal digits.
    bool awaiting_ = false;
    QString configuredOldMac_;
    QString configuredNewMac_;
};

}  // namespace corvane
