#!/usr/bin/env python3
"""How varlo-scpi is found through a portmapper, measured inside a private network and mount
namespace made here (root only), with an rpcbind of its own.

    tools/bench/portmapper_bench.py --scpi PATH --instrument PATH [--links N] [--discovers N]

Prints:
  - the re-registration gap: while N VXI-11 links are made and ended one after the other
    (each end moves the registration to the next port: UNSET and SET written back to back),
    a second client asks rpcbind GETPORT over UDP without pause; the GETPORTs answered 0,
    of all, give the share of time the program was not mapped, and with the moves' count the
    mean gap of one move;
  - discover: the time from `lxi discover` starting to its line naming the generator, with
    the program's own portmapper (median of N; goal: within its first second).
"""
import argparse
import os
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

INSIDE = "--inside-namespace"
CORE = 0x0607AF


def rpc_call(xid, program, version, procedure, arguments):
    return struct.pack(">10I", xid, 0, 2, program, version, procedure, 0, 0, 0, 0) + arguments


def getport(asker, xid):
    asker.send(rpc_call(xid, 100000, 2, 3, struct.pack(">4I", CORE, 1, 6, 0)))
    return struct.unpack(">7I", asker.recv(100))[6]


def link_once(port, xid):
    """create_link of inst0 and destroy_link on one connection, as a scope's message does."""
    with socket.create_connection(("127.0.0.1", port), timeout=5) as core:
        def call(procedure, arguments):
            record = rpc_call(xid, CORE, 1, procedure, arguments)
            core.sendall(struct.pack(">I", 0x80000000 | len(record)) + record)
            mark = core.recv(4)
            length = struct.unpack(">I", mark)[0] & 0x7FFFFFFF
            reply = b""
            while len(reply) < length:
                reply += core.recv(length - len(reply))
            return reply[24:]
        created = call(10, struct.pack(">iIII", 1, 0, 0, 5) + b"inst0\0\0\0")
        error, link = struct.unpack(">iI", created[:8])
        assert error == 0, error
        call(23, struct.pack(">I", link))


def line_starting(stream, prefix):
    for line in stream:
        if line.startswith(prefix):
            return line.strip()
    raise AssertionError(f"no line starting {prefix!r}")


def start(scpi, port_dir, mode):
    program = subprocess.Popen([scpi, "--port", "COM5", "--http", "off", "--quiet",
                                "--portmapper", mode], env=dict(os.environ, VARLO_PORT_DIR=port_dir),
                               stdout=subprocess.PIPE, text=True)
    return program


def gap(scpi, port_dir, links):
    rpcbind = subprocess.Popen(["rpcbind", "-f"])
    time.sleep(0.3)
    program = start(scpi, port_dir, "system")
    try:
        line_starting(program.stdout, "registered with rpcbind")
        counts = {"asked": 0, "zero": 0}
        done = threading.Event()

        def ask():
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as asker:
                asker.connect(("127.0.0.1", 111))
                asker.settimeout(5)
                xid = 1
                while not done.is_set():
                    xid += 1
                    counts["asked"] += 1
                    counts["zero"] += getport(asker, xid) == 0

        asker = threading.Thread(target=ask)
        asker.start()
        began = time.monotonic()
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as finder:
            finder.connect(("127.0.0.1", 111))
            finder.settimeout(5)
            for n in range(links):
                port = getport(finder, 1_000_000 + n)
                while port == 0:
                    port = getport(finder, 1_000_000 + n)
                link_once(port, n)
        spent = time.monotonic() - began
        done.set()
        asker.join()
        share = counts["zero"] / counts["asked"]
        print(f"re-registration: {links} moves in {spent:.2f} s; {counts['zero']} of "
              f"{counts['asked']} GETPORTs answered 0 ({share * 100:.3f} % of the time), "
              f"a mean gap of {share * spent / links * 1e6:.0f} us per move")
    finally:
        program.terminate()
        program.wait()
        rpcbind.terminate()
        rpcbind.wait()


def discover(scpi, port_dir, runs):
    program = start(scpi, port_dir, "own")
    try:
        line_starting(program.stdout, "portmapper on ")
        found = []
        for _ in range(runs):
            began = time.monotonic()
            lxi = subprocess.Popen(["stdbuf", "-oL", "lxi", "discover", "--timeout", "1"],
                                   stdout=subprocess.PIPE, text=True)
            line_starting(lxi.stdout, '  Found "Varlo,varlo-scpi')
            found.append(time.monotonic() - began)
            lxi.wait()
        print(f"discover: the generator listed {statistics.median(found) * 1000:.1f} ms after "
              f"lxi discover starts (median of {runs}, max {max(found) * 1000:.1f} ms; goal: "
              "within 1000 ms)")
    finally:
        program.terminate()
        program.wait()


def inside(arguments):
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    subprocess.run(["mount", "-t", "tmpfs", "varlo-bench-run", "/run"], check=True)
    with tempfile.TemporaryDirectory() as port_dir:
        player = subprocess.Popen([arguments.instrument, "--headless", "--dir", port_dir,
                                   "--port", "5"], stdout=subprocess.PIPE, text=True)
        try:
            player.stdout.readline()
            gap(arguments.scpi, port_dir, arguments.links)
            discover(arguments.scpi, port_dir, arguments.discovers)
        finally:
            player.terminate()
            player.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument(INSIDE, action="store_true")
    parser.add_argument("--scpi", required=True)
    parser.add_argument("--instrument", required=True)
    parser.add_argument("--links", type=int, default=500)
    parser.add_argument("--discovers", type=int, default=5)
    arguments = parser.parse_args()
    if arguments.inside_namespace:
        return inside(arguments)
    if os.geteuid() != 0:
        sys.exit("portmapper_bench: a private network namespace needs root")
    return subprocess.run(["unshare", "--net", "--mount", "--propagation", "private",
                           sys.executable, os.path.abspath(__file__), INSIDE, *sys.argv[1:]],
                          check=False).returncode


if __name__ == "__main__":
    sys.exit(main())
