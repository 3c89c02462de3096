#!/usr/bin/env python3
# The node's web page in a real browser (headless chromium through selenium), against the real
# node: brevane headless, smsd and tncsim with a radio user who types markup. As root the test
# runs in a network namespace of its own and checks the page bound beyond loopback too. Exits
# 77 (skip) when selenium or chromium is missing.
import argparse
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import threading
import time
import traceback
import urllib.error
import urllib.request

SKIP = 77
CHROMEDRIVER = "/usr/bin/chromedriver"
CHROMIUM = "/usr/bin/chromium"
PASSWORD = "Harbour-Light-42"
# The node's address beyond loopback, on a dummy interface inside the test's own namespace.
LAN_ADDRESS = "192.0.2.1"
IN_NAMESPACE = "GULLWICK_BROWSER_NAMESPACE"
HOSTILE = ["<script>alert(1)</script>", "<img src=x onerror=alert(1)>"]
CSP = ("default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
       "connect-src 'self'; form-action 'self'; base-uri 'none'; frame-ancestors 'none'")
# The radio user starts this long after the TNC is up, so the page is open before he links.
START_AFTER_MS = 8000
SCRIPT = """1A connect N1CALL
1A expect SMS> 60
1A send {0}
1A expect SMS> 30
1A send {1}
1A expect SMS> 30
1A send LM
1A expect SMS_SEED0002 30
1A expect SMS> 30
1A wait 2000
1A disconnect
""".format(*HOSTILE)


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


def until(probe, seconds, what, show=None):
    """Polls `probe` until it gives a true value, at most `seconds`; the value. On failure
    `show`, when given, tells what there was instead."""
    deadline = time.monotonic() + seconds
    last = None
    while True:
        try:
            last = probe()
        except Exception as error:  # a stale element or a page between renders
            last = error
        if last and not isinstance(last, Exception):
            return last
        if time.monotonic() > deadline:
            if show is not None:
                last = show()
            raise Failure("{} (waited {} s; last: {!r})".format(what, seconds, last))
        time.sleep(0.05)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Output:
    """A child's output lines, each with the monotonic time it was read."""

    def __init__(self, stream):
        self.lines = []
        self.lock = threading.Lock()
        threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        for raw in iter(stream.readline, b""):
            with self.lock:
                self.lines.append((time.monotonic(), raw.decode("latin-1").rstrip("\n")))

    def find(self, pattern):
        with self.lock:
            for at, line in self.lines:
                match = re.search(pattern, line)
                if match:
                    return at, match
        return None

    def text(self, last=60):
        with self.lock:
            return "\n".join(line for _, line in self.lines[-last:])


class Rig:
    """smsd, tncsim and brevane in a temporary folder; everything ends with the rig."""

    def __init__(self, args):
        self.args = args
        self.dir = tempfile.TemporaryDirectory(prefix="gw-web-")
        root = self.dir.name
        self.env = dict(os.environ)
        self.env.update(XDG_CONFIG_HOME=os.path.join(root, "config"),
                        XDG_DATA_HOME=os.path.join(root, "data"), QT_QPA_PLATFORM="offscreen")
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            self.env.pop(name, None)
        os.makedirs(os.path.join(root, "config", "gullwick"))
        os.makedirs(os.path.join(root, "data", "gullwick"))
        with open(os.path.join(root, "data", "gullwick", "banner.txt"), "w") as banner:
            banner.write("Welcome to N0CALL\r\n")
        self.processes = []
        self.named = {}
        self.outputs = {}
        self.web_port = free_port()

    def start(self, name, command, merge=True, stdin=None):
        process = subprocess.Popen(command, env=self.env, stdin=stdin, stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT if merge else subprocess.PIPE)
        self.processes.append(process)
        self.named[name] = process
        self.outputs[name] = Output(process.stdout if merge else process.stderr)
        return process

    def start_server(self):
        self.start("smsd", [self.args.smsd, "--port", "0", "--db", ":memory:", "--node",
                            "N0CALL:SECRET", "--seed"])
        _, match = until(lambda: self.outputs["smsd"].find(r"listening on 127\.0\.0\.1:(\d+)"),
                         20, "smsd listening")
        self.env["GULLWICK_SMS_PORT"] = match.group(1)

    def write_settings(self, address="127.0.0.1", extra=""):
        self.address = address
        path = os.path.join(self.dir.name, "config", "gullwick", "SMS.ini")
        with open(path) if os.path.exists(path) else open(os.devnull) as old:
            kept = [line for line in old if line.startswith("WebPassword=")]
        with open(path, "w") as ini:
            ini.write("[Client1]\nCommPort=1\nTNCType=KPC3\nFlow=NONE\nMBOCall=N0CALL\n"
                      "Password=SECRET\nIPAddress=127.0.0.1\nIPType=True\nInitialized=True\n"
                      "WebServer=True\nWebAddress={}\nWebPort={}\n{}{}".format(
                          address, self.web_port, extra, "".join(kept)))

    def set_password(self):
        done = subprocess.run([self.args.brevane, "--web-password", "1"], env=self.env,
                              input=(PASSWORD + "\n").encode(), capture_output=True, timeout=60)
        said = (done.stdout + done.stderr).decode("latin-1")
        check(done.returncode == 0 and "Web console password set for instance 1." in said,
              "brevane --web-password: exit {}, {}".format(done.returncode, said))

    def start_tnc(self):
        script = os.path.join(self.dir.name, "user.script")
        with open(script, "w") as f:
            f.write(SCRIPT)
        self.start("tncsim", [self.args.tncsim, "--type", "KPC3", "--script", script,
                              "--link-com", "1", "--start-after", str(START_AFTER_MS)])
        until(lambda: self.outputs["tncsim"].find(" as "), 10, "tncsim's pty")

    def start_node(self):
        self.start("brevane", [self.args.brevane, "--headless", "1"])

    def stop(self, name):
        self.named[name].terminate()
        self.named[name].wait(timeout=30)

    def url(self, path=""):
        return "http://{}:{}{}".format(getattr(self, "address", "127.0.0.1"), self.web_port,
                                       path)

    def close(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=20)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait(timeout=10)
        self.dir.cleanup()


