#!/usr/bin/env python3
"""Bounded stress run of smsd (not part of CTest).

Starts smsd on 127.0.0.1 with a database file, runs CLIENTS concurrent clients for DURATION
seconds -- honest L/S/R/K requests, wrong passwords, slow drippers and oversized requests --
kills smsd with SIGKILL part-way, restarts it on the same port and database, and at the end
checks that every S the server acknowledged (normal close) is in the database, and how long
honest requests took. Each client connects from a 127.x address of its own.

With --one-address it runs instead, on smsd's default settings, two phases of DURATION seconds
each from one misbehaving address, 127.0.0.2, while honest clients on 127.0.0.1 ask for lists:
first HOGS connections that drip a byte every 5 s (reconnecting when reset), then a
wrong-password flood; it tells how many honest requests were answered and how much smsd logged
during the flood.

  stress_smsd.py PATH/TO/smsd [--clients 300] [--duration 20] [--kill-at 8]
  stress_smsd.py PATH/TO/smsd --one-address [--hogs 420] [--duration 10] [SMSD OPTIONS...]
"""
import argparse
import os
import random
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time

AUTH = "GW1MBO|pw|"


def exchange(port, request, timeout=10.0, drip=None, source="127.0.0.1"):
    """Sends a request from `source`; returns (outcome, reply, seconds): outcome is 'closed',
    'reset', 'refused' (no connection) or 'timeout'."""
    started = time.monotonic()
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.settimeout(timeout)
    try:
        s.bind((source, 0))
        s.connect(("127.0.0.1", port))
    except OSError:
        s.close()
        return "refused", b"", time.monotonic() - started
    reply = b""
    try:
        if drip:
            for i in range(0, len(request), drip[0]):
                s.sendall(request[i:i + drip[0]])
                time.sleep(drip[1])
        else:
            s.sendall(request)
        while True:
            data = s.recv(65536)
            if not data:
                return "closed", reply, time.monotonic() - started
            reply += data
    except socket.timeout:
        return "timeout", reply, time.monotonic() - started
    except OSError:
        return "reset", reply, time.monotonic() - started
    finally:
        s.close()


