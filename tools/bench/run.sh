#!/usr/bin/env bash
# Speed and memory of the built panel on this machine, each figure beside the same figure for
# a bare Qt 6 program that does only that step, and a soak of thousands of Enters.
#
#   tools/bench/run.sh [--varlo PATH] [--runs N] [--clicks N] [--soak N]
#
#   --varlo PATH   the panel to measure (default: build/varlo of this tree)
#   --runs N       fresh starts per figure; the table shows medians (default 7)
#   --clicks N     timed Enter clicks per start (default 10)
#   --soak N       Enters in the soak, one per 10.4 ms at most (default 5000; 0 skips it)
#
# The probe and the bare programs are built from tools/bench into $BENCH_BUILD_DIR (default:
# build-bench/ of this tree). Everything runs in a private Xvfb without a window manager; the
# serial port is a pseudo-terminal held by the probe and published as the only port, COM1,
# so the panel's start-up scan tries all sixteen ports. Needs Xvfb, cmake, ninja, python3 and
# the XTest headers (libxtst-dev). Progress goes to standard error, the table to standard
# output.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
varlo=$root/build/varlo
runs=7
clicks=10
soak=5000
while [[ $# -gt 0 ]]; do
    case $1 in
    --varlo) varlo=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --clicks) clicks=$2; shift 2 ;;
    --soak) soak=$2; shift 2 ;;
    -h | --help) awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"; exit 0 ;;
    *) echo "unknown argument: $1 (see --help)" >&2; exit 2 ;;
    esac
done
bench_build=${BENCH_BUILD_DIR:-$root/build-bench}

die() { echo "bench: $*" >&2; exit 1; }
bash "$root/tools/setup/install-deps.sh" --bench >&2
if [[ $varlo == "$root/build/varlo" && ! -x $varlo ]]; then
    bash "$root/tools/setup/build.sh" >&2
fi
for tool in Xvfb cmake ninja python3; do
    command -v "$tool" >/dev/null || die "$tool is not installed"
done
[[ -x $varlo ]] || die "no built panel at $varlo (build it, or give --varlo)"
varlo=$(cd "$(dirname "$varlo")" && pwd)/$(basename "$varlo")

# Where the panel's Enter key is, in client-area pixels, and what it sends right after start-up.
readonly ClientHeight=409
readonly EnterCentre=376,360
readonly StartupCommand=8E30000008
# The soak presses Enter no faster than the line carries a command away: 10 characters of
# 10 bits (start, 8 data, stop) at 9600 baud take 10.4 ms. A panel that refuses commands
# queuing up behind a slower line is right to refuse anything faster.
readonly SoakPaceUs=10417

echo "Building the probe and the bare programs in $bench_build ..." >&2
cmake -S "$root/tools/bench" -B "$bench_build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$bench_build" -- -j2 >/dev/null || die "the benchmark programs do not build"
probe=$bench_build/x_probe

work=$(mktemp -d "${TMPDIR:-/tmp}/varlo-bench.XXXXXX")
mkdir -m 700 "$work/runtime" "$work/ports"
xvfb_pid=""
cleanup() {
    if [[ -n $xvfb_pid ]] && kill -0 "$xvfb_pid" 2>/dev/null; then
        kill "$xvfb_pid"
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

exec 3>"$work/display"
Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 800x600x24 >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 200); do
    [[ -s $work/display ]] && break
    kill -0 "$xvfb_pid" 2>/dev/null || die "Xvfb did not start: $(cat "$work/xvfb.log")"
    sleep 0.05
done
[[ -s $work/display ]] || die "Xvfb did not report a display"
export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
export XDG_RUNTIME_DIR=$work/runtime
export QT_QPA_PLATFORM=xcb
export VARLO_PORT_DIR=$work/ports
unset QT_STYLE_OVERRIDE QT_SCALE_FACTOR
port=$work/ports/COM1

results=$work/results
: >"$results"
# Runs the probe once; its key=value lines go to the results, tagged with the figure's name.
measure() {
    local tag=$1
    shift
    local out
    out=$(timeout 600 "$probe" "$@" 2>"$work/probe.err") ||
        die "$tag: the probe failed: $(cat "$work/probe.err")"
    sed "s/^/$tag /" <<<"$out" >>"$results"
}

