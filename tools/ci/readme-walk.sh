#!/usr/bin/env bash
# Follows the README from the top as a new user would, short of sudo, in a fresh copy of this
# tree (what git tracks and what it would track, as it stands): the first command's install
# and build, stopped before it starts the programs (VARLO_BUILD_ONLY=1); the built programs as
# the README first runs them; then its install, into a temporary prefix instead of
# /usr/local, and a check that the prefix holds exactly the programs the README lists, each
# with its manual page, the panel's desktop entry, metadata and icons, and varlo-scpi's
# systemd unit, which systemd-analyze verifies.
#
#   tools/ci/readme-walk.sh
set -euo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/varlo-readme.XXXXXX")"
trap 'rm -rf "${work}"' EXIT
failures=0

run() {
    echo "+ $*" >&2
    "$@"
}

fail() {
    echo "readme-walk: $*" >&2
    failures=$((failures + 1))
}

# The lines of the README's ```sh blocks, in order.
readme_commands() {
    sed -n '/^```sh$/,/^```$/{/^```/d;p}' "${tree}/README.md"
}

tree="${work}/varlo"
mkdir "${tree}"
(cd "${root}" && git ls-files -z --cached --others --exclude-standard |
    tar --null --files-from=- -cf -) | tar -xf - -C "${tree}"
cd "${tree}"

first=$(readme_commands | head -n 1)
[[ "${first}" == "bash tools/run-panel.sh" ]] || fail "the README opens with '${first}'"
run env VARLO_BUILD_ONLY=1 bash tools/run-panel.sh

# The first runs the README shows, without a port: each program answers.
for shown in './build/varlo-send --dry-run 1kHz' '`varlo --version`'; do
    grep -qF -- "${shown}" README.md || fail "the README no longer shows ${shown}"
done
run ./build/varlo --version
sent=$(run ./build/varlo-send --dry-run 1kHz)
[[ "${sent}" == "8E30000008  frequency 1000.00 Hz, sine, attenuator off, duty not adjusted" ]] ||
    fail "varlo-send --dry-run 1kHz printed '${sent}'"
run ./build/varlo-instrument --version

# The README's install section, in its order, into the temporary prefix.
prefix="${work}/prefix"
install_lines=$(readme_commands | grep -E '^cmake --(build|install) build' | sed 's/ *#.*//')
[[ -n "${install_lines}" ]] || fail "the README shows no cmake --install"
while read -r line; do
    read -r -a words <<<"${line//\/usr\/local/${prefix}}"
    run "${words[@]}"
done <<<"${install_lines}"

# The programs the README says the package holds, and nothing else, each with its page.
listed=$(grep -E '^The package holds ' README.md | grep -oE '`varlo[a-z-]*`' | tr -d '`' | sort)
installed=$(ls "${prefix}/bin" | sort)
[[ -n "${listed}" && "${listed}" == "${installed}" ]] ||
    fail "the README lists '$(echo ${listed})', the prefix holds '$(echo ${installed})'"
for program in ${installed}; do
    [[ -f "${prefix}/share/man/man1/${program}.1.gz" ]] || fail "no manual page for ${program}"
done
for file in share/applications/org.example.varlo.desktop share/metainfo/org.example.varlo.metainfo.xml \
    share/icons/hicolor/16x16/apps/varlo.png share/icons/hicolor/32x32/apps/varlo.png \
    share/icons/hicolor/scalable/apps/varlo.svg share/doc/varlo/copyright \
    lib/systemd/system/varlo-scpi@.service; do
    [[ -f "${prefix}/${file}" ]] || fail "${file} was not installed"
done
# varlo --connect loads its network client from the prefix's library folder.
[[ -n $(find "${prefix}/lib" -path '*/varlo/varlo-server-link.so' 2>/dev/null) ]] ||
    fail "the panel's network client was not installed"

# varlo-scpi's unit as installed: its ExecStart names the program in this prefix, and
# systemd finds no fault in it (read offline, no systemd needs to run here), its
# Documentation= page found among the prefix's manual pages.
unit="${prefix}/lib/systemd/system/varlo-scpi@.service"
if [[ -f "${unit}" ]]; then
    grep -q "^ExecStart=${prefix}/bin/varlo-scpi " "${unit}" ||
        fail "the installed unit does not start ${prefix}/bin/varlo-scpi"
    echo "+ systemd-analyze verify ${unit}" >&2
    if ! verified=$(MANPATH="${prefix}/share/man" systemd-analyze verify "${unit}" 2>&1) ||
        [[ -n "${verified}" ]]; then
        printf '%s\n' "${verified}" >&2
        fail "systemd-analyze verify finds fault with the installed unit"
    fi
fi

if [[ ${failures} -ne 0 ]]; then
    echo "readme-walk: ${failures} findings" >&2
    exit 1
fi
echo "readme-walk: the README's commands work in order; ${prefix} held $(echo ${installed})"
