#!/usr/bin/env python3
"""The soak run's main loop, started by bench/soak.sh once zubcd.exe plays the
shuffled playlist under Wine against the simulated changer and zubweb serves.

It injects one changer fault at random times, keeps two event-stream clients
on zubweb, asks `zubremote status` every few seconds, lets remote clients
come, idle, send random bytes and go, and records:

  soak.csv         one row per sample (every few seconds)
  soak-faults.csv  one row per fault
  soak-polls.csv   every interval between two status polls
  soak-summary.md  the figures, and the first check that failed

It exits 1, naming the check and the time, as soon as a check fails; 0 when
the run ends with every check held.
"""

import argparse
import csv
import os
import random
import re
import socket
import statistics
import subprocess
import sys
import threading
import time

POLL_PERIOD_S = 1.2  # the controller's status poll period
FIRST_BYTE_TIMEOUT_S = 10.0  # the link's first-byte wait on a line not yet known silent
WEB_KEEP_ALIVE_S = 15.0  # zubweb's keep-alive on an event stream without changes
SIM_SPEED = 60  # simulated seconds per real second
SIM_DAY_S = 86400 / SIM_SPEED  # real seconds of one simulated day
MAX_REMOTE_CLIENTS = 8  # random clients at once
CLIENT_LIFE_S = 6.0  # longest a random client stays
STATUS_EVERY_S = 3.0
SAMPLE_EVERY_S = 5.0
# zubweb's keep-alive comes after 30 waits of 500 ms without a change: a
# little more than the keep-alive itself.
WEB_KEEP_ALIVE_STEP_S = 1.0
PROBE_EVERY_S = 30.0  # handles, threads and memory, counted with no random client on

FAULT_KINDS = [
    "silent",
    "garbage",
    "overlong",
    "late",
    "loader-error",
    "unplug-same-link",
    "unplug-new-link",
    "remove",
    "insert",
]


def parse_span(text):
    match = re.fullmatch(r"([0-9]+)([smh])", text)
    if not match or int(match.group(1)) == 0:
        raise argparse.ArgumentTypeError(
            f"'{text}' is not a time span (a number with s, m or h, e.g. 90s, 5m, 24h)")
    return int(match.group(1)) * {"s": 1, "m": 60, "h": 3600}[match.group(2)]


class Failure(Exception):
    pass


class SimSegment:
    """One simulator process and its frame log. Log times are seconds since
    that simulator started; offset turns them into run time (the smallest
    read time minus log time seen, so a late read never moves it)."""

    def __init__(self, log_path, pid, popen=None):
        self.log_path = log_path
        self.pid = pid
        self.popen = popen
        self.position = 0
        self.partial = ""
        self.offset = None