echo "Measuring on display $DISPLAY: $runs starts of each program ..." >&2
for run in $(seq "$runs"); do
    printf '  run %d of %d\r' "$run" "$runs" >&2
    measure varlo_dialog first-map --port-link "$port" -- "$varlo"
    measure bare_dialog first-map -- "$bench_build/bench_dialog_at_once"
    measure varlo_enter session --port-link "$port" --dialogs 2 --client-height "$ClientHeight" \
        --click "$EnterCentre" --expect "$StartupCommand" --clicks "$clicks" -- "$varlo"
    measure bare_enter session --port-link "$port" --expect "$StartupCommand" \
        --clicks "$clicks" -- "$bench_build/bench_button_writes_port" "$port"
    measure bare_window session --port-link "$port" -- "$bench_build/bench_window_with_port" "$port"
done
echo >&2

if ((soak > 0)); then
    echo "Soak: $soak Enters ..." >&2
    measure soak session --port-link "$port" --dialogs 2 --client-height "$ClientHeight" \
        --click "$EnterCentre" --expect "$StartupCommand" --soak "$soak" --pace-us "$SoakPaceUs" \
        -- "$varlo"
fi

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
qt=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || echo unknown)
python3 - "$results" "$runs" "$clicks" "$soak" "$StartupCommand" "$cpu" "$(nproc)" "$qt" <<'PY'
import statistics
import sys

path, runs, clicks, soak, command, cpu, cores, qt = sys.argv[1:]
values = {}
per_run_clicks = {}
with open(path) as f:
    for line in f:
        tag, _, pair = line.rstrip("\n").partition(" ")
        key, _, value = pair.partition("=")
        values.setdefault((tag, key), []).append(value)
# Each start's clicks are summarised by their own median, so every start weighs the same.
for tag in ("varlo_enter", "bare_enter"):
    samples = [float(v) for v in values.get((tag, "click_ms"), [])]
    n = int(clicks)
    per_run_clicks[tag] = [statistics.median(samples[i : i + n]) for i in range(0, len(samples), n)]


def median(tag, key, scale=1.0):
    return statistics.median(float(v) for v in values[(tag, key)]) * scale


# Every box and the window the probe answered or clicked must have been the panel's own.
for tag, key in [("varlo_dialog", "first_window_name"), ("varlo_enter", "dialog_1_name"),
                 ("varlo_enter", "dialog_2_name"), ("varlo_enter", "window_name")]:
    names = set(values.get((tag, key), []))
    if names != {"Function Generator"}:
        sys.exit("bench: %s %s was %s, not \"Function Generator\"" % (tag, key, names or "missing"))

rows = [
    ("exec -> first start-up box mapped (ms)",
     median("varlo_dialog", "first_map_ms"), median("bare_dialog", "first_map_ms")),
    ("Enter click -> last byte at pty (ms)",
     statistics.median(per_run_clicks["varlo_enter"]),
     statistics.median(per_run_clicks["bare_enter"])),
    ("resident memory, window shown (MiB)",
     median("varlo_enter", "rss_kb", 1 / 1024), median("bare_window", "rss_kb", 1 / 1024)),
]
print()
print("Varlo benchmark: medians of %s starts each (%s clicks per start)" % (runs, clicks))
print("machine: %s, %s cores; Qt %s" % (cpu, cores, qt))
print()
print("%-42s %10s %10s %8s" % ("figure", "varlo", "bare Qt", "ratio"))
print("%-42s %10s %10s %8s" % ("-" * 42, "-" * 10, "-" * 10, "-" * 8))
for name, ours, bare in rows:
    print("%-42s %10.2f %10.2f %8.2f" % (name, ours, bare, ours / bare))
print()
print("bare Qt programs (tools/bench/baseline/):")
print("  first box: dialog_at_once     - a QMessageBox shown at once, nothing else")
print("  Enter:     button_writes_port - a QPushButton writing 10 bytes to a QSerialPort")
print("  memory:    window_with_port   - a 559x409 QMainWindow with an open QSerialPort")
print("the panel's start-up scan tries COM16 down to COM1, only COM1 (a pty) exists")

if int(soak) > 0:
    get = lambda key: values[("soak", key)][0]
    start_kb, end_kb = float(get("soak_rss_start_kb")), float(get("soak_rss_end_kb"))
    wrong = int(get("soak_wrong"))
    print()
    growth_mib = (end_kb - start_kb) / 1024
    print("soak: %s Enters in %s s, at most one per %.1f ms (the line's own rate), %d wrote"
          " other than %s; resident memory %.2f MiB at the start, %.2f MiB at the end (%+.2f MiB)"
          % (get("soak_clicks"), get("soak_seconds"), int(get("soak_pace_us")) / 1000, wrong,
             command, start_kb / 1024, end_kb / 1024, growth_mib))
    if wrong:
        sys.exit(1)
    # Thousands of Enters must not leave memory behind them.
    if growth_mib >= 1:
        sys.exit("bench: the soak grew resident memory by 1 MiB or more")
PY
