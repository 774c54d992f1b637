#!/usr/bin/env bash
# A veth pair with one end in a private network namespace, for running the
# simulated ECU by hand (e.g. to capture with tshark on the host end).
#
#   scripts/netns-pair.sh up NAME            creates namespace NAME, host end NAME-h,
#                                            ECU end NAME-e inside NAME
#   scripts/netns-pair.sh ecu NAME [ARGS..]  runs brisca-ecu-eth-sim on NAME-e (foreground)
#   scripts/netns-pair.sh down NAME          removes both
#
# With "ecu", the pair is removed again when the simulator ends (trap).
# NAME: at most 12 characters. Needs root.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=${BRISCA_BIN_DIR:-$ROOT/build/bin}
cmd=${1:?usage: netns-pair.sh up|ecu|down NAME [ARGS...]}
name=${2:?usage: netns-pair.sh up|ecu|down NAME [ARGS...]}
shift 2
[ "$(id -u)" -eq 0 ] || { echo "netns-pair.sh: needs root" >&2; exit 1; }

down() {
    ip netns delete "$name" 2>/dev/null || true
    ip link delete "$name-h" 2>/dev/null || true
}

up() {
    down
    ip netns add "$name"
    ip link add "$name-h" type veth peer name "$name-e" netns "$name"
    echo 1 > "/proc/sys/net/ipv6/conf/$name-h/disable_ipv6" 2>/dev/null || true
    ip link set "$name-h" up
    ip -n "$name" link set "$name-e" up
    echo "host end: $name-h ($(cat "/sys/class/net/$name-h/address"))"
}

case "$cmd" in
    up) up ;;
    down) down ;;
    ecu)
        up
        trap down EXIT INT TERM
        ip netns exec "$name" "$BIN/brisca-ecu-eth-sim" "$name-e" "$@"
        ;;
    *) echo "netns-pair.sh: unknown command $cmd" >&2; exit 2 ;;
esac
