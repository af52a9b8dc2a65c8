"""varlo-scpi found through a portmapper: registered with an rpcbind the test starts, and
answering as the portmapper itself, only inside a private network and mount namespace made
here (scpi_processes.py runs the programs).

    /usr/bin/python3 scpi_portmapper_test.py VARLO_SCPI VARLO_INSTRUMENT

The namespace has loopback up and a /run of its own, where rpcbind keeps its local socket:
nothing reaches the machine's rpcbind or its port 111. Needs root; skipped (77) otherwise,
and where a program it needs is not installed.
"""
import os
import re
import signal
import socket
import struct
import subprocess
import sys
import time

from scpi_processes import WAIT_S, Program, check, instrument_at_com5, run_tests, in_private_namespace

NEEDED = ("unshare", "ip", "mount", "rpcbind", "rpcinfo", "lxi")
CORE_PROGRAM = 0x0607AF


def line_starting(program, prefix):
    """The first line of the program's output from here on that starts with prefix."""
    deadline = time.monotonic() + WAIT_S
    while time.monotonic() < deadline:
        line = program.log.take(1)[0]
        if line.startswith(prefix):
            return line
    raise AssertionError(f"no line starting {prefix!r}")


def registered_port(program):
    return int(line_starting(program, "registered with rpcbind: VXI-11 on port ").rsplit(" ", 1)[1])


def mapped_ports():
    """The core channel's ports in rpcbind's list, as `rpcinfo -p` shows it."""
    shown = subprocess.run(["rpcinfo", "-p"], capture_output=True, text=True, check=True,
                           timeout=WAIT_S).stdout
    return [int(fields[3]) for fields in (line.split() for line in shown.splitlines())
            if fields[:3] == [str(CORE_PROGRAM), "1", "tcp"]]


def getport_call(xid, program=CORE_PROGRAM):
    """A portmapper version 2 GETPORT for the program's version 1 over TCP."""
    return struct.pack(">10I4I", xid, 0, 2, 100000, 2, 3, 0, 0, 0, 0, program, 1, 6, 0)


def getport_reply_port(reply, xid):
    words = struct.unpack(">7I", reply)
    check("accepted reply", words[:6] == (xid, 1, 0, 0, 0, 0), words)
    return words[6]


def getport_udp(xid):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as asker:
        asker.settimeout(WAIT_S)
        asker.sendto(getport_call(xid), ("127.0.0.1", 111))
        return getport_reply_port(asker.recv(100), xid)


def getport_tcp(xid):
    with socket.create_connection(("127.0.0.1", 111), timeout=WAIT_S) as asker:
        call = getport_call(xid)
        asker.sendall(struct.pack(">I", 0x80000000 | len(call)) + call)
        reply = b""
        while len(reply) < 32:
            reply += asker.recv(100)
        check("one last fragment", struct.unpack(">I", reply[:4])[0] == 0x80000000 | 28, reply)
        return getport_reply_port(reply[4:], xid)


def query_idn():
    """*IDN? through pyvisa-py's VXI-11 client, which asks the portmapper for the port, in a
    link that ends when the resource closes."""
    done = subprocess.run(["/usr/bin/python3", "-c", """
import pyvisa
instrument = pyvisa.ResourceManager("@py").open_resource("TCPIP::127.0.0.1::INSTR",
                                                         timeout=5000)
print(instrument.query("*IDN?").strip())
instrument.close()
"""], capture_output=True, text=True, timeout=WAIT_S * 2)
    return done.stdout + done.stderr


