"""varlo-scpi driven by pyvisa, as lab software drives it, with varlo-instrument at the pty.

    /usr/bin/python3 scpi_pyvisa_test.py VARLO_SCPI VARLO_INSTRUMENT VERSION

A command's bytes are checked by both processes: the hex the program logs is the one
expected, and its wording is the instrument's reading of what came (scpi_processes.py).
The web page is off here: its own test is scpi_web_test.py.
"""
import signal
import socket
import sys
import time

import pyvisa

from scpi_processes import (PORT, WAIT_S, Program, check, instrument_at_com5, run_tests,
                            run_to_end)


def identity(ctx):
    check("*IDN?", ctx.a.query("*IDN?") == f"Varlo,varlo-scpi,0,{ctx.version}")


def settings_and_bytes(ctx):
    rows = [
        ("FREQ 12.5 kHz", ["4D03000008"]),
        ("SOURce1:FUNCtion:SHAPe SQUare", ["4D03000004"]),
        ("FUNC:SQU:DCYC 50", ["2300000064", "4D03000044"]),
        ("OUTPut:ATTenuation 20 DB", ["4D03000054"]),
        ("APPL:TRI 1.5", ["1000002352"]),
    ]
    for command, sent in rows:
        ctx.a.write(command)
        arrived = ctx.instrument.take(len(sent))
        logged = ctx.program.log.take(len(sent))
        check(command, logged == [f"{h}  {line}" for h, line in zip(sent, arrived)],
              f"logged {logged}, arrived {arrived}")
    answer = ctx.a.query("FREQ?;FUNC?;:FUNC:SQU:DCYC?;:OUTP:ATT?;:APPL?")
    check("queries", answer == '1.5;TRI;50;20;"TRI 1.5"', answer)
    ctx.a.write("*RST")
    check("*RST", ctx.program.log.take(1)[0].startswith("8E30000008  "))
    ctx.instrument.take(1)
    # An oscilloscope's set-up for a Bode plot: one frequency command; its end, none.
    ctx.a.write("C1:OUTP LOAD,50;BSWV WVTP,SINE,PHSE,0,FRQ,50000,AMP,2.1,OFST,0;OUTP ON")
    arrived = ctx.instrument.take(1)
    check("scope set-up", ctx.program.log.take(1) == [f"053C000008  {arrived[0]}"], arrived)
    ctx.a.write("C1:OUTP OFF")
    ctx.instrument.none_within(0.2)


def errors(ctx):
    ctx.a.write("FREQ 200 MHz;FUNC SAW;OUTP OFF;FREQU 5;APPL:SIN 1000,1")
    check("count", ctx.a.query("SYST:ERR:COUN?") == "5")
    read = [ctx.a.query("SYST:ERR?") for _ in range(6)]
    check("errors", read == ['-222,"Data out of range"', '-224,"Illegal parameter value"',
                             '-221,"Settings conflict"', '-113,"Undefined header"',
                             '-108,"Parameter not allowed"', '0,"No error"'], read)
    ctx.instrument.none_within(0.2)


def sweep_then_opc(ctx):
    steps = [1000 + 100 * i for i in range(20)]
    start = time.monotonic()
    for hz in steps:
        ctx.a.write(f"FREQ {hz}")
    check("*OPC?", ctx.a.query("*OPC?") == "1")
    waited = time.monotonic() - start
    # 20 commands of 10 characters at 960 a second: the answer cannot come sooner.
    check("*OPC? waits for the line", waited >= 19 * 10 / 960, f"{waited:.3f} s")
    arrived = ctx.instrument.take(20)
    check("sweep", arrived == [f"frequency {hz}.00 Hz, sine, attenuator off, duty not adjusted"
                               for hz in steps], arrived)
    ctx.program.log.take(20)


