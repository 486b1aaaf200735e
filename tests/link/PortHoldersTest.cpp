// Finding who holds a serial device without opening it, and the system source built on that.
#include "link/PortHolders.h"
#include "link/SystemPorts.h"
#include "tests/support/Pty.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace corvane {
namespace {

using test::ChildHolder;
using test::PtyPair;

void WriteFile(const QString& path, const std::string& content) {
    std::ofstream(path.toStdString(), std::ios::binary) << content;
}

pid_t DeadPid() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

TEST(LockFiles, OnlyALiveOtherProcessHoldsTheDevice) {
    QTemporaryDir dir;
    const std::vector<std::string> dirs = {"/corvane-no-such-dir", dir.path().toStdString()};
    const pid_t self = ::getpid();
    EXPECT_FALSE(holders::HasLiveLockFile("ttyUSB0", dirs, self));

    WriteFile(dir.filePath("LCK..ttyUSB0"), "      " + std::to_string(::getppid()) + "\n");
    EXPECT_TRUE(holders::HasLiveLockFile("ttyUSB0", dirs, self));
    EXPECT_FALSE(holders::HasLiveLockFile("ttyUSB1", dirs, self));

    WriteFile(dir.filePath("LCK..ttyUSB0"), std::to_string(DeadPid()) + "\n");
    EXPECT_FALSE(holders::HasLiveLockFile("ttyUSB0", dirs, self));  // stale
    WriteFile(dir.filePath("LCK..ttyUSB0"), std::to_string(self) + "\n");
    EXPECT_FALSE(holders::HasLiveLockFile("ttyUSB0", dirs, self));  // ours

    // Old programs write the number in binary; slashes in the name become underscores.
    const int parent = ::getppid();
    WriteFile(dir.filePath("LCK..pts_3"),
              std::string(reinterpret_cast<const char*>(&parent), sizeof parent));
    EXPECT_TRUE(holders::HasLiveLockFile("pts/3", dirs, self));
    // A binary number whose low byte reads as a digit (12345 is '9', '0', 0, 0) is no text.
    const int digitLike = 12345;
    EXPECT_EQ(holders::LockFilePid(
                  std::string(reinterpret_cast<const char*>(&digitLike), sizeof digitLike)),
              12345);
    EXPECT_EQ(holders::LockFilePid("      4242\n"), 4242);
    EXPECT_EQ(holders::LockFilePid("junk"), 0);
}

TEST(ProcLocks, ParsesHoldersAndSkipsOurOwnAndWaiters) {
    const std::string text =
        "1: FLOCK  ADVISORY  WRITE 4242 00:05:1234 0 EOF\n"
        "2: POSIX  ADVISORY  READ 100 fd:01:77 0 EOF\n"
        "3: -> FLOCK  ADVISORY  WRITE 555 00:05:999 0 EOF\n"
        "4: OFDLCK ADVISORY  WRITE -1 00:1a:31 0 EOF\n"
        "5: FLOCK  ADVISORY  WRITE 100 00:05:4321 0 EOF\n"
        "garbage\n";
    const auto locked = holders::ParseProcLocks(text, 100);
    EXPECT_EQ(locked.size(), 2u);
    EXPECT_TRUE(locked.count(holders::LockedFile{makedev(0, 5), 1234}));
    EXPECT_TRUE(locked.count(holders::LockedFile{makedev(0, 0x1a), 31}));
    EXPECT_FALSE(locked.count(holders::LockedFile{makedev(0, 5), 999}));
    EXPECT_FALSE(locked.count(holders::LockedFile{makedev(0xfd, 1), 77}));
}

TEST(ProcLocks, SeesAnotherProcesssFlockOnTheDevice) {
    PtyPair pty;
    const auto before = holders::ParseProcLocks(holders::ReadSmallFile("/proc/locks"), ::getpid());
    EXPECT_FALSE(holders::IsLocked(pty.SlavePath(), before));
    ChildHolder child(pty.SlavePath(), true);
    ASSERT_TRUE(child.Held());
    const auto during = holders::ParseProcLocks(holders::ReadSmallFile("/proc/locks"), ::getpid());
    EXPECT_TRUE(holders::IsLocked(pty.SlavePath(), during));
}

TEST(OpenFiles, FindsADeviceThatAnotherProcessHasOpen) {
    PtyPair first;
    PtyPair second;
    const std::set<std::string> paths = {first.SlavePath(), "/dev/corvane-none"};
    // The pairs keep their slaves open in this process, which does not count.
    EXPECT_TRUE(holders::FindOpenByProcesses(paths, ::getpid()).empty());
    {
        ChildHolder child(first.SlavePath(), false);
        ASSERT_TRUE(child.Held());
        EXPECT_EQ(holders::FindOpenByProcesses(paths, ::getpid()),
                  std::set<std::string>{first.SlavePath()});
    }
    EXPECT_TRUE(holders::FindOpenByProcesses(paths, ::getpid()).empty());
}

TEST(TtyClassWalk, ListsDevicesWithADriverButNotAbsentUarts) {
    QTemporaryDir root;
    QDir d(root.path());
    auto makeTty = [&](const QString& name, bool driver, const char* type) {
        d.mkpath(name + "/device");
        if (driver) {
            QFile::link(root.path(), root.filePath(name + "/device/driver"));
        }
        if (type) WriteFile(root.filePath(name + "/type"), type);
    };
    makeTty("ttyS0", true, "4\n");
    makeTty("ttyS1", true, "0\n");  // registered, not fitted
    makeTty("ttyUSB0", true, nullptr);
    makeTty("tty1", false, nullptr);
    SystemPortSource::Roots roots;
    roots.sysClassTty = root.path().toStdString();
    auto devices = SystemPortSource::WalkTtyClass(roots);
    std::vector<QString> names;
    for (const PortDevice& p : devices)
        names.push_back(p.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<QString>{"ttyS0", "ttyUSB0"}));
    for (const PortDevice& p : devices)
        EXPECT_EQ(p.path, "/dev/" + p.name);

