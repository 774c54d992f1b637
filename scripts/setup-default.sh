#!/usr/bin/env bash
# Lays out the embedded default next to the program in $1: the sample devices
# (in a device folder, one family folder each, as the device selection lists
# them) and the registry entries that let the program find that folder and
# start the local ECU server.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=${1:?usage: setup-default.sh BIN_DIR}

# Sample devices in the device folder, DEVICE/<name>.dev/<name>.XML (the
# client key's Path below is the folder that holds DEVICE), and Default.XML
# also beside the program, where a first start loads it (LastDeviceName).
# A newer sample replaces an older copy, a newer copy is kept.
BIN_ABS=$(cd "$BIN" && pwd)
for f in Default.XML DefaultEth.XML; do
    if [ -f "$ROOT/samples/$f" ]; then
        family="$BIN_ABS/DEVICE/${f%.*}.dev"
        mkdir -p "$family"
        cp -u "$ROOT/samples/$f" "$family/$f"
    fi
done
[ -f "$ROOT/samples/Default.XML" ] && cp -u "$ROOT/samples/Default.XML" "$BIN_ABS/Default.XML"

# The local communication server: the simulated ECU's description next to it,
# and the registry entries the program uses to find and start it.
if [ -f "$ROOT/samples/sample_ecu.json" ]; then
    cp "$ROOT/samples/sample_ecu.json" "$BIN_ABS/sample_ecu.json"
fi
REG="$BIN_ABS/registry.ini"
SERVER_KEY='HKEY_LOCAL_MACHINE\SOFTWARE\Orvotek Srl\Pontis'
CLIENT_KEY='HKEY_LOCAL_MACHINE\SOFTWARE\Orvotek Srl\PontisClient\KVTSettings'
tmp=$(mktemp "$BIN_ABS/.registry.XXXXXX")
if [ -f "$REG" ]; then
    # Keep every other key; drop the old sections written here.
    # The keys go through the environment: awk -v would read their backslashes as escapes.
    SERVER_KEY="[$SERVER_KEY]" CLIENT_KEY="[$CLIENT_KEY]" awk '
        /^\[/ { h = tolower($0); skip = (h == tolower(ENVIRON["SERVER_KEY"]) || h == tolower(ENVIRON["CLIENT_KEY"])) }
        !skip { print }' "$REG" > "$tmp"
fi
{
    echo "[$CLIENT_KEY]"
    echo "Path = $BIN_ABS"
    echo
    echo "[$SERVER_KEY]"
    echo "FileName = $BIN_ABS/brisca-ecu-server"
    echo "Class = BriscaEcuServer"
    echo "WinName = Brisca ECU server"
    echo
} >> "$tmp"
mv "$tmp" "$REG"
