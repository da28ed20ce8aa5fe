"""The program's timing log (--log), read while the program writes it: one line per event,
t_us<TAB>event<TAB>trial<TAB>detail, t_us on CLOCK_MONOTONIC."""

import re
import time

from checks import CheckFailed


def now_us():
    """CLOCK_MONOTONIC in µs: the clock of the timing log and of bench/xtest_sender."""
    return time.clock_gettime_ns(time.CLOCK_MONOTONIC) // 1000


class Event:
    """One log line; index counts the events from 0 in the order they were written. A screen's
    line ends in " msc=N" where the display counts its refreshes: that count is msc (None
    without it), and detail is the rest."""

    def __init__(self, index, t_us, name, trial, detail):
        self.index, self.t, self.name, self.trial = index, t_us, name, trial
        m = re.fullmatch(r"(.*) msc=(\d+)", detail) if name in ("countdown", "first", "cue", "test") else None
        self.detail, self.msc = (m.group(1), int(m.group(2))) if m else (detail, None)

    def fields(self):
        """The detail's key=value words as a dict of strings (a display line's, a trigger's)."""
        return dict(kv.split("=", 1) for kv in self.detail.split())

    def __repr__(self):
        return f"#{self.index} {self.t} {self.name} {self.trial} {self.detail!r}"


class EventLog:
    """The events of a log file so far; poll() reads what was appended since the last call."""

    def __init__(self, path):
        self.path = path
        self.events = []
        self.header = None
        self._partial = b""
        self._offset = 0

    def poll(self):
        """Reads the lines appended since the last call; a line still being written waits
        for the next call."""
        try:
            with open(self.path, "rb") as f:
                f.seek(self._offset)
                chunk = f.read()
        except FileNotFoundError:
            return
        self._offset += len(chunk)
        chunk = self._partial + chunk
        lines = chunk.split(b"\n")
        self._partial = lines.pop()
        for raw in lines:
            text = raw.decode("utf-8")
            if self.header is None:
                self.header = text
                continue
            parts = text.split("\t")
            if len(parts) != 4:
                raise CheckFailed(f"log line not t_us/event/trial/detail: {text!r}")
            self.events.append(Event(len(self.events), int(parts[0]), parts[1], int(parts[2]), parts[3]))

    def wait(self, name, trial=None, after=-1, timeout=10.0, proc=None):
        """The first event `name` (of `trial`) with an index above `after`. Fails when proc
        ends first or after timeout seconds."""
        deadline = time.monotonic() + timeout
        while True:
            self.poll()
            for e in self.events[after + 1:]:
                if e.name == name and (trial is None or e.trial == trial):
                    return e
            if proc is not None and proc.poll() is not None:
                raise CheckFailed(f"the program ended (status {proc.returncode}) while waiting for "
                                  f"'{name}' of trial {trial}")
            if time.monotonic() > deadline:
                raise CheckFailed(f"no '{name}' (trial {trial}) in the log within {timeout} s; "
                                  f"last events: {self.events[-4:]}")
            time.sleep(0.003)

    def count(self):
        """The number of events written so far."""
        self.poll()
        return len(self.events)


def answer_rt(answer):
    """The reaction time (ms) an answer line records."""
    m = re.fullmatch(r"key=[12] rt=(-?\d+)", answer.detail)
    if not m:
        raise CheckFailed(f"answer line without key and rt: {answer}")
    return int(m.group(1))


def missed_refreshes(checks, events):
    """(trial, screen) -> refreshes its flip came late, from the run's late_flip lines. Each
    line must name the refresh its screen's own line gives, later than the one aimed at."""
    shown = {(e.trial, e.name): e.msc for e in events if e.msc is not None}
    missed = {}
    for e in events:
        if e.name != "late_flip":
            continue
        m = re.fullmatch(r"(\w+) target=(\d+) msc=(\d+)", e.detail)
        if not checks.check(m is not None, f"late_flip line without screen, target and msc: {e}"):
            continue
        screen, target, msc = m.group(1), int(m.group(2)), int(m.group(3))
        checks.check(msc > target and shown.get((e.trial, screen)) == msc,
                     f"{e}: not a later refresh than aimed at, or not the one {screen} of trial "
                     f"{e.trial} was shown at ({shown.get((e.trial, screen))})")
        missed[(e.trial, screen)] = missed.get((e.trial, screen), 0) + msc - target
    return missed


def check_trial_order(checks, events, trials, stopped):
    """The events of one run, from its run_start: times that never go back, and for each trial
    countdown, first, cue, test and answer, once each; a run stopped in its last trial ends
    before that trial's cue."""
    times = [e.t for e in events]
    checks.check(all(a <= b for a, b in zip(times, times[1:])), "log times never go back")
    seq = [(e.name, e.trial) for e in events if e.name in ("countdown", "first", "cue", "test", "answer")]
    expected = []
    for t in range(1, trials + 1):
        expected += [("countdown", t), ("first", t), ("cue", t), ("test", t), ("answer", t)]
    if stopped:
        expected = expected[:expected.index(("cue", trials))]
    checks.equal(seq, expected, "trial events in the log (one answer per trial, none from stray keys)")
    checks.equal(events[0].name, "run_start", "first event of a run")
