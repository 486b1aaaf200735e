#pragma once
// Whether this process runs inside a private network namespace of the kind the tests and the
// demo make: no interface other than the loopback and their own veth ends (named "cvn..."),
// and, where process 1 can be looked at, a namespace other than its one. Anything that
// broadcasts checks this first, so that a broadcast can never reach a real network from here.

#include <string>

namespace corvane::sim {

// The prefix of the interfaces the namespace scripts create.
constexpr const char* kPrivateInterfacePrefix = "cvn";

// The network namespace of a process ("self" or a number), as "net:[inode]"; empty when it
// cannot be read.
std::string NamespaceOf(const char* process);

// True inside such a namespace; otherwise false with the reason in why.
bool InPrivateNetworkNamespace(std::string* why);

}  // namespace corvane::sim
