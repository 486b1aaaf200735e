#!/usr/bin/env bash
# Runs the tests that broadcast inside private network namespaces joined by veth pairs: the
# program's side (198.51.100.2) and the simulator's (198.51.100.10 and 198.51.100.50), and a
# third, empty network that stands for an office LAN (program 203.0.113.2). The program's
# default route leads to the office LAN, as on a PC whose switcher hangs on a second adapter.
# No interface of this machine's own network takes part, and everything is removed on exit.
# Exits 77 (skipped) where the namespaces cannot be made.
#
# usage: run-in-netns.sh TEST-BINARY SIMULATOR [gtest options]
set -u
binary=$1 simulator=$2
shift 2

skip() {
    echo "netns: skipped: $*" >&2
    exit 77
}
[ "$(id -u)" = 0 ] || skip "making network namespaces needs root"
command -v ip > /dev/null || skip "the ip command (iproute2) is missing"

id=$$
program_ns=cvn-prog-$id
device_ns=cvn-dev-$id
office_ns=cvn-lan-$id
program_if=cvnp$id
device_if=cvnd$id
program_office_if=cvnl$id
office_if=cvno$id
work=$(mktemp -d)
sim_pid=

cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2> /dev/null && wait "$sim_pid" 2> /dev/null
    # Deleting a namespace deletes its end of the veth pair, and with it the other end.
    ip netns del "$program_ns" 2> /dev/null
    ip netns del "$device_ns" 2> /dev/null
    ip netns del "$office_ns" 2> /dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Namespaces left by a run that was killed outright.
for ns in $(ip netns list 2> /dev/null | awk '{print $1}' |
    grep -E '^cvn-(prog|dev|lan)-[0-9]+$'); do
    kill -0 "${ns##*-}" 2> /dev/null || ip netns del "$ns" 2> /dev/null
done

host_ns=$(readlink /proc/self/ns/net)
ip netns add "$program_ns" 2> /dev/null || skip "cannot make a network namespace"
ip netns add "$device_ns" || skip "cannot make a second network namespace"
ip netns add "$office_ns" || skip "cannot make a third network namespace"
# Both ends are made inside the namespaces; neither ever exists in this machine's namespace.
ip -n "$program_ns" link add "$program_if" type veth peer name "$device_if" netns "$device_ns" ||
    skip "cannot make a veth pair"
ip -n "$program_ns" link add "$program_office_if" type veth peer name "$office_if" \
    netns "$office_ns" || skip "cannot make a second veth pair"

set -e
ip -n "$program_ns" link set lo up
ip -n "$program_ns" addr add 198.51.100.2/24 dev "$program_if"
ip -n "$program_ns" link set "$program_if" up
ip -n "$program_ns" addr add 203.0.113.2/24 dev "$program_office_if"
ip -n "$program_ns" link set "$program_office_if" up
ip -n "$program_ns" route add default via 203.0.113.1 dev "$program_office_if"
ip -n "$office_ns" link set lo up
ip -n "$office_ns" addr add 203.0.113.1/24 dev "$office_if"
ip -n "$office_ns" link set "$office_if" up
ip -n "$device_ns" link set lo up
ip -n "$device_ns" addr add 198.51.100.10/24 dev "$device_if"
ip -n "$device_ns" addr add 198.51.100.50/24 dev "$device_if"
ip -n "$device_ns" link set "$device_if" up
ip -n "$device_ns" route add default dev "$device_if"
set +e

ip netns exec "$device_ns" "$simulator" --tcp 0.0.0.0:8000 --udp --verbose > "$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
    grep -q "answering searches" "$work/sim.log" && break
    kill -0 "$sim_pid" 2> /dev/null || break
    sleep 0.05
done
if ! grep -q "answering searches" "$work/sim.log"; then
    echo "netns: the simulator did not start:" >&2
    cat "$work/sim.log" >&2
    exit 1
fi

ip netns exec "$program_ns" env CORVANE_NETNS=1 CORVANE_HOST_NETNS="$host_ns" \
    CORVANE_NETNS_SWITCHER_IF="$program_if" CORVANE_NETNS_OFFICE_IF="$program_office_if" \
    QT_QPA_PLATFORM=offscreen "$binary" "$@"
status=$?
if [ "$status" != 0 ]; then
    echo "netns: simulator log:" >&2
    cat "$work/sim.log" >&2
fi
exit "$status"
