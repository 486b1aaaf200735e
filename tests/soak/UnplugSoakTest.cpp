// The switcher's serial line is pulled at random points of the connection, the Switch page's
// status chain and a firmware upload, with the real port thread on a pseudo-terminal and the
// simulator at the other end. Each time the window must show the disconnected state, give
// back every descriptor it took, and then sit idle.
#include "app/CCorvaneDlg.h"
#include "app/Program.h"
#include "framework/Clock.h"
#include "link/SystemPorts.h"
#include "pages/CFWDlg.h"
#include "resources/resource.h"
#include "sim/DeviceModel.h"
#include "sim/PtyTransport.h"
#include "tests/soak/SoakSupport.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <memory>
#include <utility>
#include <vector>

namespace corvane::test {
namespace {

// The process's descriptors and what they refer to, its descriptor directory left out.
std::vector<std::pair<std::string, std::string>> Descriptors() {
    std::vector<std::pair<std::string, std::string>> out;
    const std::string self = "/proc/" + std::to_string(::getpid()) + "/fd";
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (const dirent* e = ::readdir(d)) {
            if (e->d_name[0] == '.') continue;
            char target[256] = {};
            const std::string link = std::string("/proc/self/fd/") + e->d_name;
            if (::readlink(link.c_str(), target, sizeof target - 1) < 0 || target == self) continue;
            out.emplace_back(e->d_name, target);
        }
        ::closedir(d);
    }
    return out;
}

// "3 -> /dev/pts/4, ..." for a failure message.
std::string DescriptorList() {
    std::string list;
    for (const auto& [fd, target] : Descriptors())
        list += fd + " -> " + target + ", ";
    return list;
}

// The port-holder scan walks /proc and /sys on a thread of its own, at idle priority: on a
// loaded machine a walk can take seconds. Its directories are counted apart, so that the count
// needs no wait for it; they must never pile up.
bool WalkHandle(const std::string& target) {
    return target == "/" || target.rfind("/proc", 0) == 0 || target.rfind("/sys", 0) == 0;
}
// Qt draws icons on pooled threads of its own. Each holds an eventfd for its event loop and
// ends 30 s after its last job, so whether they are there depends on how fast the machine ran
// the test: their descriptors are left out of the count.
int QtPoolThreads() {
    int count = 0;
    if (DIR* d = ::opendir("/proc/self/task")) {
        while (const dirent* e = ::readdir(d)) {
            QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(e->d_name));
            if (e->d_name[0] != '.' && comm.open(QIODevice::ReadOnly) &&
                comm.readAll().startsWith("Thread (pooled)"))
                ++count;
        }
        ::closedir(d);
    }
    return count;
}
int SettledDescriptors() {
    for (;;) {
        const int pooled = QtPoolThreads();
        int count = 0, walk = 0;
        for (const auto& [fd, target] : Descriptors())
            ++(WalkHandle(target) ? walk : count);
        if (QtPoolThreads() != pooled) continue;  // one ended meanwhile
        EXPECT_LE(walk, 8) << DescriptorList();
        return count - pooled;
    }
}

double CpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The event loop runs as the program's does, sleeping while nothing happens.
void RunEventLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool RunUntil(const std::function<bool()>& pred, int ms = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        RunEventLoop(2);
    }
    return true;
}

// Where the line is pulled.
enum class Point { Connecting, StatusChain, Upload };

struct Window {
    Window() : main(program, &ports) { main.InitDialog(); }
    // The device appears in the port list and is selected.
    bool Plug(const std::string& device) {
        path = QString::fromStdString(device);
        ports.AddDevice(path);
        ports.WaitForPass(10000);  // the list shows a device once its holders were looked for
        main.RefreshPortList();
        auto* combo = main.ItemAs<QComboBox>(IDC_PORT_LIST);
        const int at = combo->findText(path.mid(5));
        combo->setCurrentIndex(at);
        return at >= 0;
    }
    ~Window() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    void Click(int id) { main.ItemAs<QAbstractButton>(id)->click(); }
    bool Connected() const { return main.Link().comUp == 1; }
    bool ShowsDisconnected() {
        return main.Link().comUp == 0 && main.ItemText(IDC_COM_CONNECT) == "Connect" &&
               main.Item(IDC_COM_ICON)->property("resource").toInt() == IDI_LINK_DOWN &&
               main.IsTimerRunning(CCorvaneDlg::kPortListTimer) &&
               main.IsItemEnabled(IDC_PORT_LIST) && !main.SerialPort().IsThreadAlive();
    }

    QtClock clock;
    Program program{clock};
    SystemPortSource ports;
    QString path;
    CCorvaneDlg main;
};

