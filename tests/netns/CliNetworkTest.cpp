// corvane-cli's search, configuration and TCP control, run as a shell would run them, against the
// simulator in the neighbouring namespace. The program is started only from inside the private
// namespace: it broadcasts.
#include "tests/netns/TestNamespace.h"
#include "tests/support/RunProgram.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane {
namespace {

// The simulator's two addresses (run-in-netns.sh) and its MAC as the search lists it.
const std::string kSimAddresses[] = {"198.51.100.10", "198.51.100.50"};
const std::string kSimMac = "024356000001";

test::ProgramRun RunCli(std::vector<std::string> args) {
    args.insert(args.begin(), CORVANE_CLI_PROGRAM);
    return test::RunProgram(std::move(args));
}

class CliNetns : public ::testing::Test {
protected:
    void SetUp() override {
        if (qgetenv("CORVANE_NETNS") != "1")
            GTEST_SKIP() << "runs only inside the namespaces of tests/netns/run-in-netns.sh";
        const std::string why = test::NotInsideTheTestNamespace();
        ASSERT_TRUE(why.empty()) << why;
    }
    // The address the simulator answers the search from now.
    static std::string Search() {
        const test::ProgramRun run = RunCli({"search", "--wait", "2"});
        EXPECT_EQ(run.status, 0) << run.err;
        for (const std::string& address : kSimAddresses) {
            if (run.out == address + "  " + kSimMac + "\n") return address;
        }
        ADD_FAILURE() << "search listed: " << run.out;
        return {};
    }
};

TEST_F(CliNetns, SearchFindsTheSwitcherWhichTakesANewAddressAndIsControlledThere) {
    const std::string before = Search();
    ASSERT_FALSE(before.empty());
    const std::string after = before == kSimAddresses[0] ? kSimAddresses[1] : kSimAddresses[0];

    const test::ProgramRun refused = RunCli({"config", "--mac", kSimMac, "--static", "198.51.100"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err, "Invalid IP address!\n");

    const test::ProgramRun config = RunCli({"config", "--mac", kSimMac, "--static", after});
    EXPECT_EQ(config.status, 0) << config.err;
    EXPECT_EQ(config.out, "Configure successfully!\n");
    EXPECT_EQ(Search(), after);

    const test::ProgramRun sw = RunCli({"--host", after, "--json", "switch", "hdmi2"});
    EXPECT_EQ(sw.status, 0) << sw.err;
    EXPECT_NE(sw.out.find("\"result\":\"confirmed\""), std::string::npos) << sw.out;
    EXPECT_NE(sw.out.find("\"input\":\"hdmi2\""), std::string::npos) << sw.out;
    const test::ProgramRun info = RunCli({"--host", after, "info"});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("hdmi2"), std::string::npos) << info.out;

    // Nothing listens for control on the other network.
    const test::ProgramRun nobody = RunCli({"--host", "203.0.113.1", "beep", "on"});
    EXPECT_EQ(nobody.status, 3);
    EXPECT_NE(nobody.err.find("Connect to Matrix failed!"), std::string::npos) << nobody.err;
}

}  // namespace
}  // namespace corvane
