#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan and
# runs the whole test suite once so. Any report fails the run; leaks are suppressed only
# for the third-party libraries named in lsan.supp, never for the program's own code.
#
#   tools/ci/sanitize.sh [cmake arguments...]
#
# Uses the default C++ compiler (set CXX to choose another); installs nothing itself.
set -euo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${root}/build-asan"

run() {
    echo "+ $*"
    "$@"
}

run cmake -S "${root}" -B "${build}" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVARLO_SANITIZE=ON "$@"
run ninja -C "${build}" -j2

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=${root}/tools/ci/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen
run ctest --test-dir "${build}" --output-on-failure -j2
