#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when it can (root or sudo);
# otherwise prints the exact apt-get line and fails. The argument is the CMake preset: the
# qt6 preset needs Qt 6 and its Qt5Compat as well, the others Qt 5 only.
set -eu
preset=${1:-default}
packages=(cmake ninja-build g++ make qtbase5-dev qtbase5-dev-tools libqt5network5 libqt5widgets5
          fonts-dejavu-core xvfb xauth x11-xserver-utils tigervnc-standalone-server tigervnc-tools
          x11vnc x11-utils desktop-file-utils libglib2.0-bin
          clang libclang-rt-14-dev util-linux iproute2 curl)
if [ "$preset" = qt6 ]; then
    packages+=(qt6-base-dev qt6-base-dev-tools qt6-5compat-dev libqt6network6 libqt6widgets6)
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
line="apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then sudo=""
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then sudo="sudo"
else
    echo "Missing Debian packages. Please run as root:" >&2
    echo "  apt-get update && $line" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q >/dev/null
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
