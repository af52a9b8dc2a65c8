"""The README's PyMeasure recipe, run as written against varlo-scpi on varlo-instrument's pty.

    /usr/bin/python3 scpi_pymeasure_test.py README VARLO_SCPI VARLO_INSTRUMENT

The recipe is the README's python block that imports pymeasure, with the address of this
run's varlo-scpi in place of 127.0.0.1:5025. What it prints must be what the README's comment
on its print line says, and the instrument must have received the start-up state (*RST)
before the settings.
"""
import contextlib
import io
import os
import re
import subprocess
import sys
import tempfile

WAIT_S = 10


def recipe(readme):
    blocks = re.findall(r"^```python\n(.*?)^```$", open(readme, encoding="utf-8").read(),
                        re.S | re.M)
    found = [block for block in blocks if "pymeasure" in block]
    assert len(found) == 1, f"{len(found)} PyMeasure blocks in the README"
    return found[0]


def main():
    readme, scpi, instrument = sys.argv[1:]
    code = recipe(readme)
    expected = re.search(r"^print\(.*\)\s+# (.*)$", code, re.M).group(1)
    with tempfile.TemporaryDirectory() as port_dir:
        player = subprocess.Popen([instrument, "--headless", "--dir", port_dir, "--port", "5"],
                                  stdout=subprocess.PIPE, text=True)
        program = None
        try:
            assert player.stdout.readline().startswith("VARLO_PORT_DIR=")
            program = subprocess.Popen(
                [scpi, "--port", "COM5", "--listen", "127.0.0.1:0", "--http", "off", "--quiet"],
                env=dict(os.environ, VARLO_PORT_DIR=port_dir), stdout=subprocess.PIPE, text=True)
            listening = program.stdout.readline().strip()
            assert listening.startswith("listening on 127.0.0.1:"), listening
            port = listening.rsplit(":", 1)[1]
            assert "127.0.0.1::5025::SOCKET" in code, "the recipe names another address"
            printed = io.StringIO()
            with contextlib.redirect_stdout(printed):
                exec(code.replace("127.0.0.1::5025", f"127.0.0.1::{port}"), {})  # pylint: disable=exec-used
            assert printed.getvalue() == expected + "\n", f"printed {printed.getvalue()!r}"
            arrived = [player.stdout.readline().strip() for _ in range(5)]
            assert arrived == [
                "frequency 1000.00 Hz, sine, attenuator off, duty not adjusted",
                "frequency 1000.00 Hz, square, attenuator off, duty not adjusted",
                "frequency 12500.00 Hz, square, attenuator off, duty not adjusted",
                "duty 60 %, square, attenuator off",
                "frequency 12500.00 Hz, square, attenuator off, duty adjusted",
            ], arrived
        finally:
            for process in (program, player):
                if process:
                    process.terminate()
                    process.wait(timeout=WAIT_S)
    print("ok the README's PyMeasure recipe")
    return 0


if __name__ == "__main__":
    sys.exit(main())
