#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each one for a bounded time,
# starting from the seeds in fuzz/corpus/<target>. New inputs it finds stay in
# build-fuzz/corpus, a crashing input in build-fuzz/artifacts. Exits non-zero on any finding.
#
#   tools/ci/fuzz.sh [seconds per target [cmake arguments...]]   (default 60, or $FUZZ_SECONDS)
#
# Needs clang and its own runtime (libclang-rt-<its version>-dev); installs nothing itself.
set -euo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${root}/build-fuzz"
seconds="${1:-${FUZZ_SECONDS:-60}}"
shift $(($# > 0 ? 1 : 0))
targets=(frequency_command text_round_trip send_words command_framer scpi_message rpc_record request_head)

run() {
    echo "+ $*"
    "$@"
}

run cmake -S "${root}" -B "${build}" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER="${FUZZ_CXX:-clang++}" -DVARLO_FUZZ=ON -DVARLO_BUILD_TESTS=OFF "$@"
run ninja -C "${build}" -j2 "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
for target in "${targets[@]}"; do
    mkdir -p "${build}/corpus/${target}" "${build}/artifacts/${target}"
    run "${build}/fuzz/fuzz_${target}" -max_total_time="${seconds}" -timeout=10 \
        -print_final_stats=1 -artifact_prefix="${build}/artifacts/${target}/" \
        "${build}/corpus/${target}" "${root}/fuzz/corpus/${target}"
done
echo "fuzz: ${#targets[@]} targets ran ${seconds} s each without a finding"