    roots.sysClassTty = "/corvane-no-such-dir";
    EXPECT_THROW(SystemPortSource::WalkTtyClass(roots), PortEnumerationError);
}

bool Lists(SystemPortSource& source, const PtyPair& pty) {
    std::vector<SSerInfo> ports;
    EnumerateSerialPorts(ports, source);
    return std::any_of(ports.begin(), ports.end(), [&](const SSerInfo& p) {
        return p.devicePath.toStdString() == pty.SlavePath() &&
               PortNameOf(p) == pty.SlaveName().c_str();
    });
}

// No walk is asked for here: the opens and closes of the holder are what start them.
TEST(SystemPortSource, APortHeldElsewhereDropsOutAndComesBack) {
    PtyPair pty;
    SystemPortSource source;
    source.AddDevice(QString::fromStdString(pty.SlavePath()));
    ASSERT_TRUE(source.WaitForPass(10000));
    EXPECT_TRUE(Lists(source, pty));
    for (const bool lock : {true, false}) {
        SCOPED_TRACE(lock ? "locked" : "open");
        {
            ChildHolder holder(pty.SlavePath(), lock);
            ASSERT_TRUE(holder.Held());
            EXPECT_TRUE(test::WaitFor([&] { return !Lists(source, pty); }));
        }
        EXPECT_TRUE(test::WaitFor([&] { return Lists(source, pty); }));
    }
    // With nothing happening a refresh can stop at once.
    EXPECT_TRUE(test::WaitFor([&] {
        Lists(source, pty);
        return source.Unchanged();
    }));
}

TEST(SystemPortSource, ABusyPortIsNeverListedBeforeOrAfterItsHoldersWereLookedFor) {
    PtyPair busy;
    ChildHolder opener(busy.SlavePath(), false);
    ASSERT_TRUE(opener.Held());
    PtyPair free;  // after the fork, which would hold it too
    SystemPortSource source;
    source.AddDevice(QString::fromStdString(busy.SlavePath()));
    source.AddDevice(QString::fromStdString(free.SlavePath()));
    std::vector<SSerInfo> ports;
    // The first walk starts with the source and may already have ended on a fast machine: what
    // is listed now may hold the free port, never the busy one.
    EnumerateSerialPorts(ports, source);
    for (const SSerInfo& port : ports)
        EXPECT_NE(port.devicePath.toStdString(), busy.SlavePath());
    ASSERT_TRUE(source.WaitForPass(10000));
    EXPECT_FALSE(Lists(source, busy));
    EXPECT_TRUE(Lists(source, free));
}

TEST(SystemPortSource, TheStablePathIsTheByIdLinkToTheDevice) {
    QTemporaryDir root;
    QDir d(root.path());
    d.mkpath("serial/by-id");
    QFile::link("../../ttyUSB0",
                root.filePath("serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"));
    QFile::link(root.filePath("ttyACM0"), root.filePath("serial/by-id/usb-Arduino_Uno_8573-if00"));
    QFile::link("../../ttyUSB0",
                root.filePath("serial/by-id/usb-FTDI_FT232R_USB_UART_B-if00-port0"));
    SystemPortSource::Roots roots;
    roots.serialById = root.filePath("serial/by-id").toStdString();
    const auto stable = SystemPortSource::StablePaths(roots);
    const std::string dev = root.path().toStdString();
    ASSERT_EQ(stable.size(), 2u);
    EXPECT_EQ(stable.at(dev + "/ttyUSB0"),
              root.filePath("serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"));
    EXPECT_EQ(stable.at(dev + "/ttyACM0"), root.filePath("serial/by-id/usb-Arduino_Uno_8573-if00"));
    roots.serialById = "/corvane-no-such-dir";
    EXPECT_TRUE(SystemPortSource::StablePaths(roots).empty());
}

TEST(SystemPortSource, ADeviceThatIsGoneIsNotListed) {
    SystemPortSource source;
    source.AddDevice("/dev/pts/corvane-none");
    ASSERT_TRUE(source.WaitForPass(10000));
    std::vector<SSerInfo> ports;
    EnumerateSerialPorts(ports, source);
    for (const SSerInfo& p : ports)
        EXPECT_NE(p.devicePath, "/dev/pts/corvane-none");
}

}  // namespace
}  // namespace corvane
