#!/usr/bin/env bash
# One command from a fresh clone to every test: install, build, run them all.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup/install-deps.sh --tests
bash tools/setup/build.sh
ctest --test-dir build --output-on-failure -j2