class Rpcbind:
    def __enter__(self):
        self.process = subprocess.Popen(["rpcbind", "-f"], stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + WAIT_S
        while subprocess.run(["rpcinfo", "-p"], capture_output=True).returncode != 0:
            check("rpcbind starts", time.monotonic() < deadline)
            time.sleep(0.05)
        return self

    def __exit__(self, *_):
        self.process.terminate()
        self.process.wait(timeout=WAIT_S)


def start(ctx, *arguments, port_dir=None):
    return Program(ctx.exe, port_dir or ctx.port_dir, "--listen", "127.0.0.1:0", "--quiet",
                   "--portmapper", *arguments)


def registered_and_removed_at_exit(ctx):
    with Rpcbind():
        program = start(ctx, "auto")
        port = registered_port(program)
        check("in rpcbind's list", mapped_ports() == [port], mapped_ports())
        check("ends well", program.end(signal.SIGTERM) == 0)
        check("removed at exit", mapped_ports() == [], mapped_ports())


def moved_on_as_each_link_ends(ctx):
    """A link that ends takes the registration on to the next port, as a scope that reconnects
    from one source port needs; pyvisa-py finds the port through rpcbind each time."""
    with Rpcbind():
        program = start(ctx, "system")
        try:
            ports = [registered_port(program)]
            for _ in range(2):
                check("*IDN? over VXI-11", query_idn().startswith("Varlo,varlo-scpi,"))
                ports += mapped_ports()
            check("a new port each time", len(set(ports)) == 3, ports)
        finally:
            program.stop()


def killed_instances_mapping_replaced(ctx):
    # A killed program leaves its port marked: the killed one has an instrument of its own.
    with Rpcbind(), instrument_at_com5(ctx.instrument) as (port_dir, _):
        killed = start(ctx, "system", port_dir=port_dir)
        stale = registered_port(killed)
        killed.end(signal.SIGKILL)
        check("left behind", mapped_ports() == [stale], mapped_ports())
        program = start(ctx, "system")
        try:
            port = registered_port(program)
            check("replaced", mapped_ports() == [port], (stale, mapped_ports()))
        finally:
            program.stop()


def system_without_rpcbind_ends(ctx):
    program = start(ctx, "system")
    check("exit status", program.process.wait(timeout=WAIT_S) == 3)
    said = program.process.stderr.read()
    check("said", re.fullmatch(r"varlo-scpi: cannot register with rpcbind: no rpcbind answers at "
                               r"(/var)?/run/rpcbind.sock \(.*\)\n", said), said)


def own_portmapper_answers_getport(ctx):
    program = start(ctx, "auto")
    try:
        check("answers", line_starting(program, "portmapper on ") == "portmapper on 127.0.0.1:111")
        ports = [getport_udp(1), getport_tcp(2)]
        check("the next port each time", all(ports) and ports[0] != ports[1], ports)
        for port in ports:
            socket.create_connection(("127.0.0.1", port), timeout=WAIT_S).close()
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as asker:
            asker.settimeout(WAIT_S)
            asker.sendto(getport_call(3, program=100003), ("127.0.0.1", 111))
            check("0 for another program", getport_reply_port(asker.recv(100), 3) == 0)
    finally:
        program.stop()


def found_by_lxi_discover(ctx):
    program = start(ctx, "own")
    try:
        line_starting(program, "portmapper on ")
        done = subprocess.run(["lxi", "discover", "--timeout", "1"], capture_output=True,
                              text=True, timeout=WAIT_S)
        check("listed with its *IDN?",
              re.search(r'Found "Varlo,varlo-scpi,0,[^"]+" on address 127.0.0.1', done.stdout),
              done.stdout + done.stderr)
    finally:
        program.stop()


def no_way_said_in_one_line(ctx):
    """Without rpcbind and with port 111 taken, it says so once and serves on."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as taken:
        taken.bind(("127.0.0.1", 111))
        taken.listen()
        program = start(ctx, "auto")
        try:
            said = program.process.stderr.readline()
            check("one line", said.startswith("varlo-scpi: VISA tools will not find the "
                                              "generator: no rpcbind answers at ") and
                  "port 127.0.0.1:111 cannot be listened on: the address is in use (install "
                  "rpcbind, or let varlo-scpi bind port 111: run it as root or grant it "
                  "CAP_NET_BIND_SERVICE)" in said, said)
            with socket.create_connection(program.address(), timeout=WAIT_S) as client:
                client.sendall(b"*IDN?\n")
                check("serves on", client.recv(100).startswith(b"Varlo,varlo-scpi,"))
        finally:
            program.stop()


class Context:
    pass


TESTS = (registered_and_removed_at_exit, moved_on_as_each_link_ends,
         killed_instances_mapping_replaced, system_without_rpcbind_ends,
         own_portmapper_answers_getport, found_by_lxi_discover, no_way_said_in_one_line)


def inside(scpi, instrument):
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True, timeout=WAIT_S)
    ctx = Context()
    ctx.exe, ctx.instrument = scpi, instrument
    with instrument_at_com5(instrument) as (port_dir, _):
        ctx.port_dir = port_dir
        return run_tests(TESTS, ctx)


def main():
    return in_private_namespace(__file__, NEEDED, inside,
                                "the portmapper test, in a private network namespace with an rpcbind of its own")


if __name__ == "__main__":
    sys.exit(main())
