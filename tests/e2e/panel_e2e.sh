#!/usr/bin/env bash
# Varlo as a user meets it: the built program in a real X server, its start-up questions
# answered and its buttons clicked with real key and mouse events, talking over a
# pseudo-terminal to the virtual instrument, whose decoded lines are checked.
#
#   panel_e2e.sh VARLO VARLO_INSTRUMENT ARTIFACT_DIR
#
# Exit status: 0 passed, 1 failed, 77 skipped (no Xvfb on this machine). On failure a
# screenshot and the output of both programs are left in ARTIFACT_DIR.
#
# No window manager runs, so windows have no decorations: a window's position is its client
# origin, and the panel's menu bar is whatever the window has above its 409-pixel client area.
set -uo pipefail

if [[ $# -ne 3 ]]; then
    echo "usage: $0 VARLO VARLO_INSTRUMENT ARTIFACT_DIR" >&2
    exit 2
fi
varlo=$1
instrument=$2
artifacts=$3

if ! command -v Xvfb >/dev/null; then
    echo "SKIP: Xvfb is not installed (Debian package xvfb); this test needs a real X server."
    exit 77
fi
for tool in xdotool xprop; do
    if ! command -v "$tool" >/dev/null; then
        echo "FAIL: $tool is not installed (Debian packages xdotool, x11-utils)." >&2
        exit 1
    fi
done
for program in "$varlo" "$instrument"; do
    if [[ ! -x $program ]]; then
        echo "FAIL: $program is not a built program." >&2
        exit 1
    fi
done

readonly Title="Function Generator"
readonly ClientWidth=559
readonly ClientHeight=409
readonly Port=3
# Every wait also ends here, well inside the test's own time limit, so the clean-up always
# runs before anyone has to kill this script.
readonly Budget=100

mkdir -p "$artifacts"
rm -f "$artifacts"/varlo.* "$artifacts"/instrument.* "$artifacts"/xvfb.log \
    "$artifacts"/failure.*
work=$(mktemp -d "${TMPDIR:-/tmp}/varlo-e2e.XXXXXX")
mkdir -m 700 "$work/runtime"

xvfb_pid=""
instrument_pid=""
varlo_pid=""
display=""
step="starting"

note() { echo "-- $*"; }

# Ends a process this script started, with anything it started in turn (each program runs
# in a session of its own): politely first, then for sure.
stop_process() {
    local pid=$1
    [[ -n $pid ]] || return 0
    kill -0 "$pid" 2>/dev/null || return 0
    kill -TERM -- -"$pid" 2>/dev/null || kill -TERM "$pid" 2>/dev/null
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL -- -"$pid" 2>/dev/null || kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}

cleanup() {
    stop_process "$varlo_pid"
    stop_process "$instrument_pid"
    stop_process "$xvfb_pid"
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# The whole screen as a PNG (and the raw dump when it cannot be converted).
screenshot() {
    local name=$1
    [[ -n $display ]] && command -v xwd >/dev/null || return 1
    timeout 10 xwd -display "$display" -root -silent >"$artifacts/$name.xwd" 2>/dev/null ||
        return 1
    if timeout 30 python3 "$(dirname "$0")/xwd_to_png.py" "$artifacts/$name.xwd" \
        "$artifacts/$name.png" 2>/dev/null; then
        rm -f "$artifacts/$name.xwd"
        echo "$artifacts/$name.png"
    else
        echo "$artifacts/$name.xwd"
    fi
}

fail() {
    echo "FAIL ($step): $*" >&2
    {
        echo "--- windows on the screen:"
        if [[ -n $display ]]; then
            for id in $(timeout 5 xdotool search --onlyvisible --name '.' 2>/dev/null); do
                echo "  $id \"$(timeout 5 xdotool getwindowname "$id" 2>/dev/null)\"" \
                    "$(timeout 5 xdotool getwindowgeometry "$id" 2>/dev/null | tr '\n' ' ')"
            done
        fi
        local shot
        if shot=$(screenshot failure); then
            echo "--- screenshot: $shot"
        else
            echo "--- no screenshot (xwd from x11-apps is not installed)"
        fi
        for log in instrument.out instrument.err varlo.out varlo.err xvfb.log; do
            [[ -s $artifacts/$log ]] || continue
            echo "--- $log (last lines):"
            tail -n 20 "$artifacts/$log" | sed 's/^/  /'
        done
    } >&2
    exit 1
}

# Polls a command until it succeeds; fails the test after the given number of seconds.
wait_for() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS < deadline)) || fail "timed out after ${seconds}s waiting for $what"
        ((SECONDS < Budget)) || fail "out of time (${Budget}s) waiting for $what"
        sleep 0.05
    done
}

xdo() { timeout 10 xdotool "$@"; }

# Visible top-level windows titled exactly like the panel, one id a line.
titled_windows() { xdo search --onlyvisible --name "^${Title}\$" 2>/dev/null; }

