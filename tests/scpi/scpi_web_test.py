"""varlo-scpi's web page in a real browser, its identification document and its refusals,
with varlo-instrument at the pty (scpi_processes.py).

    /usr/bin/python3 scpi_web_test.py VARLO_SCPI VARLO_INSTRUMENT VERSION

Chromium runs headless through Selenium with a profile of its own and nothing fetched from
elsewhere; pyvisa plays another lab client at the same time. Skipped (77) where Chromium,
its driver or Selenium is not installed.
"""
import contextlib
import http.client
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import http.server
import html.parser

import pyvisa

from scpi_processes import WAIT_S, Program, check, instrument_at_com5, run_tests

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import Select, WebDriverWait
except ImportError:
    webdriver = None

SKIP = 77
SERIAL = "SN-4711"
PUSH_S = 0.5


def browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--disable-gpu", "--disable-dev-shm-usage",
                     "--disable-background-networking", "--disable-component-update",
                     "--disable-default-apps", "--disable-sync", "--no-first-run",
                     "--no-default-browser-check", "--metrics-recording-only",
                     f"--user-data-dir={profile}", "--window-size=1024,900"):
        options.add_argument(argument)
    if os.geteuid() == 0:
        options.add_argument("--no-sandbox")
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"),
                            options=options)


def text_of(ctx, element_id):
    return ctx.page.find_element(By.ID, element_id).text


def wait_for_text(ctx, element_id, wanted, timeout_s=WAIT_S, whole=False):
    """Waits until the element shows the text, or is the text when whole."""
    WebDriverWait(ctx.page, timeout_s, poll_frequency=0.02).until(
        lambda _: (text_of(ctx, element_id) == wanted) if whole
        else wanted in text_of(ctx, element_id),
        f"#{element_id} never showed {wanted!r}")


def request(ctx, path, headers=None, method="GET"):
    host, port = ctx.web
    connection = http.client.HTTPConnection(host, port, timeout=WAIT_S)
    connection.putrequest(method, path, skip_host=True, skip_accept_encoding=True)
    for name, value in {"Host": f"{host}:{port}", **(headers or {})}.items():
        connection.putheader(name, value)
    connection.endheaders()
    answer = connection.getresponse()
    body = answer.read()
    connection.close()
    return answer.status, answer.getheader("Content-Type"), body


def reads_the_state(ctx):
    wait_for_text(ctx, "held-frequency", "1 kHz", whole=True)
    check("waveform", text_of(ctx, "held-waveform") == "sine", text_of(ctx, "held-waveform"))
    check("attenuator", text_of(ctx, "held-attenuator") == "off")
    check("duty", text_of(ctx, "held-duty") == "50 % (not adjusted)", text_of(ctx, "held-duty"))
    wait_for_text(ctx, "idn", f"Varlo,varlo-scpi,{SERIAL},{ctx.version}")
    check("serial number", text_of(ctx, "serial-number") == SERIAL)
    host, port = ctx.program.address()
    resources = text_of(ctx, "resources")
    check("resource", f"TCPIP::{host}::{port}::SOCKET" in resources, resources)
    check("serial port", text_of(ctx, "port") == "COM5: open", text_of(ctx, "port"))
    wait_for_text(ctx, "clients", "1 on the SCPI socket, 0 VXI-11 links, 1 page open")
    check("identification link", ctx.page.find_element(By.ID, "identification")
          .get_attribute("href").endswith("/lxi/identification"))
    check("connected", text_of(ctx, "connection") == "Connected to varlo-scpi.")


class PageText(html.parser.HTMLParser):
    """The text of a page as a text browser shows it, without running its script."""

    def __init__(self):
        super().__init__()
        self.parts = []
        self.skipping = False

    def handle_starttag(self, tag, attrs):
        self.skipping = tag in ("script", "style")

    def handle_data(self, data):
        if not self.skipping and data.strip():
            self.parts.append(data.strip())


