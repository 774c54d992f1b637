#!/usr/bin/env bash
# Install what is missing, build, and start Brisca on the embedded default:
# a local server with a simulated ECU and the sample device.
source "$(dirname "$0")/common.sh"
brisca_install_packages
brisca_build
BIN="$BRISCA_BUILD/bin"
[ -x "$BRISCA_ROOT/scripts/setup-default.sh" ] && "$BRISCA_ROOT/scripts/setup-default.sh" "$BIN"
cd "$BIN"
exec ./brisca "$@"