def http(rig, path, data=None, headers=None):
    """(status, headers, body) of one request; error answers too."""
    request = urllib.request.Request(rig.url(path), data=data, headers=headers or {},
                                     method="POST" if data is not None else "GET")
    try:
        with urllib.request.urlopen(request, timeout=20) as answer:
            return answer.status, answer.headers, answer.read()
    except urllib.error.HTTPError as error:
        return error.code, error.headers, error.read()


def node_answers(rig):
    try:
        return http(rig, "/api/status")[0] == 200
    except OSError:
        return False


def browser(rig):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=412,915",
                     "--user-data-dir=" + os.path.join(rig.dir.name, "chromium")):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service(executable_path=CHROMEDRIVER), options=options)


def texts(driver, selector):
    return driver.execute_script(
        "return Array.from(document.querySelectorAll(arguments[0])).map(e => e.textContent);",
        selector)


def text_of(driver, selector):
    found = texts(driver, selector)
    return found[0] if found else None


def shown(driver, element_id):
    return driver.find_element("id", element_id).is_displayed()


def check_page_while_user_is_on(rig, driver, timings):
    """The user's link, lines and counters on the page; his markup stays text."""
    from selenium.common.exceptions import NoAlertPresentException
    from selenium.webdriver.support.ui import Select

    opened = time.monotonic()
    connected, _ = until(lambda: rig.outputs["tncsim"].find(r"^1A connect N1CALL"), 120,
                         "the radio user's link")
    check(opened < connected, "the user linked before the page was open; raise START_AFTER_MS")
    until(lambda: "N1CALL" in texts(driver, "#streams tr[data-stream] td.call"), 10,
          "the user in the streams table")
    timings["link to page"] = time.monotonic() - connected
    check(timings["link to page"] <= 2.0,
          "the user showed {:.2f} s after his link (at most 2 s)".format(timings["link to page"]))
    row = driver.execute_script(
        "const c = Array.from(document.querySelectorAll('#streams td.call'))"
        ".find(c => c.textContent === 'N1CALL'); return c.parentElement.dataset.stream;")
    check(row == "1", "port 1 stream A is entry 1, not {!r}".format(row))
    check(driver.execute_script(
        "return document.documentElement.scrollWidth <= window.innerWidth;"),
        "the page with a user fits a phone's width")
    until(lambda: re.match(r"OK, \d+ ms at \d{4}-", text_of(driver, "#server-ping") or ""), 10,
          "the ping time of the user's link check", lambda: text_of(driver, "#server-ping"))
    for cell in ("since", "idle", "last", "waiting"):
        check(text_of(driver, "#streams tr[data-stream='1'] td." + cell) is not None,
              "cell td." + cell + " in the user's row")

    until(lambda: rig.outputs["tncsim"].find(r"^1A expect ok: SMS_SEED0002"), 60,
          "the user's list")
    for line in HOSTILE + ["LM"]:
        until(lambda: any(t.endswith(line) for t in texts(driver, "#monitor li")), 10,
              "the user's line {!r} in the all-streams monitor".format(line),
              lambda: texts(driver, "#monitor li"))
    choice = Select(driver.find_element("id", "monitor-stream"))
    check(choice.options[1].text == "1/A", "the monitor's choice names stream 1/A, not {!r}"
          .format(choice.options[1].text))
    choice.select_by_value("1")
    until(lambda: any(t.endswith("LM") for t in texts(driver, "#monitor li")) and all(
        t.upper().startswith("1/A:") for t in texts(driver, "#monitor li")), 10,
        "stream 1's lines alone in the monitor", lambda: texts(driver, "#monitor li"))
    until(lambda: any("CONNECTED to N1CALL" in t for t in texts(driver, "#log li")), 10,
          "the user's link in the log tail")
    check(driver.execute_script("return document.scripts.length;") == 1,
          "one script element, the page's own")
    check(not driver.find_elements("css selector", "img, #monitor *:not(li):not(span)"),
          "no element made from the user's text")
    try:
        driver.switch_to.alert
        raise Failure("an alert opened")
    except NoAlertPresentException:
        pass
    until(lambda: text_of(driver, "#counters dd[data-counter='sessions']") == "1", 10,
          "sessions counter at 1")
    until(lambda: text_of(driver, "#counters dd[data-counter='list.ok']") == "1", 10,
          "list ok counter at 1")

    until(lambda: rig.outputs["tncsim"].find(r"^1A disconnect$"), 30, "the user leaving")
    until(lambda: not texts(driver, "#streams tr"), 10, "the streams table empty again")


