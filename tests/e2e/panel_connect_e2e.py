#!/usr/bin/python3
"""The panel and a pyvisa script on the same generator at once, as a user runs them: the
built varlo-scpi owns the virtual instrument's pty, the built panel runs through it
(varlo --connect) under a real X server (Xvfb) and is read and worked through the
accessibility bus as in panel_atspi.py, and a pyvisa script sweeps meanwhile. Every command
must reach the instrument whole and in its client's order, the panel's Enter must send its
square with the frequency the script left, the script must read back what the panel set, and
the panel must show what the script sets. How long each change of the script takes to show
on the panel is printed.

    panel_connect_e2e.py VARLO VARLO_SCPI VARLO_INSTRUMENT ARTIFACT_DIR

Run by Debian's /usr/bin/python3, whose python3-pyatspi and python3-pyvisa it imports. Exit
status: 0 passed, 1 failed, 77 skipped (a package it needs is not installed). The programs'
output is left in ARTIFACT_DIR.
"""
import os
import statistics
import sys
import threading
import time

# Nothing of the import is written into the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import panel_atspi as atspi  # noqa: E402  (its X server, buses and accessibility helpers)
from panel_atspi import Failure, check, find, wait_for  # noqa: E402

PORT = 3
SWEEP = [2000 + 100 * step for step in range(30)]
# The panel asks the server five times a second; a change shows within half a second. The
# limit here leaves room for a busy machine; the figures printed are what the run measured.
SHOWN_WITHIN_S = 2.0


def lines_of(stream_file):
    stream_file.flush()
    with open(stream_file.name) as lines:
        return lines.read().splitlines()


