#!/usr/bin/env bash
# Install what is missing, build, and start Brisca on the user's display with
# the embedded default: a local server with a simulated ECU and the sample device.
source "$(dirname "$0")/common.sh"
brisca_install_packages
brisca_build
BIN="$BRISCA_BUILD/bin"
[ -x "$BRISCA_ROOT/scripts/setup-default.sh" ] && "$BRISCA_ROOT/scripts/setup-default.sh" "$BIN"

# Brisca is a window: without a display there is nothing to show it on.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "run.sh: no display (DISPLAY is not set). Brisca is built in $BIN;" >&2
    echo "run.sh: start this script from a graphical session, or e.g. under xvfb-run." >&2
    exit 1
fi

# The program looks for Default.XML in its working folder on a first start.
cd "$BIN"
exec ./brisca "$@"
