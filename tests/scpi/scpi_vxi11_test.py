"""varlo-scpi as a VXI-11 instrument, TCPIP::127.0.0.1::INSTR, driven by pyvisa-py and
lxi-tools, and by hand-made RPC calls where a client should not behave.

    /usr/bin/python3 scpi_vxi11_test.py VARLO_SCPI VARLO_INSTRUMENT

The clients ask the portmapper on port 111 first, so the test enters a private network
namespace (unshare -rn, also unprivileged where the kernel allows user namespaces; else
skipped, 77) and answers GETPORT there itself with the program's first core port.
"""
import os
import socket
import struct
import subprocess
import sys
import threading
import time

import pyvisa

from scpi_processes import WAIT_S, Program, check, instrument_at_com5, run_tests

SKIP = 77
INSIDE = "--inside-namespace"
CORE_PORT = 5030  # the namespace is the test's own: no other program holds it
CORE, ABORT, PORTMAPPER = 0x0607AF, 0x0607B0, 100000
INSTR = "TCPIP::127.0.0.1::INSTR"


def call(xid, program, version, procedure, arguments=b""):
    return struct.pack(">6I4I", xid, 0, 2, program, version, procedure, 0, 0, 0, 0) + arguments


def framed(record):
    return struct.pack(">I", 0x80000000 | len(record)) + record


def receive_record(connection):
    """One record's bytes, or None when the connection closed first."""
    record = b""
    while True:
        mark = b""
        while len(mark) < 4:
            more = connection.recv(4 - len(mark))
            if not more:
                return None
            mark += more
        (word,) = struct.unpack(">I", mark)
        left = word & 0x7FFFFFFF
        while left:
            more = connection.recv(left)
            if not more:
                return None
            record, left = record + more, left - len(more)
        if word & 0x80000000:
            return record


def portmapper_stand_in():
    """GETPORT answered with the first core port for the core channel, 0 for anything else;
    other rpcbind versions refused as a version-2 portmapper refuses them, so that libtirpc's
    clients fall back to version 2."""

    def answer(record):
        xid, _, _, program, version, procedure = struct.unpack(">6I", record[:24])
        if version != 2:
            return struct.pack(">6I2I", xid, 1, 0, 0, 0, 2, 2, 2)  # PROG_MISMATCH 2..2
        port = 0
        if procedure == 3:
            asked = struct.unpack(">I", record[40:44])[0]
            port = CORE_PORT if asked == CORE else 0
        return struct.pack(">6I", xid, 1, 0, 0, 0, 0) + (struct.pack(">I", port)
                                                           if procedure == 3 else b"")

    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind(("127.0.0.1", 111))
    tcp = socket.create_server(("127.0.0.1", 111))

    def serve_udp():
        while True:
            record, peer = udp.recvfrom(2048)
            udp.sendto(answer(record), peer)

    def serve_tcp():
        while True:
            connection, _ = tcp.accept()
            with connection:
                while (record := receive_record(connection)) is not None:
                    connection.sendall(framed(answer(record)))

    for serve in (serve_udp, serve_tcp):
        threading.Thread(target=serve, daemon=True).start()


class Rpc:
    """A client that sends what it is told, as it is told."""

    def __init__(self, port=CORE_PORT):
        self.connection = socket.create_connection(("127.0.0.1", port), timeout=WAIT_S)
        self.xid = 0

    def ask(self, program, version, procedure, arguments=b""):
        self.xid += 1
        self.connection.sendall(framed(call(self.xid, program, version, procedure, arguments)))
        return receive_record(self.connection)

    def create_link(self):
        reply = self.ask(CORE, 1, 10, struct.pack(">3I", 7, 0, 0) + xdr_text(b"inst0"))
        error, link, abort_port, max_recv = struct.unpack(">4I", reply[24:40])
        check("create_link", error == 0 and max_recv == 1024, reply)
        return link, abort_port

    def close(self):
        self.connection.close()


def xdr_text(text):
    return struct.pack(">I", len(text)) + text + b"\0" * (-len(text) % 4)


def accepted(reply):
    """The accept state of a reply (0 success, 1 PROG_UNAVAIL, 2 PROG_MISMATCH,
    3 PROC_UNAVAIL, 4 GARBAGE_ARGS), and what follows it."""
    check("accepted reply", reply is not None and struct.unpack(">I", reply[8:12])[0] == 0,
          reply)
    return struct.unpack(">I", reply[20:24])[0], reply[24:]


