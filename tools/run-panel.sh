#!/usr/bin/env bash
# One command from a fresh clone to the running panel: install what is missing, build every
# installed program with its manual page (the target `programs`; the tests are
# tools/run-tests.sh's), then start the virtual instrument and the panel wired to it, so the
# whole thing works without hardware. Closing the panel stops the instrument.
#
#   tools/run-panel.sh [panel arguments...]
#
# VARLO_BUILD_ONLY=1 stops after the build, before anything is started: CI follows the
# README with it (tools/ci/readme-walk.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup/install-deps.sh
BUILD_TARGETS=programs bash tools/setup/build.sh
if [[ "${VARLO_BUILD_ONLY:-}" == 1 ]]; then
    exit 0
fi

port_dir=$(mktemp -d "${TMPDIR:-/tmp}/varlo-ports-XXXXXX")
instrument_args=(--dir "$port_dir" --port 3)
if [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
    echo "No display: the instrument prints what it receives here instead of in a window." >&2
    instrument_args+=(--headless)
fi
./build/varlo-instrument "${instrument_args[@]}" &
instrument=$!
trap 'kill "$instrument" 2>/dev/null; wait "$instrument" 2>/dev/null; rm -rf "$port_dir"' EXIT

for _ in $(seq 100); do
    [[ -e "$port_dir/COM3" ]] && break
    sleep 0.05
done
VARLO_PORT_DIR="$port_dir" ./build/varlo "$@"