def log_in(driver):
    """A wrong password refused on the page, then the right one (after the failure's delay)."""
    until(lambda: shown(driver, "login-form"), 10, "the login form")
    field = driver.find_element("id", "login-password")
    field.send_keys("not-the-password")
    driver.find_element("id", "login-button").click()
    until(lambda: text_of(driver, "#login-error") == "Wrong password.", 10,
          "the wrong password refused")
    check(not shown(driver, "console-form"), "no console after a wrong password")
    deadline = time.monotonic() + 20
    while not shown(driver, "console-form"):
        check(time.monotonic() < deadline, "logged in with the right password")
        field.clear()
        field.send_keys(PASSWORD)
        driver.find_element("id", "login-button").click()
        try:
            until(lambda: shown(driver, "console-form") or "try again" in text_of(
                driver, "#login-error"), 10, "an answer to the login")
        except Failure:
            pass
        if not shown(driver, "console-form"):
            time.sleep(1.1)


def use_console(rig, driver):
    from selenium.webdriver.support.ui import Select

    Select(driver.find_element("id", "console-command")).select_by_value("L")
    driver.find_element("id", "console-call").send_keys("N1CALL")
    driver.find_element("id", "console-send").click()
    until(lambda: "SMS_SEED0002" in (text_of(driver, "#console-reply") or ""), 30,
          "the console's list for N1CALL")
    check(text_of(driver, "#console-sent"), "the request shown")
    check(not text_of(driver, "#console-error"), "no console error")

    cookie = driver.get_cookie("gw_session")
    check(cookie and cookie.get("httpOnly"), "an HttpOnly session cookie")
    session = {"Cookie": "gw_session=" + cookie["value"], "Content-Type": "application/json",
               "Origin": rig.url()}
    body = json.dumps({"command": "L", "call": "N1CALL"}).encode()
    status, _, answer = http(rig, "/api/console", body, session)
    check(status == 403 and json.loads(answer).get("error") == "Missing or wrong token.",
          "a console POST without the token: {} {!r}".format(status, answer))
    _, _, mine = http(rig, "/api/console", headers={"Cookie": session["Cookie"]})
    token = json.loads(mine).get("token")
    check(token, "the session's token from GET /api/console")
    status, _, answer = http(rig, "/api/console", body,
                             dict(session, Origin="http://evil.example", **{
                                 "X-Gullwick-Token": token}))
    check(status == 403 and b"Cross-site request refused." in answer,
          "a console POST from another origin: {} {!r}".format(status, answer))

    driver.find_element("id", "logout-button").click()
    until(lambda: shown(driver, "login-form"), 10, "the login form after logging out")
    _, _, after = http(rig, "/api/console", headers={"Cookie": session["Cookie"]})
    check(json.loads(after).get("loggedIn") is False, "the session gone after logging out")