# The first (preferred) type a window gives itself: DIALOG for a message box, NORMAL for the
# panel.
window_type() {
    timeout 5 xprop -display "$display" -id "$1" _NET_WM_WINDOW_TYPE 2>/dev/null |
        sed -n 's/^[^=]*= _NET_WM_WINDOW_TYPE_\([A-Z_]*\).*/\1/p'
}

# Sets $found to the single visible titled window of the given type that is not $1.
find_titled() {
    local other=$1 type=$2 ids
    ids=$(titled_windows) || return 1
    found=""
    for id in $ids; do
        [[ $id != "$other" ]] || continue
        if [[ -n $found ]]; then
            fail "two windows titled \"$Title\" at once; a start-up box must stand alone"
        fi
        found=$id
    done
    [[ -n $found && $(window_type "$found") == "$type" ]]
}

# Answers the message box with the Return key, as a user would: the box gets the keyboard
# (there is no window manager to give it), then the key goes through the server.
press_return_in() {
    local id=$1
    xdo windowfocus --sync "$id" || fail "cannot give the keyboard to window $id"
    sleep 0.3
    xdo key Return || fail "xdotool could not press Return"
}

window_gone() { ! xdo search --onlyvisible --name "^${Title}\$" 2>/dev/null | grep -qx "$1"; }

instrument_lines() { tail -n +2 "$artifacts/instrument.out"; }
instrument_line_count() { instrument_lines | wc -l; }
has_lines() { (($(instrument_line_count) >= $1)); }

# Waits for the instrument's next decoded line and checks it against the expected one.
expect_line() {
    local number=$1 expected=$2
    wait_for 10 "the instrument's line $number (\"$expected\")" has_lines "$number"
    local got
    got=$(instrument_lines | sed -n "${number}p")
    [[ $got == "$expected" ]] ||
        fail "the instrument decoded \"$got\" as command $number, expected \"$expected\""
    note "instrument: $got"
}

