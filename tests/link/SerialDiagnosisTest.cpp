#include "link/SerialDiagnosis.h"

#include <gtest/gtest.h>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

namespace corvane::serialdiag {
namespace {

namespace fs = std::filesystem;

NodeFacts Node(unsigned mode, const std::string& group, unsigned gid = 20) {
    NodeFacts f;
    f.exists = true;
    f.mode = mode;
    f.ownerName = "root";
    f.groupName = group;
    f.groupGid = gid;
    f.userName = "alice";
    return f;
}

TEST(OpenFailureReason, PermissionNamesTheGroupTheCommandAndTheNewLogin) {
    EXPECT_EQ(OpenFailureReason("/dev/ttyUSB0", EACCES, Node(0660, "dialout")),
              "No permission for ttyUSB0 (group dialout).\nRun: sudo usermod -aG dialout alice, "
              "then log in again.");
    // Already added, but this login predates it.
    NodeFacts added = Node(0660, "dialout");
    added.userListedInGroup = true;
    EXPECT_EQ(OpenFailureReason("/dev/ttyUSB0", EACCES, added),
              "No permission for ttyUSB0: you were added to group dialout after this login "
              "started; log out and in again.");
    // Adding the user to a group that may not open the node, or to root, would not help.
    EXPECT_EQ(OpenFailureReason("/dev/ttyS0", EACCES, Node(0600, "dialout")),
              "No permission for ttyS0 (owner root, group dialout, mode 600).");
    EXPECT_EQ(OpenFailureReason("/dev/ttyS0", EPERM, Node(0660, "root", 0)),
              "No permission for ttyS0 (owner root, group root, mode 660).");
}

TEST(OpenFailureReason, BusyNamesTheHolderWhenItCanBeSeen) {
    NodeFacts f = Node(0660, "dialout");
    EXPECT_EQ(OpenFailureReason("/dev/ttyUSB0", EBUSY, f), "ttyUSB0 is in use by another program.");
    f.holders = {{4321, "minicom"}};
    EXPECT_EQ(OpenFailureReason("/dev/ttyUSB0", EBUSY, f),
              "ttyUSB0 is in use by minicom (pid 4321).");
    f.holders.push_back({4400, "screen"});
    EXPECT_EQ(OpenFailureReason("/dev/ttyUSB0", EWOULDBLOCK, f),
              "ttyUSB0 is in use by minicom (pid 4321) and 1 more.");
    f.holders = {{812, "ModemManager"}};
    EXPECT_EQ(OpenFailureReason("/dev/ttyACM0", EBUSY, f),
              "ttyACM0 is being probed by ModemManager (pid 812); try again in a few seconds.");
}

TEST(OpenFailureReason, GoneDevicesAndOtherErrors) {
    NodeFacts gone;
    EXPECT_EQ(OpenFailureReason("/dev/ttyUSB3", ENOENT, gone),
              "No such device: ttyUSB3 is gone (unplugged?).");
    EXPECT_EQ(OpenFailureReason("/dev/ttyS3", ENXIO, Node(0660, "dialout")),
              "No such device: no serial hardware answers at ttyS3.");
    EXPECT_EQ(OpenFailureReason("/dev/null", ENOTTY, Node(0666, "root", 0)),
              "null is not a serial port.");
    EXPECT_EQ(OpenFailureReason("", ENOENT, gone), "No serial port was found.");
    EXPECT_EQ(OpenFailureReason("/dev/ttyS0", EIO, Node(0660, "dialout")),
              "ttyS0: Input/output error.");
}

// The permission case for real: a device node owned by a group the user is not in, opened by
// a child process that has dropped to nobody.
TEST(SerialDiagnosis, PermissionOnARealNodeForAnUnprivilegedUser) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a device node and drop to nobody";
    const group* dialout = ::getgrnam("dialout");
    if (!dialout) GTEST_SKIP() << "this system has no dialout group";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ::chmod(dir.path().toLocal8Bit().constData(), 0755);
    const std::string node = dir.filePath("ttyTEST0").toStdString();
    // The null device's numbers: opening it cannot touch any hardware.
    if (::mknod(node.c_str(), S_IFCHR | 0660, ::makedev(1, 3)) != 0)
        GTEST_SKIP() << "cannot make a device node here: " << std::strerror(errno);
    ASSERT_EQ(::chown(node.c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(node.c_str(), 0660), 0);

    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(out[0]);
        std::string text;
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            text = "could not drop privileges";
        } else {
            const int fd = ::open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            const int error = fd < 0 ? errno : 0;
            text =
                std::to_string(error) + "|" + OpenFailureReason(node, error, GatherNodeFacts(node));
        }
        [[maybe_unused]] const ssize_t n = ::write(out[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(out[1]);
    std::string result;
    char buffer[512];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, n);
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);

    const std::string user = ::getpwuid(65534) ? ::getpwuid(65534)->pw_name : "$USER";
    EXPECT_EQ(result, std::to_string(EACCES) +
                          "|No permission for ttyTEST0 (group dialout).\nRun: "
                          "sudo usermod -aG dialout " +
                          user + ", then log in again.");
}

TEST(SerialDiagnosis, FindsTheProcessThatHoldsADevice) {
    QTemporaryDir dir;
    const QString path = dir.filePath("port");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QProcess holder;
    holder.setStandardInputFile(path);
    holder.start("sleep", {"30"});
    ASSERT_TRUE(holder.waitForStarted(5000));
    const int pid = static_cast<int>(holder.processId());

    // We hold it too, but a program does not report itself.
    std::vector<Holder> found;
    for (QDeadlineTimer deadline(5000); !deadline.hasExpired();) {
        found = FindHolders(path.toStdString());
        if (!found.empty() && found.front().name == "sleep") break;
    }
    holder.kill();
    holder.waitForFinished(5000);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].pid, pid);
    EXPECT_EQ(found[0].name, "sleep");
}

