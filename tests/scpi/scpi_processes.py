"""The processes the varlo-scpi tests run: the instrument on a pty and the program at it.

The instrument plays the generator on a pseudo-terminal published as COM5 in a fresh port
directory and prints one decoded line per command that arrives; varlo-scpi prints the line
of each command it sent, hex and wording.
"""
import contextlib
import os
import queue
import shutil
import subprocess
import sys
import tempfile
import threading
import time

PORT = "COM5"
WAIT_S = 10


class Lines:
    """The lines a process prints, collected as they come."""

    def __init__(self, stream):
        self.lines = queue.Queue()
        threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        for line in stream:
            self.lines.put(line.rstrip("\n"))

    def take(self, count, timeout_s=WAIT_S):
        taken = []
        deadline = time.monotonic() + timeout_s
        while len(taken) < count:
            try:
                taken.append(self.lines.get(timeout=max(0.0, deadline - time.monotonic())))
            except queue.Empty:
                raise AssertionError(f"{len(taken)} of {count} lines came: {taken}")
        return taken

    def none_within(self, seconds):
        time.sleep(seconds)
        assert self.lines.empty(), f"unexpected lines: {list(self.lines.queue)}"

    def waiting(self):
        return self.lines.qsize()


class Program:
    """varlo-scpi started on the instrument's port. With web, its page is served on a free
    port of loopback; without, there is none."""

    def __init__(self, exe, port_dir, *arguments, web=False):
        served = ("--http", "127.0.0.1:0") if web else ("--http", "off")
        # Found by no portmapper unless the test asks: port 111 and rpcbind are the machine's.
        if "--portmapper" not in arguments:
            served += ("--portmapper", "off")
        self.process = subprocess.Popen(
            [exe, "--port", PORT, *served, *arguments],
            env=dict(os.environ, VARLO_PORT_DIR=port_dir),
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.first = self.process.stdout.readline().rstrip("\n")
        self.web = self.process.stdout.readline().rstrip("\n") if web else None
        self.log = Lines(self.process.stdout)

    def address(self):
        assert self.first.startswith("listening on "), self.first
        host, port = self.first[len("listening on "):].rsplit(":", 1)
        return host, int(port)

    def page(self):
        """The page's address, as "http://127.0.0.1:PORT"."""
        assert self.web and self.web.startswith("web page on http://"), self.web
        return self.web[len("web page on "):].rstrip("/")

    def end(self, signal_number):
        self.process.send_signal(signal_number)
        return self.process.wait(timeout=WAIT_S)

    def stop(self):
        stop(self.process)


def stop(process):
    """Ends the process, if it still runs, as a service manager would: SIGTERM, and SIGKILL
    only when that is not obeyed. A killed program leaves its lock file behind, which blocks
    the pty's next user when that is another user."""
    if process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(timeout=WAIT_S)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def check(name, condition, detail=""):
    if not condition:
        raise AssertionError(f"{name}: {detail}")


def run_to_end(exe, port_dir, *arguments):
    done = subprocess.run([exe, *arguments], env=dict(os.environ, VARLO_PORT_DIR=port_dir),
                          capture_output=True, text=True, timeout=WAIT_S)
    return done.returncode, done.stdout, done.stderr


@contextlib.contextmanager
def instrument_at_com5(instrument):
    """A fresh port directory with the instrument playing the generator at COM5 in it; yields
    the directory and the instrument's decoded lines."""
    with tempfile.TemporaryDirectory() as port_dir:
        player = subprocess.Popen([instrument, "--headless", "--dir", port_dir, "--port", "5"],
                                  stdout=subprocess.PIPE, text=True)
        try:
            check("instrument", player.stdout.readline().startswith("VARLO_PORT_DIR="))
            yield port_dir, Lines(player.stdout)
        finally:
            player.terminate()
            player.wait(timeout=WAIT_S)


def run_tests(tests, ctx, around=lambda ctx: contextlib.nullcontext()):
    """Runs each test with the context, inside what `around` makes of it, reporting each; the
    exit status of the whole."""
    failures = 0
    for test in tests:
        try:
            with around(ctx):
                test(ctx)
            print(f"ok {test.__name__}", flush=True)
        except Exception as failure:  # pylint: disable=broad-except
            failures += 1
            print(f"FAILED {test.__name__}: {failure}", flush=True)
    print(f"{len(tests) - failures} passed, {failures} failed")
    return 1 if failures else 0


def in_private_namespace(script, needed, inside, why_root):
    """Runs `inside(*arguments)` when this is the script's second run, inside a network and
    mount namespace of its own, else starts that run: 77 (skipped) without root or without
    the programs the test needs."""
    if sys.argv[1] == "--inside-namespace":
        # A /run of its own: rpcbind's socket, and the ports' lock files in /run/lock, which
        # a killed program leaves behind and which then end with the namespace rather than
        # block the unprivileged pass.
        subprocess.run(["mount", "-t", "tmpfs", "varlo-test-run", "/run"], check=True,
                       timeout=WAIT_S)
        os.makedirs("/run/lock")
        return inside(*sys.argv[2:])
    if os.geteuid() != 0:
        print(f"skipped: {why_root} needs root; it runs in the root pass")
        return 77
    missing = [program for program in needed if not shutil.which(program)]
    if missing:
        print(f"skipped: {', '.join(missing)} not installed (tools/setup/install-deps.sh "
              "--tests)")
        return 77
    return subprocess.run(["unshare", "--net", "--mount", "--propagation", "private",
                           sys.executable, os.path.abspath(script), "--inside-namespace",
                           *sys.argv[1:]], check=False).returncode
