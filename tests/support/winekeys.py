"""The Windows key reader under wine, for the Python tests and benchmarks: the Windows build's
winkeys program (tests/windows/winkeys.cpp: the reader beside a key filter, on the same keys)
started under wine, its window found and focused, its key lines read as they come, and its
clock related to the Linux clocks of the key sender and the raw key watcher.

Wine's QueryPerformanceCounter, the program's clock there, is read from CLOCK_MONOTONIC_RAW in
the wine of Debian 12, not from the CLOCK_MONOTONIC of bench/xtest_sender and bench/xwatch; the
two drift apart by the system's clock corrections. So each send time is carried over with the
offset between the two Linux clocks read right after it, and the program's clock is related to
CLOCK_MONOTONIC_RAW by asking the program for readings (the one with the shortest round trip
counts), at the start and when asked again.
"""

import queue
import subprocess
import threading
import time

from checks import CheckFailed

# What Qt gives the key handler on Windows as the native scan code of an X11 key code (set 1, 0x100
# for an extended key), for the keys the tests send.
WINDOWS_SCAN = {10: 0x02, 11: 0x03, 87: 0x4F, 88: 0x50, 104: 0x11C, 38: 0x1E}


def raw_minus_monotonic_us():
    """CLOCK_MONOTONIC_RAW minus CLOCK_MONOTONIC now (µs), the two read back to back."""
    a = time.clock_gettime_ns(time.CLOCK_MONOTONIC)
    r = time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW)
    b = time.clock_gettime_ns(time.CLOCK_MONOTONIC)
    return (r - (a + b) / 2) / 1000


class Key:
    """One key line of winkeys."""

    def __init__(self, line):
        values = dict(part.split("=", 1) for part in line.split()[1:])
        self.scan = int(values["scan"])
        self.vk = int(values["vk"])
        self.filter_us = int(values["filter_us"])
        self.stamp_us = int(values["stamp_us"])  # -1: no stamp; after filter_us: the reader came second

    def __repr__(self):
        return f"Key(scan=0x{self.scan:x}, vk={self.vk}, filter_us={self.filter_us}, stamp_us={self.stamp_us})"


class WineKeys:
    """winkeys.exe under wine. env carries DISPLAY, WINEPREFIX, WINEPATH and the like."""

    def __init__(self, exe, env, x, timeout=60):
        self.proc = subprocess.Popen(["wine", exe], env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, text=True, bufsize=1)
        self.lines = {"key": queue.Queue(), "clock": queue.Queue(), "other": queue.Queue()}
        threading.Thread(target=self._read, daemon=True).start()
        self.source = None
        deadline = time.monotonic() + timeout
        while True:
            line = self._next("other", deadline)
            if line.startswith("source="):
                self.source = line.split("=", 1)[1]
            elif line == "ready":
                break
        self.window = None
        while self.window is None and time.monotonic() < deadline:
            found = x.visible("^winkeys$")
            self.window = found[0] if found else None
            time.sleep(0.05)
        if self.window is None:
            raise CheckFailed("no window winkeys")
        x.focus(self.window)
        self.offsets = []  # (CLOCK_MONOTONIC_RAW µs, program clock minus CLOCK_MONOTONIC_RAW, round trip)
        self.relate()

    def _read(self):
        for line in self.proc.stdout:
            line = line.strip()
            kind = line.split(" ", 1)[0]
            self.lines[kind if kind in self.lines else "other"].put(line)

    def _next(self, kind, deadline):
        try:
            return self.lines[kind].get(timeout=max(0.0, deadline - time.monotonic()))
        except queue.Empty:
            raise CheckFailed(f"winkeys: no {kind} line in time (status {self.proc.poll()})") from None

    def relate(self, samples=40):
        """Asks the program for clock readings, a moment apart; keeps the offset of the one with
        the shortest round trip."""
        best = None
        for _ in range(samples):
            a = time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW)
            self.proc.stdin.write("clock\n")
            self.proc.stdin.flush()
            us = int(self._next("clock", time.monotonic() + 10).split()[1])
            b = time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW)
            mid = (a + b) / 2000
            if best is None or b - a < best[2] * 1000:
                best = (mid, us - mid, (b - a) / 1000)
            time.sleep(0.002)
        self.offsets.append(best)
        return best

    def offset_us(self, raw_us):
        """The program's clock minus CLOCK_MONOTONIC_RAW at raw_us. Where the relations read so
        far agree within their round trips (the same clock), the best of them; else the first
        and the last, interpolated (a clock that drifts)."""
        best = min(self.offsets, key=lambda o: o[2])
        first, last = self.offsets[0], self.offsets[-1]
        if abs(last[1] - first[1]) <= (last[2] + first[2]) / 2 or last[0] == first[0]:
            return best[1]
        return first[1] + (last[1] - first[1]) * (raw_us - first[0]) / (last[0] - first[0])

    def to_program_us(self, monotonic_us, shift_us=None):
        """A CLOCK_MONOTONIC reading in the program's clock. shift_us: CLOCK_MONOTONIC_RAW minus
        CLOCK_MONOTONIC read within moments of the reading (default: now)."""
        raw = monotonic_us + (raw_minus_monotonic_us() if shift_us is None else shift_us)
        return raw + self.offset_us(raw)

    def uncertainty_us(self):
        """How far the relation of the clocks may be off: half the best round trip."""
        return min(rtt for _, _, rtt in self.offsets) / 2

    def key(self, timeout=10):
        return Key(self._next("key", time.monotonic() + timeout))

    def close(self):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.write("quit\n")
                self.proc.stdin.close()
                self.proc.wait(timeout=20)
            except (OSError, subprocess.TimeoutExpired):
                self.proc.kill()
                self.proc.wait()
        return self.proc.returncode
