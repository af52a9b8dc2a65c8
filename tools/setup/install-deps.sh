#!/usr/bin/env bash
# Installs with apt-get whatever the build, the panel and the tests need and the machine
# lacks; installs nothing when everything is there. Runs as root, or through sudo.
set -euo pipefail

# What building and running the panel needs.
packages=(cmake ninja-build g++ qt6-base-dev qt6-serialport-dev fonts-dejavu-core)
# What the tests add: GoogleTest, an X server for the end-to-end run, clang for the fuzzers.
if [[ "${1:-}" == "--tests" || "${1:-}" == "--bench" ]]; then
    packages+=(libgtest-dev python3 xvfb xauth xdotool x11-utils x11-apps clang libclang-rt-14-dev)
fi
# The benchmark's probe drives the X server through XTest.
if [[ "${1:-}" == "--bench" ]]; then
    packages+=(libxtst-dev)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
if [[ $(id -u) -ne 0 ]]; then
    as_root=(sudo)
fi
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