def open_instr(ctx, **options):
    return ctx.manager.open_resource(INSTR, read_termination="\n", timeout=WAIT_S * 1000,
                                     **options)


def query_and_the_bytes_of_the_socket(ctx):
    check("*IDN?", ctx.instr.query("*IDN?").startswith("Varlo,varlo-scpi,0,"))
    writes = ["FREQ 12.5 kHz", "SOURce1:FUNCtion:SHAPe SQUare", "FUNC:SQU:DCYC 50",
              "OUTPut:ATTenuation 20 DB", "APPL:TRI 1.5", "*RST"]
    through = {}
    for name, resource in (("INSTR", ctx.instr), ("SOCKET", ctx.socket)):
        for text in writes:
            resource.write(text)
        through[name] = (ctx.program.log.take(7), ctx.instrument.take(7))
    check("the same bytes both ways", through["INSTR"] == through["SOCKET"], through)


def write_answered_after_the_line(ctx):
    steps = [1000 + 100 * i for i in range(20)]
    start = time.monotonic()
    for hz in steps:
        ctx.instr.write(f"FREQ {hz}")
    waited = time.monotonic() - start
    # 20 commands of 10 characters at 960 a second, each written while at most one other is
    # on its way: the last reply cannot come sooner.
    check("writes answered after the line", waited >= 18 * 10 / 960, f"{waited:.3f} s")
    check("all sent", len(ctx.instrument.take(20)) == 20)
    ctx.program.log.take(20)


def a_message_of_1500_bytes(ctx):
    message = "*CLS;" * 298 + "FREQ 1234"
    check("length", len(message) + 2 == 1501)
    ctx.instr.write(message)
    check("read back", ctx.instr.query("FREQ?") == "1234")
    check("one command", ctx.instrument.take(1)[0].startswith("frequency 1234.00 Hz"))
    ctx.program.log.take(1)


def clear_and_read_stb(ctx):
    ctx.instr.write("FREQ 300 MHz")
    check("error bit", ctx.instr.read_stb() & 0x04 == 0x04)
    ctx.instr.write("*CLS;*IDN?")
    check("reply waiting (MAV)", ctx.instr.read_stb() == 0x10)
    ctx.instr.clear()
    check("cleared", ctx.instr.read_stb() == 0)
    ctx.instr.timeout = 300
    try:
        ctx.instr.read()
        check("nothing to read after a clear", False)
    except pyvisa.errors.VisaIOError as failure:
        check("io_timeout: error 15", failure.error_code == pyvisa.constants.VI_ERROR_TMO,
              failure)
    finally:
        ctx.instr.timeout = WAIT_S * 1000


def a_reply_in_pieces(ctx):
    rpc = Rpc()
    link, _ = rpc.create_link()
    rpc.ask(CORE, 1, 11, struct.pack(">4I", link, 1000, 0, 8) + xdr_text(b"*IDN?\n"))
    pieces = []
    while not pieces or not pieces[-1][0] & 4:
        reply = rpc.ask(CORE, 1, 12, struct.pack(">6I", link, 10, 1000, 0, 0, 0))
        error, reason, size = struct.unpack(">3I", reply[24:36])
        check("read", error == 0, error)
        pieces.append((reason, reply[36:36 + size]))
    text = b"".join(piece for _, piece in pieces)
    check("pieces of 10 with REQCNT, END last", text.startswith(b"Varlo,varlo-scpi,") and
          text.endswith(b"\n") and all(r == 1 for r, _ in pieces[:-1]), pieces)
    rpc.close()


def every_core_port_and_the_abort_port(ctx):
    for port in range(CORE_PORT, CORE_PORT + 4):
        rpc = Rpc(port)
        _, abort_port = rpc.create_link()
        check("abort channel after the core set", abort_port == CORE_PORT + 4, abort_port)
        rpc.close()
    rpc = Rpc()
    link, _ = rpc.create_link()
    # A read that waits, ended from the abort channel.
    rpc.connection.sendall(framed(call(99, CORE, 1, 12,
                                       struct.pack(">6I", link, 100, 60000, 0, 0, 0))))
    abort = Rpc(CORE_PORT + 4)
    state, result = accepted(abort.ask(ABORT, 1, 1, struct.pack(">I", link)))
    check("device_abort", (state, result) == (0, b"\0" * 4), result)
    state, result = accepted(receive_record(rpc.connection))
    check("the read ends with error 23", struct.unpack(">I", result[:4])[0] == 23, result)
    for port in (rpc, abort):
        port.close()