def served_with_its_facts(ctx):
    """The page as curl or a browser with scripts blocked gets it shows the facts, the INSTR
    resource string before the SOCKET one, and no dash where a fact belongs."""
    status, _, body = request(ctx, "/")
    check("served", status == 200, status)
    reader = PageText()
    reader.feed(body.decode())
    text = "\n".join(reader.parts)
    host, port = ctx.program.address()
    for fact in (f"Varlo,varlo-scpi,{SERIAL},{ctx.version}", "Bench 3 generator", host,
                 "COM5: open", "1 kHz", "sine"):
        check(fact, fact in reader.parts, text)
    instr, socket_string = f"TCPIP::{host}::inst0::INSTR", f"TCPIP::{host}::{port}::SOCKET"
    check("INSTR first", reader.parts.index(instr) < reader.parts.index(socket_string), text)
    check("no dashes", "–" not in reader.parts, text)


def controls_are_labelled(ctx):
    names = {element_id: ctx.page.find_element(By.ID, element_id).accessible_name
             for element_id in ("frequency", "frequency-unit", "waveform-square", "attenuator",
                                "duty", "enter", "console-line", "console-send")}
    check("labels", names == {"frequency": "Frequency", "frequency-unit": "Frequency unit",
                              "waveform-square": "Square", "attenuator": "−20 dB attenuator",
                              "duty": "Duty cycle (%)", "enter": "Enter",
                              "console-line": "SCPI line", "console-send": "Send"}, names)
    live = ctx.page.find_element(By.ID, "holds").get_attribute("aria-live")
    check("changes announced", live == "polite", live)


def type_frequency(ctx, number, unit):
    """Types the number into the frequency field and picks the unit; the field."""
    frequency = ctx.page.find_element(By.ID, "frequency")
    frequency.clear()
    frequency.send_keys(number)
    Select(ctx.page.find_element(By.ID, "frequency-unit")).select_by_visible_text(unit)
    return frequency


def sets_through_the_page_from_the_keyboard(ctx):
    frequency = type_frequency(ctx, "12.5", "kHz")
    ctx.page.find_element(By.ID, "waveform-square").click()
    frequency.send_keys(Keys.ENTER)
    arrived = ctx.instrument.take(1)
    logged = ctx.program.log.take(1)
    check("bytes", logged == [f"4D03000004  {arrived[0]}"], f"logged {logged}, arrived {arrived}")
    check("wording", arrived == ["frequency 12500.00 Hz, square, attenuator off, duty not "
                                 "adjusted"], arrived)
    wait_for_text(ctx, "enter-result", "Sent.")
    wait_for_text(ctx, "held-frequency", "12.5 kHz", whole=True)
    check("held", text_of(ctx, "held-waveform") == "square")
    check("pyvisa reads it", ctx.visa.query("APPL?") == '"SQU 12500"')


def one_enter_sends_what_the_panels_enter_sends(ctx):
    type_frequency(ctx, "12.5", "kHz")
    ctx.page.find_element(By.ID, "waveform-square").click()
    ctx.page.find_element(By.ID, "attenuator").click()
    duty = ctx.page.find_element(By.ID, "duty")
    duty.clear()
    duty.send_keys("60")
    ctx.page.find_element(By.ID, "enter").click()
    arrived = ctx.instrument.take(2)
    check("duty first, then one frequency command",
          arrived == ["duty 60 %, square, attenuator on",
                      "frequency 12500.00 Hz, square, attenuator on, duty adjusted"], arrived)
    ctx.instrument.none_within(0.3)
    ctx.program.log.take(2)
    wait_for_text(ctx, "enter-result", "Sent.")


def pyvisa_change_shows_at_once(ctx):
    start = time.monotonic()
    ctx.visa.write("APPL:TRI 2.5 kHz")
    wait_for_text(ctx, "held-frequency", "2.5 kHz", whole=True)
    shown = time.monotonic() - start
    ctx.instrument.take(1)
    ctx.program.log.take(1)
    check("within half a second", shown < PUSH_S, f"{shown:.3f} s")
    print(f"  the page showed pyvisa's change after {shown * 1000:.0f} ms")
    check("waveform", text_of(ctx, "held-waveform") == "triangle", text_of(ctx, "held-waveform"))
    check("control follows", ctx.page.find_element(By.ID, "frequency").get_attribute("value")
          == "2.5")
    check("no sweep yet", text_of(ctx, "sweep") == "", text_of(ctx, "sweep"))
    for step in ("10", "10.8890427"):
        ctx.visa.write(f"C1:BSWV FRQ,{step}")
    wait_for_text(ctx, "sweep", "An oscilloscope is sweeping the generator (a Bode plot): "
                  "step 2, last at 10.88 Hz.", whole=True)
    ctx.instrument.take(2)
    ctx.program.log.take(2)


