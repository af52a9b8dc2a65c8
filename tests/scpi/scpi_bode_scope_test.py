"""An oscilloscope's Bode plot sweeping varlo-scpi over VXI-11, emulated here as the public
bridges between such scopes and serial generators have logged their traffic.

    /usr/bin/python3 scpi_bode_scope_test.py VARLO_SCPI

The scope is written by hand, a few XDR calls packed with struct, as an independent client:
for every message it asks the portmapper for the port by UDP on 111, connects from source
port 809, then create_link inst0, one device_write, a device_read for a query, destroy_link,
and closes. It runs inside a private network and mount namespace made here (unshare -n -m),
where it may bind 111 and 809, with TIME_WAIT reuse off as on a scope's own network stack: a
link on the address pair of the one before fails, so each needs a fresh port. Once with the
program's own portmapper, once through an rpcbind started here. The test holds the pty: each
step's command must be there when its device_write is answered. Needs root; skipped (77)
otherwise or without rpcbind.
"""
import os
import select
import socket
import struct
import subprocess
import sys
import tempfile
import time

from scpi_processes import WAIT_S, Lines, check, run_tests, stop, in_private_namespace

NEEDED = ("unshare", "ip", "mount", "rpcbind")

PORTMAPPER, CORE = (100000, 2), (0x0607AF, 1)
GETPORT, CREATE_LINK, DEVICE_WRITE, DEVICE_READ, DESTROY_LINK = 3, 10, 11, 12, 23
END = 0x08
SCOPE_PORT = 809
IO_TIMEOUT_MS = WAIT_S * 1000

IDENTIFY = "IDN-SGLT-PRI?"
SET_UP = "C1:OUTP LOAD,50;BSWV WVTP,SINE,PHSE,0,FRQ,50000,AMP,2.1,OFST,0;OUTP ON"


def opaque(data):
    return struct.pack(">I", len(data)) + data + b"\0" * (-len(data) % 4)


def call(xid, program, procedure, arguments):
    # CALL, RPC version 2, no credentials and no verifier.
    return struct.pack(">6I4I", xid, 0, 2, *program, procedure, 0, 0, 0, 0) + arguments


def results(xid, reply):
    """The results of an accepted, successful reply to the call xid."""
    sent_xid, kind, status = struct.unpack_from(">3I", reply)
    check("reply to the call", (sent_xid, kind, status) == (xid, 1, 0), (sent_xid, kind, status))
    verifier_length = struct.unpack_from(">I", reply, 16)[0]
    at = 20 + verifier_length + (-verifier_length % 4)
    check("call accepted", struct.unpack_from(">I", reply, at)[0] == 0)
    return reply[at + 4:]


class Scope:
    """The oscilloscope's side of the network, one message per link."""

    def __init__(self):
        self.xid = 0x5C0E0000
        self.ports = []

    def next_xid(self):
        self.xid += 1
        return self.xid

    def getport(self, timeout_s=WAIT_S):
        xid = self.next_xid()
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as udp:
            udp.settimeout(timeout_s)
            udp.sendto(call(xid, PORTMAPPER, GETPORT, struct.pack(">4I", *CORE, 6, 0)),
                       ("127.0.0.1", 111))
            port = struct.unpack(">I", results(xid, udp.recv(400))[:4])[0]
        check("a port for the core channel", port != 0)
        return port

    def rpc(self, link, procedure, arguments):
        xid = self.next_xid()
        record = call(xid, CORE, procedure, arguments)
        link.sendall(struct.pack(">I", 0x80000000 | len(record)) + record)
        reply, last = b"", False
        while not last:
            mark = struct.unpack(">I", receive(link, 4))[0]
            last = bool(mark & 0x80000000)
            reply += receive(link, mark & 0x7FFFFFFF)
        return results(xid, reply)

    def message(self, text, on_written=lambda: None):
        """Sends one message on a link of its own; the answer of a query."""
        port = self.getport()
        check("a fresh port for each link", not self.ports or port != self.ports[-1],
              self.ports[-1:] + [port])
        self.ports.append(port)
        with socket.socket() as link:
            link.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            link.settimeout(WAIT_S * 2)
            link.bind(("127.0.0.1", SCOPE_PORT))
            link.connect(("127.0.0.1", port))
            created = self.rpc(link, CREATE_LINK,
                               struct.pack(">iII", 0x5C0E, 0, 0) + opaque(b"inst0"))
            error, lid = struct.unpack_from(">ii", created)
            check("create_link", error == 0, error)
            written = self.rpc(link, DEVICE_WRITE, struct.pack(">iIII", lid, IO_TIMEOUT_MS, 0, END)
                               + opaque(text.encode()))
            error, size = struct.unpack_from(">iI", written)
            check(f"device_write {text!r}", (error, size) == (0, len(text)), (error, size))
            on_written()
            answer = None
            if text.rstrip("\n").endswith("?"):
                read = self.rpc(link, DEVICE_READ,
                                struct.pack(">iIIIIi", lid, 1024, IO_TIMEOUT_MS, 0, 0, 0))
                error, _, length = struct.unpack_from(">iiI", read)
                check(f"device_read after {text!r}", error == 0, error)
                answer = read[12:12 + length].decode()
            check("destroy_link", struct.unpack(">i", self.rpc(link, DESTROY_LINK,
                                                               struct.pack(">i", lid)))[0] == 0)
        return answer