class Soak:
    def __init__(self, args):
        self.args = args
        self.run_dir = args.run_dir
        self.start = time.monotonic()
        self.lock = threading.Lock()
        self.stop = threading.Event()
        self.quiet = threading.Event()  # set: no new remote clients, for a clean count
        self.random = random.Random(args.seed)
        self.failure = None

        self.segments = [SimSegment(args.sim_log, args.sim_pid)]
        self.status_times = []  # run times of the status frames
        self.frames = []  # (run time, command) of every good frame
        self.track_starts = []
        self.pending_track = False
        self.magazine = self.read_magazine(args.magazine)
        self.present = set(self.magazine)
        self.longest_track_s = max(
            max(d["lengths"]) for d in self.magazine.values()) / SIM_SPEED

        self.stream_last = {}  # stream number -> run time of its last bytes
        self.stream_gap_max = 0.0
        self.stream_events = 0
        self.status_ok = 0
        self.status_failed = 0
        self.clients_total = 0
        self.clients_active = 0
        self.boxes_max = 0

        self.faults = []
        self.gaps_checked = 0  # track starts whose gap before the next is settled
        self.samples = []
        self.sim_number = 0

    # --- time and failure ---------------------------------------------------

    def now(self):
        return time.monotonic() - self.start

    def fail(self, check, detail, at=None):
        at = self.now() if at is None else at
        message = f"FAILED at {at:.1f} s ({at / SIM_DAY_S:.3f} simulated days): {check}: {detail}"
        with self.lock:
            if self.failure is None:
                self.failure = message
        self.stop.set()
        raise Failure(message)

    def log(self, text):
        print(f"[{time.strftime('%H:%M:%S')}] soak: {text}", file=sys.stderr, flush=True)

    # --- the magazine -------------------------------------------------------

    @staticmethod
    def read_magazine(path):
        discs = {}
        with open(path) as f:
            for line in f:
                words = line.split("#", 1)[0].split()
                if len(words) < 2:
                    continue
                lengths = []
                for word in words[2:]:
                    if ":" in word:
                        minutes, seconds = word.split(":")
                        lengths.append(int(minutes) * 60 + int(seconds))
                discs[int(words[0])] = {"line": " ".join(words[1:]), "lengths": lengths}
        return discs

    # --- the simulator's log ------------------------------------------------

    def read_logs(self):
        """Takes the new lines of the current simulator's log."""
        segment = self.segments[-1]
        try:
            with open(segment.log_path, "rb") as f:
                f.seek(segment.position)
                data = f.read()
        except OSError:
            return
        read_at = self.now()
        segment.position += len(data)
        text = segment.partial + data.decode("latin-1")
        lines = text.split("\n")
        segment.partial = lines.pop()
        parsed = []
        for line in lines:
            words = line.split()
            try:
                parsed.append((float(words[0]), words))
            except (ValueError, IndexError):
                continue
        if not parsed:
            return
        # The newest line of a read was written just before it.
        estimate = read_at - parsed[-1][0]
        if segment.offset is None or estimate < segment.offset:
            segment.offset = estimate
        for log_time, words in parsed:
            if len(words) < 2:
                continue
            at = log_time + segment.offset
            if words[1] == "--":
                continue  # a bad frame (garbage is the changer's, not ours)
            command = int(words[1])
            with self.lock:
                self.frames.append((at, command))
                if command == 16:
                    if self.status_times:
                        self.poll_rows.writerow([f"{at:.3f}", f"{at - self.status_times[-1]:.3f}"])
                    self.status_times.append(at)
                if command == 4:
                    self.pending_track = True
                elif command == 10 and self.pending_track:
                    self.track_starts.append(at)
                    self.pending_track = False
                elif command != 10:
                    self.pending_track = self.pending_track and command == 4

    def log_thread(self):
        while not self.stop.is_set():
            self.read_logs()
            time.sleep(0.1)

    # --- the simulator: control and restarts --------------------------------

    def control(self, line):
        try:
            fd = os.open(self.args.control, os.O_WRONLY | os.O_NONBLOCK)
        except OSError as error:
            self.fail("simulator control", f"cannot open {self.args.control}: {error}")
        try:
            os.write(fd, (line + "\n").encode())
        finally:
            os.close(fd)

    def kill_sim(self):
        segment = self.segments[-1]
        try:
            os.kill(segment.pid, 15)
        except ProcessLookupError:
            pass
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and os.path.exists(f"/proc/{segment.pid}"):
            if segment.popen is not None and segment.popen.poll() is not None:
                break
            state = self.proc_state(segment.pid)
            if state in (None, "Z"):
                break
            time.sleep(0.05)
        self.read_logs()

    @staticmethod
    def proc_state(pid):
        try:
            with open(f"/proc/{pid}/stat") as f:
                return f.read().rsplit(")", 1)[1].split()[0]
        except OSError:
            return None

    def start_sim(self, make_link):
        """A new simulator with the magazine; COM1's link points at its pty:
        made by the simulator itself (make_link) or re-pointed here."""
        self.sim_number += 1
        log_path = os.path.join(self.run_dir, f"sim.log.{self.sim_number}")
        command = [self.args.sim, "--magazine", self.args.magazine, "--speed", str(SIM_SPEED),
                   "--control", self.args.control, "--log", log_path]
        if make_link:
            command += ["--link", self.args.com1_link]
        err = open(os.path.join(self.run_dir, f"sim.err.{self.sim_number}"), "w")
        popen = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=err, stdin=subprocess.DEVNULL,
                                 text=True)
        line = popen.stdout.readline()
        if not line.startswith("pty "):
            self.fail("simulator restart", f"no pty announced ({line.strip()!r})")
        pty = line.split()[1]
        # Its confirmations of control commands must not fill the pipe.
        threading.Thread(target=popen.stdout.read, daemon=True).start()
        if not make_link:
            temporary = self.args.com1_link + ".new"
            if os.path.lexists(temporary):
                os.unlink(temporary)
            os.symlink(pty, temporary)
            os.replace(temporary, self.args.com1_link)
        with open(os.path.join(self.run_dir, "sim.pid"), "w") as f:
            f.write(f"{popen.pid}\n")
        self.segments.append(SimSegment(log_path, popen.pid, popen))
        self.present = set(self.magazine)

    def point_com1_nowhere(self):
        temporary = self.args.com1_link + ".new"
        if os.path.lexists(temporary):
            os.unlink(temporary)
        os.symlink(os.path.join(self.run_dir, "no-such-device"), temporary)
        os.replace(temporary, self.args.com1_link)

    # --- zubweb's event streams ---------------------------------------------

    def stream_thread(self, number):
        while not self.stop.is_set():
            try:
                with socket.create_connection(("127.0.0.1", self.args.web_port), timeout=5) as s:
                    s.sendall(b"GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                              b"Accept: text/event-stream\r\n\r\n")
                    s.settimeout(1.0)
                    with self.lock:
                        self.stream_last[number] = self.now()
                    while not self.stop.is_set():
                        try:
                            data = s.recv(65536)
                        except socket.timeout:
                            continue
                        if not data:
                            break
                        at = self.now()
                        with self.lock:
                            gap = at - self.stream_last[number]
                            self.stream_gap_max = max(self.stream_gap_max, gap)
                            self.stream_last[number] = at
                            self.stream_events += data.count(b"data:")
            except OSError:
                pass
            if not self.stop.is_set():
                self.log(f"event stream {number} ended; connecting again")
                time.sleep(1)

    # --- remote clients -----------------------------------------------------

    def one_client(self, rng):
        """Connects, idles, sends chunks of 4 or more random non-zero bytes,
        goes. A request's bytes 1 to 3 are zero, and the server takes every
        chunk as one request over a zeroed buffer: a shorter chunk such as
        "." alone would press Play (and stop the shuffle) or Pause."""
        try:
            with socket.create_connection(("127.0.0.1", self.args.remote_port), timeout=5) as s:
                end = time.monotonic() + rng.uniform(0.1, CLIENT_LIFE_S)
                while time.monotonic() < end and not self.stop.is_set():
                    if rng.random() < 0.5:
                        s.sendall(bytes(rng.randrange(1, 256) for _ in range(rng.randrange(4, 64))))
                    time.sleep(rng.uniform(0.05, 2.0))
                if rng.random() < 0.3:
                    s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
        except OSError:
            pass
        finally:
            with self.lock:
                self.clients_active -= 1

    def churn_thread(self):
        rng = random.Random(self.random.random())
        while not self.stop.is_set():
            time.sleep(rng.uniform(0.2, 1.5))
            with self.lock:
                if self.quiet.is_set() or self.clients_active >= MAX_REMOTE_CLIENTS:
                    continue
                self.clients_active += 1
                self.clients_total += 1
            threading.Thread(target=self.one_client, args=(random.Random(rng.random()),),
                             daemon=True).start()

    def status_thread(self):
        while not self.stop.wait(STATUS_EVERY_S):
            if self.quiet.is_set():
                continue
            try:
                command = [self.args.remote, "--port", str(self.args.remote_port),
                           "--timeout", "10000", "status"]
                done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                      timeout=30)
                ok = done.returncode == 0
                why = done.stderr.decode(errors="replace").strip()
            except subprocess.TimeoutExpired:
                ok = False
                why = "no answer within 30 s"
            if not ok:
                self.log(f"zubremote status failed: {why}")
            with self.lock:
                if ok:
                    self.status_ok += 1
                else:
                    self.status_failed += 1

    # --- samples ------------------------------------------------------------

    def probe_usage(self):
        """handles, threads, private kB, resident kB of zubcd.exe."""
        for _ in range(3):
            try:
                done = subprocess.run(["wine", self.args.probe, "usage", self.args.title],
                                      stdin=subprocess.DEVNULL, capture_output=True, text=True,
                                      timeout=60)
            except subprocess.TimeoutExpired:
                continue
            words = done.stdout.replace("\r", "").split()
            if done.returncode == 0 and len(words) >= 8:
                return int(words[1]), int(words[3]), int(words[5]), int(words[7])
        self.fail("the program answers the probe", "no handle, thread and memory figures")

    def boxes_open(self):
        done = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Error"],
                              capture_output=True, text=True, timeout=30)
        return len(done.stdout.split())

    def web_usage(self):
        pid = self.args.web_pid
        rss = 0
        try:
            with open(f"/proc/{pid}/status") as f:
                for line in f:
                    if line.startswith("VmRSS:"):
                        rss = int(line.split()[1])
            return rss, len(os.listdir(f"/proc/{pid}/fd"))
        except OSError:
            self.fail("zubweb runs", "zubweb has ended")

    def take_quiet_sample(self):
        """Counts with no random client connected: the clients pause, the
        ones connected go, their threads end; then the probe counts."""
        self.quiet.set()
        try:
            deadline = time.monotonic() + CLIENT_LIFE_S + 10
            while time.monotonic() < deadline:
                with self.lock:
                    if self.clients_active == 0:
                        break
                time.sleep(0.1)
            time.sleep(1.0)
            return self.probe_usage()
        finally:
            self.quiet.clear()

    def sample(self, rows, fault_kind):
        if not self.exe_running():
            self.fail("zubcd.exe runs", "the program has ended")
        handles = threads = private_kb = resident_kb = None
        if time.monotonic() >= self.next_probe:
            self.next_probe = time.monotonic() + min(PROBE_EVERY_S, max(10.0, self.args.duration / 20))
            handles, threads, private_kb, resident_kb = self.take_quiet_sample()
        boxes = self.boxes_open()
        web_rss, web_fds = self.web_usage()
        at = self.now()
        with self.lock:
            since = self.samples[-1]["t"] if self.samples else 0.0
            intervals = [b - a for a, b in zip(self.status_times, self.status_times[1:]) if b > since]
            row = {
                "t": at,
                "sim_days": at / SIM_DAY_S,
                "polls": len(intervals),
                "poll_mean_s": statistics.mean(intervals) if intervals else 0.0,
                "poll_max_s": max(intervals) if intervals else 0.0,
                "track_starts": len(self.track_starts),
                "boxes": boxes,
                "handles": handles,
                "threads": threads,
                "private_kb": private_kb,
                "resident_kb": resident_kb,
                "web_rss_kb": web_rss,
                "web_fds": web_fds,
                "stream_gap_max_s": self.stream_gap_max,
                "status_ok": self.status_ok,
                "status_failed": self.status_failed,
                "remote_clients": self.clients_total,
                "fault": fault_kind or "",
            }
            self.samples.append(row)
            self.boxes_max = max(self.boxes_max, boxes)
        rows.writerow({k: ("NaN" if v is None else f"{v:.3f}" if isinstance(v, float) else v)
                       for k, v in row.items()})
        if boxes > 1:
            self.fail("at most one message box open", f"{boxes} boxes captioned 'Error' are open")
        stream_limit = WEB_KEEP_ALIVE_S + WEB_KEEP_ALIVE_STEP_S + self.args.slack
        if self.stream_gap_max > stream_limit:
            self.fail("zubweb's event streams never go silent",
                      f"a stream was silent for {self.stream_gap_max:.1f} s "
                      f"(keep-alive {WEB_KEEP_ALIVE_S:.0f} s)")
        with self.lock:
            silent = [(n, at - last) for n, last in self.stream_last.items()]
        for n, gap in silent:
            if gap > stream_limit:
                self.fail("zubweb's event streams never go silent",
                          f"stream {n} silent for {gap:.1f} s")

    def exe_running(self):
        return self.proc_state(self.args.exe_pid) not in (None, "Z")

    # --- faults -------------------------------------------------------------

    def fault_span(self):
        """How long a fault lasts: 5 to 60 s, at most half the mean time
        between faults."""
        longest = max(5.0, min(60.0, self.args.fault_every / 2))
        return self.random.uniform(5.0, longest)

    def inject(self, kind):
        fault = {"n": len(self.faults) + 1, "kind": kind, "start": self.now(), "back": None,
                 "answered": None, "first_poll": None, "next_track": None, "detail": ""}
        self.log(f"fault {fault['n']}: {kind}")
        if kind in ("silent", "garbage", "overlong", "loader-error", "late"):
            if kind == "late":
                late_ms = self.random.randrange(300, 3000)
                fault["detail"] = f"{late_ms} ms"
                self.control(f"fault late {late_ms}")
            else:
                self.control(f"fault {kind}")
            span = self.fault_span()
            fault["detail"] = (fault["detail"] + f" for {span:.0f} s").strip()
            self.wait(span)
            self.control("fault none")
        elif kind.startswith("unplug"):
            span = self.fault_span()
            fault["detail"] = f"for {span:.0f} s"
            self.point_com1_nowhere()
            self.kill_sim()
            self.wait(span)
            self.start_sim(make_link=kind == "unplug-same-link")
        elif kind == "remove":
            slot = self.random.choice(sorted(self.present))
            self.control(f"remove {slot}")
            self.present.discard(slot)
            fault["detail"] = f"slot {slot}"
        elif kind == "insert":
            missing = sorted(set(self.magazine) - self.present)
            slot = self.random.choice(missing)
            self.control(f"insert {slot} {self.magazine[slot]['line']}")
            self.present.add(slot)
            fault["detail"] = f"slot {slot}"
        fault["back"] = self.now()
        self.faults.append(fault)

    def choose_fault(self):
        kinds = list(FAULT_KINDS)
        if len(self.present) <= len(self.magazine) // 2:
            kinds.remove("remove")  # discs remain
        if len(self.present) == len(self.magazine):
            kinds.remove("insert")
        return self.random.choice(kinds)

    def wait(self, seconds):
        """Waits, sampling and checking meanwhile."""
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            self.tick()
            time.sleep(min(0.2, max(0.0, end - time.monotonic())))

    # --- checks -------------------------------------------------------------

    def settle_faults(self, final=False):
        """Fills in, for each fault, when the changer answered again, the
        first poll after and the next track start, and checks them."""
        now = self.now()
        limit_poll = 2 * POLL_PERIOD_S + self.args.slack
        limit_answer = FIRST_BYTE_TIMEOUT_S + 2 * POLL_PERIOD_S + self.args.slack
        limit_track = self.longest_track_s + 2 * POLL_PERIOD_S + self.args.slack
        with self.lock:
            frames = list(self.frames)
            starts = list(self.track_starts)
            statuses = list(self.status_times)
        for index, fault in enumerate(self.faults):
            if fault.get("checked"):
                continue
            # A fault that begins before this one's figures are in cuts them
            # short: what is late from then on is the next fault's to answer for.
            cut = self.faults[index + 1]["start"] if index + 1 < len(self.faults) else None
            back = fault["back"]
            if fault["answered"] is None:
                fault["answered"] = next((t for t, _ in frames if t >= back), None)
            if fault["answered"] is None:
                if cut is not None and cut - back <= limit_answer:
                    fault["checked"] = True
                    continue
                if now - back > limit_answer:
                    self.fail("the changer is asked again after a fault",
                              f"no frame reached the changer in {now - back:.1f} s after fault "
                              f"{fault['n']} ({fault['kind']}) ended", back)
                continue
            if fault["answered"] - back > limit_answer:
                self.fail("the changer is asked again after a fault",
                          f"first frame {fault['answered'] - back:.1f} s after fault {fault['n']} "
                          f"({fault['kind']}) ended", back)
            if fault["first_poll"] is None:
                fault["first_poll"] = next((t for t in statuses if t >= fault["answered"]), None)
            if fault["first_poll"] is None:
                if cut is not None and cut - fault["answered"] <= limit_poll:
                    fault["checked"] = True
                    continue
                if now - fault["answered"] > limit_poll:
                    self.fail("a poll within 2 poll periods of the changer answering",
                              f"none {now - fault['answered']:.1f} s after fault {fault['n']} "
                              f"({fault['kind']})", fault["answered"])
                continue
            wait = fault["first_poll"] - fault["answered"]
            if wait > limit_poll:
                self.fail("a poll within 2 poll periods of the changer answering",
                          f"{wait:.2f} s after fault {fault['n']} ({fault['kind']})",
                          fault["answered"])
            if fault["next_track"] is None:
                fault["next_track"] = next((t for t in starts if t >= fault["first_poll"]), None)
            if fault["next_track"] is None:
                if cut is not None and cut - fault["first_poll"] <= limit_track:
                    fault["checked"] = True
                    continue
                if now - fault["first_poll"] > limit_track:
                    self.fail("a track starts after a fault",
                              f"none {now - fault['first_poll']:.1f} s after the first poll after "
                              f"fault {fault['n']} ({fault['kind']})", fault["first_poll"])
                continue
            if fault["next_track"] - fault["first_poll"] > limit_track:
                self.fail("a track starts after a fault",
                          f"{fault['next_track'] - fault['first_poll']:.1f} s after the first poll "
                          f"after fault {fault['n']} ({fault['kind']})", fault["first_poll"])
            fault["checked"] = True

    def fault_windows(self):
        """Spans in which the changer could not play on: from a fault's start
        to its first poll after (or, for one cut short, the next fault's end;
        or now)."""
        windows = []
        end = self.now()  # a fault cut short by the next one lasts as long as that one
        for fault in reversed(self.faults):
            end = fault["first_poll"] or end
            if fault["kind"] not in ("remove", "insert"):
                windows.append((fault["start"], end))
        if self.current_fault is not None:
            windows.append((self.current_fault_start, self.now()))
        return windows

    def check_track_gaps(self):
        """While the changer answers and discs remain, track starts come at
        most the longest track plus 2 poll periods apart."""
        limit = self.longest_track_s + 2 * POLL_PERIOD_S + self.args.slack
        with self.lock:
            starts = self.track_starts[self.gaps_checked:]
        now = self.now()
        windows = self.fault_windows()
        times = starts + [now]
        # Gaps that ended before the oldest open fault window are final.
        oldest_open = min([f["start"] for f in self.faults if not f.get("checked")] +
                          [self.current_fault_start if self.current_fault else now])
        self.gaps_checked += max(0, len([t for t in starts[1:] if t < oldest_open]) - 1)
        for a, b in zip(times, times[1:]):
            if b - a <= limit:
                continue
            if any(ws < b and we > a for ws, we in windows):
                continue  # a fault in between: checked per fault
            self.fail("track starts at most the longest track + 2 poll periods apart",
                      f"{b - a:.1f} s without a track start after {a:.1f} s (limit {limit:.1f} s)", a)

    def check_resources(self):
        """Over the last three quarters: handles and threads within a small
        band, memory growing less than 1 MB per simulated day."""
        probed = [s for s in self.samples if s["handles"] is not None]
        if len(probed) < 4:
            return {}
        span = self.samples[-1]["t"]
        rows = [s for s in probed if s["t"] >= span / 4]
        handles = [s["handles"] for s in rows]
        threads = [s["threads"] for s in rows]
        figures = {
            "handles": (min(handles), max(handles)),
            "threads": (min(threads), max(threads)),
        }
        if max(handles) - min(handles) > self.args.handle_band:
            self.fail("handles flat", f"{min(handles)} to {max(handles)} over the last three quarters "
                      f"(band {self.args.handle_band})")
        if max(threads) - min(threads) > self.args.thread_band:
            self.fail("threads flat", f"{min(threads)} to {max(threads)} over the last three quarters "
                      f"(band {self.args.thread_band})")
        # Memory: the median of the last quarter against the median of the
        # second, as a rate per simulated day, over a fixed allowance for
        # heap noise in short runs.
        second = [s for s in rows if s["t"] < span / 2]
        last = [s for s in rows if s["t"] >= span * 3 / 4]
        if second and last:
            early = statistics.median(s["private_kb"] for s in second)
            late = statistics.median(s["private_kb"] for s in last)
            days = (statistics.median(s["t"] for s in last) -
                    statistics.median(s["t"] for s in second)) / SIM_DAY_S
            allowed = 1024 * days + self.args.memory_slack_kb
            figures["memory"] = (early, late, days, allowed)
            if late - early > allowed:
                self.fail("memory flat", f"private memory grew {late - early:.0f} kB in "
                          f"{days:.2f} simulated days (allowed {allowed:.0f} kB)")
        return figures

    def tick(self):
        if self.stop.is_set() and self.failure:
            raise Failure(self.failure)
        self.settle_faults()
        self.check_track_gaps()
        if time.monotonic() >= self.next_sample:
            self.next_sample = time.monotonic() + SAMPLE_EVERY_S
            self.sample(self.sample_rows, self.current_fault)
            self.sample_file.flush()
            with self.lock:
                self.poll_file.flush()

    # --- the run ------------------------------------------------------------

    def run(self):
        fields = ["t", "sim_days", "polls", "poll_mean_s", "poll_max_s", "track_starts", "boxes",
                  "handles", "threads", "private_kb", "resident_kb", "web_rss_kb", "web_fds",
                  "stream_gap_max_s", "status_ok", "status_failed", "remote_clients", "fault"]
        self.sample_file = open(os.path.join(self.run_dir, "soak.csv"), "w", newline="")
        self.sample_rows = csv.DictWriter(self.sample_file, fieldnames=fields)
        self.sample_rows.writeheader()
        self.poll_file = open(os.path.join(self.run_dir, "soak-polls.csv"), "w", newline="")
        self.poll_rows = csv.writer(self.poll_file)
        self.poll_rows.writerow(["t", "interval_s"])
        self.current_fault = None
        self.current_fault_start = 0.0
        self.next_sample = time.monotonic()
        self.next_probe = time.monotonic()

        threads = [threading.Thread(target=self.log_thread, daemon=True),
                   threading.Thread(target=self.stream_thread, args=(1,), daemon=True),
                   threading.Thread(target=self.stream_thread, args=(2,), daemon=True),
                   threading.Thread(target=self.churn_thread, daemon=True),
                   threading.Thread(target=self.status_thread, daemon=True)]
        for thread in threads:
            thread.start()

        status = 0
        try:
            end = self.args.duration
            # The first fault after a calm start, so the baseline is clean.
            next_fault = min(self.args.fault_every * self.random.uniform(0.5, 1.5), end)
            while self.now() < end:
                if self.now() >= next_fault and end - self.now() > 3 * POLL_PERIOD_S + 30:
                    kind = self.choose_fault()
                    self.current_fault = kind
                    self.current_fault_start = self.now()
                    self.inject(kind)
                    self.current_fault = None
                    # Counted from the fault's start, so faults come every
                    # fault_every on average; never two at once.
                    next_fault = max(self.current_fault_start + self.args.fault_every *
                                     self.random.uniform(0.5, 1.5), self.now() + POLL_PERIOD_S)
                self.wait(0.5)
            # Let the last fault settle, then the final checks.
            settle_end = time.monotonic() + FIRST_BYTE_TIMEOUT_S + self.longest_track_s + 10
            while time.monotonic() < settle_end and not all(f.get("checked") for f in self.faults):
                self.wait(0.5)
            self.settle_faults()
            unsettled = [f for f in self.faults if not f.get("checked")]
            if unsettled:
                self.fail("every fault settles", f"fault {unsettled[0]['n']} "
                          f"({unsettled[0]['kind']}) has no track start after it")
            self.resources = self.check_resources()
            if self.status_failed:
                self.fail("zubremote status answers",
                          f"{self.status_failed} of {self.status_ok + self.status_failed} failed")
        except Failure as failure:
            self.log(str(failure))
            status = 1
        finally:
            self.stop.set()
            self.sample_file.close()
            self.poll_file.close()
            self.write_faults()
            self.write_summary()
        return status

    def write_faults(self):
        with open(os.path.join(self.run_dir, "soak-faults.csv"), "w", newline="") as f:
            out = csv.writer(f)
            out.writerow(["n", "kind", "detail", "start_s", "back_s", "answered_s", "first_poll_s",
                          "next_track_s", "poll_after_answer_s", "track_after_poll_s"])
            for fault in self.faults:
                def at(key):
                    return f"{fault[key]:.3f}" if fault[key] is not None else ""

                def between(a, b):
                    if fault[a] is None or fault[b] is None:
                        return ""
                    return f"{fault[b] - fault[a]:.3f}"
                out.writerow([fault["n"], fault["kind"], fault["detail"], at("start"), at("back"),
                              at("answered"), at("first_poll"), at("next_track"),
                              between("answered", "first_poll"), between("first_poll", "next_track")])

    def write_summary(self):
        span = self.now()
        with self.lock:
            intervals = [b - a for a, b in zip(self.status_times, self.status_times[1:])]
            starts = list(self.track_starts)
        windows = self.fault_windows()
        calm = [b - a for a, b in zip(self.status_times, self.status_times[1:])
                if not any(ws < b and we > a for ws, we in windows)]
        gaps = [b - a for a, b in zip(starts, starts[1:])
                if not any(ws < b and we > a for ws, we in windows)]
        kinds = {}
        for fault in self.faults:
            kinds[fault["kind"]] = kinds.get(fault["kind"], 0) + 1
        poll_after = [f["first_poll"] - f["answered"] for f in self.faults
                      if f["first_poll"] is not None and f["answered"] is not None]
        poll_after_back = [f["first_poll"] - f["back"] for f in self.faults
                           if f["first_poll"] is not None and f["kind"] not in ("remove", "insert")]
        track_after = [f["next_track"] - f["first_poll"] for f in self.faults
                       if f["next_track"] is not None and f["first_poll"] is not None]

        def pct(values, p):
            if not values:
                return float("nan")
            ordered = sorted(values)
            return ordered[min(len(ordered) - 1, int(p / 100 * len(ordered)))]

        rows = [s for s in self.samples if s["t"] >= span / 4 and s["handles"] is not None]
        lines = [
            f"| Figure | Value |",
            f"|---|---|",
            f"| Run | {span / 60:.1f} min real, {span / SIM_DAY_S:.2f} simulated days "
            f"(play clock x{SIM_SPEED}), faults every {self.args.fault_every} s on average |",
            f"| Result | {self.failure or 'every check held'} |",
            f"| Faults | {len(self.faults)}: " +
            ", ".join(f"{k} {v}" for k, v in sorted(kinds.items())) + " |",
            f"| Track starts | {len(starts)}; longest gap outside faults "
            f"{max(gaps) if gaps else 0:.1f} s (limit {self.longest_track_s + 2 * POLL_PERIOD_S:.1f} s) |",
            f"| Poll interval outside faults | median {pct(calm, 50):.3f} s, p99 {pct(calm, 99):.3f} s, "
            f"max {max(calm) if calm else 0:.3f} s ({len(intervals)} polls in all) |",
            f"| First poll after the changer answered again | median {pct(poll_after, 50):.2f} s, "
            f"max {max(poll_after) if poll_after else 0:.2f} s (limit {2 * POLL_PERIOD_S:.1f} s) |",
            f"| First poll after a line fault ended | median "
            f"{pct(poll_after_back, 50):.2f} s, max {max(poll_after_back) if poll_after_back else 0:.2f} s "
            f"(a silent line's first exchange waits up to {FIRST_BYTE_TIMEOUT_S:.0f} s) |",
            f"| Next track start after that poll | median {pct(track_after, 50):.1f} s, "
            f"max {max(track_after) if track_after else 0:.1f} s |",
            f"| Message boxes open at once | at most {self.boxes_max} |",
        ]
        if rows:
            first, last = rows[0], rows[-1]
            lines += [
                f"| zubcd.exe handles (last 3/4) | {min(r['handles'] for r in rows)} to "
                f"{max(r['handles'] for r in rows)} |",
                f"| zubcd.exe threads (last 3/4) | {min(r['threads'] for r in rows)} to "
                f"{max(r['threads'] for r in rows)} |",
                f"| zubcd.exe private memory (last 3/4) | {first['private_kb']} kB to "
                f"{last['private_kb']} kB (min {min(r['private_kb'] for r in rows)}, max "
                f"{max(r['private_kb'] for r in rows)}) |",
                f"| zubweb memory / descriptors (last 3/4) | {min(r['web_rss_kb'] for r in rows)} to "
                f"{max(r['web_rss_kb'] for r in rows)} kB / {min(r['web_fds'] for r in rows)} to "
                f"{max(r['web_fds'] for r in rows)} |",
            ]
        lines += [
            f"| Event streams | {self.stream_events} events; longest silence "
            f"{self.stream_gap_max:.1f} s (keep-alive {WEB_KEEP_ALIVE_S:.0f} s, sent after 30 "
            f"waits of 0.5 s) |",
            f"| zubremote status | {self.status_ok} answered, {self.status_failed} failed |",
            f"| Random remote clients | {self.clients_total} |",
        ]
        with open(os.path.join(self.run_dir, "soak-summary.md"), "w") as f:
            f.write("\n".join(lines) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--duration", type=parse_span, required=True)
    parser.add_argument("--fault-every", type=parse_span, required=True)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--slack", type=float, default=0.0,
                        help="seconds added to every time limit (a loaded machine)")
    parser.add_argument("--handle-band", type=int, default=4)
    parser.add_argument("--thread-band", type=int, default=2)
    parser.add_argument("--memory-slack-kb", type=float, default=0.0)
    parser.add_argument("--remote-port", type=int, default=4239)
    for name in ("run-dir", "sim", "sim-log", "magazine", "control", "com1-link", "remote", "probe",
                 "title"):
        parser.add_argument(f"--{name}", required=True)
    for name in ("sim-pid", "exe-pid", "web-pid", "web-port"):
        parser.add_argument(f"--{name}", type=int, required=True)
    args = parser.parse_args()
    if args.seed is None:
        args.seed = int(time.time())
    soak = Soak(args)
    soak.log(f"{args.duration} s, a fault every {args.fault_every} s on average, seed {args.seed}")
    status = soak.run()
    with open(os.path.join(args.run_dir, "soak-summary.md")) as f:
        print(f.read())
    sys.exit(status)


if __name__ == "__main__":
    main()