def run(varlo, scpi, instrument, artifacts, work):
    processes = atspi.Processes()
    try:
        env = atspi.accessible_desktop(processes, artifacts, work)
        instrument_out = open(os.path.join(artifacts, "instrument.out"), "w+")
        processes.start([instrument, "--headless", "--port", str(PORT)], env, instrument_out,
                        open(os.path.join(artifacts, "instrument.err"), "w"))
        first = wait_for("the instrument's VARLO_PORT_DIR line",
                         lambda: lines_of(instrument_out)[:1])[0]
        check(first.startswith("VARLO_PORT_DIR="), f"the instrument printed {first!r}")
        env["VARLO_PORT_DIR"] = first.split("=", 1)[1]

        scpi_out = open(os.path.join(artifacts, "varlo-scpi.out"), "w+")
        processes.start([scpi, "--port", f"COM{PORT}", "--listen", "127.0.0.1:0", "--http", "off",
                         "--quiet"],
                        env, scpi_out, open(os.path.join(artifacts, "varlo-scpi.err"), "w"))
        listening = wait_for("varlo-scpi's address", lambda: lines_of(scpi_out)[:1])[0]
        check(listening.startswith("listening on "), f"varlo-scpi printed {listening!r}")
        server = listening[len("listening on "):]
        host, port = server.rsplit(":", 1)
        print(f"-- varlo-scpi on {server}, the instrument on COM{PORT}")

        panel = processes.start(
            [varlo, "--connect", server],
            dict(env, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1"),
            open(os.path.join(artifacts, "varlo.out"), "w"))

        import pyatspi
        import pyvisa
        desktop = pyatspi.Registry.getDesktop(0)
        app = wait_for("varlo on the accessibility bus",
                       lambda: atspi.application(desktop, "varlo"))
        title = f"{atspi.TITLE} \u2014 {server}"

        def panel_window():
            app.clear_cache()
            return find(app, "frame", title)

        window = wait_for(f"the window \"{title}\"", panel_window)
        display = find(window, "text", "Frequency")
        square = find(window, "radio button", "Square")
        triangle = find(window, "radio button", "Triangle")
        enter = find(window, "push button", "Enter")
        check(None not in (display, square, triangle, enter), "a control is missing")

        def shown():
            display.clear_cache()
            return display.queryText().getText(0, -1)

        check(shown() == "1000", f"the panel opens showing \"{shown()}\", expected \"1000\"")

        manager = pyvisa.ResourceManager("@py")
        script = manager.open_resource(f"TCPIP::{host}::{port}::SOCKET", read_termination="\n",
                                       write_termination="\n", timeout=10000)
        check(script.query("*RST;*OPC?") == "1", "*RST")

        # The script sweeps while the panel's user picks Square and presses Enter.
        swept = threading.Event()
        failures = []

        def sweep():
            try:
                for hz in SWEEP:
                    script.write(f"FREQ {hz}")
                    time.sleep(0.05)
                if script.query("*OPC?") != "1":
                    failures.append("*OPC? after the sweep")
            except Exception as error:  # pylint: disable=broad-except
                failures.append(f"the sweep: {error}")
            swept.set()

        sweeper = threading.Thread(target=sweep)
        sweeper.start()
        wait_for("the sweep to begin", lambda: len(lines_of(instrument_out)) > 3)
        atspi.do_action(square, "Toggle")
        atspi.do_action(enter, "Press")
        check(not swept.is_set(), "the sweep ended before the panel's Enter: nothing ran at once")
        sweeper.join(timeout=30)
        check(not failures, "; ".join(failures))

        received = lines_of(instrument_out)[2:]  # after the line and *RST's command
        hertz = [int(line.split()[1].split(".")[0]) for line in received]
        shapes = [line.split(", ")[1] for line in received]
        check(len(received) == len(SWEEP) + 1 and
              not any(line.startswith("undecodable") for line in received),
              f"the instrument decoded {received}")
        at = shapes.index("square")
        check(hertz[:at] + hertz[at + 1:] == SWEEP, f"the sweep out of order: {hertz}")
        check(hertz[at] in [1000] + SWEEP[:at], f"the panel sent {hertz[at]} Hz")
        check(all(shape == "square" for shape in shapes[at:]),
              f"the script's frequencies after the panel's Enter drop its square: {shapes}")
        held = script.query("FREQ?;FUNC?")
        check(held == f"{SWEEP[-1]};SQU", f"the script reads back {held!r}")
        print(f"-- the panel's square reached the instrument as command {at + 1} of "
              f"{len(received)}, between the script's; the script reads back {held}")

        wanted = f"{SWEEP[-1] / 1000:g}"
        wait_for(f"the panel to show {wanted} kHz", lambda: shown() == wanted, SHOWN_WITHIN_S)

        delays = []
        for text, command in [("12.5", "APPL:TRI 12.5 kHz"), ("440", "FREQ 440"),
                              ("1.5", "FREQ 1.5 MHz"), ("50", "FREQ 50"), ("7", "FREQ 7")]:
            started = time.monotonic()
            script.write(command)
            wait_for(f"the panel to show {text} after {command}", lambda: shown() == text,
                     SHOWN_WITHIN_S)
            delays.append(time.monotonic() - started)
        triangle.clear_cache()
        check(triangle.getState().contains(pyatspi.STATE_CHECKED), "Triangle is not selected")
        print(f"-- the script's changes showed on the panel after "
              f"{', '.join(f'{delay * 1000:.0f}' for delay in delays)} ms "
              f"(median {statistics.median(delays) * 1000:.0f} ms)")

        atspi.do_action(find(window, "menu item", "EXIT"), "Press")
        wait_for("varlo to end after EXIT", lambda: panel.poll() is not None)
        check(panel.returncode == 0, f"varlo ended with status {panel.returncode}")
        check(script.query("FREQ?") == "7", "the script lost the server with the panel")
        script.close()
    finally:
        processes.stop_all()


def main():
    return atspi.run_as_main(
        ["VARLO", "VARLO_SCPI", "VARLO_INSTRUMENT"], run,
        "the panel and a pyvisa script at once, each seeing the other's settings",
        [("pyvisa", "python3-pyvisa"), ("pyvisa_py", "python3-pyvisa-py")])


if __name__ == "__main__":
    sys.exit(main())
