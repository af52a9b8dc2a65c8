#!/usr/bin/env python3
"""varlo-scpi's speed, measured at the far end of the line, beside socat.

    tools/bench/scpi_bench.py [--scpi PATH] [--before PATH] [--runs N] [--queries N]
                              [--flood N] [--stalled-queries N]

A pseudo-terminal stands for the generator: its slave is published as COM1 in a fresh
VARLO_PORT_DIR and varlo-scpi is started on it at 9600 baud, listening on a free loopback
port. Prints:
  - setting: the time from "FREQ 1000" written on the socket to the command's last byte at
    the pty, beside socat relaying a 10-byte message from TCP to a pty
    (socat TCP-LISTEN:...,reuseaddr PTY,...), the two taken in turn in the same run
    (medians; goal: within 1.2 times socat's);
  - query: the *IDN? round trip (median; goal: under 0.2 ms);
  - VXI-11 (TCPIP::HOST::INSTR), through pyvisa-py's own VXI-11 client on the core port:
    the same setting from device_write's call to its last byte at the pty, beside the socket's
    (goal: within 1.2 times the socket's), and the *IDN? round trip, a device_write and a
    device_read (median; goal: under 0.5 ms);
  - throughput: N FREQ commands written at once by one client, checked whole and in order at
    the pty, and how busy they keep the line (goal: at least 95 %);
  - stalled: another client's *IDN? round trip while the line takes nothing, the pty's far
    end no longer read and full after a flood at 115200 baud (median; goal: under 1 ms),
    and how long SIGTERM then takes to end the program.
With --before, the same figures for an earlier build come first, in the same run.
Needs socat (tools/setup/install-deps.sh --bench installs it).
"""
import argparse
import os
import pathlib
import select
import shutil
import socket
import statistics
import subprocess
import tempfile
import threading
import time
import tty

from pyvisa_py.protocols import rpc, vxi11

COMMAND_LENGTH = 10
CHARACTERS_PER_SECOND = 9600 / 10  # start bit, 8 data bits, stop bit
COMMAND_S = COMMAND_LENGTH / CHARACTERS_PER_SECOND


def read_exactly(fd, count, timeout_s=5):
    """The bytes, and the time the last of them arrived."""
    data = b""
    deadline = time.monotonic() + timeout_s
    while len(data) < count:
        ready, _, _ = select.select([fd], [], [], max(0.0, deadline - time.monotonic()))
        if not ready:
            raise SystemExit(f"only {len(data)} of {count} bytes arrived: {data!r}")
        data += os.read(fd, count - len(data))
    return data, time.perf_counter()


def low_first_hex(number):
    digits = ""
    while number > 0:
        digits += "0123456789ABCDEF"[number % 16]
        number //= 16
    return digits.ljust(6, "0")


def frequency_command(hz):
    """A whole frequency, sine, attenuator off, duty never adjusted."""
    return low_first_hex(hz) + "00" + "0" + "8"


