#!/usr/bin/env python3
# The web port cannot hurt the radio service: while clients from many loopback addresses hold
# 2,000 idle and 500 dribbling connections and send 1 GB bodies (length announced and chunked),
# a radio user through tncsim still gets every LM answered as before, the node's memory and
# descriptors stay bounded, and the operator's page still loads. The node runs under the
# descriptor limit its systemd unit sets.
import argparse
import os
import re
import resource
import socket
import statistics
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser_test import Failure, Rig, check, until  # noqa: E402

IDLE = 2000
DRIBBLING = 500
PER_ADDRESS = 16  # the page's default WebMaxPerAddress
BODY = 1 << 30
LISTS_BEFORE = 3
LISTS_DURING = 5
UNIT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "node", "app",
                    "brevane@.service.in")


def unit_descriptor_limit():
    with open(UNIT) as unit:
        match = re.search(r"^LimitNOFILE=(\d+)$", unit.read(), re.M)
    check(match, "the unit sets LimitNOFILE")
    return int(match.group(1))


def script():
    lines = ["1A connect N1CALL", "1A expect SMS> 60"]
    for _ in range(LISTS_BEFORE + LISTS_DURING):
        lines += ["1A wait 2000", "1A send LM", "1A expect SMS_SEED0002 30", "1A expect SMS> 30"]
    return "\n".join(lines + ["1A disconnect", ""])


