"""varlo-scpi announced by multicast DNS, found by avahi-browse and `lxi discover --mdns`,
only inside a private network namespace made here (scpi_processes.py runs the programs).

    /usr/bin/python3 scpi_mdns_test.py VARLO_SCPI VARLO_INSTRUMENT VERSION

The test enters a new network and mount namespace (unshare -n -m): loopback up with
multicast on, a system bus of its own (dbus-daemon), and an avahi-daemon allowed on lo only,
with its runtime directory and static services private to the namespace. Nothing reaches
the machine's network or its own Avahi. Needs root; skipped (77) otherwise, and where a
program it needs is not installed.
"""
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time

from scpi_processes import WAIT_S, Lines, Program, check, instrument_at_com5, run_tests, in_private_namespace

NAME = "Bench generator"
NEEDED = ("unshare", "ip", "dbus-daemon", "avahi-daemon", "avahi-browse", "lxi", "mount")

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
  </policy>
</busconfig>
"""

AVAHI_CONFIG = """[server]
host-name=varlo-bench
use-ipv4=yes
use-ipv6=no
allow-interfaces=lo
enable-dbus=yes
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
"""


def run(*command):
    subprocess.run(command, check=True, timeout=WAIT_S)


class Daemon:
    """avahi-daemon on lo, on the namespace's own bus; started and stopped by the tests."""

    def __init__(self, config):
        self.config = config
        self.process = None

    def start(self):
        self.process = subprocess.Popen(
            ["avahi-daemon", "-f", self.config, "--no-drop-root", "--no-chroot", "--no-rlimits"],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        log = Lines(self.process.stderr)
        deadline = time.monotonic() + WAIT_S
        while not any(line.startswith("Server startup complete") for line in log.take(1)):
            check("avahi-daemon starts", time.monotonic() < deadline)

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=WAIT_S)


def browse(service_type):
    """avahi-browse's resolved entries of a type: name -> (port, TXT strings as it shows them)."""
    done = subprocess.run(["avahi-browse", "-rtp", service_type], capture_output=True,
                          text=True, timeout=WAIT_S * 2)
    found = {}
    for line in done.stdout.splitlines():
        fields = line.split(";")
        if fields[0] == "=" and fields[2] == "IPv4":
            name = fields[3].replace("\\032", " ").replace("\\035", "#")
            found[name] = (int(fields[8]), fields[9])
    return found


def txt_on_the_wire(instance):
    """The TXT record's strings in the order they are sent, as a one-shot query asks for them
    (avahi-browse lists them last first)."""
    question = b"".join(bytes([len(part)]) + part.encode() for part in instance.split("."))
    query = struct.pack(">6H", 0x5643, 0, 1, 0, 0, 0) + question + b"\0" + struct.pack(">HH", 16, 1)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as asker:
        asker.settimeout(WAIT_S)
        asker.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton("127.0.0.1"))
        asker.sendto(query, ("224.0.0.251", 5353))
        data, _ = asker.recvfrom(9000)

    def skip_name(at):
        while data[at] != 0:
            if data[at] & 0xC0 == 0xC0:
                return at + 2
            at += 1 + data[at]
        return at + 1

    at = 12
    for _ in range(struct.unpack(">H", data[4:6])[0]):
        at = skip_name(at) + 4
    for _ in range(struct.unpack(">H", data[6:8])[0]):
        at = skip_name(at)
        kind, _, _, length = struct.unpack(">HHIH", data[at:at + 10])
        record = data[at + 10:at + 10 + length]
        at += 10 + length
        if kind == 16:
            strings, i = [], 0
            while i < len(record):
                strings.append(record[i + 1:i + 1 + record[i]].decode())
                i += 1 + record[i]
            return strings
    raise AssertionError("no TXT record in the answer")


def waits_for_the_daemon(ctx):
    """Started before any daemon: it says so once, serves, and announces once one starts."""
    ctx.first = Program(ctx.exe, ctx.port_dir, "--listen", "0.0.0.0:5025", "--name", NAME,
                        web=False)
    ctx.first_errors = Lines(ctx.first.process.stderr)
    said = ctx.first_errors.take(2)
    check("warned of the network", said[0].startswith("varlo-scpi: listening on 0.0.0.0:5025: "),
          said)
    check("no daemon, said once", said[1] == "varlo-scpi: no Avahi daemon is running: the "
          "program is announced on the network once one starts", said)
    with socket.create_connection(("127.0.0.1", 5025), timeout=WAIT_S) as client:
        client.sendall(b"*IDN?\n")
        check("serves", client.recv(100).startswith(b"Varlo,varlo-scpi,0,"))
    ctx.daemon.start()
    check("announced", ctx.first.log.take(1) == [f'announced on the network as "{NAME}"'])
    check("recovery said", ctx.first_errors.take(1) ==
          ["varlo-scpi: announced on the network again"])


