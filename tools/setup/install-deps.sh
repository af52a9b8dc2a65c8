#!/usr/bin/env bash
# Installs with apt-get whatever the build, the panel and the tests need and the machine
# lacks; installs nothing when everything is there. Runs as root, or through sudo.
set -euo pipefail

# What building and running the panel needs, and building its Debian package. Configuring
# the tree looks for GoogleTest even when only the programs are built.
packages=(cmake ninja-build g++ qt6-base-dev qt6-serialport-dev fonts-dejavu-core libgtest-dev)
packages+=(dpkg-dev file)
# varlo-scpi's web page and its announcement on the lab network.
packages+=(qt6-websockets-dev libavahi-client-dev pkgconf)
# The system's RPC library: the tests check VXI-11's bytes against it, and configuring the
# tree looks for it as it looks for GoogleTest.
packages+=(libtirpc-dev)
# What the tests add: an X server for the end-to-end run, clang for the fuzzers, and the
# checkers of the package, its desktop entry, metadata and manual pages.
if [[ "${1:-}" == "--tests" || "${1:-}" == "--bench" ]]; then
    packages+=(python3 xvfb xauth xdotool x11-utils x11-apps clang clang-format)
    packages+=(lintian desktop-file-utils appstream man-db)
    # systemd-analyze verifies varlo-scpi's unit; no systemd needs to run.
    packages+=(systemd)
    # The screen-reader test: the accessibility bus, its Python client, a private session bus.
    packages+=(at-spi2-core python3-pyatspi dbus-x11)
    # varlo-scpi is tested with the lab's own SCPI client, the README's PyMeasure recipe, its
    # page in Chromium, its
    # identification document with xmllint, and its announcement with Avahi's and lxi-tools'
    # browsers on a daemon and a system bus of the test's own in a private network namespace.
    packages+=(python3-pyvisa python3-pyvisa-py python3-pymeasure)
    packages+=(chromium chromium-driver python3-selenium libxml2-utils)
    packages+=(avahi-daemon avahi-utils lxi-tools dbus-daemon iproute2)
    # Its VXI-11 port registered with an rpcbind of the test's own, read back with rpcinfo.
    packages+=(rpcbind)
    # The same again on a fresh Debian 13, in a chroot made from Debian's archive
    # (tools/ci/debian13.sh); the keyring is only recommended by debootstrap.
    packages+=(debootstrap debian-archive-keyring)
fi
# The benchmark's probe drives the X server through XTest; varlo-scpi is timed beside socat.
if [[ "${1:-}" == "--bench" ]]; then
    packages+=(libxtst-dev socat)
fi

as_root=()
if [[ $(id -u) -ne 0 ]]; then
    as_root=(sudo)
fi
updated=false

# Installs those of the named packages that are not installed yet.
install_missing() {
    local missing=() package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"
        then
            missing+=("$package")
        fi
    done
    [[ ${#missing[@]} -eq 0 ]] && return 0

    echo "Installing: ${missing[*]}"
    if [[ $updated == false ]]; then
        "${as_root[@]}" apt-get update -qq
        updated=true
    fi
    # Through env, so that sudo's reset of the environment keeps it.
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

install_missing "${packages[@]}"

# The fuzzers link the runtime of the clang that is installed, whatever its version.
if [[ "${1:-}" == "--tests" || "${1:-}" == "--bench" ]]; then
    install_missing "libclang-rt-$(clang -dumpversion | cut -d. -f1)-dev"
fi
