"""varlo-scpi run as a lab runs it for months, through plain sockets and pyvisa.

    /usr/bin/python3 scpi_service_test.py VARLO_SCPI

The generator is a pseudo-terminal made here, published as COM5 in a fresh port directory;
its far end is read, left unread (a stalled line), closed (an unplugged adapter) or made
anew (the adapter back). Each check starts the program afresh and reads its lines on
standard error, which a service's journal keeps.
"""
import contextlib
import os
import pathlib
import select
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import tty

import pyvisa

import scpi_processes
from scpi_processes import PORT, WAIT_S, Lines, check, run_tests

STALL_S = 10  # a line that takes nothing this long is stalled


class Line:
    """The generator's end of the line: a pty whose master is read while it is moving."""

    def __init__(self, ports):
        self.ports = ports
        self.arrived = b""
        self.moving = threading.Event()
        self.moving.set()
        self._plug()

    def _plug(self):
        # The far end keeps the slave open too, so that the master reads no hang-up before
        # the program opens it.
        self.master, self.slave = os.openpty()
        tty.setraw(self.master)
        link = self.ports / PORT
        if link.is_symlink():
            link.unlink()
        link.symlink_to(os.ttyname(self.slave))
        self.unplugged = threading.Event()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        while not self.unplugged.is_set():
            if not self.moving.wait(0.05):
                continue
            if select.select([self.master], [], [], 0.05)[0]:
                self.arrived += os.read(self.master, 4096)

    def stall(self):
        self.moving.clear()

    def unplug(self):
        # The reader stops first: a descriptor number closed under it may come back as
        # another file.
        self.unplugged.set()
        self.reader.join()
        os.close(self.master)
        os.close(self.slave)

    def replug(self):
        self._plug()

    def wait_for(self, data, timeout_s=WAIT_S):
        deadline = time.monotonic() + timeout_s
        while data not in self.arrived and time.monotonic() < deadline:
            time.sleep(0.01)
        return data in self.arrived


class Program(scpi_processes.Program):
    """varlo-scpi on COM5 as a service runs, its lines on standard error collected as they
    come."""

    running = []

    def __init__(self, exe, ports, *arguments):
        super().__init__(exe, str(ports), "--listen", "127.0.0.1:0", "--quiet", *arguments)
        Program.running.append(self)
        self.errors = Lines(self.process.stderr)
        check("started", self.first.startswith("listening on "), self.first)
        self.port = self.address()[1]

    def stderr_line(self, timeout_s=WAIT_S):
        return self.errors.take(1, timeout_s)[0]

    def client(self):
        return Client(self.port)

    def end(self, signal_number=signal.SIGTERM):
        """The exit status, and how long the program took to end after the signal."""
        sent = time.monotonic()
        code = super().end(signal_number)
        return code, time.monotonic() - sent


class Client:
    def __init__(self, port):
        self.socket = socket.create_connection(("127.0.0.1", port))
        self.socket.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.socket.settimeout(WAIT_S)
        self.replies = self.socket.makefile("rb")
        self.address = "127.0.0.1:%d" % self.socket.getsockname()[1]

    def send(self, text):
        self.socket.sendall(text.encode())

    def query(self, text):
        self.send(text + "\n")
        return self.replies.readline().decode().rstrip("\n")

    def round_trip(self, text):
        start = time.perf_counter()
        reply = self.query(text)
        return reply, time.perf_counter() - start

    def closed_by_server(self):
        try:
            return self.socket.recv(100) == b""
        except ConnectionResetError:
            return True


def frequency_command(hz):
    """The command of a whole frequency, sine, attenuator off, duty not adjusted."""
    digits = "".join("0123456789ABCDEF"[(hz >> (4 * i)) & 15] for i in range(6))
    return (digits + "0008").encode()


def flood(client, count, first_hz=1000):
    """Sends `count` settings at once from a thread, so that TCP may hold it back."""
    lines = "".join(f"FREQ {first_hz + i}\n" for i in range(count)).encode()
    thread = threading.Thread(target=lambda: client.socket.sendall(lines), daemon=True)
    thread.start()
    return thread


def stalled_line(ctx):
    """While the line takes nothing, another client is answered at once; past the limit the
    waiting settings fail with -240 and *OPC? does not answer 1; the line moving again is
    told; on a stalled line, a signal is obeyed within a second."""
    program = Program(ctx.exe, ctx.ports, "--settings", "115200,N,8,1")
    ctx.line.stall()
    flood(program.client(), 4000)
    other = program.client()
    time.sleep(3)  # some 20 kB fill the pty at 115200 baud in two seconds
    times = [other.round_trip(query)[1] for query in ("*IDN?", "SYST:ERR?") * 25]
    check("answered at once while stalled", statistics.median(times) < 0.010,
          f"median {statistics.median(times) * 1e3:.1f} ms")
    stalled_at = program.stderr_line(timeout_s=60)
    check("stall told", stalled_at.startswith(f"varlo-scpi: {ctx.name} has taken nothing for "
                                              f"{STALL_S} s; ") and
          stalled_at.endswith(" waiting settings dropped"), stalled_at)
    # Were *OPC? answered, its 1 would come before the error.
    other.send("FREQ 5;*OPC?\n")
    check("-240 with the cause, no 1 from *OPC?", other.query("SYST:ERR?") ==
          f'-240,"Hardware error;{ctx.name} has taken nothing for {STALL_S} s"')
    ctx.line.moving.set()
    moving = program.stderr_line()
    check("moving again told", moving == f"varlo-scpi: {ctx.name} takes commands again", moving)
    check("sent again", other.query("FREQ 1234;*OPC?") == "1" and
          ctx.line.wait_for(frequency_command(1234)))
    ctx.line.stall()
    flood(program.client(), 3000)
    time.sleep(3)
    code, took = program.end(signal.SIGTERM)
    check("SIGTERM obeyed within a second", code == 0 and took < 1.0, f"{code} after {took} s")