def refusal_in_words(ctx):
    frequency = type_frequency(ctx, "200", "MHz")
    ctx.page.find_element(By.ID, "enter").click()
    wait_for_text(ctx, "frequency-refusal", "Not set")
    words = text_of(ctx, "frequency-refusal")
    check("words", words == "Not set: out of range. The generator takes 0.01 Hz to 100 MHz.",
          words)
    check("marked", frequency.get_attribute("aria-invalid") == "true")
    check("result", text_of(ctx, "enter-result") == "Nothing was set: see above.")
    ctx.instrument.none_within(0.3)


def console_answers_as_the_socket(ctx):
    line = ctx.page.find_element(By.ID, "console-line")
    line.send_keys("FREQ?;FUNC SAW", Keys.ENTER)
    wait_for_text(ctx, "console-log", 'SYST:ERR? 0,"No error"')
    entries = [entry.text for entry in
               ctx.page.find_elements(By.CSS_SELECTOR, "#console-log li")]
    check("console", entries[-4:] == ["> FREQ?;FUNC SAW", "1000",
                                      'SYST:ERR? -224,"Illegal parameter value"',
                                      'SYST:ERR? 0,"No error"'], entries)


def phone_width(ctx):
    ctx.page.set_window_size(360, 740)
    try:
        overflow = ctx.page.execute_script(
            "return document.documentElement.scrollWidth - window.innerWidth")
        check("no sideways scrolling", overflow <= 0, f"{overflow} px too wide")
        enter = ctx.page.find_element(By.ID, "enter")
        check("Enter reachable", enter.is_displayed() and enter.rect["x"] >= 0)
    finally:
        ctx.page.set_window_size(1024, 900)


def identification_document(ctx):
    status, kind, body = request(ctx, "/lxi/identification")
    check("served", status == 200 and kind == "text/xml", f"{status} {kind}")
    host, port = ctx.program.address()
    web_host, web_port = ctx.web
    expected = [
        ("Manufacturer", "Varlo"),
        ("Model", "varlo-scpi"),
        ("SerialNumber", SERIAL),
        ("FirmwareRevision", ctx.version),
        ("ManufacturerDescription", None),
        ("HomepageURL", None),
        ("UserDescription", "Bench 3 generator"),
        ("IdentificationURL", f"http://{web_host}:{web_port}/lxi/identification"),
        ("Interface", None),
        ("LXIVersion", ""),
    ]
    with tempfile.NamedTemporaryFile(suffix=".xml") as document:
        document.write(body)
        document.flush()

        def xpath(expression):
            done = subprocess.run(["xmllint", "--xpath", expression, document.name],
                                  capture_output=True, text=True, timeout=WAIT_S)
            check(expression, done.returncode == 0, done.stderr)
            return done.stdout.strip()

        namespace = xpath("namespace-uri(/*)")
        check("namespace", namespace == "http://lxistandard.org/schemas/InstrumentIdentification"
              "/2.0", namespace)
        check("root", xpath("local-name(/*)") == "LXIDevice")
        order = [name for name, _ in expected]
        found = [xpath(f"local-name(/*/*[{i + 1}])") for i in range(int(xpath("count(/*/*)")))]
        check("elements in order", found == order, found)
        for i, (name, text) in enumerate(expected):
            if text is not None:
                got = xpath(f"string(/*/*[{i + 1}])")
                check(name, got == text, got)
        interface = "/*/*[local-name()='Interface']"
        check("interface type", xpath(f"string({interface}/@InterfaceType)") == "LXI")
        children = [xpath(f"local-name({interface}/*[{i + 1}])")
                    for i in range(int(xpath(f"count({interface}/*)")))]
        check("interface order", children == ["InstrumentAddressString"] * 4 +
              ["Hostname", "IPAddress", "MACAddress"], children)
        hostname = xpath(f"string({interface}/*[5])")
        strings = [xpath(f"string({interface}/*[{i}])") for i in range(1, 5)]
        check("address strings, INSTR first", strings == [
            f"TCPIP::{host}::inst0::INSTR", f"TCPIP::{host}::{port}::SOCKET",
            f"TCPIP::{hostname}::inst0::INSTR", f"TCPIP::{hostname}::{port}::SOCKET"], strings)
        check("ip address", xpath(f"string({interface}/*[6])") == web_host)