SAMPLE = re.compile(r'^([a-zA-Z_:][a-zA-Z0-9_:]*)(\{([^}]*)\})? (\S+)$')
LABEL = re.compile(r'([a-zA-Z_][a-zA-Z0-9_]*)="((?:[^"\\]|\\.)*)"')


def check_api(rig):
    """/api/status and /metrics as a program sees them, with what the test did."""
    status, headers, body = http(rig, "/api/status")
    check(status == 200, "GET /api/status: {}".format(status))
    check(headers.get("Content-Security-Policy") == CSP, "the policy header: {!r}".format(
        headers.get("Content-Security-Policy")))
    for name, value in (("X-Content-Type-Options", "nosniff"), ("Referrer-Policy", "no-referrer"),
                        ("Cache-Control", "no-store")):
        check(headers.get(name) == value, "{}: {!r}".format(name, headers.get(name)))
    s = json.loads(body)
    check(s["node"]["call"] == "N0CALL" and s["node"]["instance"] == "1", "node: %r" % s["node"])
    check(s["tnc"]["type"] == "KPC3" and s["tnc"]["working"] is True, "tnc: %r" % s["tnc"])
    check(s["streams"] == [], "no user connected: %r" % s["streams"])
    counters = s["counters"]
    requests = {(r["command"], r["outcome"]): r["count"] for r in counters["requests"]}
    check(counters["sessions"] == 1, "sessions: %r" % counters)
    check(requests.get(("list", "ok")) == 2, "the user's and the console's lists: %r" % requests)
    typed = sum(len(line) + 1 for line in HOSTILE + ["LM"])
    check(counters["bytesFromRadio"] >= typed, "bytes from radio: %r" % counters)
    check(counters["bytesToRadio"] > 0, "bytes to radio: %r" % counters)
    check(s["server"]["lastRequest"]["command"] == "list", "last request: %r" % s["server"])

    status, headers, body = http(rig, "/metrics")
    check(status == 200 and headers.get("Content-Type", "").startswith("text/plain"),
          "GET /metrics: {} {}".format(status, headers.get("Content-Type")))
    samples = {}
    for line in body.decode("utf-8").splitlines():
        if line.startswith("#"):
            continue
        match = SAMPLE.match(line)
        check(match, "a metrics line: {!r}".format(line))
        labels = dict(LABEL.findall(match.group(3) or ""))
        check(labels.get("node_instance") == "1", "node_instance label on {!r}".format(line))
        labels.pop("node_instance")
        samples[(match.group(1), tuple(sorted(labels.items())))] = float(match.group(4))

    def sample(name, **labels):
        return samples.get((name, tuple(sorted(labels.items()))))

    expected = {("gullwick_up", ()): 1, ("gullwick_sessions_total", ()): 1,
                ("gullwick_streams_connected", ()): 0, ("gullwick_tnc_working", ()): 1,
                ("gullwick_requests_total", (("command", "list"), ("outcome", "ok"))): 2,
                ("gullwick_radio_bytes_received_total", ()): counters["bytesFromRadio"],
                ("gullwick_tnc_faults_total", ()): 0, ("gullwick_spool_messages", ()): 0}
    for (name, labels), value in expected.items():
        check(sample(name, **dict(labels)) == value,
              "{}{} = {}, not {}".format(name, dict(labels), sample(name, **dict(labels)), value))
    for name in ("gullwick_uptime_seconds", "gullwick_radio_bytes_sent_total",
                 "gullwick_server_failures_total", "gullwick_spool_oldest_age_seconds"):
        check(any(key[0] == name for key in samples), "metric " + name)


