#include "sim/NetnsCheck.h"

#include <net/if.h>
#include <unistd.h>
#include <cstring>

namespace corvane::sim {

std::string NamespaceOf(const char* process) {
    char target[64];
    const std::string link = std::string("/proc/") + process + "/ns/net";
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

bool InPrivateNetworkNamespace(std::string* why) {
    auto refuse = [why](const std::string& reason) {
        if (why) *why = reason;
        return false;
    };
    // Where process 1 can be looked at (it may not be, in a container), its namespace is the
    // machine's own.
    const std::string own = NamespaceOf("self");
    if (own.empty()) return refuse("cannot read this process's network namespace");
    if (own == NamespaceOf("1")) return refuse("this is the network namespace of process 1");

    // The interfaces of the caller's namespace, as the kernel lists them (not sysfs, which may
    // show another namespace's).
    struct if_nameindex* names = ::if_nameindex();
    if (!names) return refuse("cannot list network interfaces");
    std::string foreign;
    const std::size_t prefix = std::strlen(kPrivateInterfacePrefix);
    for (struct if_nameindex* i = names; i->if_index != 0 && i->if_name; ++i) {
        const char* name = i->if_name;
        if (std::strcmp(name, "lo") != 0 &&
            std::strncmp(name, kPrivateInterfacePrefix, prefix) != 0)
            foreign += std::string(foreign.empty() ? "" : ", ") + name;
    }
    ::if_freenameindex(names);
    if (!foreign.empty()) return refuse("interfaces other than lo and the test's own: " + foreign);
    return true;
}

}  // namespace corvane::sim
