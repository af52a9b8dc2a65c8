#!/usr/bin/env bash
# One command from a fresh clone to every test: install, build, check the Debian package and
# what it ships, then the fuzzers for a bounded time, the whole suite under AddressSanitizer
# and UndefinedBehaviorSanitizer, and last the whole suite on the Release build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup/install-deps.sh --tests
bash tools/setup/build.sh
bash tools/ci/package-checks.sh
bash tools/ci/fuzz.sh "${FUZZ_SECONDS:-60}"
bash tools/ci/sanitize.sh
ctest --test-dir build --output-on-failure -j2
