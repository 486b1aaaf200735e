// The port watch on a folder standing in for /dev, with plain files for device nodes, and on a
// real pseudo-terminal opened by another process.
#include "link/PortWatch.h"
#include "tests/support/Pty.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace corvane {
namespace {

namespace fs = std::filesystem;
using test::ChildHolder;
using test::PtyPair;
using test::WaitFor;

// Counts the handler's calls by the kind of change.
class Calls {
public:
    void Add(const std::set<std::string>& devices, unsigned change) {
        std::lock_guard lock(mutex_);
        last_ = devices;
        for (unsigned bit : {PortWatch::kPresence, PortWatch::kUse, PortWatch::kRecheck})
            if (change & bit) ++counts_[bit];
    }
    int Count(unsigned bit) {
        std::lock_guard lock(mutex_);
        return counts_[bit];
    }
    std::set<std::string> Last() {
        std::lock_guard lock(mutex_);
        return last_;
    }
    // Waits until bit has come once more than before.
    bool Next(unsigned bit, int before) {
        return WaitFor([&] { return Count(bit) > before; }, 5000);
    }

private:
    std::mutex mutex_;
    std::map<unsigned, int> counts_;
    std::set<std::string> last_;
};

class PortWatchTest : public ::testing::Test {
protected:
    PortWatchTest() {
        char pattern[] = "/tmp/corvane-watch-XXXXXX";
        root_ = ::mkdtemp(pattern);
        fs::create_directories(root_ / "dev");
        fs::create_directories(root_ / "lock");
        std::ofstream(root_ / "dev" / "ttyUSB0") << "";
    }
    ~PortWatchTest() override {
        watch_.reset();
        fs::remove_all(root_);
    }
    std::string Dev(const char* name) const { return (root_ / "dev" / name).string(); }
    std::string Lock(const char* name) const { return (root_ / "lock" / name).string(); }
    void Start(std::set<std::string> devices) {
        PortWatch::Folders folders;
        folders.presence = {Dev(""), Dev("serial")};
        folders.locks = {Lock("")};
        watch_ = std::make_unique<PortWatch>(
            folders, std::move(devices),
            [this](const std::set<std::string>& d, unsigned c) { calls_.Add(d, c); }, 60000);
        ASSERT_TRUE(calls_.Next(PortWatch::kRecheck, 0));  // the first call
    }
    // Nothing more comes for a while.
    bool Quiet(unsigned bit) {
        const int before = calls_.Count(bit);
        ::usleep(100 * 1000);
        return calls_.Count(bit) == before;
    }

    fs::path root_;
    Calls calls_;
    std::unique_ptr<PortWatch> watch_;
};

TEST_F(PortWatchTest, DevicesComingAndGoingAndTheirLockFiles) {
    Start({Dev("ttyUSB0")});
    EXPECT_EQ(calls_.Last(), std::set<std::string>{Dev("ttyUSB0")});

    int presence = calls_.Count(PortWatch::kPresence);
    std::ofstream(Dev("ttyACM0")) << "";
    EXPECT_TRUE(calls_.Next(PortWatch::kPresence, presence));
    presence = calls_.Count(PortWatch::kPresence);
    fs::remove(Dev("ttyACM0"));
    EXPECT_TRUE(calls_.Next(PortWatch::kPresence, presence));

    // A folder that appears later is watched from then on.
    fs::create_directories(root_ / "dev" / "serial");
    ASSERT_TRUE(WaitFor([&] { return Quiet(PortWatch::kPresence); }, 5000));
    presence = calls_.Count(PortWatch::kPresence);
    fs::create_symlink("../ttyUSB0", root_ / "dev" / "serial" / "usb-1234");
    EXPECT_TRUE(calls_.Next(PortWatch::kPresence, presence));

    // A lock file written or removed is news; one only read is not, since the list reads them.
    int use = calls_.Count(PortWatch::kUse);
    std::ofstream(Lock("LCK..ttyUSB0")) << "  4242\n";
    EXPECT_TRUE(calls_.Next(PortWatch::kUse, use));
    ASSERT_TRUE(WaitFor([&] { return Quiet(PortWatch::kUse); }, 5000));
    for (int i = 0; i < 3; ++i) {
        std::ifstream in(Lock("LCK..ttyUSB0"));
        std::string text;
        in >> text;
    }
    EXPECT_TRUE(Quiet(PortWatch::kUse));
    use = calls_.Count(PortWatch::kUse);
    fs::remove(Lock("LCK..ttyUSB0"));
    EXPECT_TRUE(calls_.Next(PortWatch::kUse, use));
}

TEST_F(PortWatchTest, AnotherProcessOpeningAWatchedTerminalByAnyName) {
    PtyPair pty;
    Start({Dev("ttyUSB0")});
    const int recheck = calls_.Count(PortWatch::kRecheck);
    watch_->Watch({pty.SlavePath()});
    ASSERT_TRUE(calls_.Next(PortWatch::kRecheck, recheck));
    EXPECT_EQ(calls_.Last(), std::set<std::string>{pty.SlavePath()});
    ASSERT_TRUE(WaitFor([&] { return Quiet(PortWatch::kUse); }, 5000));

    int use = calls_.Count(PortWatch::kUse);
    {
        ChildHolder holder(pty.SlavePath(), false);
        ASSERT_TRUE(holder.Held());
        EXPECT_TRUE(calls_.Next(PortWatch::kUse, use));
        use = calls_.Count(PortWatch::kUse);
    }
    EXPECT_TRUE(calls_.Next(PortWatch::kUse, use));  // the close

    // A link to the node leads to the same inode, as /dev/serial/by-id does.
    fs::create_symlink(pty.SlavePath(), root_ / "dev" / "by-id-link");
    ASSERT_TRUE(WaitFor([&] { return Quiet(PortWatch::kUse); }, 5000));
    use = calls_.Count(PortWatch::kUse);
    ChildHolder viaLink(Dev("by-id-link"), false);
    ASSERT_TRUE(viaLink.Held());
    EXPECT_TRUE(calls_.Next(PortWatch::kUse, use));

    // A node no longer asked for is not watched.
    watch_->Watch({Dev("ttyUSB0")});
    viaLink.Release();
    ASSERT_TRUE(WaitFor([&] { return Quiet(PortWatch::kUse); }, 5000));
    use = calls_.Count(PortWatch::kUse);
    ChildHolder again(pty.SlavePath(), false);
    ASSERT_TRUE(again.Held());
    EXPECT_TRUE(Quiet(PortWatch::kUse));
    EXPECT_EQ(calls_.Count(PortWatch::kUse), use);
}

}  // namespace
}  // namespace corvane
