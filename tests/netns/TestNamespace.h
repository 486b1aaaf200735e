#pragma once
// Whether this process runs inside the private namespace that run-in-netns.sh made: nothing that
// can broadcast may start anywhere else.

#include "sim/NetnsCheck.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstdlib>
#include <string>

namespace corvane::test {

// Why this process must not broadcast, or an empty text inside the test's own namespace.
inline std::string NotInsideTheTestNamespace() {
    if (qgetenv("CORVANE_NETNS") != "1") return "not started by tests/netns/run-in-netns.sh";
    std::string why;
    if (!sim::InPrivateNetworkNamespace(&why)) return why;
    const char* host = std::getenv("CORVANE_HOST_NETNS");
    if (!host || sim::NamespaceOf("self") == host)
        return "still in the namespace the script ran in";
    return {};
}

}  // namespace corvane::test
