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

# The local communication server: the simulated ECU's description next to it,
# and the registry entries the program uses to find and start it.
BIN_ABS=$(cd "$BIN" && pwd)
if [ -f "$ROOT/samples/sample_ecu.json" ]; then
    cp "$ROOT/samples/sample_ecu.json" "$BIN_ABS/sample_ecu.json"
fi
REG="$BIN_ABS/registry.ini"
SERVER_KEY='HKEY_LOCAL_MACHINE\SOFTWARE\Orvotek Srl\Pontis'
tmp=$(mktemp "$BIN_ABS/.registry.XXXXXX")
if [ -f "$REG" ]; then
    # Keep every other key; drop the old server section.
    awk -v key="[$SERVER_KEY]" '
        /^\[/ { skip = (tolower($0) == tolower(key)) }
        !skip { print }' "$REG" > "$tmp"
fi
{
    echo "[$SERVER_KEY]"
    echo "FileName = $BIN_ABS/brisca-ecu-server"
    echo "Class = BriscaEcuServer"
    echo "WinName = Brisca ECU server"
    echo
} >> "$tmp"
mv "$tmp" "$REG"