# Main-window geometry: sets $main_width, $main_height.
read_geometry() {
    local line
    line=$(xdo getwindowgeometry "$main" |
        sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2/p')
    read -r main_width main_height <<<"$line"
    [[ -n ${main_height:-} ]] || fail "cannot read the geometry of window $main"
}

# Clicks a point of the panel given in client-area pixels.
click_at() {
    local name=$1 x=$2 y=$3
    xdo mousemove --window "$main" --sync "$x" $((menu_bar + y)) ||
        fail "cannot move the pointer to $name"
    xdo click 1 || fail "cannot click $name"
    sleep 0.1
}

# The centre of a control from its client-area rectangle.
click_control() {
    local name=$1 left=$2 top=$3 width=$4 height=$5
    click_at "$name" $((left + width / 2)) $((top + height / 2))
}

# An option button is hit on its round indicator, at its left end.
click_option() {
    local name=$1 left=$2 top=$3 height=$4
    click_at "$name" $((left + 7)) $((top + height / 2))
}

# The processes with a descriptor open on the device, one pid a line. One find for all of
# them: root sees every process's descriptors, and a command per descriptor takes minutes on
# a busy machine.
pids_holding() {
    local path=$1
    find /proc/[0-9]*/fd -maxdepth 1 -lname "$path" 2>/dev/null | cut -d/ -f3 | sort -u
    return 0
}

# Lock files ("LCK..<device>", first line the owner's pid) that still name the process.
locks_of() {
    local pid=$1 lock
    for lock in /var/lock/LCK..* /run/lock/LCK..* /tmp/LCK..* "${TMPDIR:-/tmp}"/LCK..*; do
        if [[ -f $lock && $(head -n 1 "$lock" 2>/dev/null | tr -d ' ') == "$pid" ]]; then
            echo "$lock"
        fi
    done | sort -u
}

# Whether the terminal is still in exclusive mode (TIOCGEXCL); an orderly close of the port
# takes that mode off, a process that merely died leaves it on while the instrument keeps
# its own end of the line open.
exclusive_mode() {
    python3 - "$1" <<'PY'
import fcntl, os, struct, sys
TIOCGEXCL = 0x80045440
fd = os.open(sys.argv[1], os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
try:
    print(struct.unpack("i", fcntl.ioctl(fd, TIOCGEXCL, b"\0" * 4))[0])
finally:
    os.close(fd)
PY
}

step="X server"
exec 3>"$work/display"
setsid Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 800x600x24 \
    >"$artifacts/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
display_ready() { [[ -s $work/display ]] || ! kill -0 "$xvfb_pid" 2>/dev/null; }
wait_for 20 "Xvfb to pick a display" display_ready
kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb did not start"
display=":$(tr -d '[:space:]' <"$work/display")"
export DISPLAY=$display
export XDG_RUNTIME_DIR=$work/runtime
export QT_QPA_PLATFORM=xcb
unset QT_STYLE_OVERRIDE QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_AUTO_SCREEN_SCALE_FACTOR
note "Xvfb on display $display"

step="instrument"
setsid "$instrument" --headless --port "$Port" \
    >"$artifacts/instrument.out" 2>"$artifacts/instrument.err" &
instrument_pid=$!
port_dir_announced() { head -n 1 "$artifacts/instrument.out" | grep -q '^VARLO_PORT_DIR='; }
wait_for 10 "the instrument's VARLO_PORT_DIR line" port_dir_announced
port_dir=$(head -n 1 "$artifacts/instrument.out" | sed 's/^VARLO_PORT_DIR=//')
slave=$(readlink -f "$port_dir/COM$Port") || fail "no COM$Port in $port_dir"
[[ -c $slave ]] || fail "COM$Port in $port_dir is not a terminal ($slave)"
note "instrument: COM$Port is $slave"

step="start-up questions"
VARLO_PORT_DIR=$port_dir setsid "$varlo" >"$artifacts/varlo.out" 2>"$artifacts/varlo.err" &
varlo_pid=$!
question_shown() { find_titled none DIALOG; }
wait_for 20 "the question \"Find Com $Port, Using it?\"" question_shown
question=$found
note "question box $question"
press_return_in "$question"

acceptance_shown() { find_titled "$question" DIALOG; }
wait_for 10 "the message \"Using COM$Port:\"" acceptance_shown
acceptance=$found
window_gone "$question" || fail "the question box is still on the screen"
note "acceptance box $acceptance"
press_return_in "$acceptance"

step="panel window"
panel_shown() { find_titled "$acceptance" NORMAL; }
wait_for 10 "the panel window" panel_shown
main=$found
window_gone "$acceptance" || fail "the acceptance box is still on the screen"
name=$(xdo getwindowname "$main")
[[ $name == "$Title" ]] || fail "the window is named \"$name\", expected \"$Title\""
read_geometry
[[ $main_width == "$ClientWidth" ]] ||
    fail "the window is $main_width pixels wide, expected $ClientWidth"
menu_bar=$((main_height - ClientHeight))
((menu_bar >= 10 && menu_bar <= 60)) ||
    fail "the window is $main_height pixels high: no menu bar above" \
        "a $ClientHeight-pixel client area"
note "panel $main: ${main_width}x${main_height}, menu bar $menu_bar pixels"
pids_holding "$slave" | grep -qx "$varlo_pid" ||
    fail "varlo does not hold $slave open after the port was accepted"

step="Enter after start-up"
click_control Enter 320 344 113 33
expect_line 1 "frequency 1000.00 Hz, sine, attenuator off, duty not adjusted"

step="12.5 kHz square"
click_control Clear 232 344 73 33
click_control Num1 40 288 73 33
click_control Num2 136 288 73 33
click_control NumPoint 136 344 73 33
click_control Num5 136 232 73 33
click_option UnitKHz 456 72 33
click_option WaveSqu 392 192 17
click_control Enter 320 344 113 33
expect_line 2 "frequency 12500.00 Hz, square, attenuator off, duty not adjusted"

step="duty step"
# The right arrow of DutyScroll (320,312 217x25) sits at its right end.
click_at "the right arrow of DutyScroll" $((320 + 217 - 6)) $((312 + 25 / 2))
click_control Enter 320 344 113 33
expect_line 3 "duty 51 %, square, attenuator off"
shot=$(screenshot panel-before-exit) && note "screenshot: $shot"

step="EXIT"
xdo windowfocus --sync "$main" || fail "cannot give the keyboard to the panel"
sleep 0.2
xdo key alt+x || fail "xdotool could not press Alt+X"
varlo_ended() { ! kill -0 "$varlo_pid" 2>/dev/null; }
wait_for 10 "varlo to end after Alt+X" varlo_ended
wait "$varlo_pid"
status=$?
ended_pid=$varlo_pid
varlo_pid=""
((status == 0)) || fail "varlo ended with status $status after EXIT, expected 0"
note "varlo ended with status 0"
kill -0 "$instrument_pid" 2>/dev/null || fail "the instrument ended with the panel"
holders=$(pids_holding "$slave" | grep -vx "$instrument_pid")
[[ -z $holders ]] || fail "processes still hold $slave: $holders"
stale=$(locks_of "$ended_pid")
[[ -z $stale ]] || fail "varlo left its port lock behind: $stale"
[[ $(exclusive_mode "$slave") == 0 ]] ||
    fail "$slave is still in exclusive mode: the port was not closed before the end"
# Give the instrument's idle gap time to pass, so a command sent at the end would show.
sleep 0.3
count=$(instrument_line_count)
((count == 3)) || fail "the instrument decoded $count commands, expected 3: $(instrument_lines)"

echo "PASS: start-up questions, 1000 Hz sine, 12.5 kHz square, duty 51 %," \
    "EXIT with the port closed"