def browsed_with_txt(ctx):
    identity = ["txtvers=1", "Manufacturer=Varlo", "Model=varlo-scpi", "SerialNumber=0",
                f"FirmwareVersion={ctx.version}"]
    shown = " ".join(f'"{text}"' for text in reversed(identity))
    found = browse("_scpi-raw._tcp")
    check("_scpi-raw._tcp", found.get(NAME) == (5025, shown), found)
    check("TXT in order", txt_on_the_wire(f"{NAME}._scpi-raw._tcp.local") == identity)
    vxi11 = browse("_vxi-11._tcp").get(NAME)
    check("_vxi-11._tcp on the core channel", vxi11 and vxi11[0] not in (0, 5025) and
          vxi11[1] == shown, vxi11)
    # The first instance serves no page: the second one's web services come below.
    check("no web services without a page", NAME not in browse("_http._tcp"))


def found_by_lxi(ctx):
    done = subprocess.run(["lxi", "discover", "--mdns", "--timeout", "3"], capture_output=True,
                          text=True, timeout=WAIT_S * 2)
    check("lxi discover", f'Found "{NAME}" on address 127.0.0.1' in done.stdout and
          "scpi-raw service on port 5025" in done.stdout and
          "vxi-11 service on port" in done.stdout, done.stdout + done.stderr)


def second_gets_another_name(ctx):
    with instrument_at_com5(ctx.instrument_exe) as (port_dir, _):
        second = Program(ctx.exe, port_dir, "--listen", "0.0.0.0:5026", "--name", NAME,
                         web=True)
        try:
            errors = Lines(second.process.stderr)
            taken = [line for line in errors.take(2) if "taken" in line]
            other = f"{NAME} #2"
            check("said on stderr", taken == [f'varlo-scpi: the name "{NAME}" is taken on the '
                                              f'network: announcing as "{other}"'], taken)
            check("announced", second.log.take(1) == [f'announced on the network as "{other}"'])
            found = browse("_scpi-raw._tcp")
            check("both found", found.get(NAME, (0,))[0] == 5025 and
                  found.get(other, (0,))[0] == 5026, found)
            web_port = int(second.page().rsplit(":", 1)[1])
            check("_lxi._tcp", browse("_lxi._tcp").get(other, (0,))[0] == web_port)
            http = browse("_http._tcp").get(other)
            check("_http._tcp", http and http[0] == web_port and http[1].startswith('"path=/" '),
                  http)
        finally:
            second.process.terminate()
            second.process.wait(timeout=WAIT_S)


def daemon_comes_back(ctx):
    ctx.daemon.stop()
    check("said once", ctx.first_errors.take(1) == [
        "varlo-scpi: the Avahi daemon has stopped: the program is announced again once it is "
        "back"])
    ctx.daemon.start()
    check("announced again", ctx.first.log.take(1) == [f'announced on the network as "{NAME}"'])
    check("recovery said", ctx.first_errors.take(1) ==
          ["varlo-scpi: announced on the network again"])
    check("found again", NAME in browse("_scpi-raw._tcp"))


class Context:
    pass


TESTS = (waits_for_the_daemon, browsed_with_txt, found_by_lxi, second_gets_another_name,
         daemon_comes_back)


def inside(scpi, instrument, version):
    """Runs in the new namespaces: sets them up, then the tests."""
    run("ip", "link", "set", "lo", "up")
    run("ip", "link", "set", "lo", "multicast", "on")
    work = tempfile.mkdtemp()
    services = os.path.join(work, "services")
    os.mkdir(services)
    run("mount", "--bind", services, "/etc/avahi/services")
    os.makedirs("/run/avahi-daemon")
    bus = os.path.join(work, "bus")
    with open(os.path.join(work, "bus.conf"), "w") as config:
        config.write(BUS_CONFIG.format(socket=bus))
    with open(os.path.join(work, "avahi.conf"), "w") as config:
        config.write(AVAHI_CONFIG)
    os.environ["DBUS_SYSTEM_BUS_ADDRESS"] = f"unix:path={bus}"
    bus_daemon = subprocess.Popen(["dbus-daemon", "--config-file", os.path.join(work, "bus.conf"),
                                   "--nofork", "--nopidfile", "--nosyslog"],
                                  stderr=subprocess.DEVNULL)
    ctx = Context()
    ctx.exe, ctx.instrument_exe, ctx.version = scpi, instrument, version
    ctx.daemon = Daemon(os.path.join(work, "avahi.conf"))
    ctx.first = None
    try:
        deadline = time.monotonic() + WAIT_S
        while not os.path.exists(bus):
            check("dbus-daemon starts", time.monotonic() < deadline)
            time.sleep(0.05)
        with instrument_at_com5(instrument) as (port_dir, _):
            ctx.port_dir = port_dir
            try:
                return run_tests(TESTS, ctx)
            finally:
                if ctx.first:
                    ctx.first.stop()
    finally:
        if ctx.daemon.process and ctx.daemon.process.poll() is None:
            ctx.daemon.stop()
        bus_daemon.terminate()
        bus_daemon.wait(timeout=WAIT_S)
        shutil.rmtree(work, ignore_errors=True)


def main():
    return in_private_namespace(__file__, NEEDED, inside,
                                "the mDNS test, in a private network namespace")


if __name__ == "__main__":
    sys.exit(main())
