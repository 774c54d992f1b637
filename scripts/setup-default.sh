#!/usr/bin/env bash
# Lays out the embedded default next to the program in $1: the sample device
# and the registry entries that let the program start the local ECU server.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=${1:?usage: setup-default.sh BIN_DIR}

# The second sample device, on the Ethernet line, beside the first.
if [ -f "$ROOT/samples/DefaultEth.XML" ] && [ ! -f "$BIN/DefaultEth.XML" ]; then
    cp "$ROOT/samples/DefaultEth.XML" "$BIN/DefaultEth.XML"
fi

# Sample device where start-up looks for it (LastDeviceName defaults to Default.XML).
if [ -f "$ROOT/samples/Default.XML" ] && [ ! -f "$BIN/Default.XML" ]; then
    cp "$ROOT/samples/Default.XML" "$BIN/Default.XML"
fi
