#pragma once
// A port source that lists what the test says, for the port-list rules and the main window.

#include "link/SerialPorts.h"

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

    std::vector<Entry> entries;
    bool failing = false;
    int enumerations = 0;

private:
    const Entry* Find(const PortDevice& device) const {
        for (const Entry& e : entries) {
            if (e.device.path == device.path) return &e;
        }
        return nullptr;
    }
};

}  // namespace corvane::test