def idle_clients(ctx):
    """With every place taken, the client idle longest gives its place to a new one, unless it
    holds the lock; a client that has spoken within the limit keeps its place; pyvisa gets in
    and is heard."""
    program = Program(ctx.exe, ctx.ports, "--clients", "3", "--idle", "2")
    holder = program.client()
    check("lock taken", holder.query("SYST:LOCK:REQ?") == "1")
    silent = program.client()
    busy = program.client()
    for _ in range(9):
        busy.query("*IDN?")
        time.sleep(0.3)
    manager = pyvisa.ResourceManager("@py")
    visa = manager.open_resource(f"TCPIP::127.0.0.1::{program.port}::SOCKET",
                                 read_termination="\n", write_termination="\n",
                                 timeout=WAIT_S * 1000)
    evicted = program.stderr_line()
    check("eviction told", evicted.startswith(f"varlo-scpi: closed {silent.address}, idle for ") and
          " s, to make room for 127.0.0.1:" in evicted, evicted)
    check("the idle one closed", silent.closed_by_server())
    check("the holder kept", holder.query("SYST:LOCK:REL;:SYST:LOCK:OWN?") == "NONE")
    visa.write("FREQ 5555")
    check("pyvisa's setting", visa.query("*OPC?") == "1" and ctx.line.wait_for(frequency_command(5555)))
    check("the busy one kept", busy.query("*IDN?").startswith("Varlo,"))
    late = program.client()
    refused = program.stderr_line()
    check("refusal told", refused == f"varlo-scpi: refused {late.address}: 3 clients are "
          "connected and none has been idle for 2 s", refused)
    check("refused closed", late.closed_by_server())
    visa.close()
    program.end()


def half_close(ctx):
    """A client that shuts down its sending side is answered for every line, then closed,
    and gives its place back."""
    program = Program(ctx.exe, ctx.ports, "--clients", "1")
    for hz in range(3000, 3030):
        client = program.client()
        client.send(f"FREQ {hz};*OPC?\n*IDN?\n")
        client.socket.shutdown(socket.SHUT_WR)
        answered = client.replies.read().decode()
        check("answered to the end", answered.startswith("1\nVarlo,varlo-scpi,"), f"{hz}: {answered!r}")
    program.end()


def port_lost_and_found(ctx):
    """An adapter unplugged during a flood is told at once with the settings dropped, the
    settings meanwhile fail with -241, and it is opened again by itself when it is back."""
    program = Program(ctx.exe, ctx.ports)
    flooder = program.client()
    flood(flooder, 300)
    time.sleep(0.5)
    ctx.line.unplug()
    lost = program.stderr_line()
    check("loss told", lost.startswith(f"varlo-scpi: {ctx.name} is gone (the line hung up); ") and
          lost.endswith(" waiting settings dropped; trying it again every second") and
          " 0 waiting" not in lost, lost)
    other = program.client()
    reply, took = other.round_trip("FREQ 5;SYST:ERR?")
    check("-241 at once", reply == f'-241,"Hardware missing;{ctx.name} is gone"' and took < 0.5,
          f"{reply} after {took:.3f} s")
    ctx.line.replug()
    check("return told", program.stderr_line() == f"varlo-scpi: {ctx.name} is open again")
    check("sent again", other.query("FREQ 1234;*OPC?") == "1" and ctx.line.wait_for(frequency_command(1234)))
    program.end()


def wait_for_port(ctx):
    """With --wait-for-port, a port missing at start is waited for while clients are served."""
    ctx.line.unplug()
    (ctx.ports / PORT).unlink()
    program = Program(ctx.exe, ctx.ports, "--wait-for-port")
    waiting = program.stderr_line()
    check("waiting told", waiting == f"varlo-scpi: cannot open {ctx.name}: missing; trying "
          "again every second", waiting)
    client = program.client()
    check("-241 while missing", client.query("FREQ 5;SYST:ERR?") ==
          f'-241,"Hardware missing;{ctx.name} is missing"')
    ctx.line.replug()
    check("open told", program.stderr_line() == f"varlo-scpi: {ctx.name} is open")
    reply = client.query("FREQ 1234;*OPC?")
    check("then sent", reply == "1" and ctx.line.wait_for(frequency_command(1234)), reply)
    program.end()
    code = subprocess.run([ctx.exe, "--port", "COM6"], env=dict(os.environ, VARLO_PORT_DIR=str(
        ctx.ports)), capture_output=True, timeout=WAIT_S).returncode
    check("without it, exit 3", code == 3, code)


