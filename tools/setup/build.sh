#!/usr/bin/env bash
# Configures and builds the project in build/ (Release unless BUILD_TYPE says otherwise):
# everything, or only the targets named in BUILD_TARGETS.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" "$@"
read -r -a targets <<<"${BUILD_TARGETS:-}"
cmake --build build ${targets[@]+--target "${targets[@]}"}
