#pragma once
// The switcher search and the network configuration over UDP, through the network controller.

#include <QStringList>

namespace corvane::cli {

// `search [--wait SECONDS]`; returns the exit code.
int RunSearch(const QStringList& args, bool json, bool quiet);
// `config --mac MAC (--dhcp | --static IP) [--new-mac MAC]`; returns the exit code.
int RunConfig(const QStringList& args, bool json, bool quiet);

}  // namespace corvane::cli
