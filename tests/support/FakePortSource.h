#pragma once
// A port source that lists what the test says, for the port-list rules and the main window.

#include "link/SerialPorts.h"

#include <functional>
#include <initializer_list>
#include <vector>

namespace corvane::test {

class FakePortSource : public PortSource {
public:
    struct Entry {
        PortDevice device;
        PortDescription description;
        bool held = false;
    };

    // Ports /dev/<name> without descriptions, none held.
    void Set(std::initializer_list<QString> names) {
        entries.clear();
        for (const QString& name : names)
            Add(name);
    }
    Entry& Add(const QString& name, const QString& path = {}) {
        entries.push_back({{path.isEmpty() ? QStringLiteral("/dev/") + name : path, name}, {}});
        return entries.back();
    }

    std::vector<PortDevice> Devices() override {
        ++enumerations;
        changed = false;
        if (failing) throw PortEnumerationError("Could not read from /sys/class/tty. (err=d)");
        std::vector<PortDevice> devices;
        for (const Entry& e : entries)
            devices.push_back(e.device);
        return devices;
    }
    PortDescription Describe(const PortDevice& device) override {
        const Entry* e = Find(device);
        return e ? e->description : PortDescription{};
    }
    bool IsHeld(const PortDevice& device) override {
        const Entry* e = Find(device);
        return e && e->held;
    }

    bool Unchanged() override { return reports && !changed; }
    bool SetChangeHandler(std::function<void()> h) override {
        handler = std::move(h);
        return reports;
    }
    // As a source that reports its changes does, from another thread.
    void Report() {
        changed = true;
        if (handler) handler();
    }

    std::vector<Entry> entries;
    bool failing = false;
    int enumerations = 0;
    bool reports = false;  // set before the window is made
    bool changed = true;
    std::function<void()> handler;

private:
    const Entry* Find(const PortDevice& device) const {
        for (const Entry& e : entries) {
            if (e.device.path == device.path) return &e;
        }
        return nullptr;
    }
};

}  // namespace corvane::test