def check_beyond_loopback(rig, driver):
    """The node bound to a LAN address: another host name is refused, every page but the
    login wants a session, and with the server gone the page says since when."""
    rig.stop("brevane")
    rig.write_settings(LAN_ADDRESS, "WebMetricsToken=scraper-token-7\n")
    rig.start_node()
    until(lambda: http(rig, "/")[0] == 200, 60, "the node on " + LAN_ADDRESS)
    foreign = "rebound.example:{}".format(rig.web_port)
    for path in ("/", "/api/status"):
        status, _, _ = http(rig, path, headers={"Host": foreign})
        check(status == 403, "a foreign Host on {}: {}".format(path, status))
    for path in ("/api/status", "/api/monitor", "/api/log", "/metrics"):
        status, _, _ = http(rig, path)
        check(status == 401, "{} without a login: {}".format(path, status))
    for token, expected in (("scraper-token-7", 200), ("scraper-token-", 401)):
        status, _, _ = http(rig, "/metrics", headers={"Authorization": "Bearer " + token})
        check(status == expected, "/metrics with token {!r}: {}".format(token, status))
    driver.get(rig.url("/"))
    until(lambda: shown(driver, "login-needed"), 10, "the page asking for a login")
    check(text_of(driver, "#node-call") != "N0CALL", "no node state before the login")
    field = driver.find_element("id", "login-password")
    field.send_keys(PASSWORD)
    driver.find_element("id", "login-button").click()
    until(lambda: text_of(driver, "#node-call") == "N0CALL", 15, "the node's state after login")
    check(driver.get_cookie("gw_session").get("secure") is False, "no Secure cookie over http")

    rig.stop("smsd")
    from selenium.webdriver.support.ui import Select
    Select(driver.find_element("id", "console-command")).select_by_value("L")
    call = driver.find_element("id", "console-call")
    call.clear()
    call.send_keys("N1CALL")
    driver.find_element("id", "console-send").click()
    until(lambda: (text_of(driver, "#server-reach") or "").startswith("server unreachable since "),
          40, "the page saying the server is unreachable", lambda: text_of(driver, "#server-reach"))


def enter_namespace():
    """As root: the test again in a network namespace of its own, with lo up and holding
    LAN_ADDRESS too. None when it cannot, else the exit status."""
    if os.environ.get(IN_NAMESPACE) or os.geteuid() != 0:
        return None
    setup = "ip link set lo up && ip addr add {}/32 dev lo && exec \"$@\"".format(LAN_ADDRESS)
    env = dict(os.environ, **{IN_NAMESPACE: "1"})
    return subprocess.call(["unshare", "-n", "sh", "-c", setup, "sh", sys.executable] + sys.argv,
                           env=env)


def run(args):
    timings = {}
    began = time.monotonic()
    rig = Rig(args)
    driver = None
    try:
        rig.start_server()
        rig.write_settings()
        rig.set_password()
        driver = browser(rig)
        rig.start_tnc()
        rig.start_node()
        until(lambda: node_answers(rig), 60, "the node's web server")
        driver.get(rig.url("/"))
        until(lambda: text_of(driver, "#node-call") == "N0CALL", 15, "the page's node call")
        check(driver.execute_script(
            "return document.documentElement.scrollWidth <= window.innerWidth;"),
            "the page fits a phone's width")
        check_page_while_user_is_on(rig, driver, timings)
        log_in(driver)
        use_console(rig, driver)
        check_api(rig)
        if os.environ.get(IN_NAMESPACE):
            check_beyond_loopback(rig, driver)
        else:
            print("NOTE: not root: the page beyond loopback is not checked")
        violations = [entry["message"] for entry in driver.get_log("browser")
                      if "Content Security Policy" in entry["message"]]
        check(not violations, "the page breaks its own policy: {}".format(violations))
    except Exception as failure:  # a Failure, or selenium's own error
        print("FAILED:", "".join(traceback.format_exception_only(failure)).strip())
        for name, output in rig.outputs.items():
            print("--- {} ---\n{}".format(name, output.text()))
        return 1
    finally:
        if driver is not None:
            driver.quit()
        rig.close()
    timings["whole test"] = time.monotonic() - began
    for name, seconds in timings.items():
        print("{}: {:.2f} s".format(name, seconds))
    print("PASSED")
    return 0


def main():
    parser = argparse.ArgumentParser(description="The node's web page in a real browser.")
    parser.add_argument("--brevane", required=True)
    parser.add_argument("--tncsim", required=True)
    parser.add_argument("--smsd", required=True)
    args = parser.parse_args()
    try:
        import selenium  # noqa: F401
    except ImportError:
        print("SKIPPED: python3-selenium is not installed (scripts/deps.sh installs it)")
        return SKIP
    for path in (CHROMIUM, CHROMEDRIVER):
        if not os.access(path, os.X_OK):
            print("SKIPPED: {} is missing (scripts/deps.sh installs chromium and "
                  "chromium-driver)".format(path))
            return SKIP
    status = enter_namespace()
    return run(args) if status is None else status


if __name__ == "__main__":
    sys.exit(main())
