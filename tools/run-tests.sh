#!/usr/bin/env bash
# One command from a fresh clone to every test: install, check the formatting, follow the
# README's commands in a fresh copy, build, check the Debian package and what it ships, then
# the fuzzers for a bounded time, the whole suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, the whole suite on the Release build, its serial, discovery and
# end-to-end tests again as an unprivileged member of dialout, and last the first command, the
# Release build, every test and the package's checks once more on a fresh Debian 13, in a
# chroot (tools/ci/debian13.sh). Warnings are errors in every build here.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup/install-deps.sh --tests
bash tools/ci/format-check.sh
bash tools/ci/readme-walk.sh
bash tools/setup/build.sh -DVARLO_WERROR=ON
bash tools/ci/package-checks.sh
bash tools/ci/fuzz.sh "${FUZZ_SECONDS:-60}" -DVARLO_WERROR=ON
bash tools/ci/sanitize.sh -DVARLO_WERROR=ON
ctest --test-dir build --output-on-failure -j2
bash tools/ci/unprivileged.sh build
bash tools/ci/debian13.sh