def signals_with_settings_waiting(ctx):
    """Each of the three signals ends the program with the settings still waiting unsent,
    told on standard error, and the clients closed."""
    for number, name in ((signal.SIGTERM, "SIGTERM"), (signal.SIGINT, "SIGINT"),
                         (signal.SIGHUP, "SIGHUP")):
        program = Program(ctx.exe, ctx.ports)
        flooder = program.client()
        flood(flooder, 300)
        time.sleep(0.3)
        code, took = program.end(number)
        told = program.stderr_line()
        waiting = told.split("; ")[-1].split()[0] if "; " in told else ""
        check(name, code == 0 and told.startswith(f"varlo-scpi: ended by {name}; ") and
              told.endswith(" waiting settings not sent") and waiting.isdigit() and
              0 < int(waiting) <= 64, f"{code}, {told}")
        check(f"{name} closes the clients", flooder.closed_by_server())


def no_starving(ctx):
    """A client with many lines waiting, settings and then queries as fast as it can, does not
    hold up another client's queries, nor its setting behind them all."""
    program = Program(ctx.exe, ctx.ports)
    flooder = program.client()
    flooding = threading.Event()
    flooding.set()

    def send_lines():
        flooder.send("".join(f"FREQ {1000 + i}\n" for i in range(90)))
        while flooding.is_set():
            flooder.send("*IDN?\n" * 100)

    threading.Thread(target=send_lines, daemon=True).start()
    threading.Thread(target=lambda: flooder.replies.read(), daemon=True).start()
    time.sleep(0.5)
    other = program.client()
    times = [other.round_trip("*IDN?")[1] for _ in range(50)]
    check("queries answered at once", statistics.median(times) < 0.010,
          f"median {statistics.median(times) * 1e3:.1f} ms")
    start = time.monotonic()
    check("a setting between the flood's", other.query("FUNC TRI;*OPC?") == "1")
    # 90 settings at 9600 baud take a second; at most 64 lines of a client wait ahead of it.
    check("...without waiting for them all", time.monotonic() - start < 5,
          time.monotonic() - start)
    sent = b"".join(frequency_command(1000 + i) for i in range(90))
    check("every setting of the flood sent, in order", ctx.line.wait_for(sent),
          ctx.line.arrived[-40:])
    _, took = program.end()
    flooding.clear()
    check("a signal obeyed while the flood goes on", took < 1, f"{took:.2f} s")


def deadline(ctx):
    """Settings given a deadline that the line is too busy to meet are dropped with -200 and
    never sent later; in time they go as any other."""
    program = Program(ctx.exe, ctx.ports, "--settings", "300,N,8,1")  # a command in 0.37 s
    busy, late = program.client(), program.client()
    busy.send("".join(f"FREQ {1000 + i}\n" for i in range(4)))
    check("the line busy", ctx.line.wait_for(frequency_command(1000)))
    reply = late.query("SYST:DEAD 200 MS;:FREQ 4321;:SYST:ERR?")
    check("-200 past the deadline", reply == f'-200,"Execution error;not sent within 0.2 s: '
          f'{ctx.name} is busy"', reply)
    check("in time", late.query("SYST:DEAD 5;:FREQ 1234;:SYST:ERR?") == '0,"No error"')
    check("the late setting never sent", ctx.line.wait_for(frequency_command(1234)) and
          frequency_command(4321) not in ctx.line.arrived, ctx.line.arrived)
    program.end()


def usage(ctx):
    """A refusal of the command line, as a service manager's journal keeps it (the core table
    checks each refusal's words)."""
    rows = [
        (["--listen", "255.255.255.255:5025"], "--listen takes an address of this machine, not "
         "the broadcast address \"255.255.255.255\""),
    ]
    for arguments, message in rows:
        done = subprocess.run([ctx.exe, "--port", PORT, *arguments], capture_output=True,
                              text=True, timeout=WAIT_S)
        check(message, done.returncode == 2 and
              done.stderr == f"varlo-scpi: {message}\n", done.stderr)


class Context:
    pass


TESTS = (stalled_line, deadline, idle_clients, half_close, port_lost_and_found, wait_for_port,
         signals_with_settings_waiting, no_starving, usage)


@contextlib.contextmanager
def fresh_line(ctx):
    """A port directory of the test's own with a fresh line in it, and nothing of the test
    left running afterwards."""
    with tempfile.TemporaryDirectory() as work:
        ctx.ports = pathlib.Path(work)
        ctx.name = f"{PORT} ({ctx.ports / PORT})"
        ctx.line = Line(ctx.ports)
        try:
            yield
        finally:
            for program in Program.running:
                program.stop()
            Program.running.clear()
            ctx.line.moving.set()
            if not ctx.line.unplugged.is_set():
                ctx.line.unplug()


def main():
    ctx = Context()
    ctx.exe = sys.argv[1]
    return run_tests(TESTS, ctx, fresh_line)


if __name__ == "__main__":
    sys.exit(main())
