#!/usr/bin/env bash
# Builds the Debian package from build/ with cpack and checks what it ships, failing on any
# finding: lintian (errors and warnings), Depends computed with libc6, the Qt libraries and
# Avahi's client library, the desktop entry, the AppStream metadata alone and against the
# desktop entry, every manual page rendered with warnings on, and varlo-scpi's systemd unit
# as its page shows it.
#
#   tools/ci/package-checks.sh [build directory]      (default build/, built if needed)
#
# Needs lintian, desktop-file-utils, appstream, man-db and dpkg-dev (install-deps.sh --tests
# installs them); installs nothing itself.
set -euo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(realpath "${1:-${root}/build}")"
failures=0

run() {
    echo "+ $*"
    "$@"
}

# Runs a check; any output on stdout or stderr, or a failing status, is a finding.
check() {
    local output status=0
    echo "+ $*"
    output=$("$@" 2>&1) || status=$?
    if [[ $status -ne 0 || -n "$output" ]]; then
        [[ -n "$output" ]] && printf '%s\n' "$output"
        echo "package-checks: finding from: $*" >&2
        failures=$((failures + 1))
    fi
}

# appstreamcli ends with a summary line also when all is well: only its findings are printed.
appstream_findings() {
    local output status=0
    output=$(appstreamcli "$@" 2>&1) || status=$?
    if [[ $status -ne 0 ]]; then
        printf '%s\n' "$output"
        return "$status"
    fi
    # AppStream 1.0 (Debian 13) asks for <developer><name>, which 0.16 (Debian 12) does not
    # know; the metadata keeps <developer_name>, which both read, and 1.0's two notes on it
    # are no finding.
    grep -E '^ *[EWIP]: ' <<<"$output" |
        grep -Ev ': (developer-name-tag-deprecated|developer-info-missing)$' || true
}

# The page itself goes nowhere; what man and groff say about it is the finding.
man_warnings() {
    man --warnings -l "$1" 2>&1 >/dev/null
}

run cmake --build "${build}"
rm -f "${build}"/varlo_*.deb
(cd "${build}" && run cpack -G DEB)
debs=("${build}"/varlo_*.deb)
deb="${debs[0]}"

tree=$(mktemp -d "${TMPDIR:-/tmp}/varlo-package.XXXXXX")
trap 'rm -rf "$tree"' EXIT
run dpkg-deb -x "$deb" "$tree"

# Its findings go to stdout; on stderr only its note that it runs as root is no finding.
echo "+ lintian --fail-on error,warning $deb"
if ! findings=$(lintian --fail-on error,warning "$deb" 2> >(grep -v 'running with root' >&2)) ||
    [[ -n "$findings" ]]; then
    printf '%s\n' "$findings"
    echo "package-checks: lintian has findings" >&2
    failures=$((failures + 1))
fi

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for needed in libc6 libqt6core6 libqt6widgets6 libqt6serialport6 libqt6network6 \
    libqt6websockets6 libavahi-client3; do
    # Debian 13 names some of them with "t64" (64-bit time_t): libqt6core6t64.
    if ! grep -Eq "(^|, )${needed}(t64)? " <<<"$depends"; then
        echo "package-checks: Depends lacks ${needed}" >&2
        failures=$((failures + 1))
    fi
done

desktop_files=("$tree"/usr/share/applications/*.desktop)
metainfo_files=("$tree"/usr/share/metainfo/*.metainfo.xml)
check desktop-file-validate "${desktop_files[@]}"
# appstreamcli passes with infos and pedantic notes; here they count as findings too. The
# tree check finds a metainfo id without its desktop entry.
check appstream_findings validate --no-net --pedantic --no-color "${metainfo_files[@]}"
check appstream_findings validate-tree --no-net --pedantic --no-color "$tree"

for page in "$tree"/usr/share/man/man1/*.1.gz; do
    check man_warnings "$page"
done
# varlo-scpi(1) shows the unit the package ships, line for line.
unit="$tree/usr/lib/systemd/system/varlo-scpi@.service"
unit_in_page() {
    MANWIDTH=200 man -E ascii -l "$tree/usr/share/man/man1/varlo-scpi.1.gz" 2>/dev/null |
        awk -v first="$(head -n 1 "$unit")" -v last="$(tail -n 1 "$unit")" '
            { line = $0; sub(/^ +/, "", line) }
            line == first { shown = 1 }
            shown { print line }
            shown && line == last { exit }'
}
check diff -u "$unit" <(unit_in_page)
# Every program has its page.
for program in "$tree"/usr/bin/*; do
    if [[ ! -f "$tree/usr/share/man/man1/$(basename "$program").1.gz" ]]; then
        echo "package-checks: no manual page for $(basename "$program")" >&2
        failures=$((failures + 1))
    fi
done

if [[ $failures -ne 0 ]]; then
    echo "package-checks: ${failures} finding(s) in $(basename "$deb")" >&2
    exit 1
fi
echo "package-checks: $(basename "$deb") clean"
