#!/usr/bin/env bash
# Lays out the embedded default next to the program in $1: the sample devices
# and the registry entries that let the program start the local ECU server.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=${1:?usage: setup-default.sh BIN_DIR}

# Sample devices where start-up looks for them (LastDeviceName defaults to
# Default.XML); a newer sample replaces an older copy, a newer copy is kept.
for f in Default.XML DefaultEth.XML; do
    if [ -f "$ROOT/samples/$f" ]; then
        cp -u "$ROOT/samples/$f" "$BIN/$f"
    fi
done
