#!/usr/bin/env python3
"""Flood probe of the listeners of pumpwire-host.

Starts pumpwire-host processes (offices and a station) in a folder of its
own, runs hostile and real connections against their listeners on
127.0.0.1, and prints figures and a PASS/FAIL line per check. Exits 1 when
a check fails, 2 when the probe itself could not run.

Phases (see bench/flood_probe.md):
  A  real handshakes every ~50 ms while hostile connections come and go
  B  a burst from one address well past the per-address cap
  P  password guessing from one address; an empty Password lets no one in
  C  many stations at once, all greeted and all accepted
  R  the office registry: connections with distinct 16 KB names, each
     followed by a command that looks the station up by address
  L  a log that cannot be written (its path a folder; the disk full):
     every handshake and command still served, the host told once
  M  a few addresses fill MaxConnections (past the handshake, then before
     it) while real handshakes come from another address
  K  handshakes with 16 KB names churning from one address, under its cap
  T  a station that trickles a byte at a time holds the office's menu
     commands (text, screenshot) only to their bound; stations are served
     meanwhile, and a stop ends the host at once
  Z  one station stops acknowledging its request while six others fetch
     theirs
  G  many addresses in turn guessing passwords: judged a few a second in
     all, a right password from a fresh address at once
  D  afterwards: threads and RSS back, first log line kept, no forged line

Standard library only.
"""

import argparse
import errno
import heapq
import os
import resource
import selectors
import shutil
import signal
import socket
import subprocess
import struct
import sys
import tempfile
import threading
import time

LOOPBACK = "127.0.0.1"
PASSWORD = "probe-secret"
REAL_NAME = b"PROBE-REAL"
# A station name that tries to start a log line of its own; the stamp is one
# the log never writes by itself.
FORGED_DAY = b"01.01.2001"
FORGED_LINE = FORGED_DAY + b" 00:00:00:000 - FORGED"
LONG_NAME_BYTES = 16000  # below the line readers' limit of 16384
REAL_BOUND = 2.0  # a real handshake slower than this fails
REAL_TARGET = 0.100  # what a real handshake should take; reported, not checked
WATCH_BOUND = 15.0  # how long a watcher waits for the listener to close it
REFUSED_WITHIN = 1.0  # a connection past the cap is closed within this
RSS_ALLOWANCE_KB = 32 * 1024  # RSS "back near its start": at most this above it
GUESSES_PER_SECOND = 10  # wrong passwords one address may have judged, at most
# The log line of a password judged wrong (a refusal without looking at the
# password, for an address that must wait its turn, logs otherwise).
WRONG_PASSWORD_LOGGED = "прервана из-за неверного пароля".encode("cp1251")
# How pumpwire-host tells on standard error that the log cannot be written.
WRITE_FAILED_TOLD = "Ошибка записи в журнал"
# Wrong passwords judged a second from all addresses with one on record.
GLOBAL_GUESSES_PER_SECOND = 5
# A right password from an address with nothing on record is judged at once:
# no slower than this.
FRESH_RIGHT_BOUND = 1.0
# The office's menu commands that the main thread waits for (pumpwire-host's
# "click" takes them as UTF-8).
TEXT_MENU = "Связь>Интерактивный обмен>Отправить текстовое сообщение"
OWN_ADDRESS_MENU = "Связь>Интерактивный обмен>Отправить свой IP адрес"
SCREENSHOT_MENU = "Связь>Интерактивный обмен>Показать скриншот с АЗС"
# The log line of a menu command's exchange cut at its bound or at a stop.
EXCHANGE_CUT = "Обмен с 127.0.0.1 прерван".encode("cp1251")
# The log lines of connections a listener closed to make room at a cap: the
# first of a burst, and the count at the burst's end.
ROOM_MADE = "чтобы освободить место".encode("cp1251")
ROOM_MADE_COUNT = "Закрыто подключений, чтобы освободить место: ".encode("cp1251")


def now():
    return time.monotonic()


# ---------------------------------------------------------------- results

class Report:
    def __init__(self):
        self.failed = []
        self.checks = 0

    def figure(self, text):
        print("    " + text, flush=True)

    def check(self, name, ok, detail=""):
        self.checks += 1
        print("  %s  %s%s" % ("PASS" if ok else "FAIL", name, (": " + detail) if detail else ""),
              flush=True)
        if not ok:
            self.failed.append(name)
        return ok


def percentile(values, p):
    if not values:
        return float("nan")
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(len(ordered) * p / 100.0))]


def ms(seconds):
    return "%.1f ms" % (seconds * 1000.0)


def mb(kb):
    return "%.1f MB" % (kb / 1024.0)


# ---------------------------------------------------------------- hosts

class Host:
    """One pumpwire-host process: its folder, listener port and figures."""

    def __init__(self, exe, mode, label, base, settings=(), password=None):
        self.exe = exe
        self.mode = mode
        self.label = label
        self.root = os.path.join(base, label)
        self.settings = list(settings)
        self.password = password
        self.proc = None
        self.port = None
        self.first_line = None
        self.log_checked = True  # phase D reads its log
        self.out_path = os.path.join(base, label + ".out")
        self.err_path = os.path.join(base, label + ".err")

    def start(self, bound=30.0):
        os.makedirs(self.root, exist_ok=True)
        # The handshake deadline (a minute by default, room for an operator's
        # answer) shortened to 5 s, so the watchers see it within WATCH_BOUND.
        args = [self.exe, self.mode, "--root", self.root, "--set", "InPort=0",
                "--set", "HandshakeTimeOut=5000"]
        if self.mode == "station":
            args += ["--name", "PROBE-STATION"]
        for key_value in self.settings:
            args += ["--set", key_value]
        if self.password is not None:
            args += ["--set", "PasswordEnable=1", "--password", self.password]
        with open(self.out_path, "wb") as out, open(self.err_path, "wb") as err:
            # A session of its own: a Ctrl-C at the terminal reaches the
            # probe, which then stops its hosts in order.
            self.proc = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=out, stderr=err,
                                         start_new_session=True)
        end = now() + bound
        while now() < end:
            for line in self.output_lines():
                if line.startswith("listening: "):
                    words = line.split()[1:]
                    if not words or words[0] == "none":
                        raise ProbeError("%s: the listener did not start (%s)" % (self.label, line))
                    self.port = int(words[0])
                    return
            if self.proc.poll() is not None:
                raise ProbeError("%s: pumpwire-host ended (%d): %s" %
                                 (self.label, self.proc.returncode, self.errors()))
            time.sleep(0.05)
        raise ProbeError("%s: no listening line within %.0f s" % (self.label, bound))

    def command(self, line):
        """One command line on the host's standard input."""
        self.proc.stdin.write(line.encode("utf-8") + b"\n")
        self.proc.stdin.flush()

    def answer(self, line, prefix, bound):
        """Sends a command and waits for an output line that starts with
        prefix: the seconds that took, None when none came within bound."""
        try:
            start = os.path.getsize(self.out_path)
        except OSError:
            start = 0
        t0 = now()
        self.command(line)
        while now() - t0 < bound:
            with open(self.out_path, "rb") as f:
                f.seek(start)
                text = f.read().decode("utf-8", "replace")
            if any(l.startswith(prefix) for l in text.splitlines()):
                return now() - t0
            time.sleep(0.02)
        return None

    def output_lines(self):
        try:
            with open(self.out_path, "rb") as f:
                head = f.read(1 << 16)
        except OSError:
            return []
        return head.decode("utf-8", "replace").splitlines()

    def error_lines(self):
        try:
            with open(self.err_path, "rb") as f:
                return f.read().decode("utf-8", "replace").splitlines()
        except OSError:
            return []

    def errors(self):
        try:
            with open(self.err_path, "rb") as f:
                return f.read(2000).decode("utf-8", "replace").strip()
        except OSError:
            return ""

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def status(self):
        """Threads, VmRSS and VmHWM (kB) of the listener process."""
        figures = {}
        try:
            with open("/proc/%d/status" % self.proc.pid) as f:
                for line in f:
                    key, _, value = line.partition(":")
                    if key in ("Threads", "VmRSS", "VmHWM", "VmSize"):
                        figures[key] = int(value.split()[0])
        except OSError:
            pass
        return figures

    def written(self):
        """Bytes the process has written through write/send calls."""
        try:
            with open("/proc/%d/io" % self.proc.pid) as f:
                for line in f:
                    if line.startswith("wchar:"):
                        return int(line.split()[1])
        except OSError:
            pass
        return 0

    def own_output(self):
        total = 0
        for path in (self.out_path, self.err_path):
            try:
                total += os.path.getsize(path)
            except OSError:
                pass
        return total

    def log_dir(self):
        return os.path.join(self.root, "LogFiles")

    def log_path(self):
        return os.path.join(self.log_dir(), "Pumpwire.log")

    def log_files(self):
        """Every file of the log folder: the logs and their set-asides."""
        try:
            names = sorted(os.listdir(self.log_dir()))
        except OSError:
            return []
        return [os.path.join(self.log_dir(), n) for n in names]

    def note_first_line(self):
        try:
            with open(self.log_path(), "rb") as f:
                line = f.readline()
        except OSError:
            return
        if line.endswith(b"\n"):
            self.first_line = line.rstrip(b"\r\n")

    def stop(self, hurry=False):
        """quit on standard input; SIGTERM, then SIGKILL when it lingers.
        Returns the seconds quit took, None when it had to be ended."""
        if self.proc is None or self.proc.poll() is not None:
            return None
        started = now()
        if not hurry:
            try:
                self.proc.stdin.write(b"quit\n")
                self.proc.stdin.flush()
                self.proc.stdin.close()
                self.proc.wait(timeout=20)
                return now() - started
            except (OSError, subprocess.TimeoutExpired):
                pass
        for sig, wait in ((signal.SIGTERM, 5), (signal.SIGKILL, 5)):
            try:
                os.killpg(self.proc.pid, sig)
            except OSError:
                pass
            try:
                self.proc.wait(timeout=wait)
                break
            except subprocess.TimeoutExpired:
                continue
        return None


