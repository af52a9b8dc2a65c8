#!/usr/bin/env bash
# One command from a fresh clone to the running panel: install, build, start.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup/install-deps.sh
bash tools/setup/build.sh
exec ./build/varlo "$@"
