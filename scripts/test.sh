#!/usr/bin/env bash
# Install what is missing, build, and run the whole test suite.
source "$(dirname "$0")/common.sh"
brisca_install_packages
brisca_build
cd "$BRISCA_BUILD"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 "$@"