def connect(port):
    client = socket.create_connection(("127.0.0.1", port))
    client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return client


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Scpi:
    def __init__(self, exe, work, baud=9600):
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        ports = pathlib.Path(tempfile.mkdtemp(dir=work))
        (ports / "COM1").symlink_to(os.ttyname(self.slave))
        # The core channel's first port; the four after it are taken with it.
        self.vxi11_port = free_port()
        self.process = subprocess.Popen(
            [exe, "--port", "COM1", "--listen", "127.0.0.1:0", "--quiet", "--settings",
             f"{baud},N,8,1", "--vxi11", str(self.vxi11_port)],
            env=dict(os.environ, VARLO_PORT_DIR=str(ports)),
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        first = self.process.stdout.readline()
        if not first.startswith("listening on "):
            raise SystemExit(f"varlo-scpi did not start: {first!r}")
        self.port = int(first.rsplit(":", 1)[1])

    def end(self):
        """Seconds from SIGTERM to the end, or None when it did not end within 10 s."""
        start = time.perf_counter()
        self.process.terminate()
        try:
            self.process.wait(timeout=10)
            return time.perf_counter() - start
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return None

    def close(self):
        if self.process.poll() is None:
            self.end()
        os.close(self.master)
        os.close(self.slave)


class Socat:
    def __init__(self, work):
        self.port = free_port()
        link = pathlib.Path(work) / "socat-pty"
        self.process = subprocess.Popen(
            ["socat", f"TCP-LISTEN:{self.port},reuseaddr,bind=127.0.0.1",
             f"PTY,link={link},raw,echo=0"], stderr=subprocess.DEVNULL)
        # socat makes the pty once a client has connected.
        for _ in range(500):
            try:
                self.client = connect(self.port)
                break
            except ConnectionRefusedError:
                time.sleep(0.01)
        for _ in range(500):
            if link.exists():
                break
            time.sleep(0.01)
        self.pty = os.open(link, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.pty)

    def close(self):
        self.client.close()
        self.process.terminate()
        self.process.wait()
        os.close(self.pty)


def setting_latency(scpi, socat, runs):
    ours, theirs = [], []
    to_scpi, to_socat = connect(scpi.port), socat.client
    expected = frequency_command(1000).encode()
    message = b"0123456789"
    for _ in range(runs):
        # Each command finds the line idle, as a single setting does, and both relays wake
        # from the same pause.
        time.sleep(2 * COMMAND_S)
        start = time.perf_counter()
        to_scpi.sendall(b"FREQ 1000\n")
        data, end = read_exactly(scpi.master, COMMAND_LENGTH)
        if data != expected:
            raise SystemExit(f"varlo-scpi sent {data!r}, not {expected!r}")
        ours.append(end - start)
        time.sleep(2 * COMMAND_S)
        start = time.perf_counter()
        to_socat.sendall(message)
        data, end = read_exactly(socat.pty, len(message))
        theirs.append(end - start)
    to_scpi.close()
    return statistics.median(ours), statistics.median(theirs)


class Instr:
    """pyvisa-py's VXI-11 client, linked to inst0 on the core port without asking a
    portmapper, which this machine may not run."""

    def __init__(self, port):
        self.client = vxi11.CoreClient.__new__(vxi11.CoreClient)
        self.client.packer, self.client.unpacker = vxi11.Vxi11Packer(), vxi11.Vxi11Unpacker("")
        rpc.RawTCPClient.__init__(self.client, "127.0.0.1", vxi11.DEVICE_CORE_PROG,
                                  vxi11.DEVICE_CORE_VERS, port)
        self.client.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        error, self.link, _, _ = self.client.create_link(1, False, 0, "inst0")
        if error:
            raise SystemExit(f"create_link: error {error}")

    def write(self, data):
        error, _ = self.client.device_write(self.link, 5000, 0, vxi11.OP_FLAG_END, data)
        if error:
            raise SystemExit(f"device_write: error {error}")

    def packed_write(self, data):
        """The call of device_write as pyvisa-py packs it, packed before it is timed as the
        socket's bytes are; sent by send(), its reply awaited by finish_write() afterwards,
        so that the command's way to the pty is timed alone."""
        self.client.start_call(vxi11.DEVICE_WRITE)
        self.client.packer.pack_device_write_parms((self.link, 5000, 0, vxi11.OP_FLAG_END,
                                                    data))
        return self.client.packer.get_buf()

    def send(self, call):
        rpc._sendrecord(self.client.sock, call)

    def finish_write(self):
        self.client.unpacker.reset(rpc._recvrecord(self.client.sock, 5))
        self.client.unpacker.unpack_replyheader()
        error, _ = self.client.unpacker.unpack_device_write_resp()
        if error:
            raise SystemExit(f"device_write: error {error}")

    def query(self, data):
        self.write(data)
        error, _, reply = self.client.device_read(self.link, 1024, 5000, 0, 0, 0)
        if error:
            raise SystemExit(f"device_read: error {error}")
        return reply

    def close(self):
        self.client.destroy_link(self.link)
        self.client.close()


def instr_setting_latency(scpi, runs):
    """The INSTR setting and the socket's, taken in turn."""
    instr, to_scpi = Instr(scpi.vxi11_port), connect(scpi.port)
    expected = frequency_command(1000).encode()
    ours, socket_path = [], []
    for _ in range(runs):
        call = instr.packed_write(b"FREQ 1000\n")
        for sender, times in ((lambda: instr.send(call), ours),
                              (lambda: to_scpi.sendall(b"FREQ 1000\n"), socket_path)):
            time.sleep(2 * COMMAND_S)
            start = time.perf_counter()
            sender()
            data, end = read_exactly(scpi.master, COMMAND_LENGTH)
            if data != expected:
                raise SystemExit(f"varlo-scpi sent {data!r}, not {expected!r}")
            times.append(end - start)
            if times is ours:
                instr.finish_write()
    instr.close()
    to_scpi.close()
    return statistics.median(ours), statistics.median(socket_path)


def instr_round_trip(scpi, queries):
    instr = Instr(scpi.vxi11_port)
    times = []
    for _ in range(queries):
        start = time.perf_counter()
        reply = instr.query(b"*IDN?\n")
        times.append(time.perf_counter() - start)
        if not reply.startswith(b"Varlo,varlo-scpi,"):
            raise SystemExit(f"*IDN? answered {reply!r}")
    instr.close()
    return statistics.median(times), max(times)


def query_round_trip(scpi, queries):
    client = connect(scpi.port)
    stream = client.makefile("rb")
    times = []
    for _ in range(queries):
        start = time.perf_counter()
        client.sendall(b"*IDN?\n")
        reply = stream.readline()
        times.append(time.perf_counter() - start)
        if not reply.startswith(b"Varlo,varlo-scpi,"):
            raise SystemExit(f"*IDN? answered {reply!r}")
    client.close()
    return statistics.median(times), max(times)


def flood(scpi, count):
    time.sleep(2 * COMMAND_S)
    frequencies = [1000 + i for i in range(count)]
    expected = "".join(frequency_command(hz) for hz in frequencies).encode()
    client = connect(scpi.port)
    client.sendall("".join(f"FREQ {hz}\n" for hz in frequencies).encode())
    arrivals, data = [], b""
    while len(data) < len(expected):
        if not select.select([scpi.master], [], [], 10)[0]:
            raise SystemExit(f"{len(data) // COMMAND_LENGTH} of {count} commands arrived")
        data += os.read(scpi.master, 4096)
        at = time.perf_counter()
        while len(arrivals) < len(data) // COMMAND_LENGTH:
            arrivals.append(at)
    client.close()
    if data != expected:
        first = next(i for i in range(len(data)) if data[i] != expected[i])
        raise SystemExit(f"the flood arrived changed from byte {first} on")
    elapsed = arrivals[-1] - arrivals[0] + COMMAND_S
    return elapsed, count * COMMAND_S / elapsed


def stalled_round_trip(exe, work, queries):
    """Another client's *IDN? while a flood waits for a line that takes nothing."""
    scpi = Scpi(exe, work, baud=115200)
    try:
        flooder = connect(scpi.port)
        lines = "".join(f"FREQ {1000 + i}\n" for i in range(4000)).encode()
        threading.Thread(target=lambda: flooder.sendall(lines), daemon=True).start()
        # Some 20 kB fill the pty at 115200 baud in two seconds; nothing reads them.
        time.sleep(3)
        client = connect(scpi.port)
        client.settimeout(5)
        stream = client.makefile("rb")
        times = []
        for _ in range(queries):
            start = time.perf_counter()
            client.sendall(b"*IDN?\n")
            try:
                reply = stream.readline()
            except socket.timeout:
                times.append(float("inf"))
                break
            times.append(time.perf_counter() - start)
            if not reply.startswith(b"Varlo,varlo-scpi,"):
                raise SystemExit(f"*IDN? answered {reply!r}")
        return statistics.median(times), len(times), scpi.end()
    finally:
        scpi.close()


def measure(name, exe, work, socat, args):
    print(f"{name}: {exe}", flush=True)
    scpi = Scpi(exe, work)
    try:
        ours, theirs = setting_latency(scpi, socat, args.runs)
        print(f"  setting, socket to last byte at the pty, median of {args.runs}: "
              f"varlo-scpi {ours * 1e3:.3f} ms, socat {theirs * 1e3:.3f} ms, "
              f"ratio {ours / theirs:.2f} (goal <= 1.2)", flush=True)
        median, worst = query_round_trip(scpi, args.queries)
        print(f"  *IDN? round trip, median of {args.queries}: {median * 1e3:.3f} ms "
              f"(worst {worst * 1e3:.3f} ms; goal < 0.2 ms)", flush=True)
        instr, through_socket = instr_setting_latency(scpi, args.runs)
        print(f"  INSTR setting, device_write to last byte at the pty, median of {args.runs}: "
              f"{instr * 1e3:.3f} ms, socket {through_socket * 1e3:.3f} ms, ratio "
              f"{instr / through_socket:.2f} (goal <= 1.2)", flush=True)
        median, worst = instr_round_trip(scpi, args.queries)
        print(f"  INSTR *IDN? round trip (pyvisa-py's VXI-11 client), median of {args.queries}: "
              f"{median * 1e3:.3f} ms (worst {worst * 1e3:.3f} ms; goal < 0.5 ms)", flush=True)
        elapsed, busy = flood(scpi, args.flood)
        print(f"  {args.flood} FREQ commands at once: whole and in order, {elapsed:.2f} s "
              f"on the line, line busy {busy * 100:.1f} % (goal >= 95 %)", flush=True)
    finally:
        scpi.close()
    median, count, ended = stalled_round_trip(exe, work, args.stalled_queries)
    answer = (f"median of {count}: {median * 1e3:.3f} ms" if median != float("inf") else
              "no answer within 5 s")
    ending = f"after {ended:.3f} s" if ended is not None else "not within 10 s (killed)"
    print(f"  stalled line, another client's *IDN? round trip, {answer} (goal < 1 ms); "
          f"SIGTERM ended it {ending}", flush=True)


def main():
    root = pathlib.Path(__file__).resolve().parents[2]
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--scpi", default=str(root / "build" / "varlo-scpi"))
    parser.add_argument("--before", help="an earlier build of varlo-scpi, measured first")
    parser.add_argument("--runs", type=int, default=200, help="settings timed, each way")
    parser.add_argument("--queries", type=int, default=2000)
    parser.add_argument("--flood", type=int, default=1000)
    parser.add_argument("--stalled-queries", type=int, default=200)
    args = parser.parse_args()
    if shutil.which("socat") is None:
        raise SystemExit("socat is not installed (tools/setup/install-deps.sh --bench)")

    print(f"varlo-scpi on a pty at 9600 baud: {os.cpu_count()} cores, "
          f"load {os.getloadavg()[0]:.1f}", flush=True)
    programs = [("before", args.before)] if args.before else []
    programs.append(("after" if args.before else "varlo-scpi", args.scpi))
    with tempfile.TemporaryDirectory() as work:
        socat = Socat(work)
        try:
            for name, exe in programs:
                measure(name, exe, work, socat, args)
        finally:
            socat.close()


if __name__ == "__main__":
    main()
