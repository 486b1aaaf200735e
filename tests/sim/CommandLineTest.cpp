// corvane-sim as a program: options, serving a link path, faults from the command line, and
// leaving no link behind when it stops.

#include "tests/sim/SimTest.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <thread>

extern char** environ;

namespace corvane::sim::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(5);

struct Child {
    pid_t pid = -1;
    int out = -1;  // its stdout and stderr

    // Waits for it to end and returns its exit status, -1 if it did not end in time.
    int Wait(std::string* output = nullptr) {
        const auto until = Clock::now() + kDeadline;
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (Clock::now() > until) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        char buf[4096];
        ssize_t n;
        while (output && (n = ::read(out, buf, sizeof buf)) > 0)
            output->append(buf, static_cast<std::size_t>(n));
        ::close(out);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

Child Spawn(std::vector<std::string> args) {
    args.insert(args.begin(), CORVANE_SIM_PROGRAM);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int pipefd[2];
    EXPECT_EQ(::pipe(pipefd), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipefd[0]);
    Child c;
    EXPECT_EQ(::posix_spawn(&c.pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipefd[1]);
    c.out = pipefd[0];
    // Read in the background would need a thread; the output here is small enough for the pipe.
    return c;
}

std::string TempLinkPath() {
    char dir[] = "/tmp/corvane-sim-test.XXXXXX";
    EXPECT_NE(::mkdtemp(dir), nullptr);
    return std::string(dir) + "/tty";
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

int OpenWhenThere(const std::string& path) {
    const auto until = Clock::now() + kDeadline;
    while (Clock::now() < until) {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) {
            termios t{};
            ::tcgetattr(fd, &t);
            ::cfmakeraw(&t);
            ::tcsetattr(fd, TCSANOW, &t);
            return fd;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

std::vector<std::uint8_t> Exchange(int fd, const std::string& body, bool purge = true) {
    if (purge) ::tcflush(fd, TCIOFLUSH);
    const auto f = Wire(FrameFromBody(body));
    EXPECT_EQ(::write(fd, f.data(), f.size()), 13);
    std::vector<std::uint8_t> got;
    const auto until = Clock::now() + kDeadline;
    while (got.size() < kFrameSize && Clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        std::uint8_t buf[64];
        const ssize_t n = (p.revents & POLLIN) ? ::read(fd, buf, kFrameSize - got.size()) : 0;
        if (n > 0)
            got.insert(got.end(), buf, buf + n);
        else if (p.revents & POLLHUP)
            break;
    }
    return got;
}

TEST(CommandLine, HelpListsTheOptionsAndBadOptionsAreRefused) {
    std::string out;
    EXPECT_EQ(Spawn({"--help"}).Wait(&out), 0);
    for (const char* opt : {"--pty", "--drop", "--corrupt", "--delay", "--duplicate", "--close-on",
                            "--close-after", "--silent", "--verbose"})
        EXPECT_NE(out.find(opt), std::string::npos) << opt;
    EXPECT_EQ(Spawn({"--pty", "/tmp/x", "--drop", "20"}).Wait(), 2);
    EXPECT_EQ(Spawn({"--bogus"}).Wait(), 2);
    EXPECT_EQ(Spawn({"--drop", "20,01"}).Wait(), 2) << "--pty is required";
}

TEST(CommandLine, ServesTheLinkWithFaultsAndRemovesItOnStop) {
    const std::string link = TempLinkPath();
    Child sim = Spawn({"--pty", link, "--drop", "01,0B@1", "--input", "5", "--verbose"});
    const int fd = OpenWhenThere(link);
    ASSERT_GE(fd, 0);
    // The first beeper query goes unanswered, so the next reply is the input report. No purge
    // between the two: the query may not have been read yet.
    const auto f = Wire(FrameFromBody("01 0B 00 00 00 00 00 00 00 00"));
    ASSERT_EQ(::write(fd, f.data(), f.size()), 13);
    EXPECT_EQ(Hex(Exchange(fd, "02 01 01 00 00 00 00 00 00 00", false)),
              "A5 5B 02 01 01 00 05 00 00 00 00 00 F7");
    EXPECT_EQ(Exchange(fd, "01 0B 00 00 00 00 00 00 00 00").size(), kFrameSize);
    ::close(fd);

    ASSERT_EQ(::kill(sim.pid, SIGTERM), 0);
    std::string out;
    EXPECT_EQ(sim.Wait(&out), 0);
    EXPECT_FALSE(Exists(link)) << "the link is removed";
    EXPECT_NE(out.find("<- A5 5B 02 01 01 00 00 00 00 00 00 00 FC"), std::string::npos) << out;
    EXPECT_NE(out.find("-> A5 5B 02 01 01 00 05 00 00 00 00 00 F7"), std::string::npos) << out;
}

TEST(CommandLine, CloseAfterEndsTheProgramAndHangsUpTheLine) {
    const std::string link = TempLinkPath();
    Child sim = Spawn({"--pty", link, "--close-after", "1"});
    const int fd = OpenWhenThere(link);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Exchange(fd, "01 0B 00 00 00 00 00 00 00 00").size(), kFrameSize);
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
    ::close(fd);
    EXPECT_EQ(sim.Wait(), 3);
    EXPECT_FALSE(Exists(link));
}

TEST(CommandLine, RefusesToReplaceARealFile) {
    const std::string path = TempLinkPath();
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(Spawn({"--pty", path}).Wait(), 1);
    EXPECT_TRUE(Exists(path));
}

}  // namespace
}  // namespace corvane::sim::test
