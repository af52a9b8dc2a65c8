#!/usr/bin/env bash
# One command from a fresh clone to the running panel: install, build the panel and the
# instrument (the tests are tools/run-tests.sh's), then start the virtual instrument and the
# panel wired to it, so the whole thing works without hardware.
# Closing the panel stops the instrument.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup/install-deps.sh
BUILD_TARGETS="varlo varlo-instrument" bash tools/setup/build.sh

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