class ProbeError(Exception):
    pass


class LogMark:
    """The lines a host's log gained since the mark, set-asides included."""

    def __init__(self, host):
        self.host = host
        self.sizes = self._sizes()

    def _sizes(self):
        sizes = {}
        for path in self.host.log_files():
            try:
                sizes[path] = os.path.getsize(path)
            except OSError:
                pass
        return sizes

    def new_lines(self):
        lines = []
        for path, size in sorted(self._sizes().items()):
            if not os.path.basename(path).startswith("Pumpwire.log"):
                continue
            old = self.sizes.get(path, 0)
            start = old if size >= old else 0  # replaced meanwhile: all of it
            with open(path, "rb") as f:
                f.seek(start)
                lines += f.read().splitlines()
        return lines


# ---------------------------------------------------------------- sockets

class Net:
    """A selector loop with timers; every peer in it is non-blocking."""

    def __init__(self):
        self.sel = selectors.DefaultSelector()
        self.timers = []
        self.seq = 0
        self.live = set()

    def later(self, delay, fn):
        self.seq += 1
        heapq.heappush(self.timers, (now() + delay, self.seq, fn))

    def poll(self, max_wait=0.05):
        wait = max_wait
        if self.timers:
            wait = max(0.0, min(wait, self.timers[0][0] - now()))
        if self.live:
            for key, mask in self.sel.select(wait):
                key.data.on_event(mask)
        else:
            time.sleep(wait)
        t = now()
        while self.timers and self.timers[0][0] <= t:
            _, _, fn = heapq.heappop(self.timers)
            fn()

    def run_until(self, done, bound, tick=None):
        end = now() + bound
        while not done() and now() < end:
            self.poll()
            if tick:
                tick()
        return done()

    def close_all(self):
        for peer in list(self.live):
            peer.close("probe")


def lines_of(data):
    """The complete lines received, without CR LF."""
    parts = bytes(data).split(b"\n")
    return [p[:-1] if p.endswith(b"\r") else p for p in parts[:-1]]


class Peer:
    """One connection to a listener: sends bytes at given offsets after the
    connect, keeps what it receives, and is closed by the probe after hold
    seconds unless the listener closes it first."""

    KEEP = 4096  # bytes of what is received that are kept

    def __init__(self, net, port, kind, sends=(), hold=1.0, repeat=None, source=None):
        self.net = net
        self.kind = kind
        self.sends = list(sends)
        self.hold = hold
        self.repeat = repeat  # (every, bytes): keep sending until closed
        self.rx = bytearray()
        self.out = bytearray()
        self.t0 = now()
        self.t_connected = None
        self.t_first_line = None
        self.line_times = []  # when each of the first few lines came
        self.t_closed = None
        self.closed_by = None  # "listener", "probe", "error"
        self.error = None
        self.open = True
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.setblocking(False)
        if source:  # any 127.x.y.z is this machine: a peer address of its own
            self.sock.bind((source, 0))
        err = self.sock.connect_ex((LOOPBACK, port))
        if err not in (0, errno.EINPROGRESS, errno.EAGAIN):
            self.sock.close()
            self.open = False
            self.closed_by = "error"
            self.error = os.strerror(err)
            self.t_closed = now()
            self.on_closed()
            return
        net.live.add(self)
        net.sel.register(self.sock, selectors.EVENT_WRITE, self)
        net.later(max(hold, 0.0) if hold is not None else WATCH_BOUND, self._hold_over)

    # -- events
    def on_event(self, mask):
        if not self.open:
            return
        if self.t_connected is None:
            if not mask & selectors.EVENT_WRITE:
                return
            err = self.sock.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR)
            if err:
                self.error = os.strerror(err)
                self.close("error")
                return
            self.t_connected = now()
            for offset, data in self.sends:
                self.net.later(offset, lambda d=data: self.send(d))
            if self.repeat:
                self.net.later(self.repeat[0], self._again)
            self._interest()
            self.on_connected()
            return
        if mask & selectors.EVENT_WRITE:
            self._flush()
        if self.open and mask & selectors.EVENT_READ:
            try:
                data = self.sock.recv(65536)
            except BlockingIOError:
                return
            except OSError as e:
                self.error = e.strerror
                self.close("listener")
                return
            if not data:
                self.close("listener")
                return
            if len(self.rx) < self.KEEP:
                self.rx += data[:self.KEEP - len(self.rx)]
            if len(self.line_times) < 4:
                t = now()
                self.line_times += [t] * min(4 - len(self.line_times),
                                             self.rx.count(b"\n") - len(self.line_times))
                if self.line_times and self.t_first_line is None:
                    self.t_first_line = self.line_times[0]
            self.on_data()

    def on_connected(self):
        pass

    def on_data(self):
        pass

    def on_closed(self):
        pass

    def _again(self):
        if self.open:
            self.send(self.repeat[1])
            self.net.later(self.repeat[0], self._again)

    def _hold_over(self):
        if self.open:
            self.on_hold_over()
            self.close("probe")

    def on_hold_over(self):
        pass

    # -- actions
    def send(self, data):
        if not self.open:
            return
        self.out += data
        self._flush()

    def _flush(self):
        if self.t_connected is None:
            return
        try:
            while self.out:
                n = self.sock.send(self.out)
                del self.out[:n]
        except BlockingIOError:
            pass
        except OSError as e:
            self.error = e.strerror
            self.close("listener")
            return
        self._interest()

    def _interest(self):
        if self.open:
            events = selectors.EVENT_READ | (selectors.EVENT_WRITE if self.out else 0)
            self.net.sel.modify(self.sock, events, self)

    def close(self, by):
        if not self.open:
            return
        self.open = False
        self.closed_by = by
        self.t_closed = now()
        try:
            self.net.sel.unregister(self.sock)
        except (KeyError, ValueError):
            pass
        self.sock.close()
        self.net.live.discard(self)
        self.on_closed()

    def server_closed_after(self):
        """Seconds from connect to the listener's close, None if it did not."""
        if self.closed_by == "listener" and self.t_connected is not None:
            return self.t_closed - self.t_connected
        return None


class RealHandshake(Peer):
    """The connector's side of a real handshake.

    office listener: greeting ("OK"/"OKF"), name line, password line, "OK".
    station listener: greeting, the station's name, password line, "OK".
    """

    def __init__(self, net, port, listener, password, name=REAL_NAME, bound=5.0,
                 keep_open=False, source=None):
        self.listener = listener
        self.keep_open = keep_open  # stay in the command phase until closed
        self.password = password.encode() if password else b"NOPASS"
        self.name = name
        self.answered = False
        self.ok = None
        self.latency = None
        self.why = None
        super().__init__(net, port, "real", hold=bound, source=source)

    def on_data(self):
        got = lines_of(self.rx)
        if not got:
            return
        if got[0] not in (b"OK", b"OKF"):
            return self._done(False, "greeting %r" % got[0][:40])
        if self.listener == "office":
            if not self.answered:
                self.answered = True
                self.send(self.name + b"\r\n" + self.password + b"\r\n")
            answer_at = 1
        else:
            if len(got) < 2:
                return
            if not self.answered:
                self.answered = True
                self.send(self.password + b"\r\n")
            answer_at = 2
        if len(got) > answer_at:
            answer = got[answer_at]
            self._done(answer == b"OK", None if answer == b"OK" else "answer %r" % answer[:40])

    def _done(self, ok, why):
        if self.ok is None:
            self.ok = ok
            self.why = why
            self.latency = now() - self.t0
            if not (ok and self.keep_open):
                self.close("probe")

    def on_hold_over(self):
        if self.ok is None:
            self.ok, self.why = False, "no answer within %.0f s" % self.hold

    def on_closed(self):
        if self.ok is None:
            self.ok = False
            self.why = "closed by the listener" if self.closed_by == "listener" else self.error
            self.latency = now() - self.t0


def one_real_handshake(port, listener, password, bound=5.0):
    net = Net()
    peer = RealHandshake(net, port, listener, password, bound=bound)
    net.run_until(lambda: peer.ok is not None, bound + 1.0)
    net.close_all()
    if peer.ok is None:
        peer.ok, peer.why = False, "no answer"
    return peer


# ---------------------------------------------------------------- the probe

