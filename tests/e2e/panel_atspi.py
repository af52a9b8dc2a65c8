#!/usr/bin/python3
"""The panel as a screen reader meets it: the built program under a real X server (Xvfb),
on a private D-Bus session with the accessibility bus of at-spi2-core, read through
pyatspi as Orca reads it. Its start-up questions are answered with the Press action of
their buttons; the names of the window, keys, options and frames, the display's and the duty
bar's values are checked; Toggle on Square must mark it in words and Press on Enter must
send square to the virtual instrument on a pty, after which the words are gone; Press on
EXIT ends the panel with status 0.

    panel_atspi.py VARLO VARLO_INSTRUMENT ARTIFACT_DIR

Run by Debian's /usr/bin/python3, whose python3-pyatspi it imports. Exit status: 0 passed,
1 failed, 77 skipped (a package it needs is not installed). The programs' output is left
in ARTIFACT_DIR.
"""
import importlib.util
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
TITLE = "Function Generator"
PORT = 3
PENDING = "changed, not yet sent"
# Every wait ends well inside the test's own time limit, so the clean-up always runs.
WAIT_SECONDS = 20

KEYS = ["0", "1", "2", "3", "4", "5", "6", "7", "8", "9", ".", "Clear", "Enter"]
OPTIONS = ["Sin", "Square", "Triangle", "Hz", "KHz", "MHz", "On", "Off"]
FRAMES = ["Function Generitor", "Wave Format", "-20DB Switch"]


class Failure(Exception):
    pass


def missing_packages():
    missing = []
    for tool, package in [("Xvfb", "xvfb"), ("dbus-launch", "dbus-x11")]:
        if shutil.which(tool) is None:
            missing.append(package)
    if not os.access(BUS_LAUNCHER, os.X_OK):
        missing.append("at-spi2-core")
    if importlib.util.find_spec("pyatspi") is None:
        missing.append("python3-pyatspi")
    return missing


def wait_for(what, probe, seconds=WAIT_SECONDS):
    """Polls probe until it returns something true, and returns that."""
    deadline = time.monotonic() + seconds
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {seconds} s waiting for {what}")
        time.sleep(0.05)


class Processes:
    """The processes the test starts, each in a session of its own, ended at the close."""

    def __init__(self):
        self.started = []
        self.bus_pid = None

    def start(self, command, env, stdout, stderr=None, pass_fds=()):
        process = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL, stdout=stdout,
                                   stderr=stderr or stdout, start_new_session=True,
                                   pass_fds=pass_fds)
        self.started.append(process)
        return process

    def stop_all(self):
        for process in reversed(self.started):
            stop_group(process.pid)
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                pass
        if self.bus_pid:
            stop_group(self.bus_pid, group=False)


def stop_group(pid, group=True):
    """Ends a process (and its process group) politely, then for sure."""
    send = os.killpg if group else os.kill
    for sig, grace in [(signal.SIGTERM, 5.0), (signal.SIGKILL, 0)]:
        try:
            send(pid, sig)
        except (ProcessLookupError, PermissionError):
            return
        deadline = time.monotonic() + grace
        while time.monotonic() < deadline:
            try:
                os.kill(pid, 0)
            except ProcessLookupError:
                return
            try:
                os.waitpid(pid, os.WNOHANG)
            except ChildProcessError:
                pass
            time.sleep(0.05)


def start_x_server(processes, env, artifacts):
    read_end, write_end = os.pipe()
    log = open(os.path.join(artifacts, "xvfb.log"), "w")
    processes.start(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp",
                             "-noreset", "-screen", "0", "800x600x24"],
                    env, log, pass_fds=(write_end,))
    os.close(write_end)
    with os.fdopen(read_end) as announced:
        number = announced.readline().strip()
    if not number:
        raise Failure("Xvfb did not start")
    return ":" + number


def start_session_bus(processes, env):
    """A private session bus from dbus-launch; returns its address."""
    output = subprocess.run(["dbus-launch", "--sh-syntax"], env=env, capture_output=True,
                            text=True, timeout=WAIT_SECONDS, check=True).stdout
    address = re.search(r"DBUS_SESSION_BUS_ADDRESS='([^']*)'", output)
    pid = re.search(r"DBUS_SESSION_BUS_PID=(\d+)", output)
    if not address or not pid:
        raise Failure(f"dbus-launch printed no bus: {output!r}")
    processes.bus_pid = int(pid.group(1))
    return address.group(1)