def client_address(n):
    """Client n's own 127.x address, as if each ran on a host of its own."""
    return "127.1.%d.%d" % (n // 250, n % 250 + 1)


def send_text(mid, to, body="hello"):
    return ("S|%sN0CALL|%s|\r\nMid: %s\r\nDate: 2026/06/01 12:00\r\nFrom: N0CALL\r\nTo: %s\r\n"
            "Subject: stress\r\n\r\n%s\r\n/EX\r\n" % (AUTH, mid, mid, to, body)).encode()


class Run:
    def __init__(self, args):
        self.args = args
        self.lock = threading.Lock()
        self.acknowledged = []     # MIDs whose S closed normally
        self.honest = []           # (seconds, outcome, started)
        self.other = {}            # (role, outcome) -> count
        self.stop = threading.Event()
        self.down = (0.0, 0.0)     # the window smsd was not running

    def note(self, role, outcome):
        with self.lock:
            self.other[(role, outcome)] = self.other.get((role, outcome), 0) + 1

    def honest_client(self, n):
        k = 0
        while not self.stop.is_set():
            k += 1
            mid = "SMS_S%03d%04d" % (n, k)
            user = "N%dX" % (n % 50)
            for request in (send_text(mid, user), ("L|%s%s|\r\n" % (AUTH, user)).encode(),
                            ("R|%s%s|%s|\r\n" % (AUTH, user, mid)).encode(),
                            ("K|%s%s|%s|\r\n" % (AUTH, user, mid)).encode()):
                started = time.monotonic()
                outcome, reply, seconds = exchange(self.args.port, request,
                                                   source=client_address(n))
                with self.lock:
                    self.honest.append((seconds, outcome, started))
                    if request.startswith(b"S|") and outcome == "closed":
                        self.acknowledged.append(mid)
                if outcome != "closed":
                    break
                time.sleep(random.uniform(0.05, 0.2))

    def wrong_password(self, n):
        while not self.stop.is_set():
            outcome, _, _ = exchange(self.args.port, b"S|GW1MBO|nope|N0CALL|SMS_W|\r\nTo: X\r\n"
                                     b"\r\n" + b"x" * 100000 + b"\r\n/EX\r\n",
                                     source=client_address(n))
            self.note("wrong password", outcome)
            time.sleep(0.1)

    def slow(self, n):
        k = 0
        while not self.stop.is_set():
            k += 1
            mid = "SMS_D%03d%04d" % (n, k)
            outcome, _, _ = exchange(self.args.port, send_text(mid, "N1SLOW", "d" * 200),
                                     drip=(7, 0.05), source=client_address(n))
            self.note("slow", outcome)
            if outcome == "closed":
                with self.lock:
                    self.acknowledged.append(mid)

    def oversized(self, n):
        big = send_text("SMS_BIG%03d" % n, "N1BIG", "y" * (5 << 20))
        while not self.stop.is_set():
            outcome, _, _ = exchange(self.args.port, big, source=client_address(n))
            self.note("oversized", outcome)
            time.sleep(0.5)


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def start_smsd(args, db, log=subprocess.DEVNULL, options=("--idle-timeout", "10")):
    process = subprocess.Popen([args.smsd, "--port", str(args.port), "--db", db, "--node",
                                "GW1MBO:pw", *options], stderr=log)
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", args.port), timeout=0.2).close()
            return process
        except OSError:
            time.sleep(0.05)
    raise SystemExit("smsd did not start")


def honest_lists(port, stop, answered, count=8):
    """Honest clients on 127.0.0.1 asking for lists until `stop`; (seconds, outcome) each."""
    def client(n):
        while not stop.is_set():
            outcome, _, seconds = exchange(port, ("L|%sN%dX|\r\n" % (AUTH, n)).encode(),
                                           timeout=5.0)
            with lock:
                answered.append((seconds, outcome))
            time.sleep(random.uniform(0.05, 0.2))
    lock = threading.Lock()
    return [threading.Thread(target=client, args=(n,), daemon=True) for n in range(count)]


def drip_from(port, hogs, stop, resets, ready):
    """`hogs` connections from 127.0.0.2, each sending one byte of a request every 5 s; one
    reset by the server is replaced by a new connection at the next round. `ready` is set once
    the first round is out."""
    request = b"S|GW1MBO|pw|N0CALL|SMS_HOG|\r\nTo: N5CALL\r\n"
    sockets = [None] * hogs
    sent = [0] * hogs
    while not stop.is_set():
        for i in range(hogs):
            try:
                if sockets[i] is None:
                    sockets[i] = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
                    sockets[i].settimeout(1.0)
                    sockets[i].bind(("127.0.0.2", 0))
                    sockets[i].connect(("127.0.0.1", port))
                    sent[i] = 0
                sockets[i].send(request[sent[i] % len(request):][:1])
                sent[i] += 1
            except OSError:
                resets[0] += 1
                sockets[i].close()
                sockets[i] = None
        ready.set()
        stop.wait(5.0)
    for s in sockets:
        if s is not None:
            s.close()


def wrong_passwords_from(port, stop, refused, lock):
    while not stop.is_set():
        outcome = exchange(port, b"L|GW1MBO|nope|N5CALL|\r\n", timeout=5.0,
                           source="127.0.0.2")[0]
        with lock:
            refused[outcome] = refused.get(outcome, 0) + 1


def summary(answered):
    ok = [h[0] for h in answered if h[1] == "closed"]
    return "%d of %d answered, slowest %.3f s" % (len(ok), len(answered), max(ok, default=0))


def one_address(args, extra):
    folder = tempfile.mkdtemp(prefix="smsd-one-address-")
    log_path = os.path.join(folder, "smsd.log")
    with open(log_path, "wb") as log:
        smsd = start_smsd(args, os.path.join(folder, "store.sqlite"), log, extra)
    ok = True
    try:
        stop, answered, resets, ready = threading.Event(), [], [0], threading.Event()
        dripper = threading.Thread(target=drip_from, args=(args.port, args.hogs, stop, resets,
                                                           ready), daemon=True)
        dripper.start()
        ready.wait(30)
        threads = honest_lists(args.port, stop, answered) + [dripper]
        for t in threads[:-1]:
            t.start()
        time.sleep(args.duration)
        stop.set()
        for t in threads:
            t.join(30)
        print("%d connections from 127.0.0.2 dripping a byte every 5 s for %.0f s (%d resets met)"
              % (args.hogs, args.duration, resets[0]))
        print("honest requests from 127.0.0.1 meanwhile: %s" % summary(answered))
        ok = ok and all(h[1] == "closed" for h in answered)

        time.sleep(1.0)
        logged = os.path.getsize(log_path)
        stop, answered, refused, lock = threading.Event(), [], {}, threading.Lock()
        threads = honest_lists(args.port, stop, answered)
        threads += [threading.Thread(target=wrong_passwords_from,
                                     args=(args.port, stop, refused, lock), daemon=True)
                    for _ in range(4)]
        for t in threads:
            t.start()
        time.sleep(args.duration)
        stop.set()
        for t in threads:
            t.join(30)
        time.sleep(1.0)
        with open(log_path, "rb") as log:
            log.seek(logged)
            grown = log.read()
        lines = grown.splitlines()
        print("wrong passwords from 127.0.0.2 for %.0f s: %s; smsd logged %d bytes in %d lines,"
              " %d of them refusals" % (args.duration, refused, len(grown), len(lines),
                                         sum(1 for line in lines if b"refused" in line)))
        print("honest requests from 127.0.0.1 meanwhile: %s" % summary(answered))
        ok = ok and all(h[1] == "closed" for h in answered) and len(grown) < 64 * 1024
    finally:
        smsd.send_signal(signal.SIGTERM)
        smsd.wait(10)
    print("PASS" if ok else "FAIL")
    return 0 if ok else 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("smsd")
    parser.add_argument("--clients", type=int, default=300)
    parser.add_argument("--duration", type=float, default=20)
    parser.add_argument("--kill-at", type=float, default=8)
    parser.add_argument("--port", type=int, default=18770)
    parser.add_argument("--one-address", action="store_true")
    parser.add_argument("--hogs", type=int, default=420)
    args, extra = parser.parse_known_args()
    if args.one_address:
        return one_address(args, extra)
    if extra:
        parser.error("smsd options are taken with --one-address only")
    folder = tempfile.mkdtemp(prefix="smsd-stress-")
    db = os.path.join(folder, "store.sqlite")
    run = Run(args)
    smsd = start_smsd(args, db)
    roles = [run.honest_client] * 180 + [run.wrong_password] * 40 + [run.slow] * 40 + \
        [run.oversized] * 40
    roles = (roles * (args.clients // len(roles) + 1))[:args.clients]
    threads = [threading.Thread(target=role, args=(i,), daemon=True)
               for i, role in enumerate(roles)]
    begun = time.monotonic()
    for t in threads:
        t.start()
    time.sleep(args.kill_at)
    killed = time.monotonic()
    cpu = cpu_seconds(smsd.pid)
    smsd.send_signal(signal.SIGKILL)
    smsd.wait()
    smsd = start_smsd(args, db)
    run.down = (killed, time.monotonic())
    time.sleep(max(0, args.duration - (time.monotonic() - begun)))
    run.stop.set()
    for t in threads:
        t.join(30)
    cpu += cpu_seconds(smsd.pid)
    load = os.getloadavg()[0]
    smsd.send_signal(signal.SIGTERM)
    smsd.wait(10)

    stored = {row[0] for row in sqlite3.connect(db).execute("SELECT mid FROM messages")}
    missing = [mid for mid in run.acknowledged if mid not in stored]
    # Requests that started before the restart finished may meet the kill; the rest must work.
    settled = run.down[1] + 0.1
    normal = [h for h in run.honest if h[2] >= settled or h[2] + h[0] < run.down[0]]
    around = [h for h in run.honest if h not in normal]
    answered = [h for h in normal if h[1] == "closed"]
    slowest = max((h[0] for h in answered), default=0)
    latencies = sorted(h[0] for h in answered)
    p99 = latencies[int(len(latencies) * 0.99) - 1] if latencies else 0
    print("clients %d, %.1f s, smsd killed with SIGKILL at %.1f s and back after %.2f s"
          % (args.clients, args.duration, run.down[0] - begun, run.down[1] - run.down[0]))
    print("honest requests: %d away from the kill, %d answered, %d not (%s); slowest %.3f s, "
          "p99 %.3f s, over 2 s: %d"
          % (len(normal), len(answered), len(normal) - len(answered),
             sorted({h[1] for h in normal if h[1] != "closed"}), slowest, p99,
             sum(1 for h in answered if h[0] > 2.0)))
    outcomes = {}
    for h in around:
        outcomes[h[1]] = outcomes.get(h[1], 0) + 1
    print("honest requests in flight around the kill: %s" % outcomes)
    print("smsd used %.1f s of CPU in %.1f s; load average %.1f on %d cores"
          % (cpu, args.duration, load, os.cpu_count()))
    for (role, outcome), count in sorted(run.other.items()):
        print("%s: %s %d" % (role, outcome, count))
    print("acknowledged S requests: %d, missing from the database: %d %s"
          % (len(run.acknowledged), len(missing), missing[:5]))
    ok = not missing and all(h[1] == "closed" and h[0] <= 2.0 for h in normal)
    print("PASS" if ok else "FAIL")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