def host_and_origin_refused(ctx):
    web_host, web_port = ctx.web
    own = f"http://{web_host}:{web_port}"
    rows = [
        ("rebinding", "/", {"Host": f"attacker.example:{web_port}"}, "GET", 421),
        ("another port", "/", {"Host": f"{web_host}:{web_port + 1}"}, "GET", 421),
        ("no Host", "/", {"Host": ""}, "GET", 421),
        ("cross-site form post", "/", {"Origin": "http://attacker.example"}, "POST", 403),
        ("cross-site read", "/lxi/identification", {"Origin": "http://attacker.example"}, "GET",
         403),
        ("own page", "/", {"Origin": own}, "GET", 200),
        ("localhost", "/", {"Host": f"localhost:{web_port}"}, "GET", 200),
        ("post", "/", {"Origin": own}, "POST", 405),
        ("nothing there", "/nothing", {}, "GET", 404),
    ]
    for name, path, headers, method, wanted in rows:
        status, _, _ = request(ctx, path, headers, method)
        check(name, status == wanted, f"{status}, not {wanted}")


def websocket_from_another_site(ctx):
    """A page of another origin (another port of loopback) opens the live channel and sends a
    setting: the opening is refused and nothing reaches the line."""
    web_host, web_port = ctx.web
    page = (f"<!DOCTYPE html><title>start</title><script>"
            f"const s = new WebSocket('ws://{web_host}:{web_port}/live');"
            "s.onopen = () => { s.send('FREQ 3000'); document.title = 'opened'; };"
            "s.onclose = () => { if (document.title !== 'opened') document.title = 'refused'; };"
            "</script>").encode()

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):  # pylint: disable=invalid-name
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.end_headers()
            self.wfile.write(page)

        def log_message(self, *_):
            pass

    other = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=other.serve_forever, daemon=True).start()
    try:
        ctx.page.get(f"http://127.0.0.1:{other.server_port}/")
        WebDriverWait(ctx.page, WAIT_S).until(lambda page: page.title != "start")
        check("refused", ctx.page.title == "refused", ctx.page.title)
    finally:
        other.shutdown()
    ctx.instrument.none_within(0.3)
    check("still the old setting", ctx.visa.query("FREQ?") == "1000")


def bounded_without_holding_scpi(ctx):
    """More connections than the web port takes, one with an overlong request and one stuck
    in a slow one: the overlong one gets 431 at once, the extra ones are closed at once, SCPI
    clients are answered throughout, and the stuck one is closed at its deadline."""
    web_host, web_port = ctx.web
    overlong = socket.create_connection((web_host, web_port))
    overlong.sendall(b"GET / HTTP/1.1\r\nHost: x\r\nX-Long: " + b"a" * 100_000)
    overlong.settimeout(WAIT_S)
    check("431", overlong.recv(100).startswith(b"HTTP/1.1 431 "))
    overlong.close()
    # As many as it serves at once (WebServer::MaxConnections), the browser's own included.
    held = [socket.create_connection((web_host, web_port)) for _ in range(64)]
    try:
        held[1].sendall(b"GET / HTTP/1.1\r\nHost: ")
        start = time.monotonic()
        check("SCPI answered", ctx.visa.query("*IDN?").startswith("Varlo,"))
        check("at once", time.monotonic() - start < 1.0)
        with socket.create_connection((web_host, web_port)) as extra:
            extra.settimeout(WAIT_S)
            start = time.monotonic()
            try:
                closed = extra.recv(10) == b""
            except ConnectionResetError:
                closed = True
            waited = time.monotonic() - start
            check("one more closed at once", closed and waited < 2.0, f"{waited:.1f} s")
        held[1].settimeout(20)
        try:
            check("stuck one closed", held[1].recv(10) == b"")
        except ConnectionResetError:
            pass
    finally:
        for connection in held:
            connection.close()