def receive(link, count):
    data = b""
    while len(data) < count:
        part = link.recv(count - len(data))
        check("the link stays open", part)
        data += part
    return data


class Line:
    """The generator's side of the pty, held by the test."""

    def __init__(self, port_dir):
        self.master, self.slave = os.openpty()
        os.symlink(os.ttyname(self.slave), os.path.join(port_dir, "COM5"))

    def there_now(self):
        """What the program has written, read without waiting."""
        data = b""
        while select.select([self.master], [], [], 0)[0]:
            data += os.read(self.master, 1024)
        return data.decode()

    def close(self):
        os.close(self.master)
        os.close(self.slave)


def frequency_command(text):
    """The generator's command for a sine of a frequency written in decimals: whole hertz in
    low-first hex of at least six digits, hundredths cut as the panel cuts them, mode 0."""
    whole, _, decimals = text.partition(".")
    hundredths = int((decimals + "00")[:2])
    digits = f"{int(whole):X}"[::-1].ljust(6, "0")
    return digits + f"{hundredths:02X}"[::-1] + "08"


def log_sweep(steps, low, high):
    return [f"{low * (high / low) ** (i / (steps - 1)):.7f}".rstrip("0").rstrip(".")
            for i in range(steps)]


def bode_plot(ctx):
    scope = Scope()
    arrived = []
    identity = scope.message(IDENTIFY)
    check("identification", identity.rstrip("\n") == "IDN-SGLT-PRI SDG0000X", identity)
    scope.message(SET_UP + "\n", lambda: arrived.append(ctx.line.there_now()))
    check("set-up on the line before its reply", arrived == ["053C000008"], arrived)
    check("read back", scope.message("C1:BSWV?").rstrip("\n") == "C1:BSWV WVTP,SINE,FRQ,50000HZ")
    sweep = log_sweep(40, 10, 1_000_000)
    arrived.clear()
    for step in sweep:
        scope.message(f"C1:BSWV FRQ,{step}", lambda: arrived.append(ctx.line.there_now()))
    check("every step on the line before its reply",
          arrived == [frequency_command(step) for step in sweep],
          [(step, got) for step, got in zip(sweep, arrived) if got != frequency_command(step)])
    scope.message("C1:OUTP OFF", lambda: arrived.append(ctx.line.there_now()))
    time.sleep(0.3)
    check("OUTP OFF sends nothing", arrived[-1] + ctx.line.there_now() == "", arrived[-1])
    check("no errors", scope.message("SYST:ERR?").rstrip("\n") == '0,"No error"')
    print(f"  {len(scope.ports)} links on the ports {sorted(set(scope.ports))}")


def started(ctx, *arguments):
    """varlo-scpi on the test's pty, once the portmapper names its core channel."""
    program = subprocess.Popen(
        [ctx.exe, "--port", "COM5", "--listen", "127.0.0.1:0", "--http", "off", "--no-mdns",
         *arguments], env=dict(os.environ, VARLO_PORT_DIR=ctx.port_dir),
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    ctx.errors = Lines(program.stderr)
    Lines(program.stdout)
    deadline = time.monotonic() + WAIT_S
    while True:
        try:
            # A question sent before the portmapper answers goes unanswered: asked again.
            Scope().getport(timeout_s=0.5)
            return program
        except (AssertionError, OSError):
            check("registered", program.poll() is None and time.monotonic() < deadline,
                  list(ctx.errors.lines.queue))
            time.sleep(0.1)


def with_its_own_portmapper(ctx):
    program = started(ctx, "--portmapper", "own")
    try:
        bode_plot(ctx)
    finally:
        stop(program)


def through_rpcbind(ctx):
    rpcbind = subprocess.Popen(["rpcbind", "-f"], stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + WAIT_S
        while not os.path.exists("/run/rpcbind.sock"):
            check("rpcbind starts", rpcbind.poll() is None and time.monotonic() < deadline)
            time.sleep(0.05)
        program = started(ctx, "--portmapper", "system")
        try:
            bode_plot(ctx)
        finally:
            stop(program)
    finally:
        rpcbind.terminate()
        rpcbind.wait(timeout=WAIT_S)


class Context:
    pass


TESTS = (with_its_own_portmapper, through_rpcbind)


def inside(scpi):
    """Runs in the new namespaces: loopback up, TIME_WAIT reuse off, then the tests."""
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True, timeout=WAIT_S)
    with open("/proc/sys/net/ipv4/tcp_tw_reuse", "w") as reuse:
        reuse.write("0")
    ctx = Context()
    ctx.exe = scpi
    with tempfile.TemporaryDirectory() as port_dir:
        ctx.port_dir = port_dir
        ctx.line = Line(port_dir)
        try:
            return run_tests(TESTS, ctx)
        finally:
            ctx.line.close()


def main():
    return in_private_namespace(__file__, NEEDED, inside,
                                "the scope's test, with ports 111 and 809 in a private network namespace")


if __name__ == "__main__":
    sys.exit(main())
