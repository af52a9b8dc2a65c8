#!/usr/bin/env bash
# Runs the serial, discovery and end-to-end tests again as people run Varlo: as an
# unprivileged member of dialout, where a root run hides every permission and lock-ownership
# problem. Creates that user when it is missing. The tests run from a copy in a fresh
# temporary directory, since the user may not be able to read the checkout (/root is 0700).
#
#   tools/ci/unprivileged.sh [BUILD_DIR]        (default: build/ of this tree)
#
# VARLO_TEST_USER names the user (default varlo-test). Needs root or sudo, and a built tree.
set -euo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-${root}/build}" && pwd)"
user="${VARLO_TEST_USER:-varlo-test}"
labels='^(serial|discovery|e2e)$'

as_root=()
if [[ $(id -u) -ne 0 ]]; then
    as_root=(sudo)
fi

run() {
    echo "+ $*"
    "$@"
}

if ! id "${user}" >/dev/null 2>&1; then
    run "${as_root[@]}" useradd --system --no-create-home --shell /usr/sbin/nologin \
        --groups dialout "${user}"
elif ! id -nG "${user}" | grep -qw dialout; then
    run "${as_root[@]}" usermod --append --groups dialout "${user}"
fi
if [[ $(id -u "${user}") -eq 0 ]]; then
    echo "unprivileged: ${user} is root; choose another VARLO_TEST_USER" >&2
    exit 1
fi

# In /tmp, not the caller's $TMPDIR: the user must be able to reach it.
work="$(mktemp -d /tmp/varlo-unprivileged.XXXXXX)"
trap '"${as_root[@]}" rm -rf "${work}"' EXIT
chmod 755 "${work}"
mkdir "${work}/tests" "${work}/home"
mkdir -m 700 "${work}/runtime"
ctest --test-dir "${build}" -L "${labels}" --show-only=json-v1 >"${work}/tests.json"
python3 "${root}/tools/ci/relocate_tests.py" "${work}/tests.json" "${root}" "${build}" \
    "${work}/tests"
"${as_root[@]}" chown -R "${user}" "${work}/tests" "${work}/home" "${work}/runtime"

# A clean environment: nothing of the caller's (its runtime directory, display or home) is
# the user's to use.
as_user=(env -i PATH="/usr/local/bin:/usr/bin:/bin" HOME="${work}/home" LANG=C.UTF-8 TMPDIR=/tmp
    XDG_RUNTIME_DIR="${work}/runtime"
    ctest --test-dir "${work}/tests" -L "${labels}" --output-on-failure -j2)
if [[ $(id -u) -eq 0 ]]; then
    run runuser -u "${user}" -- "${as_user[@]}"
else
    run sudo -u "${user}" -- "${as_user[@]}"
fi