// What an idle window may cost, in shares of a core. The program idles at 1 to 2 % (a few
// milliseconds of port list refresh every 600 ms), a sanitizer build at a few times that, and a
// loaded machine or virtual machine adds to what each window is charged. A spinning thread shows
// as 50 % and more, and still as about 40 % when it shares two cores with four busy processes.
constexpr double kWindowCpuLimit = 0.25;
// All windows together: a thread that wakes far too often without spinning.
#ifdef CORVANE_SANITIZED
constexpr double kTotalCpuLimit = 0.20;
#else
constexpr double kTotalCpuLimit = 0.10;
#endif

TEST(UnplugSoak, APulledLineShowsDisconnectedLeaksNoDescriptorAndLeavesTheProcessIdle) {
    const int runs = SoakRuns(100);
    const int idleMs = static_cast<int>(EnvNumber("SOAK_IDLE_MS", 1000));
    const int finalIdleMs = static_cast<int>(EnvNumber("SOAK_FINAL_IDLE_MS", idleMs));
    const std::uint64_t first = SoakSeed();
    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("unplug.fw"));
    {
        QFile f(image);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(3000, '\x5A'));
    }
    double worstIdle = 0, idleCpu = 0, idleWall = 0;
    int overFive = 0;
    int counts[3] = {};

    for (int run = 0; run < runs; ++run) {
        const std::uint64_t seed = first + static_cast<std::uint64_t>(run);
        SCOPED_TRACE(SeedNote(seed));
        Rng rng(seed);
        const auto point = static_cast<Point>(Uniform(rng, 0, 2));
        ++counts[static_cast<int>(point)];
        const int afterMs = point == Point::Connecting    ? Uniform(rng, 0, 20)
                            : point == Point::StatusChain ? Uniform(rng, 0, 30)
                                                          : Uniform(rng, 0, 800);

        // Counted with the window up and before the simulator's line exists, so that both
        // the simulator's and the program's descriptors of it must be gone afterwards.
        Window w;
        RunEventLoop(1);
        const int before = SettledDescriptors();
        const std::string beforeList = DescriptorList();
        sim::DeviceModel model;
        auto transport = std::make_unique<sim::PtyTransport>(model);
        std::string error;
        ASSERT_TRUE(transport->Open(&error)) << error;
        ASSERT_TRUE(transport->Start(&error)) << error;
        ASSERT_TRUE(w.Plug(transport->SlavePath()));

        w.Click(IDC_COM_CONNECT);
        ASSERT_TRUE(w.Connected());
        if (point == Point::StatusChain) {
            RunUntil([&] { return w.main.Link().ready == 1; }, 200);
            w.main.OnTabClicked(kPageSwitch);
        } else if (point == Point::Upload) {
            w.main.OnTabClicked(kPageFirmware);
            RunUntil([&] { return !w.main.FirmwarePage()->ItemText(IDC_FW_STATUS).isEmpty(); },
                     2000);
            CFWDlg* page = w.main.FirmwarePage();
            page->SetFileChooser([&](QWidget*) { return image; });
            page->ItemAs<QAbstractButton>(IDC_FW_OPEN)->click();
            page->ItemAs<QAbstractButton>(IDC_FW_UPGRADE)->click();
        }
        RunEventLoop(afterMs);
        transport->Stop();  // the line goes
        ASSERT_TRUE(RunUntil([&] { return w.ShowsDisconnected(); })) << "point " << int(point);
        EXPECT_FALSE(w.program.popUps.MessageOpen());
        transport.reset();
        RunEventLoop(1);
        EXPECT_EQ(SettledDescriptors(), before)
            << "point " << int(point) << " after " << afterMs << " ms\nbefore: " << beforeList
            << "\nafter: " << DescriptorList();

        const double cpu0 = CpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        RunEventLoop(run + 1 == runs ? finalIdleMs : idleMs);
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = CpuSeconds() - cpu0;
        const double share = cpu / wall;
        idleCpu += cpu;
        idleWall += wall;
        worstIdle = std::max(worstIdle, share);
        if (EnvNumber("SOAK_VERBOSE", 0))
            std::cout << "run " << run << " point " << int(point) << " idle " << share * 100
                      << " %\n";
        EXPECT_LT(share, kWindowCpuLimit)
            << "point " << int(point) << ": " << share * 100 << " % of a core";
        if (share >= 0.05) ++overFive;
        if (::testing::Test::HasFatalFailure()) break;
    }
    EXPECT_LT(idleCpu / idleWall, kTotalCpuLimit);
    std::cout << "[ soak ] " << runs << " unplugs from seed " << first << " (" << counts[0]
              << " connecting, " << counts[1] << " status chain, " << counts[2] << " upload); idle "
              << idleCpu / idleWall * 100 << " % of a core over " << idleWall << " s, worst window "
              << worstIdle * 100 << " %, " << overFive << " windows at 5 % or more\n";
}

}  // namespace
}  // namespace corvane::test
