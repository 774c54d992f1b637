# Shared by run.sh and test.sh: install missing packages, configure and build.
set -euo pipefail

BRISCA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BRISCA_BUILD=${BRISCA_BUILD:-$BRISCA_ROOT/build}

brisca_install_packages() {
    local wanted missing=() pkg
    wanted=$(grep -v '^\s*#' "$BRISCA_ROOT/scripts/packages.txt" | grep -v '^\s*$')
    for pkg in $wanted; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

brisca_build() {
    cmake -S "$BRISCA_ROOT" -B "$BRISCA_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$BRISCA_BUILD" -j"$(nproc)"
}