def lock_holds_against_every_other_client(ctx):
    """A socket client takes the lock: the page shows it and its Enter is refused, another
    socket client's setting is refused with -203 while its queries are answered, the holder's
    own settings go; once the holder has gone the page's console takes the lock."""
    host, port = ctx.program.address()
    holder = pyvisa.ResourceManager("@py").open_resource(
        f"TCPIP::{host}::{port}::SOCKET", read_termination="\n", write_termination="\n",
        timeout=WAIT_S * 1000)
    check("granted", holder.query("SYST:LOCK:REQ?") == "1")
    name = ctx.visa.query("SYST:LOCK:OWN?")
    check("owner", re.fullmatch(r"SOCKET 127\.0\.0\.1:\d+", name), name)
    wait_for_text(ctx, "lock", f"Locked by {name}: Enter is refused until it frees the lock.",
                  whole=True)
    type_frequency(ctx, "3", "kHz")
    ctx.page.find_element(By.ID, "enter").click()
    wait_for_text(ctx, "enter-result", f"Not set: the generator is locked by {name}.", whole=True)
    ctx.visa.write("FREQ 2000")
    error = ctx.visa.query("SYST:ERR?")
    check("refused", error == f'-203,"Command protected;locked by {name}"', error)
    check("queries answered", ctx.visa.query("FREQ?") == "1000")
    ctx.instrument.none_within(0.3)
    holder.write("FREQ 4000")
    check("holder's setting", ctx.instrument.take(1) == [
        "frequency 4000.00 Hz, sine, attenuator off, duty not adjusted"])
    ctx.program.log.take(1)
    holder.close()
    wait_for_text(ctx, "lock", "", whole=True)
    ctx.page.find_element(By.ID, "console-line").send_keys("SYST:LOCK:REQ?", Keys.ENTER)
    wait_for_text(ctx, "lock", "This page holds the generator's lock (SYST:LOCK:REL in the "
                  "console frees it).", whole=True)
    error = ctx.visa.query("FREQ 2000;:SYST:ERR?")
    check("locked by the page", error.startswith('-203,"Command protected;locked by WEB '), error)


class Context:
    pass


TESTS = (reads_the_state, served_with_its_facts, controls_are_labelled,
         sets_through_the_page_from_the_keyboard,
         one_enter_sends_what_the_panels_enter_sends,
         pyvisa_change_shows_at_once, refusal_in_words, console_answers_as_the_socket,
         phone_width, identification_document, host_and_origin_refused,
         websocket_from_another_site, bounded_without_holding_scpi,
         lock_holds_against_every_other_client)


@contextlib.contextmanager
def fresh_line(ctx):
    """A fresh instrument, program and pyvisa client of the test's own, and the page loaded
    from it in the one browser."""
    with instrument_at_com5(ctx.instrument_exe) as (port_dir, lines):
        ctx.instrument = lines
        ctx.program = Program(ctx.scpi, port_dir, "--listen", "127.0.0.1:0", "--serial", SERIAL,
                              "--name", "Bench 3 generator", web=True)
        try:
            host, port = ctx.program.address()
            web = ctx.program.page()[len("http://"):]
            ctx.web = (web.rsplit(":", 1)[0], int(web.rsplit(":", 1)[1]))
            ctx.visa = pyvisa.ResourceManager("@py").open_resource(
                f"TCPIP::{host}::{port}::SOCKET", read_termination="\n",
                write_termination="\n", timeout=WAIT_S * 1000)
            try:
                ctx.page.get(ctx.program.page() + "/")
                wait_for_text(ctx, "connection", "Connected to varlo-scpi.", whole=True)
                yield
            finally:
                ctx.visa.close()
        finally:
            ctx.program.stop()


def main():
    ctx = Context()
    ctx.scpi, ctx.instrument_exe, ctx.version = sys.argv[1:]
    if webdriver is None or not shutil.which("chromium") or not shutil.which("chromedriver"):
        print("skipped: needs chromium, chromium-driver and python3-selenium "
              "(tools/setup/install-deps.sh --tests)")
        return SKIP
    with tempfile.TemporaryDirectory() as profile:
        ctx.page = browser(profile)
        try:
            return run_tests(TESTS, ctx, fresh_line)
        finally:
            ctx.page.quit()


if __name__ == "__main__":
    sys.exit(main())