def attacker_address(n):
    """Source address of attacking connection n: 16 of them on each of 127.1.x.y."""
    slot = n // PER_ADDRESS
    return "127.1.{}.{}".format(slot // 250, slot % 250 + 1)


class Attack:
    """Idle and dribbling connections, and the two 1 GB bodies, each in a thread."""

    def __init__(self, port):
        self.port = port
        self.stop = threading.Event()
        self.opened = 0
        self.sent = {}
        self.threads = [threading.Thread(target=self.hold, daemon=True)] + [
            threading.Thread(target=self.body, args=(chunked,), daemon=True)
            for chunked in (False, True)]

    def connect(self, n):
        s = socket.socket()
        s.bind((attacker_address(n), 0))
        s.settimeout(2)
        try:
            s.connect(("127.0.0.1", self.port))
        except OSError:
            s.close()
            return None
        s.setblocking(False)
        self.opened += 1
        return s

    @staticmethod
    def closed(s):
        try:
            return s.recv(4096) == b""
        except BlockingIOError:
            return False
        except OSError:
            return True

    @staticmethod
    def dribble(s, n, data):
        if s is not None and n >= IDLE:
            try:
                s.send(data)
            except OSError:
                pass

    def hold(self):
        """Keeps every connection open: each one the node closes is opened again, every
        second; a dribbler sends one more header byte each second."""
        sockets = [None] * (IDLE + DRIBBLING)
        while not self.stop.is_set():
            for n, s in enumerate(sockets):
                if s is not None and self.closed(s):
                    s.close()
                    s = None
                if s is None:
                    s = sockets[n] = self.connect(n)
                    self.dribble(s, n, b"GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ")
                else:
                    self.dribble(s, n, b"x")
            self.stop.wait(1.0)
        for s in sockets:
            if s is not None:
                s.close()

    def body(self, chunked):
        name = "chunked" if chunked else "announced"
        s = socket.create_connection(("127.0.0.1", self.port), timeout=10)
        head = ("POST /api/login HTTP/1.1\r\nHost: 127.0.0.1:{}\r\nOrigin: http://127.0.0.1:{}\r\n"
                .format(self.port, self.port))
        head += ("Transfer-Encoding: chunked\r\n\r\n" if chunked
                 else "Content-Length: {}\r\n\r\n".format(BODY))
        piece = b"x" * 65536
        if chunked:
            piece = b"10000\r\n" + piece + b"\r\n"
        sent = 0
        try:
            s.sendall(head.encode())
            while sent < BODY and not self.stop.is_set():
                s.sendall(piece)
                sent += len(piece)
        except OSError:
            pass
        self.sent[name] = sent
        s.close()

    def start(self):
        for t in self.threads:
            t.start()

    def end(self):
        self.stop.set()
        for t in self.threads:
            t.join(timeout=30)


def node_figures(pid):
    with open("/proc/{}/status".format(pid)) as status:
        rss = int(re.search(r"VmRSS:\s+(\d+) kB", status.read()).group(1))
    return rss, len(os.listdir("/proc/{}/fd".format(pid)))


def lm_times(tncsim):
    """Seconds from each LM sent to its prompt, in order."""
    with tncsim.lock:
        lines = list(tncsim.lines)
    times, sent = [], None
    for at, line in lines:
        if line.startswith("1A >>> LM"):
            sent = at
        elif line.startswith("1A expect ok: SMS>") and sent is not None:
            times.append(at - sent)
            sent = None
    return times


def page_loads(port):
    started = time.monotonic()
    for path in ("/", "/api/status"):
        with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
            s.sendall("GET {} HTTP/1.1\r\nHost: 127.0.0.1:{}\r\nConnection: close\r\n\r\n"
                      .format(path, port).encode())
            answer = b""
            while True:
                data = s.recv(65536)
                if not data:
                    break
                answer += data
        check(answer.startswith(b"HTTP/1.1 200"), "GET {}: {!r}".format(path, answer[:80]))
    return time.monotonic() - started


def run(args):
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    need = IDLE + DRIBBLING + 256
    if hard < need:
        print("SKIPPED: this test needs {} descriptors; the hard limit is {}".format(need, hard))
        return 77
    resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, need), hard))
    limit = unit_descriptor_limit()
    rig = Rig(args)
    # The sanitizer's quarantine would hold freed memory back and hide what the node keeps.
    rig.env["ASAN_OPTIONS"] = rig.env.get("ASAN_OPTIONS", "") + ":quarantine_size_mb=1"
    attack = None
    try:
        rig.start_server()
        rig.write_settings()
        path = os.path.join(rig.dir.name, "user.script")
        with open(path, "w") as f:
            f.write(script())
        rig.start("tncsim", [args.tncsim, "--type", "KPC3", "--script", path, "--link-com", "1",
                             "--start-after", "1500"])
        until(lambda: rig.outputs["tncsim"].find(" as "), 10, "tncsim's pty")
        node = rig.start("brevane", ["prlimit", "--nofile={0}:{0}".format(limit),
                                     args.brevane, "--headless", "1"])
        until(lambda: len(lm_times(rig.outputs["tncsim"])) >= LISTS_BEFORE, 60,
              "the user's lists before the attack", lambda: rig.outputs["tncsim"].text(10))
        idle_rss, idle_fds = node_figures(node.pid)
        before = lm_times(rig.outputs["tncsim"])
        attack = Attack(rig.web_port)
        attack.start()
        peak_rss, peak_fds, page_times = idle_rss, idle_fds, []
        deadline = time.monotonic() + 60
        while len(lm_times(rig.outputs["tncsim"])) < LISTS_BEFORE + LISTS_DURING:
            check(time.monotonic() < deadline, "the user's lists during the attack")
            rss, fds = node_figures(node.pid)
            peak_rss, peak_fds = max(peak_rss, rss), max(peak_fds, fds)
            if attack.opened > IDLE:
                page_times.append(page_loads(rig.web_port))
            time.sleep(0.2)
        during = lm_times(rig.outputs["tncsim"])[LISTS_BEFORE:]
        attack.end()
        check(not rig.outputs["tncsim"].find("FAILED"), "every LM answered")
        check(not rig.outputs["brevane"].find("Too many open files"), "no descriptor ran out")
        check(not rig.outputs["tncsim"].find("Too many open files"), "no user told so")
        check(max(during) <= max(before) + 1.0,
              "LM answers took {} s during the attack, {} s before".format(during, before))
        check(peak_rss - idle_rss <= 8 * 1024, "RSS {} kB at idle, {} kB at most during the "
              "attack".format(idle_rss, peak_rss))
        check(peak_fds <= idle_fds + 64 + 8, "{} descriptors at idle, {} at most during the "
              "attack".format(idle_fds, peak_fds))
        check(page_times and max(page_times) < 5, "the page loaded in {}".format(page_times))
        for name, sent in attack.sent.items():
            check(sent < 32 << 20, "the {} 1 GB body was cut off after {} bytes".format(
                name, sent))
        print("descriptor limit {}; connections opened by the attack {}".format(
            limit, attack.opened))
        print("LM answer s before: median {:.2f} max {:.2f}; during: median {:.2f} max {:.2f}"
              .format(statistics.median(before), max(before), statistics.median(during),
                      max(during)))
        print("node RSS kB idle {} peak {}; descriptors idle {} peak {}".format(
            idle_rss, peak_rss, idle_fds, peak_fds))
        print("page loads during the attack: {} times, max {:.2f} s".format(
            len(page_times), max(page_times)))
        print("bytes of the 1 GB bodies sent before the node closed: {}".format(attack.sent))
    except Failure as failure:
        print("FAILED:", failure)
        for name, output in rig.outputs.items():
            print("--- {} ---\n{}".format(name, output.text(30)))
        return 1
    finally:
        if attack is not None:
            attack.end()
        rig.close()
    print("PASSED")
    return 0


def main():
    parser = argparse.ArgumentParser(description="The web port under attack.")
    parser.add_argument("--brevane", required=True)
    parser.add_argument("--tncsim", required=True)
    parser.add_argument("--smsd", required=True)
    return run(parser.parse_args())


if __name__ == "__main__":
    sys.exit(main())