def bus_has_owner(name):
    from gi.repository import Gio, GLib
    connection = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    reply = connection.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                 "org.freedesktop.DBus", "NameHasOwner",
                                 GLib.Variant("(s)", (name,)), None,
                                 Gio.DBusCallFlags.NONE, -1, None)
    return reply.unpack()[0]


def descendants(accessible):
    for index in range(accessible.childCount):
        child = accessible.getChildAtIndex(index)
        if child is None:
            continue
        yield child
        yield from descendants(child)


def application(desktop, name):
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and app.name == name:
            return app
    return None


def do_action(accessible, action):
    actions = accessible.queryAction()
    names = [actions.getName(index) for index in range(actions.nActions)]
    if action not in names:
        raise Failure(f"{role_name(accessible)} \"{accessible.name}\" offers {names}, "
                      f"not {action}")
    actions.doAction(names.index(action))


def role_name(accessible):
    """The role's name as at-spi2-core names it on Debian 12: from 2.56 on (Debian 13) a
    push button's is "button"."""
    name = accessible.getRoleName()
    return "push button" if name == "button" else name


def find(root, role, name):
    for accessible in descendants(root):
        if role_name(accessible) == role and accessible.name == name:
            return accessible
    return None


def answer(app, question_text, button):
    """Presses a button of the message box that shows the text."""
    def box_button():
        app.clear_cache()
        for window in descendants(app):
            if role_name(window) != "alert":
                continue
            texts = [item.name for item in descendants(window)]
            if question_text in texts:
                return find(window, "push button", button)
        return None

    target = wait_for(f"the box \"{question_text}\"", box_button)
    do_action(target, "Press")
    print(f"-- answered \"{question_text}\" with {button}")


def check(condition, message):
    if not condition:
        raise Failure(message)


