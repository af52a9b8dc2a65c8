#!/usr/bin/env bash
# Checks that every C++ file git tracks is formatted as .clang-format says; names each file
# that is not, with clang-format's own account of where.
#
#   tools/ci/format-check.sh          (clang-format -i on the named files fixes them)
set -euo pipefail
cd "$(dirname "$0")/../.."
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
echo "format-check: $(git ls-files '*.cpp' '*.h' | wc -l) files as .clang-format says"