// A fake sysfs and /proc, laid out as the kernel lays them out.
class TrapTree : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    fs::path Root() const { return fs::path(dir.path().toStdString()); }
    void Write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text << "\n";
    }
    void UsbDevice(const std::string& name, const std::string& vendor, const std::string& product,
                   const std::string& productName) {
        const fs::path d = Root() / "sys/bus/usb/devices" / name;
        Write(d / "idVendor", vendor);
        Write(d / "idProduct", product);
        Write(d / "product", productName);
    }
    fs::path Interface(const std::string& name, const std::string& driver, const std::string& tty) {
        const fs::path i = Root() / "sys/bus/usb/devices" / name;
        fs::create_directories(i);
        if (!driver.empty())
            fs::create_symlink("../../../../bus/usb/drivers/" + driver, i / "driver");
        if (!tty.empty()) fs::create_directories(i / tty);
        return i;
    }
    void Process(int pid, const std::string& name, const std::vector<std::string>& fds = {}) {
        const fs::path p = Root() / "proc" / std::to_string(pid);
        Write(p / "comm", name);
        fs::create_directories(p / "fd");
        int fd = 0;
        for (const std::string& target : fds)
            fs::create_symlink(target, p / "fd" / std::to_string(fd++));
    }
    std::vector<std::string> Traps() {
        return FindSerialTraps((Root() / "sys").string(), (Root() / "proc").string());
    }

    QTemporaryDir dir;
};

TEST_F(TrapTree, AdapterClaimedByBrlttyIsNamed) {
    UsbDevice("1-1", "1a86", "7523", "USB Serial");
    Interface("1-1:1.0", "usbfs", "");
    UsbDevice("1-2", "10c4", "ea60", "CP2102 USB to UART Bridge Controller");
    Interface("1-2:1.0", "cp210x", "ttyUSB0");
    UsbDevice("1-3", "046d", "c52b", "Receiver");  // not a serial adapter
    Interface("1-3:1.0", "usbhid", "");
    Process(1, "systemd");
    Process(733, "brltty");

    EXPECT_EQ(Traps(),
              std::vector<std::string>{
                  "USB serial adapter 1a86:7523 (USB Serial) at 1-1:1.0 has no tty: brltty "
                  "(pid 733) has claimed it; remove the brltty package or disable its "
                  "udev rules, then plug the adapter in again."});
}

TEST_F(TrapTree, AdapterWaitingForItsDriverIsNoTrap) {
    UsbDevice("2-1", "0403", "6001", "FT232R USB UART");
    Interface("2-1:1.0", "", "");
    Process(1, "systemd");
    EXPECT_TRUE(Traps().empty());
    // Once usbfs has it, no driver will bind.
    fs::create_symlink("../../../../bus/usb/drivers/usbfs",
                       Root() / "sys/bus/usb/devices/2-1:1.0/driver");
    EXPECT_EQ(Traps(),
              std::vector<std::string>{"USB serial adapter 0403:6001 (FT232R USB UART) at "
                                       "2-1:1.0 has no tty: a program holds it through usbfs."});
}

TEST_F(TrapTree, ModemManagerHoldingAPortIsNamedOnceByTheReporter) {
    fs::create_directories(Root() / "sys/bus/usb/devices");
    Process(1, "systemd");
    Process(812, "ModemManager", {"/dev/null", "socket:[1234]", "/dev/ttyACM0"});
    const std::vector<std::string> traps = Traps();
    ASSERT_EQ(traps.size(), 1u);
    EXPECT_EQ(traps[0],
              "ModemManager (pid 812) has /dev/ttyACM0 open: it probes serial ports for modems. "
              "Stop it (sudo systemctl stop ModemManager) or set ID_MM_DEVICE_IGNORE=1 for the "
              "port in a udev rule.");
    TrapReporter reporter;
    EXPECT_EQ(reporter.Report(traps).size(), 1u);
    EXPECT_TRUE(reporter.Report(traps).empty());
}

TEST_F(TrapTree, TheWatchSearchesInTheBackgroundAndWritesEachTrapOnce) {
    fs::create_directories(Root() / "sys/bus/usb/devices");
    Process(812, "ModemManager", {"/dev/ttyACM0"});
    TrapWatch watch((Root() / "sys").string(), (Root() / "proc").string());
    watch.Look();
    ASSERT_TRUE(watch.WaitForLatestLook(10000));
    ASSERT_EQ(watch.Reported().size(), 1u);
    // A second look finds the same trap and writes nothing; a new one is added.
    Process(813, "ModemManager", {"/dev/ttyUSB1"});
    watch.Look();
    watch.Look();
    ASSERT_TRUE(watch.WaitForLatestLook(10000));
    ASSERT_EQ(watch.Reported().size(), 2u);
    EXPECT_NE(watch.Reported()[1].find("/dev/ttyUSB1"), std::string::npos);
}

}  // namespace
}  // namespace corvane::serialdiag