def accessible_desktop(processes, artifacts, work):
    """A private X server with a session bus and its accessibility bus, for this process and
    the programs it starts; returns the environment for them."""
    env = {key: value for key, value in os.environ.items()
           if not key.startswith(("DBUS_", "AT_SPI_", "QT_"))}
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    runtime = os.path.join(work, "runtime")
    os.mkdir(runtime, 0o700)
    env["XDG_RUNTIME_DIR"] = runtime

    env["DISPLAY"] = start_x_server(processes, env, artifacts)
    env["DBUS_SESSION_BUS_ADDRESS"] = start_session_bus(processes, env)
    # pyatspi finds the accessibility bus through the session bus of this process.
    os.environ.update({key: env[key] for key in
                       ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR")})
    for key in [key for key in os.environ if key.startswith("AT_SPI_")]:
        del os.environ[key]
    launcher_log = open(os.path.join(artifacts, "at-spi-bus-launcher.log"), "w")
    processes.start([BUS_LAUNCHER, "--launch-immediately"], env, launcher_log)
    wait_for("the accessibility bus", lambda: bus_has_owner("org.a11y.Bus"))
    print(f"-- X server {env['DISPLAY']}, session bus and accessibility bus up")
    return env


def read_panel(varlo, instrument, artifacts, work):
    processes = Processes()
    try:
        env = accessible_desktop(processes, artifacts, work)

        instrument_out = open(os.path.join(artifacts, "instrument.out"), "w+")
        processes.start([instrument, "--headless", "--port", str(PORT)], env,
                        instrument_out, open(os.path.join(artifacts, "instrument.err"), "w"))

        def instrument_lines():
            instrument_out.flush()
            with open(instrument_out.name) as lines:
                return lines.read().splitlines()

        first = wait_for("the instrument's VARLO_PORT_DIR line",
                         lambda: instrument_lines()[:1])[0]
        check(first.startswith("VARLO_PORT_DIR="), f"the instrument printed {first!r}")

        panel_env = dict(env, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                         VARLO_PORT_DIR=first.split("=", 1)[1])
        panel = processes.start([varlo], panel_env,
                                open(os.path.join(artifacts, "varlo.out"), "w"))

        import pyatspi
        desktop = pyatspi.Registry.getDesktop(0)
        app = wait_for("varlo on the accessibility bus", lambda: application(desktop, "varlo"))
        answer(app, f"Find Com {PORT}, Using it?", "Yes")
        answer(app, f"Using COM{PORT}:", "OK")

        def panel_window():
            app.clear_cache()
            return find(app, "frame", TITLE)

        try:
            window = wait_for(f"the window \"{TITLE}\"", panel_window)
        except Failure:
            tops = [(role_name(top), top.name) for top in descendants(app)]
            raise Failure(f"no frame \"{TITLE}\"; the program shows {tops}")
        heard = [(role_name(item), item.name) for item in descendants(window)]
        print(f"frame: {window.name}")
        for role, name in heard:
            if name:
                print(f"  {role}: {name}")

        for names, role in [(KEYS, "push button"), (OPTIONS, "radio button"),
                            (FRAMES, "panel")]:
            for name in names:
                check((role, name) in heard, f"no {role} named \"{name}\"; heard {heard}")
        check(not any(name in ("Varlo54", "FreqValue", "WaveSqu", "Num7", "DutyScroll")
                      for _, name in heard), "a control is named by its code name")

        display = find(window, "text", "Frequency")
        check(display is not None, "no text named \"Frequency\"")
        shown = display.queryText().getText(0, -1)
        check(shown == "1000", f"the display reads \"{shown}\", expected \"1000\"")
        duty = find(window, "scroll bar", "Square Duty Cycle")
        check(duty is not None, "no scroll bar named \"Square Duty Cycle\"")
        value = duty.queryValue().currentValue
        check(value == 50, f"the duty bar's value is {value}, expected 50")
        print(f"-- display \"{shown}\", duty bar {value:g}")

        square = find(window, "radio button", "Square")
        check(square.description == "", f"Square starts described as \"{square.description}\"")
        do_action(square, "Toggle")

        def square_pending():
            square.clear_cache()
            return square.description == PENDING and \
                square.getState().contains(pyatspi.STATE_CHECKED)

        wait_for(f"Square checked and described as \"{PENDING}\"", square_pending)
        print(f"-- after Toggle: radio button Square, description \"{square.description}\"")

        do_action(find(window, "push button", "Enter"), "Press")
        expected = "frequency 1000.00 Hz, square, attenuator off, duty not adjusted"
        line = wait_for("the instrument's first command", lambda: instrument_lines()[1:])[0]
        check(line == expected, f"the instrument decoded \"{line}\", expected \"{expected}\"")
        print(f"-- after Press on Enter the instrument decoded: {line}")

        def square_sent():
            square.clear_cache()
            return square.description == ""

        wait_for("Square's description to go once sent", square_sent)
        print("-- Square's description is gone")

        do_action(find(window, "menu item", "EXIT"), "Press")
        wait_for("varlo to end after EXIT", lambda: panel.poll() is not None)
        check(panel.returncode == 0,
              f"varlo ended with status {panel.returncode} after EXIT, expected 0")
        print("-- Press on EXIT ended varlo with status 0")
    finally:
        processes.stop_all()


def run_as_main(programs, test, passed, packages=()):
    """A test's main(): PROGRAM... ARTIFACT_DIR on the command line, named `programs`; skipped
    (77) while a package it needs, or one of `packages` (module, Debian package), is missing;
    `test(*paths, artifacts, work)` run in a fresh work directory; `passed` printed after it."""
    if len(sys.argv) != len(programs) + 2:
        print(f"usage: {sys.argv[0]} {' '.join(programs)} ARTIFACT_DIR", file=sys.stderr)
        return 2
    *paths, artifacts = sys.argv[1:]
    missing = missing_packages() + [package for module, package in packages
                                    if importlib.util.find_spec(module) is None]
    if missing:
        print(f"SKIP: not installed: {' '.join(missing)} (tools/setup/install-deps.sh --tests)")
        return 77
    for program in paths:
        if not os.access(program, os.X_OK):
            print(f"FAIL: {program} is not a built program", file=sys.stderr)
            return 1
    os.makedirs(artifacts, exist_ok=True)
    work = tempfile.mkdtemp(prefix="varlo-e2e.")
    try:
        test(*paths, artifacts, work)
    except Failure as failure:
        print(f"FAIL: {failure}; the programs' output is in {artifacts}", file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print(f"PASS: {passed}")
    return 0


def main():
    return run_as_main(["VARLO", "VARLO_INSTRUMENT"], read_panel,
                       "names, values, Toggle with its description, Press on Enter and on EXIT")


if __name__ == "__main__":
    sys.exit(main())