def two_clients_and_a_flood(ctx):
    flood = [2000 + i for i in range(300)]
    ctx.a.write_raw("".join(f"FREQ {hz}\n" for hz in flood).encode())
    time.sleep(0.3)
    asked = time.monotonic()
    answer = ctx.b.query("*IDN?")
    took = time.monotonic() - asked
    # The flood holds the line for three seconds.
    check("other client answered at once", answer.startswith("Varlo,") and took < 1.0,
          f"{answer!r} after {took:.3f} s")
    sent_so_far = ctx.program.log.waiting()
    check("...while the flood goes on", sent_so_far < len(flood), f"{sent_so_far} sent")
    ctx.b.write("FUNC TRI")
    with socket.create_connection(ctx.program.address()) as third:
        third.settimeout(WAIT_S)
        third.sendall(b"*IDN?\n")
        try:
            answer = third.recv(100)
        except ConnectionResetError:  # closed with the query unread
            answer = b""
        check("one client more is closed unanswered", answer == b"", answer)
    check("*OPC?", ctx.a.query("*OPC?") == "1")
    arrived = ctx.instrument.take(len(flood) + 1)
    check("all whole", not any(line.startswith("undecodable") for line in arrived))
    hertz = [int(line.split()[1].split(".")[0]) for line in arrived]
    triangle = [line.split(", ")[1] == "triangle" for line in arrived]
    b_at = triangle.index(True)
    check("in order, one line after another", hertz[:b_at] + hertz[b_at + 1:] == flood,
          f"{hertz}")
    check("the other client's command between lines", all(triangle[b_at:]), b_at)
    ctx.program.log.take(len(flood) + 1)


def sigterm(ctx):
    host, port = ctx.program.address()
    check("exit 0 on SIGTERM", ctx.program.end(signal.SIGTERM) == 0)
    try:
        ctx.a.read()
        closed = False
    except pyvisa.errors.VisaIOError:
        closed = True
    check("clients disconnected", closed)
    # The port and the address are free at once: the lock is gone and the socket closed.
    again = Program(ctx.exe, ctx.port_dir, "--listen", f"{host}:{port}")
    check("starts again", again.first == f"listening on {host}:{port}", again.first)
    check("exit 0 on SIGINT", again.end(signal.SIGINT) == 0)


def exit_statuses(ctx):
    code, _, err = run_to_end(ctx.exe, ctx.port_dir, "--port", PORT, "--clients", "0")
    check("usage", code == 2 and err.startswith("varlo-scpi: --clients takes"), err)
    with Program(ctx.exe, ctx.port_dir, "--listen", "0", "--quiet").process as holder:
        code, _, err = run_to_end(ctx.exe, ctx.port_dir, "--port", PORT, "--listen", "0")
        check("port busy", code == 3 and err.startswith("varlo-scpi: cannot open COM5 ("), err)
        holder.send_signal(signal.SIGTERM)
    with socket.socket() as taken:
        taken.bind(("127.0.0.1", 0))
        taken.listen()
        port = taken.getsockname()[1]
        code, _, err = run_to_end(ctx.exe, ctx.port_dir, "--port", PORT, "--listen", str(port))
        check("address in use", code == 3 and err == f"varlo-scpi: cannot listen on {port}: "
              "the address is in use\n", err)
    wide = Program(ctx.exe, ctx.port_dir, "--listen", "0.0.0.0:0", "--no-mdns")
    check("wide address", wide.first.startswith("listening on 0.0.0.0:"), wide.first)
    check("exit 0 on SIGHUP", wide.end(signal.SIGHUP) == 0)
    warning, end = wide.process.stderr.read().splitlines()
    check("one-line warning", warning.startswith("varlo-scpi: listening on 0.0.0.0:") and
          warning.endswith(": anyone who can reach it can set the generator"), warning)
    check("the end told", end == "varlo-scpi: ended by SIGHUP; 0 waiting settings not sent", end)


def help_names_instr_first(ctx):
    code, out, _ = run_to_end(ctx.exe, ctx.port_dir, "--help")
    lines = [line.split()[0] for line in out.splitlines() if line.startswith("  TCPIP::")]
    check("resource strings", code == 0 and lines == ["TCPIP::127.0.0.1::inst0::INSTR",
                                                      "TCPIP::127.0.0.1::5025::SOCKET"], out)


class Context:
    pass


TESTS = (identity, settings_and_bytes, errors, sweep_then_opc, two_clients_and_a_flood, sigterm,
         exit_statuses, help_names_instr_first)


def main():
    scpi, instrument, version = sys.argv[1:]
    ctx = Context()
    ctx.exe, ctx.version = scpi, version
    with instrument_at_com5(instrument) as (port_dir, lines):
        ctx.port_dir, ctx.instrument = port_dir, lines
        ctx.program = Program(scpi, port_dir, "--listen", "127.0.0.1:0", "--clients", "2")
        try:
            host, port = ctx.program.address()
            manager = pyvisa.ResourceManager("@py")
            resource = f"TCPIP::{host}::{port}::SOCKET"
            ctx.a, ctx.b = (manager.open_resource(resource, read_termination="\n",
                                                  write_termination="\n", timeout=WAIT_S * 1000)
                            for _ in range(2))
            return run_tests(TESTS, ctx)
        finally:
            ctx.program.stop()


if __name__ == "__main__":
    sys.exit(main())