class Probe:
    def __init__(self, args):
        self.args = args
        self.report = Report()
        self.hosts = []
        self.base = None
        self.quick = args.quick
        self.count_keys = args.cap_keys.split(",")

    def host(self, mode, label, settings=(), password=None):
        h = Host(self.args.host, mode, label, self.base, settings, password)
        self.hosts.append(h)
        h.start()
        end = now() + 2.0
        while h.first_line is None and now() < end:
            h.note_first_line()
            time.sleep(0.02)
        return h

    def connection_library_for(self, label):
        """A machine with no network interface but loopback counts as offline,
        and the office then dials before a menu command: the tests' scripted
        connection library, put in the host's root, answers "connected"."""
        if any(name != "lo" for name in os.listdir("/sys/class/net")):
            return
        fake = os.path.join(os.path.dirname(self.args.host), "tests", "libpumpwire-fake-dialgate.so")
        if not os.path.exists(fake):
            return
        root = os.path.join(self.base, label)
        os.makedirs(root, exist_ok=True)
        shutil.copy(fake, os.path.join(root, "Dialgate.so"))
        os.environ["FAKE_DIALGATE_ANSWERS"] = "Connect=1 GetConnectState=1"
        print("(no network interface but loopback: the scripted connection library answers connected)")

    def warm_up(self, host, listener, password=None):
        """A real handshake first, so that the log has its first line and the
        registry its first, short, entry."""
        peer = one_real_handshake(host.port, listener, password)
        if not peer.ok:
            raise ProbeError("%s: the first real handshake failed: %s" % (host.label, peer.why))
        end = now() + 5
        while host.first_line is None and now() < end:
            host.note_first_line()
            time.sleep(0.05)
        settle(host)
        return host.status()

    def sample(self, hosts, peaks):
        for h in hosts:
            s = h.status()
            p = peaks.setdefault(h.label, {"Threads": 0, "VmRSS": 0})
            for key in p:
                p[key] = max(p[key], s.get(key, 0))

    def stop_hosts(self, hosts):
        for h in hosts:
            alive = h.alive()
            self.report.check("%s: the listener process still runs" % h.label, alive,
                              "" if alive else "ended with %s: %s" % (h.proc.returncode, h.errors()))
            took = h.stop()
            if alive:
                self.report.check("%s: quit within 20 s" % h.label, took is not None,
                                  "%.1f s" % took if took is not None else "ended by signal")

    # -- A
    def phase_a(self, office, office_pw, station, bases):
        r = self.report
        total = 600 if self.quick else 5000
        bound = 20.0 if self.quick else 75.0
        per_cap = self.args.per_ip_cap
        conc = max(2, min(self.args.concurrency, per_cap - 4))
        quota = {office: int(total * 0.6), office_pw: int(total * 0.2)}
        quota[station] = total - quota[office] - quota[office_pw]
        print("\n== A. real handshakes while %d hostile connections come and go" % total)
        r.figure("hostile connections held at once per listener: %d (per-address cap %d)"
                 % (conc, per_cap))
        net = Net()
        made = {h: 0 for h in quota}
        live = {h: set() for h in quota}
        hostile = []
        watchers = []
        reals = []
        peaks = {}
        long_name = b"L" * LONG_NAME_BYTES
        forge_name = b"FORGE\r" + FORGED_LINE + b"\x00tail"
        forge_text = b"text\r" + FORGED_LINE + b"\x00\x1b[2J"

        def office_kind(i, port):
            k = i % 20
            if k < 6:  # idle after connect
                return Peer(net, port, "idle", hold=0.1 + (i * 37 % 70) / 100.0)
            if k < 8:  # one byte a second
                return Peer(net, port, "trickle", hold=2.5, repeat=(1.0, b"A"))
            if k < 10:  # a 16 KB name, then nothing
                return Peer(net, port, "long-name", [(0, long_name + b"\r\n")], hold=0.6)
            if k < 12:  # a 16 KB name that passes (passwords off)
                return Peer(net, port, "long-name-in",
                            [(0, long_name + b"\r\nNOPASS\r\n")], hold=0.3)
            if k < 15:  # CR and NUL in the name, and in a text message
                return Peer(net, port, "forge",
                            [(0, forge_name + b"\r\nNOPASS\r\nSEND_TEXT\r\n" + forge_text + b"\r\n")],
                            hold=0.4)
            if k < 16:  # a CR LF in what was meant to be one name
                return Peer(net, port, "forge-lf",
                            [(0, b"FORGE\r\n" + FORGED_LINE + b"\r\n")], hold=0.3)
            return Peer(net, port, "connect-close", hold=0.0)

        def office_pw_kind(i, port):
            k = i % 10
            if k < 7:  # a wrong password
                return Peer(net, port, "wrong-password",
                            [(0, b"GUESS\r\nguess%d\r\n" % i)], hold=1.5)
            if k < 8:
                return Peer(net, port, "forge-wrong-password",
                            [(0, forge_name + b"\r\n" + FORGED_LINE + b"\r\n")], hold=0.5)
            return Peer(net, port, "idle", hold=0.1 + (i * 37 % 70) / 100.0)

        def station_kind(i, port):
            k = i % 10
            if k < 3:
                return Peer(net, port, "idle", hold=0.1 + (i * 37 % 70) / 100.0)
            if k < 4:
                return Peer(net, port, "trickle", hold=2.5, repeat=(1.0, b"A"))
            if k < 6:  # a 16 KB password line
                return Peer(net, port, "long-password", [(0, long_name + b"\r\n")], hold=0.6)
            if k < 8:
                return Peer(net, port, "forge",
                            [(0, b"NOPASS\r\nSEND_TEXT\r\n" + forge_text + b"\r\n")], hold=0.4)
            return Peer(net, port, "garbage-password",
                        [(0, b"\x00\x01\r" + FORGED_LINE + b"\r\n")], hold=0.3)

        kinds = {office: office_kind, office_pw: office_pw_kind, station: station_kind}
        listener_of = {office: "office", office_pw: "office", station: "station"}
        password_of = {office: None, office_pw: PASSWORD, station: None}

        # Watchers: idle and trickling connections that wait for the listener
        # to close them, which measures the handshake deadline.
        for h in (office, station):
            for j in range(2):
                watchers.append(Peer(net, h.port, "watch-idle", hold=WATCH_BOUND))
                watchers.append(Peer(net, h.port, "watch-trickle", hold=WATCH_BOUND,
                                     repeat=(1.0, b"A")))
                live[h].update(watchers[-2:])
        started = now()
        next_real = started
        next_sample = started
        real_targets = [office, office_pw, station]
        log_start = {h: h.written() - h.own_output() for h in quota}

        def refill():
            for h, limit in quota.items():
                live[h] = {p for p in live[h] if p.open}
                while made[h] < limit and len(live[h]) < conc and now() - started < bound:
                    p = kinds[h](made[h], h.port)
                    made[h] += 1
                    hostile.append(p)
                    if p.open:
                        live[h].add(p)

        while True:
            refill()
            t = now()
            open_hostile = sum(1 for h in live for p in live[h]
                               if p.open and not p.kind.startswith("watch"))
            flooding = sum(made.values()) < total or open_hostile > 0
            if t >= next_real and t - started < bound and flooding:
                h = real_targets[len(reals) % 3]
                reals.append((h, RealHandshake(net, h.port, listener_of[h], password_of[h])))
                next_real = t + 0.05
            if t >= next_sample:
                self.sample(quota, peaks)
                next_sample = t + 0.5
            if sum(made.values()) >= total or t - started >= bound:
                if not open_hostile and all(p.ok is not None for _, p in reals):
                    flood_took = t - started
                    break
            if t - started > bound + WATCH_BOUND + 5:
                flood_took = t - started
                break
            net.poll(0.01)
        # The watchers may still wait for the listener.
        net.run_until(lambda: not any(w.open for w in watchers), WATCH_BOUND,
                      lambda: self.sample(quota, peaks))
        net.close_all()

        made_all = sum(made.values())
        r.figure("hostile connections made: %d in %.1f s (%.0f a second)"
                 % (made_all, flood_took, made_all / flood_took))
        by_kind = {}
        for p in hostile:
            k = by_kind.setdefault(p.kind, [0, 0, 0])
            k[0] += 1
            if p.closed_by == "listener":
                k[1] += 1
            if p.closed_by == "error":
                k[2] += 1
        for kind, (n, closed, failed) in sorted(by_kind.items()):
            r.figure("  %-22s %5d  closed by the listener %5d  connect failed %d"
                     % (kind, n, closed, failed))
        guesses = [p for p in hostile if p.kind == "wrong-password"]
        refused = [p for p in guesses if b"PASS" in lines_of(p.rx)]
        if guesses:
            waits = [p.line_times[1] - p.t_connected for p in refused if len(p.line_times) > 1]
            r.figure("wrong passwords answered \"PASS\" within 1.5 s: %d of %d, after p50 %s, "
                     "max %s" % (len(refused), len(guesses), ms(percentile(waits, 50)),
                                 ms(max(waits) if waits else float("nan"))))
        for h in quota:
            s = h.status()
            r.figure("%s: threads %d -> peak %d -> %d, RSS %s -> peak %s -> %s, log %.1f MB"
                     % (h.label, bases[h]["Threads"], peaks[h.label]["Threads"], s.get("Threads", 0),
                        mb(bases[h]["VmRSS"]), mb(peaks[h.label]["VmRSS"]), mb(s.get("VmRSS", 0)),
                        (h.written() - h.own_output() - log_start[h]) / 1e6))
        # Every probe peer shares 127.0.0.1: at office-pw the right password
        # comes from the address the wrong ones come from, and waits its
        # turn there by design. Those are told apart, not checked.
        checked = [(g, p) for g, p in reals if g is not office_pw]
        ok = [p for _, p in checked if p.ok]
        lat = [p.latency for p in ok]
        r.figure("real handshakes at office and station: %d, served %d; latency p50 %s, p99 %s, "
                 "max %s (target %s)"
                 % (len(checked), len(ok), ms(percentile(lat, 50)), ms(percentile(lat, 99)),
                    ms(max(lat) if lat else float("nan")), ms(REAL_TARGET)))
        for h in real_targets:
            mine = [p for g, p in reals if g is h]
            times = [p.latency for p in mine if p.ok]
            r.figure("  against %-10s %4d, served %4d, p99 %s, max %s, over the target %d%s"
                     % (h.label, len(mine), len(times), ms(percentile(times, 99)),
                        ms(max(times) if times else float("nan")),
                        sum(1 for x in times if x > REAL_TARGET),
                        " (the address of the wrong passwords: not checked)" if h is office_pw
                        else ""))
        failed = [(g.label, p.why) for g, p in checked if not p.ok]
        r.check("A: every hostile connection planned was made", made_all == total,
                "%d of %d" % (made_all, total))
        r.check("A: every real handshake served", not failed and len(checked) > 0,
                "%d failed, first: %s" % (len(failed), failed[:3]) if failed else "%d" % len(ok))
        slow = [x for x in lat if x > REAL_BOUND]
        r.check("A: no real handshake over %.0f s" % REAL_BOUND, not slow,
                "%d slower" % len(slow) if slow else "max %s" % ms(max(lat) if lat else 0))
        for kind in ("watch-idle", "watch-trickle"):
            mine = [w for w in watchers if w.kind == kind]
            closes = [w.server_closed_after() for w in mine]
            done = [c for c in closes if c is not None]
            r.figure("%s: closed by the listener after %s"
                     % (kind, ", ".join("%.1f s" % c for c in done) or "never"))
            r.check("A: %s connections closed by the listener (handshake deadline)"
                    % kind.split("-")[1], len(done) == len(mine),
                    "%d of %d within %.0f s" % (len(done), len(mine), WATCH_BOUND))

    # -- P
    def phase_p(self, office_pw):
        r = self.report
        seconds = 3.0
        most = 1000 if self.quick else 3000
        print("\n== P. password guessing from one address (%d at once, for %.0f s or %d guesses)"
              % (8, seconds, most))
        net = Net()
        peers = []
        mark = LogMark(office_pw)
        start = now()

        def refill():
            while (sum(1 for p in peers[-16:] if p.open) < 8 and now() - start < seconds
                   and len(peers) < most):
                peers.append(Peer(net, office_pw.port, "guess",
                                  [(0, b"GUESS\r\nguess%d\r\n" % len(peers))], hold=seconds))

        over = lambda: (now() - start >= seconds or len(peers) >= most) and not net.live
        net.run_until(over, seconds + 2.0, refill)
        took = now() - start
        net.close_all()
        answered = [p for p in peers if len(lines_of(p.rx)) > 1]
        wrong = [p for p in answered if lines_of(p.rx)[1] == b"PASS"]
        let_in = [p for p in answered if lines_of(p.rx)[1] == b"OK"]
        # A "PASS" does not tell a password judged wrong from one refused
        # unseen; the log does.
        logged = mark.new_lines()
        judged = sum(1 for line in logged if WRONG_PASSWORD_LOGGED in line)
        rate = judged / took
        r.figure("guesses made %d in %.1f s, answered \"PASS\" %d, let in %d; judged wrong "
                 "(log lines) %d, %.1f a second" % (len(peers), took, len(wrong), len(let_in),
                                                   judged, rate))
        r.figure("log lines while guessing: %d, %.1f per guess" % (len(logged),
                                                                   len(logged) / max(len(peers), 1)))
        r.check("P: no wrong password let in", not let_in, "%d" % len(let_in))
        r.check("P: passwords judged at most %d a second from one address" % GUESSES_PER_SECOND,
                rate <= GUESSES_PER_SECOND, "%.1f a second" % rate)
        peer = one_real_handshake(office_pw.port, "office", PASSWORD)
        r.figure("the right password from the same address right after: %s"
                 % (ms(peer.latency) if peer.ok else "refused (%s)" % peer.why))
        office_empty = self.host("office", "office-empty-pw", ["PasswordEnable=1", "Password="])
        try:
            answers = []
            for password in (b"", b"NOPASS"):
                net = Net()
                p = Peer(net, office_empty.port, "empty", [(0, b"GUESS\r\n" + password + b"\r\n")],
                         hold=5.0)
                net.run_until(lambda: len(lines_of(p.rx)) > 1 or not p.open, 6.0)
                net.close_all()
                got = lines_of(p.rx)
                answers.append(got[1].decode("latin-1") if len(got) > 1 else "nothing")
            r.check("P: PasswordEnable=1 with an empty Password lets no one in",
                    "OK" not in answers, "answers to an empty and a NOPASS line: %s" % answers)
        finally:
            self.stop_hosts([office_empty])

    # -- B
    def phase_b(self, office):
        r = self.report
        # Well past the per-address cap, whatever the counts.
        n = 2 * self.args.per_ip_cap if self.quick else max(1000, 4 * self.args.per_ip_cap)
        print("\n== B. a burst of %d connections from 127.0.0.1" % n)
        settle(office)
        before = office.status()
        mark = LogMark(office)
        net = Net()
        start = now()
        peers = []
        for _ in range(n):
            peers.append(Peer(net, office.port, "burst", hold=30.0))
        opened = now() - start
        # Wait until every one is greeted or closed, or a second after the
        # last got that far.
        settled = lambda: all(not p.open or p.t_first_line is not None for p in peers)
        net.run_until(settled, 5.0)
        net.run_until(lambda: False, REFUSED_WITHIN)
        held = [p for p in peers if p.open]
        during = office.status()
        refusals = mark.new_lines()
        net.close_all()
        failed_connect = [p for p in peers if p.closed_by == "error"]
        closed = [p for p in peers if p.closed_by == "listener"]
        greeted_held = [p for p in held if p.t_first_line is not None]
        silent = [p for p in held if p.t_first_line is None]
        r.figure("opened %d connections in %s; connect failed: %d" % (n, ms(opened), len(failed_connect)))
        r.figure("held and greeted: %d, held without a greeting: %d, closed by the listener: %d"
                 % (len(greeted_held), len(silent), len(closed)))
        closes = [p.server_closed_after() for p in closed]
        if closes:
            r.figure("closed after: p50 %s, p99 %s, max %s" % (ms(percentile(closes, 50)),
                                                             ms(percentile(closes, 99)), ms(max(closes))))
        r.figure("threads %d -> %d while held, address space %s -> %s"
                 % (before.get("Threads", 0), during.get("Threads", 0),
                    mb(before.get("VmSize", 0)), mb(during.get("VmSize", 0))))
        r.figure("log lines during the burst: %d" % len(refusals))
        for line in refusals[:4]:
            r.figure("  | " + line[:160].decode("cp1251", "replace"))
        r.check("B: the connections past the cap are closed", len(closed) > 0 and not silent,
                "%d closed, %d held without a greeting" % (len(closed), len(silent)))
        r.check("B: the cap holds (at most %d held)" % self.args.per_ip_cap,
                len(greeted_held) <= self.args.per_ip_cap, "%d held" % len(greeted_held))
        r.check("B: refused connections closed within %s" % ms(REFUSED_WITHIN),
                bool(closes) and max(closes) <= REFUSED_WITHIN,
                "max %s" % ms(max(closes)) if closes else "none closed")
        r.check("B: one refusal line per burst, not per connection", 1 <= len(refusals) <= 3,
                "%d lines" % len(refusals))
        # The listener counts a connection out once it has seen the close.
        settle(office, before.get("Threads", 0) + 2, bound=5.0)
        peer = one_real_handshake(office.port, "office", None)
        r.check("B: a real handshake right after the burst", bool(peer.ok),
                ms(peer.latency) if peer.ok else peer.why)

    # -- C
    def phase_c(self):
        r = self.report
        n = 200 if self.quick else 1000
        print("\n== C. %d stations at once" % n)
        caps = ["%s=%d" % (k, 4 * n) for k in self.count_keys if k]
        r.figure("cnf.INI: %s, standing for %d distinct station addresses (every probe peer "
                 "shares 127.0.0.1)" % (", ".join(caps), n))
        office = self.host("office", "office-c", caps)
        try:
            base = self.warm_up(office, "office")
            overflows = listen_overflows()
            net = Net()
            start = now()
            peers = [RealHandshake(net, office.port, "office", None,
                                   name=b"AZS-%04d" % i, bound=60.0, keep_open=True)
                     for i in range(n)]
            connected = lambda: all(p.t_connected is not None or not p.open for p in peers)
            net.run_until(connected, 20.0)
            t_connected = now() - start
            peak = {}
            net.run_until(lambda: all(p.ok is not None for p in peers), 30.0,
                          lambda: self.sample([office], peak))
            # The accepted ones now wait in the command phase, which has no
            # time limit: keepalive is what finds a peer that is gone.
            net.run_until(lambda: False, 0.3)
            established, keeping = keepalive_share(office.port)
            net.close_all()
            took = now() - start
            greeted = [p for p in peers if p.t_first_line is not None]
            accepted = [p for p in peers if p.ok]
            lat = [p.latency for p in accepted]
            r.figure("all connected after %s; greeted %d, accepted %d of %d in %.1f s"
                     % (ms(t_connected), len(greeted), len(accepted), n, took))
            if lat:
                r.figure("handshake p50 %s, p99 %s, max %s" % (ms(percentile(lat, 50)),
                                                             ms(percentile(lat, 99)), ms(max(lat))))
            r.figure("ListenOverflows +%d (the whole machine)" % (listen_overflows() - overflows))
            r.figure("threads %d -> peak %d, RSS %s -> peak %s" % (
                base["Threads"], peak.get("office-c", {}).get("Threads", 0),
                mb(base["VmRSS"]), mb(peak.get("office-c", {}).get("VmRSS", 0))))
            why = sorted({p.why for p in peers if not p.ok and p.why})
            r.check("C: every station greeted", len(greeted) == n, "%d of %d" % (len(greeted), n))
            r.check("C: every station accepted", len(accepted) == n,
                    "%d of %d%s" % (len(accepted), n, (", " + "; ".join(why[:3])) if why else ""))
            r.figure("accepted connections running the keepalive timer: %d of %d"
                     % (keeping, established))
            r.check("C: accepted connections keep alive (SO_KEEPALIVE)",
                    established > 0 and keeping >= 0.95 * established,
                    "%d of %d" % (keeping, established))
            self.check_back(office, base, "C")
        finally:
            self.stop_hosts([office])

    # -- R
    def phase_r(self):
        r = self.report
        n = 60 if self.quick else 300
        bound = 20.0 if self.quick else 60.0
        print("\n== R. the office registry: %d stations with distinct 16 KB names, each asking "
              "TRY_GET_ZAPROS" % n)
        office = self.host("office", "office-r")
        try:
            base = self.warm_up(office, "office")
            written = office.written() - office.own_output()
            peak = {}
            start = now()
            done = 0
            answers = {}
            while done < n and now() - start < bound:
                name = (b"R%05d-" % done) + b"x" * (LONG_NAME_BYTES - 7)
                ok, answer = registry_step(office.port, name)
                answers[answer] = answers.get(answer, 0) + 1
                if not ok:
                    break
                done += 1
                self.sample([office], peak)
            took = now() - start
            settle(office, base["Threads"] + 1, bound=10.0)
            self.sample([office], peak)
            log_bytes = office.written() - office.own_output() - written
            hwm = office.status().get("VmHWM", 0)
            r.figure("connections through the lookup: %d of %d in %.1f s; answers %s"
                     % (done, n, took, answers))
            r.figure("log bytes written: %d (%.1f MB, %d per connection), measured as the "
                     "process's writes less its own output" %
                     (log_bytes, log_bytes / 1e6, log_bytes // max(done, 1)))
            r.figure("RSS %s -> peak %s (VmHWM), threads peak %d"
                     % (mb(base["VmRSS"]), mb(hwm), peak.get("office-r", {}).get("Threads", 0)))
            r.check("R: every connection served within %.0f s" % bound, done == n,
                    "%d of %d" % (done, n))
            r.check("R: log bytes per lookup do not grow with the registry",
                    log_bytes <= done * 64 * 1024, "%d bytes per connection" % (log_bytes // max(done, 1)))
            r.check("R: peak RSS within 64 MB of the start", hwm - base["VmRSS"] <= 64 * 1024,
                    "+%s" % mb(hwm - base["VmRSS"]))
        finally:
            self.stop_hosts([office])

    # -- L
    def phase_l(self):
        r = self.report
        n = 40 if self.quick else 300
        print("\n== L. a log that cannot be written: %d connections to each end, each with "
              "its handshake and a command" % n)
        faults = [("folder", "its path a folder")]
        if os.path.exists("/dev/full"):
            faults.append(("full", "the disk full (/dev/full)"))
        for fault, what in faults:
            for mode in ("station", "office"):
                label = "%s-log-%s" % (mode, fault)
                h = Host(self.args.host, mode, label, self.base)
                h.log_checked = False
                self.hosts.append(h)
                os.makedirs(h.log_dir())
                if fault == "folder":
                    os.makedirs(h.log_path())
                else:
                    os.symlink("/dev/full", h.log_path())
                try:
                    h.start()
                    self.log_fault_run(h, mode, what, n)
                finally:
                    self.stop_hosts([h])
                told = [l for l in h.error_lines() if WRITE_FAILED_TOLD in l]
                r.figure("%s: told on standard error %d times%s" %
                         (label, len(told), (": " + told[0][:140]) if told else ""))
                r.check("L: %s tells the host once" % label, len(told) == 1,
                        "%d lines" % len(told))

    def log_fault_run(self, host, mode, what, n):
        r = self.report
        settle(host)
        base = host.status()
        served, latencies, why = 0, [], {}
        start = now()
        for i in range(n):
            t0 = now()
            if mode == "office":
                ok, answer = registry_step(host.port, b"L%05d" % i)
                ok = ok and answer == "No_zapros"
            else:
                ok, answer = station_step(host.port)
            if ok:
                served += 1
                latencies.append(now() - t0)
            else:
                why[answer] = why.get(answer, 0) + 1
        took = now() - start
        settle(host, base.get("Threads", 0) + 1)
        r.figure("%s (%s): %d of %d served in %.1f s%s%s" % (
            host.label, what, served, n, took,
            (", p50 %s, p99 %s, max %s" % (ms(percentile(latencies, 50)),
                                           ms(percentile(latencies, 99)), ms(max(latencies))))
            if latencies else "", (", failed: %s" % why) if why else ""))
        r.check("L: %s serves every connection" % host.label, served == n,
                "%d of %d" % (served, n))
        r.check("L: %s threads back to their start" % host.label,
                host.status().get("Threads", 1 << 30) <= base.get("Threads", 0) + 2,
                "%d, started at %d" % (host.status().get("Threads", 0), base.get("Threads", 0)))

    # -- M
    def lockout(self, groups, per_address, seconds):
        """For each group (targets, addresses, make): hostile peers from its
        addresses, per_address each at every target, each made again a
        second after the listener closes it; meanwhile a real handshake from
        an address of its own starts every 200 ms, in turn at each target of
        every group. Returns per group its real ones by target, its hostile
        ones open at the end and those the listeners closed meanwhile."""
        net = Net()
        hostile = [[] for _ in groups]
        closed = [0] * len(groups)

        def hold(g, host, source):
            p = groups[g][2](net, host, source)
            hostile[g].append(p)
            old = p.on_closed

            def again():
                old()
                if p.closed_by == "listener":
                    closed[g] += 1
                    net.later(1.0, lambda: hold(g, host, source))
            p.on_closed = again

        for g, (targets, addresses, _) in enumerate(groups):
            for host in targets:
                for source in addresses:
                    for _ in range(per_address):
                        hold(g, host, source)
        # The hostile ones settle in first.
        net.run_until(lambda: False, 1.5 if self.quick else 3.0)
        closed_before = list(closed)
        targets = [h for group in groups for h in group[0]]
        reals = {h: [] for h in targets}
        start = now()
        i = 0
        while now() - start < seconds:
            h = targets[i % len(targets)]
            i += 1
            reals[h].append(RealHandshake(net, h.port, h.listener_kind, h.password,
                                          bound=REAL_BOUND * 2.5, source="127.0.0.200"))
            net.run_until(lambda: False, 0.2)
        net.run_until(lambda: all(p.ok is not None for ps in reals.values() for p in ps), 6.0)
        results = [({h: reals[h] for h in group[0]}, sum(1 for p in hostile[g] if p.open),
                    closed[g] - closed_before[g]) for g, group in enumerate(groups)]
        net.close_all()
        return results

    def report_lockout(self, name, reals, held, closed, seconds):
        r = self.report
        r.figure("%s: hostile connections open at the end %d, closed by the listeners during "
                 "the %.0f s of real handshakes %d" % (name, held, seconds, closed))
        for h, peers in reals.items():
            ok = [p for p in peers if p.ok]
            lat = [p.latency for p in ok]
            why = sorted({p.why for p in peers if not p.ok and p.why})
            r.figure("%s: %s served %d of %d real handshakes%s%s" % (
                name, h.label, len(ok), len(peers),
                (", p50 %s, p99 %s" % (ms(percentile(lat, 50)), ms(percentile(lat, 99))))
                if lat else "", (" (" + "; ".join(why[:3]) + ")") if why else ""))
            r.check("M: %s: %s serves at least 95%% of real handshakes" % (name, h.label),
                    peers and len(ok) >= 0.95 * len(peers), "%d of %d" % (len(ok), len(peers)))

    def phase_m(self):
        seconds = 4.0 if self.quick else 15.0
        per = self.args.per_ip_cap
        print("\n== M. a few addresses fill MaxConnections")
        office = self.host("office", "office-l")
        station = self.host("station", "station-l")
        office_pw = self.host("office", "office-l-pw", password=PASSWORD)
        try:
            for h, kind, pw in ((office, "office", None), (station, "station", None),
                                (office_pw, "office", PASSWORD)):
                h.listener_kind, h.password = kind, pw
                self.warm_up(h, kind, pw)

            # Past the handshake: each holds its place in the command phase.
            def past(net, host, source):
                return RealHandshake(net, host.port, host.listener_kind, None, name=b"HOLD",
                                     bound=3600.0, keep_open=True, source=source)

            # Before it: silent until the handshake deadline (5 s here) cuts them.
            def silent(net, host, source):
                return Peer(net, host.port, "silent", hold=3600.0, source=source)

            groups = [("past the handshake", [office, station],
                       ["127.0.0.%d" % (10 + k) for k in range(4)], past),
                      ("in the handshake", [office_pw],
                       ["127.0.0.%d" % (20 + k) for k in range(5)], silent)]
            # --quick runs both at once, the full run one after the other.
            batches = [groups] if self.quick else [[g] for g in groups]
            for batch in batches:
                for name, targets, addresses, _ in batch:
                    print("%d addresses x %d %s at %s" % (len(addresses), per, name,
                                                          " and ".join(h.label for h in targets)))
                results = self.lockout([g[1:] for g in batch], per, seconds)
                for (name, _, _, _), (reals, held, closed) in zip(batch, results):
                    self.report_lockout(name, reals, held, closed, seconds)
        finally:
            self.stop_hosts([office, station, office_pw])
        # Once stopped, every burst of closes has its count line.
        for h in (office, station, office_pw):
            self.report_room_lines(h)

    def report_room_lines(self, host):
        """The log lines of the connections the listener closed to make room:
        a first line per burst, and the burst's count at its end."""
        r = self.report
        firsts, ends, counted = 0, 0, 0
        for path in host.log_files():
            if not os.path.basename(path).startswith("Pumpwire.log"):
                continue
            with open(path, "rb") as f:
                for line in f.read().splitlines():
                    if ROOM_MADE_COUNT in line:
                        ends += 1
                        counted += int(line.split(ROOM_MADE_COUNT, 1)[1].strip() or 0)
                    elif ROOM_MADE in line:
                        firsts += 1
        r.figure("%s: log lines for connections closed to make room: %d (%d bursts), %d closes "
                 "counted in them" % (host.label, firsts + ends, firsts, counted))
        r.check("M: %s logs its closes for room once per burst" % host.label,
                counted > 0 and firsts == ends and firsts + ends <= max(2, counted // 2),
                "%d lines for %d closes" % (firsts + ends, counted))

    # -- K
    def phase_k(self):
        r = self.report
        n = 400 if self.quick else 2000
        cap, conc = 64, 48
        print("\n== K. %d handshakes with 16 KB names, %d at a time from one address, cap %d"
              % (n, conc, cap))
        office = self.host("office", "office-k", ["MaxConnectionsPerIP=%d" % cap])
        try:
            self.warm_up(office, "office")
            net = Net()
            peers = []
            live = set()
            start = now()
            while (len(peers) < n or live) and now() - start < 120.0:
                live = {p for p in live if p.ok is None}
                while len(peers) < n and len(live) < conc:
                    name = (b"K%05d-" % len(peers)) + b"k" * (LONG_NAME_BYTES - 7)
                    p = RealHandshake(net, office.port, "office", None, name=name, bound=30.0)
                    peers.append(p)
                    live.add(p)
                net.poll()
            net.close_all()
            took = now() - start
            ok = [p for p in peers if p.ok]
            refused = [p for p in peers if not p.ok and p.t_first_line is None
                       and p.closed_by == "listener"]
            r.figure("%d of %d served in %.1f s; %d refused at the per-address cap (%.1f%%)"
                     % (len(ok), len(peers), took, len(refused), 100.0 * len(refused) / max(len(peers), 1)))
            r.check("K: none refused while under the per-address cap", not refused,
                    "%d of %d" % (len(refused), len(peers)))
        finally:
            self.stop_hosts([office])

    # -- T
    def phase_t(self):
        r = self.report
        # Small read limits, so the whole-exchange bound (the connect's
        # limit and six reads) comes within the run.
        read_ms, connect_ms = (400, 400) if self.quick else (1000, 1000)
        bound = (connect_ms + 6 * read_ms) / 1000.0
        every = read_ms / 4000.0  # a byte well within every read limit
        commands = [("text", TEXT_MENU)]
        if not self.quick:
            commands += [("own address", OWN_ADDRESS_MENU), ("screenshot", SCREENSHOT_MENU)]
        print("\n== T. a trickling station holds the office's menu commands (a byte every %.2f s, "
              "ReadTimeOut %d ms, ConnectTimeOut %d ms: bound %.1f s)"
              % (every, read_ms, connect_ms, bound))
        station = TricklingStation(every)
        slow = None
        self.connection_library_for("office-t")
        office = self.host("office", "office-t", ["ReadTimeOut=%d" % read_ms,
                                                  "ConnectTimeOut=%d" % connect_ms,
                                                  "OutPort=%d" % station.port])
        stopping = None
        try:
            self.warm_up(office, "office")
            office.command("station PROBE-T 127.0.0.1")
            for what, menu in commands:
                mark = LogMark(office)
                if what == "text":
                    office.command("message probe")
                office.command("click " + menu)
                held = station.next_connection(10.0)
                if held is None:
                    r.check("T: %s: the office connects to the station" % what, False,
                            "no connection within 10 s (a network interface other than loopback, "
                            "or Dialgate.so in the host's root, is needed)")
                    continue
                # Stations meanwhile: a handshake and a command at the office's listener.
                steps = []
                while held["closed"] is None and now() - held["at"] < bound + 10.0:
                    t0 = now()
                    ok, answer = registry_step(office.port, REAL_NAME, bound=REAL_BOUND * 2.5)
                    steps.append((ok and answer == "No_zapros", now() - t0, answer))
                    time.sleep(max(0.0, 0.25 - (now() - t0)))
                cut = held["closed"] - held["at"] if held["closed"] is not None else None
                told = sum(1 for line in mark.new_lines() if EXCHANGE_CUT in line)
                served = [s for s in steps if s[0]]
                lat = [s[1] for s in served]
                r.figure("%s: held %s (%d bytes trickled); stations meanwhile: %d of %d served, "
                         "p50 %s, max %s; the log's cut line %d times"
                         % (what, "%.1f s" % cut if cut is not None else "past %.0f s" % (bound + 10),
                            held["sent"], len(served), len(steps), ms(percentile(lat, 50)),
                            ms(max(lat) if lat else float("nan")), told))
                r.check("T: %s: cut at the bound (%.1f s, at most 3 s late)" % (what, bound),
                        cut is not None and cut <= bound + 3.0,
                        "after %.1f s" % cut if cut is not None else "not cut")
                r.check("T: %s: the log says the exchange was cut" % what, told == 1,
                        "%d lines" % told)
                r.check("T: %s: stations served while it is held" % what,
                        steps and len(served) == len(steps) and max(lat) <= REAL_BOUND,
                        "%d of %d, max %s%s" % (len(served), len(steps),
                                               ms(max(lat) if lat else float("nan")),
                                               "; " + steps[0][2] if len(served) < len(steps) else ""))
                answered = office.answer("version", "version: ", 5.0)
                r.check("T: %s: the host answers its next command after the cut" % what,
                        answered is not None, ms(answered) if answered is not None else "no answer")
            # With the defaults (ReadTimeOut and ConnectTimeOut 10 s: a bound
            # of 70 s) and a byte every 8 s, as the station of the report: a
            # stop of the program ends the command at once.
            stopping = TricklingStation(8.0)
            self.connection_library_for("office-t-stop")
            slow = self.host("office", "office-t-stop", ["OutPort=%d" % stopping.port])
            self.warm_up(slow, "office")
            mark = LogMark(slow)
            slow.command("station PROBE-T 127.0.0.1")
            slow.command("message probe")
            slow.command("click " + TEXT_MENU)
            held = stopping.next_connection(10.0)
            if held is None:
                r.check("T: the default office connects to the station", False, "no connection")
                return
            time.sleep(1.0)
            # quit waits for the command under way (it comes through the
            # host's own queue); SIGTERM cuts it.
            slow.proc.stdin.write(b"quit\n")
            slow.proc.stdin.flush()
            t_quit = now()
            try:
                slow.proc.wait(timeout=2.0)
                quit_took = now() - t_quit
            except subprocess.TimeoutExpired:
                quit_took = None
            term_took = None
            if quit_took is None:
                t_term = now()
                os.kill(slow.proc.pid, signal.SIGTERM)
                try:
                    slow.proc.wait(timeout=10.0)
                    term_took = now() - t_term
                except subprocess.TimeoutExpired:
                    pass
            told = sum(1 for line in mark.new_lines() if EXCHANGE_CUT in line)
            r.figure("defaults (bound 70 s), a byte every 8 s: quit %s%s; the log's cut line %d times"
                     % ("ended the host after %.1f s" % quit_took if quit_took is not None
                        else "waited (the command under way holds the host's queue)",
                        "" if quit_took is not None else
                        ", SIGTERM then ended it after %s" % ("%.1f s" % term_took if term_took
                                                                 is not None else "more than 10 s"),
                        told))
            r.check("T: a stop ends the host within 3 s while a station holds its command",
                    (quit_took is not None) or (term_took is not None and term_took <= 3.0),
                    "quit %s, SIGTERM %s" % ("%.1f s" % quit_took if quit_took is not None else "waits",
                                             "%.1f s" % term_took if term_took is not None else "-"))
            r.check("T: the log says the stopped exchange was cut", told == 1, "%d lines" % told)
            r.check("T: the stopped host exits with status 0", slow.proc.returncode == 0,
                    "%s" % slow.proc.returncode)
        finally:
            station.close()
            if stopping is not None:
                stopping.close()
            if slow is not None:
                slow.stop(hurry=True)  # already ended by its stop, unless that failed
            self.stop_hosts([office])

    # -- Z
    def phase_z(self):
        r = self.report
        others = 6
        rounds = 1 if self.quick else 5
        size = 4000
        print("\n== Z. a station stops acknowledging its request; %d others ask for theirs "
              "(%d round%s)" % (others, rounds, "" if rounds == 1 else "s"))
        office = self.host("office", "office-z")
        stuck = None
        try:
            self.warm_up(office, "office")
            requests = os.path.join(office.root, "host", "requests")
            os.makedirs(requests, exist_ok=True)
            names = [b"PROBE-STUCK"] + [b"PROBE-Z%d" % k for k in range(1, others + 1)]
            bodies = {}
            for k, name in enumerate(names):
                bodies[name] = bytes((k * 7 + i) % 251 for i in range(size))
                with open(os.path.join(requests, name.decode()), "wb") as f:
                    f.write(bodies[name])
            # It reads the size line, then answers nothing more: the office
            # has sent the body's first packet and waits for its acknowledgement.
            stuck = LineConnection(office.port, "127.0.0.40", 10.0)
            try:
                stuck.handshake(names[0])
                stuck.send(b"TRY_GET_ZAPROS\r\n")
                offered = stuck.line() == b"OK" and int(stuck.line()) == size
            except (OSError, ValueError, EOFError) as e:
                offered = False
                r.figure("the stuck station: %s" % e)
            r.check("Z: the stuck station is offered its request", offered)
            results = []
            start = now()
            for _ in range(rounds):
                threads = []
                for k in range(1, others + 1):
                    def fetch(name=names[k], source="127.0.0.%d" % (40 + k)):
                        results.append(fetch_request(office.port, name, source, bodies[name], 15.0))
                    threads.append(threading.Thread(target=fetch))
                for t in threads:
                    t.start()
                for t in threads:
                    t.join()
            took = now() - start
            ok = [x for x in results if x[0]]
            lat = [x[2] for x in ok]
            why = sorted({x[1] for x in results if not x[0]})
            r.figure("requests served to the others while one station is stuck: %d of %d in %.1f s, "
                     "p50 %s, max %s%s" % (len(ok), len(results), took, ms(percentile(lat, 50)),
                                           ms(max(lat) if lat else float("nan")),
                                           (" (" + "; ".join(why[:3]) + ")") if why else ""))
            r.check("Z: every other station gets its whole request", len(ok) == others * rounds,
                    "%d of %d" % (len(ok), others * rounds))
            r.check("Z: none waits on the stuck station (each within 5 s)",
                    bool(lat) and max(lat) <= 5.0, "max %s" % ms(max(lat) if lat else float("nan")))
        finally:
            if stuck is not None:
                stuck.close()
            self.stop_hosts([office])

    # -- G
    def phase_g(self):
        r = self.report
        # Within the fresh addresses' burst (200): past 100 new addresses a
        # second those wait their turns too, right passwords among them.
        n = 100 if self.quick else 200
        seconds = 3.0 if self.quick else 15.0
        conc = 32
        addresses = ["127.0.%d.%d" % (1 + i // 250, 1 + i % 250) for i in range(n)]
        print("\n== G. %d addresses in turn guessing passwords, %d at once, for %.0f s"
              % (n, conc, seconds))
        office = self.host("office", "office-g", password=PASSWORD)
        try:
            self.warm_up(office, "office", PASSWORD)
            mark = LogMark(office)
            net = Net()
            peers = []
            reals = []
            start = now()

            def refill():
                live = sum(1 for p in peers[-2 * conc:] if p.open)
                while live < conc and now() - start < seconds:
                    i = len(peers)
                    # A guess waiting its turn is given up at the end.
                    peers.append(Peer(net, office.port, "guess",
                                      [(0, b"GUESS\r\nguess%d\r\n" % i)],
                                      hold=seconds + 0.5 - (now() - start), source=addresses[i % n]))
                    live += 1
                # The right password from an address that never guessed:
                # twice a second while the guesses go on.
                if now() - start < seconds and len(reals) < 2 * (now() - start):
                    reals.append(RealHandshake(net, office.port, "office", PASSWORD,
                                               bound=REAL_BOUND * 2.5,
                                               source="127.0.200.%d" % (1 + len(reals) % 250)))

            over = lambda: now() - start >= seconds and not any(p.open for p in peers) and \
                all(p.ok is not None for p in reals)
            net.run_until(over, seconds + 8.0, refill)
            net.close_all()
            after = one_real_handshake(office.port, "office", PASSWORD)
            took = now() - start
            let_in = [p for p in peers if len(lines_of(p.rx)) > 1 and lines_of(p.rx)[1] == b"OK"]
            judged = {}
            for line in mark.new_lines():
                if WRONG_PASSWORD_LOGGED in line:
                    address = line.split(b"IP: ", 1)[-1].split(b" ", 1)[0]
                    judged[address] = judged.get(address, 0) + 1
            first = len(judged)
            again = sum(judged.values()) - first
            ok = [p for p in reals if p.ok]
            lat = [p.latency for p in ok]
            r.figure("guesses made %d from %d addresses in %.1f s (%.0f a second); judged wrong "
                     "(log lines) %d: %d addresses' first, %d from addresses with one on record "
                     "(%.1f a second)" % (len(peers), min(n, len(peers)), took, len(peers) / took,
                                          first + again, first, again, again / took))
            r.figure("the right password from fresh addresses meanwhile: %d of %d served, p50 %s, "
                     "max %s; right after: %s"
                     % (len(ok), len(reals), ms(percentile(lat, 50)),
                        ms(max(lat) if lat else float("nan")),
                        ms(after.latency) if after.ok else "refused (%s)" % after.why))
            r.check("G: no wrong password let in", not let_in, "%d" % len(let_in))
            r.check("G: addresses with a wrong password on record are judged at most %d a second "
                    "in all" % GLOBAL_GUESSES_PER_SECOND,
                    again <= GLOBAL_GUESSES_PER_SECOND * took + 2, "%.1f a second" % (again / took))
            r.check("G: the right password from a fresh address is served at once (within %s)"
                    % ms(FRESH_RIGHT_BOUND),
                    bool(reals) and len(ok) == len(reals) and max(lat) <= FRESH_RIGHT_BOUND
                    and after.ok and after.latency <= FRESH_RIGHT_BOUND,
                    "%d of %d, max %s" % (len(ok), len(reals), ms(max(lat) if lat else float("nan"))))
        finally:
            self.stop_hosts([office])

    # -- D
    def check_back(self, host, base, phase):
        r = self.report
        threads_ok = lambda s: s.get("Threads", 1 << 30) <= base["Threads"] + 2
        # What the allocator keeps of a thousand threads' arenas is not a
        # leak; what grows with the connections served is.
        rss_ok = lambda s: s.get("VmRSS", 1 << 30) <= base["VmRSS"] + RSS_ALLOWANCE_KB
        start = now()
        s = host.status()
        while not (threads_ok(s) and rss_ok(s)) and now() - start < 20.0:
            time.sleep(0.25)
            s = host.status()
        r.figure("%s: threads %d -> %d, RSS %s -> %s (after %.1f s)"
                 % (host.label, base["Threads"], s.get("Threads", 0), mb(base["VmRSS"]),
                    mb(s.get("VmRSS", 0)), now() - start))
        r.check("%s: %s threads back to their start" % (phase, host.label), threads_ok(s),
                "%d, started at %d" % (s.get("Threads", 0), base["Threads"]))
        r.check("%s: %s RSS back near its start (within %s)" % (phase, host.label,
                                                                mb(RSS_ALLOWANCE_KB)), rss_ok(s),
                "%s, started at %s" % (mb(s.get("VmRSS", 0)), mb(base["VmRSS"])))

    def check_logs(self):
        r = self.report
        print("\n== D. the logs")
        for h in self.hosts:
            if not h.log_checked:
                continue
            files = h.log_files()
            if not files:
                r.check("D: %s has a log" % h.label, False)
                continue
            forged = 0
            kept = False
            sizes = []
            for path in files:
                with open(path, "rb") as f:
                    data = f.read()
                sizes.append("%s %d" % (os.path.basename(path), len(data)))
                # Lines as a reader that takes CR, LF and CR LF as line ends
                # sees them; the message history's entries end in CR LF, and
                # a lone CR in one is the message's own line break (kept as
                # the sender's history keeps it).
                history = os.path.basename(path) == "MessageHistory.log"
                for line in (data.split(b"\r\n") if history else data.splitlines()):
                    if line.startswith(FORGED_DAY):
                        forged += 1
                    if not kept and h.first_line is not None and line == h.first_line:
                        kept = True
            r.figure("%s: %s" % (h.label, ", ".join(sizes)))
            r.check("D: %s log still holds its first line" % h.label, kept,
                    "" if kept else (h.first_line or b"")[:80].decode("cp1251", "replace"))
            r.check("D: %s log has no forged line" % h.label, forged == 0,
                    "%d lines start with %s" % (forged, FORGED_DAY.decode()) if forged else "")

    # -- all
    def run(self):
        phases = self.args.phases.upper()
        print("pumpwire-host: %s%s" % (self.args.host, " (quick)" if self.quick else ""))
        print("run folder: %s" % self.base)
        if "A" in phases or "B" in phases or "P" in phases:
            office = self.host("office", "office")
            office_pw = self.host("office", "office-pw", password=PASSWORD)
            station = self.host("station", "station")
            bases = {office: self.warm_up(office, "office"),
                     office_pw: self.warm_up(office_pw, "office", PASSWORD),
                     station: self.warm_up(station, "station")}
            for h, s in bases.items():
                print("%s: port %d, threads %d, RSS %s" % (h.label, h.port, s["Threads"], mb(s["VmRSS"])))
            backlog, most = listen_backlog(office.port), system_backlog()
            if backlog is not None and most is not None:
                print("office listen backlog: %d (somaxconn %d)" % (backlog, most))
                self.report.check("listen backlog at the system's maximum", backlog >= most,
                                  "%d of %d" % (backlog, most))
            if "A" in phases:
                self.timed("A", self.phase_a, office, office_pw, station, bases)
            if "B" in phases:
                self.timed("B", self.phase_b, office)
            if "P" in phases:
                self.timed("P", self.phase_p, office_pw)
            print("\n== D. threads and RSS once the hostile connections are gone")
            for h, s in bases.items():
                self.check_back(h, s, "D")
            self.stop_hosts(list(bases))
        for letter, phase in (("C", self.phase_c), ("R", self.phase_r), ("L", self.phase_l),
                              ("M", self.phase_m), ("K", self.phase_k), ("T", self.phase_t),
                              ("Z", self.phase_z), ("G", self.phase_g)):
            if letter in phases:
                self.timed(letter, phase)
        self.check_logs()

    def timed(self, letter, phase, *args):
        t0 = now()
        phase(*args)
        print("  (%s took %.1f s)" % (letter, now() - t0), flush=True)


def scripted(port, script, bound=10.0):
    """One connection to the listener on port, played by script: called with
    the lines received so far (first with none, then whenever more came), it
    answers the bytes to send (or None) and the result to end with (or
    None). A close by the listener ends it with (False, "closed
    unanswered") before any byte came, (False, "closed") after."""
    sock = socket.create_connection((LOOPBACK, port), timeout=bound)
    try:
        sock.settimeout(bound)
        data = b""
        end = now() + bound
        while now() < end:
            send, result = script(lines_of(data))
            if send:
                sock.sendall(send)
            if result is not None:
                return result
            chunk = sock.recv(65536)
            if not chunk:
                return False, "closed" if data else "closed unanswered"
            data += chunk
        return False, "no answer"
    except OSError as e:
        return False, str(e)
    finally:
        sock.close()


def registry_step(port, name, bound=10.0):
    """Handshake with name, TRY_GET_ZAPROS, its answer line, close."""
    sent = []

    def script(got):
        if not sent:
            sent.append("name")
            return name + b"\r\nNOPASS\r\n", None
        if len(got) >= 2 and len(sent) == 1:
            if got[1] != b"OK":
                return None, (False, "handshake " + got[1][:20].decode("latin-1"))
            sent.append("command")
            return b"TRY_GET_ZAPROS\r\n", None
        if len(got) >= 3:
            return None, (True, got[2][:20].decode("latin-1"))
        return None, None

    ok, why = scripted(port, script, bound)
    if not ok and why.startswith("closed") and len(sent) == 2:
        why = "closed after the command"
    return ok, why


def station_step(port, bound=10.0):
    """Handshake at a station (greeting, its name, the password line, OK),
    then SEND_TEXT with a one-line text, close."""
    sent = []

    def script(got):
        if len(got) >= 2 and not sent:
            sent.append("password")
            return b"NOPASS\r\n", None
        if len(got) >= 3:
            if got[2] != b"OK":
                return None, (False, "handshake " + got[2][:20].decode("latin-1"))
            return b"SEND_TEXT\r\nprobe\r\n", (True, "OK")
        return None, None

    return scripted(port, script, bound)


class LineConnection:
    """A blocking connection to a listener that reads lines and exact byte
    counts, every read within what is left of its bound."""

    def __init__(self, port, source=None, bound=10.0):
        self.end = now() + bound
        self.buf = b""
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            if source:
                self.sock.bind((source, 0))
            self.sock.settimeout(bound)
            self.sock.connect((LOOPBACK, port))
        except OSError:
            self.sock.close()
            raise

    def _more(self):
        left = self.end - now()
        if left <= 0:
            raise socket.timeout("no answer in time")
        self.sock.settimeout(left)
        chunk = self.sock.recv(65536)
        if not chunk:
            raise EOFError("closed by the listener")
        self.buf += chunk

    def line(self):
        while b"\n" not in self.buf:
            self._more()
        line, _, self.buf = self.buf.partition(b"\n")
        return line[:-1] if line.endswith(b"\r") else line

    def exact(self, n):
        while len(self.buf) < n:
            self._more()
        data, self.buf = self.buf[:n], self.buf[n:]
        return data

    def send(self, data):
        self.sock.sendall(data)

    def handshake(self, name, password=b"NOPASS"):
        """The office's greeting, the name and password lines, its "OK";
        returns the greeting."""
        greeting = self.line()
        if greeting not in (b"OK", b"OKF"):
            raise EOFError("greeting %r" % greeting[:20])
        self.send(name + b"\r\n" + password + b"\r\n")
        answer = self.line()
        if answer != b"OK":
            raise EOFError("handshake answered %r" % answer[:20])
        return greeting

    def close(self):
        self.sock.close()


def fetch_request(port, name, source, expected, bound, packet=128):
    """A station's TRY_GET_ZAPROS with acknowledgements: "OK", the size and
    name lines, then packets of `packet` bytes (the office's InetBuffSize),
    each acknowledged with its step number, the last one short (or empty).
    Returns (whole, why, seconds to the last acknowledgement)."""
    t0 = now()
    c = None
    try:
        c = LineConnection(port, source, bound)
        if c.handshake(name) != b"OK":
            return False, "fast transfer on", now() - t0
        c.send(b"TRY_GET_ZAPROS\r\n")
        answer = c.line()
        if answer != b"OK":
            return False, "answered %r" % answer[:20], now() - t0
        size = int(c.line())
        c.line()  # the request's name
        body = bytearray()
        step = 1
        while True:
            piece = min(packet, size - len(body))
            body += c.exact(piece)
            c.send(struct.pack(">i", step))
            step += 1
            if piece < packet:
                break
        whole = bytes(body) == expected
        return whole, "" if whole else "not the request's bytes", now() - t0
    except (OSError, EOFError, ValueError) as e:
        return False, str(e) or type(e).__name__, now() - t0
    finally:
        if c is not None:
            c.close()


class TricklingStation:
    """A "station" listening on 127.0.0.1 that answers every connection one
    byte at a time, a byte every `every` seconds, never a whole line, until
    the office closes the connection."""

    def __init__(self, every):
        self.every = every
        self.connections = []  # {"at", "closed", "sent"} per connection, in order
        self.seen = 0
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.bind((LOOPBACK, 0))
        self.sock.listen(16)
        self.sock.settimeout(0.05)
        self.port = self.sock.getsockname()[1]
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        live = []
        while not self.stopping.is_set():
            try:
                c, _ = self.sock.accept()
                c.setblocking(False)
                rec = {"at": now(), "closed": None, "sent": 0, "next": now()}
                live.append((c, rec))
                self.connections.append(rec)
            except OSError:  # no connection within the tick
                pass
            for c, rec in list(live):
                gone = False
                try:
                    gone = not c.recv(4096)  # the office sends nothing before a greeting
                except BlockingIOError:
                    pass
                except OSError:
                    gone = True
                if not gone and now() >= rec["next"]:
                    try:
                        c.send(b"x")
                        rec["sent"] += 1
                        rec["next"] += self.every
                    except BlockingIOError:
                        pass
                    except OSError:
                        gone = True
                if gone:
                    rec["closed"] = now()
                    c.close()
                    live.remove((c, rec))
        for c, _ in live:
            c.close()
        self.sock.close()

    def next_connection(self, bound):
        """The record of the next connection not yet taken; None when none
        comes within bound."""
        end = now() + bound
        while now() < end:
            if len(self.connections) > self.seen:
                self.seen += 1
                return self.connections[self.seen - 1]
            time.sleep(0.02)
        return None

    def close(self):
        self.stopping.set()
        self.thread.join(timeout=5.0)


def settle(host, threads=None, bound=3.0):
    """Waits until the thread count is at most threads (or steady)."""
    end = now() + bound
    last = host.status().get("Threads", 0)
    while now() < end:
        time.sleep(0.2)
        t = host.status().get("Threads", 0)
        if threads is not None and t <= threads:
            return
        if threads is None and t == last:
            return
        last = t


def listen_backlog(port):
    """The listen backlog of the socket on port, as ss tells it (Send-Q of a
    listening socket); None without ss."""
    if not shutil.which("ss"):
        return None
    try:
        out = subprocess.run(["ss", "-Hlnt", "sport = :%d" % port], capture_output=True,
                             text=True, timeout=5).stdout
    except (OSError, subprocess.SubprocessError):
        return None
    sizes = [int(line.split()[2]) for line in out.splitlines() if len(line.split()) > 2]
    return max(sizes) if sizes else None


def system_backlog():
    try:
        with open("/proc/sys/net/core/somaxconn") as f:
            return int(f.read())
    except (OSError, ValueError):
        return None


def keepalive_share(port):
    """Of the established connections the listener on port has accepted:
    how many there are, and how many run the keepalive timer (timer 2 in
    /proc/net/tcp)."""
    total = keeping = 0
    try:
        with open("/proc/net/tcp") as f:
            next(f)
            for line in f:
                fields = line.split()
                local_port = int(fields[1].split(":")[1], 16)
                if local_port == port and fields[3] == "01":
                    total += 1
                    if fields[5].split(":")[0] == "02":
                        keeping += 1
    except (OSError, ValueError, IndexError, StopIteration):
        pass
    return total, keeping


def listen_overflows():
    try:
        with open("/proc/net/netstat") as f:
            rows = [line.split() for line in f if line.startswith("TcpExt:")]
        return int(rows[1][rows[0].index("ListenOverflows")])
    except (OSError, ValueError, IndexError):
        return 0


def raise_fd_limit(wanted=12000):
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft < wanted:
        target = wanted if hard == resource.RLIM_INFINITY else min(wanted, hard)
        resource.setrlimit(resource.RLIMIT_NOFILE, (target, hard))
        soft = target
    return soft


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(here, "..", "build"),
                        help="the build folder holding pumpwire-host (default: build/)")
    parser.add_argument("--host", help="pumpwire-host to run (default: BUILD/pumpwire-host)")
    parser.add_argument("--quick", action="store_true", help="smaller counts, for CI")
    parser.add_argument("--phases", default="ABPCRLMKTZG", help="which phases to run (default ABPCRLMKTZG; "
                        "the log checks always run)")
    parser.add_argument("--per-ip-cap", type=int, default=256,
                        help="the listener's connections per address (MaxConnectionsPerIP); "
                        "phase A holds fewer hostile connections per listener than this "
                        "(default 256, the key's default)")
    parser.add_argument("--concurrency", type=int, default=48,
                        help="hostile connections per listener at once in phase A (default 48, "
                        "at most the cap less 4)")
    parser.add_argument("--cap-keys", default="MaxConnections,MaxConnectionsPerIP",
                        help="the cnf.INI keys phase C raises (comma-separated)")
    parser.add_argument("--keep", action="store_true", help="keep the run folder")
    args = parser.parse_args()
    args.host = args.host or os.path.join(args.build, "pumpwire-host")
    if not os.access(args.host, os.X_OK):
        print("flood_probe: no pumpwire-host at %s (build it, or give --build/--host)" % args.host,
              file=sys.stderr)
        return 2
    limit = raise_fd_limit()
    if limit < 12000:
        print("flood_probe: warning: only %d file descriptors (12000 wanted)" % limit, file=sys.stderr)

    def on_signal(signum, _frame):
        raise KeyboardInterrupt("signal %d" % signum)

    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, on_signal)
    probe = Probe(args)
    probe.base = tempfile.mkdtemp(prefix="flood_probe.")
    started = now()
    interrupted = False
    faulted = False
    try:
        probe.run()
    except KeyboardInterrupt:
        interrupted = True
        print("\nflood_probe: interrupted", file=sys.stderr)
    except ProbeError as e:
        print("\nflood_probe: %s" % e, file=sys.stderr)
        interrupted = faulted = True
    except Exception:  # a fault of the probe itself: its hosts go all the same
        import traceback
        traceback.print_exc()
        interrupted = faulted = True
    finally:
        # A second Ctrl-C must not leave a host behind.
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        for h in probe.hosts:
            h.stop(hurry=interrupted)
        if args.keep or faulted:
            print("run folder kept: %s" % probe.base)
        else:
            shutil.rmtree(probe.base, ignore_errors=True)
    if interrupted:
        return 2
    failed = probe.report.failed
    print("\n%d checks, %d failed, %.0f s%s" % (probe.report.checks, len(failed), now() - started,
                                                ("\nFAIL: " + "; ".join(failed)) if failed else ""))
    print("FAIL" if failed else "PASS")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
