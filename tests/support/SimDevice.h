#pragma once
// A simulated switcher serving on a pseudo-terminal of its own in this process, for the tests
// and measurements that run a program of ours against it, and the firmware files they send.

#include "sim/DeviceModel.h"
#include "sim/PtyTransport.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace corvane::test {

struct PtyDevice {
    explicit PtyDevice(sim::DeviceSettings settings = {}) : model(settings), transport(model) {
        std::string error;
        if (!transport.Open(&error) || !transport.Start(&error)) ADD_FAILURE() << error;
    }
    ~PtyDevice() { transport.Stop(); }
    const std::string& Path() const { return transport.SlavePath(); }
    std::vector<Frame> Commands() {
        return transport.WithModel([](sim::DeviceModel& m) { return m.Commands(); });
    }
    // Whether the device's flash holds exactly this image, all of it.
    bool Holds(const std::vector<std::uint8_t>& image) {
        const sim::FirmwareCheck check =
            transport.WithModel([&](sim::DeviceModel& m) { return m.Firmware().Compare(image); });
        return check.complete && check.Matches();
    }
    void Silence() {
        transport.WithModel([](sim::DeviceModel& m) {
            m.SetSilent(true);
            return 0;
        });
    }

    sim::DeviceModel model;
    sim::PtyTransport transport;
};

// A file of n bytes whose bytes differ from their neighbours and from block to block.
inline std::vector<std::uint8_t> FirmwareFileOf(int n) {
    std::vector<std::uint8_t> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 37 + 11 + i / 256);
    return v;
}

// A temporary file holding bytes, removed with the object.
class TempFile {
public:
    explicit TempFile(const std::vector<std::uint8_t>& bytes) {
        const int fd = ::mkstemp(path_.data());
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::close(fd);
    }
    ~TempFile() { ::unlink(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_ = "/tmp/corvane-test-XXXXXX";
};

}  // namespace corvane::test