def refusals_of_the_core_channel(ctx):
    rpc = Rpc()
    link, _ = rpc.create_link()
    rows = [
        ("unknown program", (0x20000000, 1, 10, b""), (1, b"")),
        ("another version", (CORE, 3, 10, b""), (2, struct.pack(">2I", 1, 1))),
        ("unknown procedure", (CORE, 1, 21, b""), (3, b"")),
        ("arguments cut short", (CORE, 1, 11, struct.pack(">I", link)), (4, b"")),
        ("unknown link", (CORE, 1, 23, struct.pack(">I", link + 1000)), (0, struct.pack(">I", 4))),
        ("device of another name", (CORE, 1, 10, struct.pack(">3I", 1, 0, 0) + xdr_text(b"gpib0")),
         (0, struct.pack(">I", 3))),
        ("service requests not built", (CORE, 1, 20, struct.pack(">2I", link, 0) + xdr_text(b"")),
         (0, struct.pack(">I", 8))),
        ("destroy_link", (CORE, 1, 23, struct.pack(">I", link)), (0, struct.pack(">I", 0))),
    ]
    for name, asked, expected in rows:
        state, result = accepted(rpc.ask(*asked))
        check(name, (state, result[:len(expected[1])]) == expected, (state, result))
    rpc.close()


def hostile_calls_while_another_link_is_answered(ctx):
    closing = [
        ("a record longer than the bound", struct.pack(">I", 0x80000000 | 1 << 20)),
        ("no call", framed(struct.pack(">2I", 1, 1) + b"\0" * 40)),
    ]
    for name, sent in closing:
        rpc = Rpc()
        rpc.connection.sendall(sent)
        check(name + " closes", receive_record(rpc.connection) is None)
        check("the other link answered", ctx.instr.query("*IDN?").startswith("Varlo,"))
        rpc.close()
    half = Rpc()
    half.connection.sendall(framed(call(1, CORE, 1, 0))[:10])
    start = time.monotonic()
    while time.monotonic() - start < 2:
        check("answered while a record is half-sent", ctx.instr.query("*IDN?").startswith("V"))
    half.connection.settimeout(30)
    check("a half-sent record closes in time", receive_record(half.connection) is None)
    check("after 10 s", time.monotonic() - start >= 9.5, time.monotonic() - start)
    half.close()


def lxi_scpi(ctx):
    done = subprocess.run(["lxi", "scpi", "-a", "127.0.0.1", "*IDN?"], capture_output=True,
                          text=True, timeout=WAIT_S)
    check("lxi scpi", done.stdout.startswith("Varlo,varlo-scpi,"), (done.stdout, done.stderr))


class Context:
    pass


TESTS = (query_and_the_bytes_of_the_socket, write_answered_after_the_line,
         a_message_of_1500_bytes, clear_and_read_stb, a_reply_in_pieces,
         every_core_port_and_the_abort_port, refusals_of_the_core_channel,
         hostile_calls_while_another_link_is_answered, lxi_scpi)


def inside(scpi, instrument):
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True, timeout=WAIT_S)
    portmapper_stand_in()
    ctx = Context()
    ctx.exe = scpi
    with instrument_at_com5(instrument) as (port_dir, lines):
        ctx.port_dir, ctx.instrument = port_dir, lines
        ctx.program = Program(scpi, port_dir, "--listen", "127.0.0.1:5025", "--vxi11",
                              str(CORE_PORT))
        try:
            ctx.manager = pyvisa.ResourceManager("@py")
            ctx.instr = open_instr(ctx)
            ctx.socket = ctx.manager.open_resource("TCPIP::127.0.0.1::5025::SOCKET",
                                                   read_termination="\n",
                                                   write_termination="\n")
            result = run_tests(TESTS, ctx)
            ctx.instr.close()
            return result
        finally:
            ctx.program.stop()


def main():
    if sys.argv[1] == INSIDE:
        return inside(*sys.argv[2:])
    probe = subprocess.run(["unshare", "-rn", "true"], capture_output=True, text=True)
    if probe.returncode != 0:
        print(f"skipped: no private network namespace: {probe.stderr.strip()}")
        return SKIP
    return subprocess.run(["unshare", "-rn", sys.executable, os.path.abspath(__file__), INSIDE,
                           *sys.argv[1:]]).returncode


if __name__ == "__main__":
    sys.exit(main())
