"""The program's files on disk: the trial plan it reads, and the data and means files it writes
for each run, read back and checked against what a script sent it."""

import csv
import datetime
import fractions
import io
import os
import re
import time

DATA_HEADER = ("subject,run_started,trial,FigSet,StartDir,CueDir,Mirror,PresentTime,Answer,correct,RT,"
               "RT_us,cue_us,order_seed,late_flips,onset_source,period_us,compositor,fullscreen,block,round,"
               "trigger_lag_us")
MEANS_HEADER = "PresentTime,0,60,120,180,240,300,360"

# Tolerances for a key sent by bench/xtest_sender at a chosen moment.
# µs by which the program's key time may come after a second client's (bench/xwatch's raw reader)
# reading of the same press: both read the same event from the X server, so a busy machine, which
# delays the server, delays both alike.
KEY_BEHIND_FLOOR_MAX_US = 8000


def read_text(path):
    """A CSV file of the program as text. The program starts each with the UTF-8 byte order mark
    (for Excel); files of older versions have none, and read the same."""
    with open(path, "rb") as f:
        return f.read().decode("utf-8-sig")


def read_plan(path):
    """The plan's trials as (FigSet, StartDir, CueDir, Mirror, PresentTime)."""
    rows = []
    with open(path, encoding="utf-8-sig") as f:
        for line in f:
            if line.strip():
                rows.append(tuple(int(v) for v in line.split(",")))
    return rows


def run_rows(subject, trials=6):
    """The data rows of a run of subject, each answered correctly, as the program writes them."""
    return [f"{subject},2026-12-09T09:00:00+09:00,{t},1,0,{t % 6},{t % 2},400,{t % 2},1,{500 + t},"
            f"{500_000 + t * 1000},400000,,0,flip,16667,no,0,main,," for t in range(1, trials + 1)]


def write_run(folder, subject, trials=6):
    """A completed run's data and means files in folder, as the program writes them."""
    for name, lines in ((f"20261209-090000_{subject}.csv", [DATA_HEADER] + run_rows(subject, trials)),
                        (f"20261209-090000_{subject}_means.csv", [MEANS_HEADER])):
        with open(os.path.join(folder, name), "w", encoding="utf-8-sig", newline="") as f:
            f.write("\r\n".join(lines) + "\r\n")


def snapshot(folder):
    """{file name: contents} of a folder, empty when there is no folder; two snapshots compare
    equal when no file was added, removed or changed."""
    out = {}
    for name in sorted(os.listdir(folder)) if os.path.isdir(folder) else []:
        with open(os.path.join(folder, name), "rb") as f:
            out[name] = f.read()
    return out


def parse_iso(text):
    """An ISO 8601 date-time; a trailing Z is UTC."""
    return datetime.datetime.fromisoformat(text[:-1] + "+00:00" if text.endswith("Z") else text)


def read_data(checks, path, name):
    """The rows of a data file, as dicts by column, after checking its form: CR LF line ends,
    the header, the subject name, one run_started (an ISO date-time with its offset, about now)
    and a file name stamped with that moment."""
    text = read_text(path)
    checks.check(text.endswith("\r\n") and "\n" not in text.replace("\r\n", ""),
                 f"{path}: every line should end with CR LF")
    lines = text.split("\r\n")
    checks.equal(lines[0], DATA_HEADER, f"header of {os.path.basename(path)}")
    rows = list(csv.DictReader(io.StringIO(text, newline="")))
    started = {r["run_started"] for r in rows}
    checks.check(len(started) <= 1, f"{path}: one run_started for all rows, got {started}")
    for r in rows:
        checks.equal(r["subject"], name, f"subject in {os.path.basename(path)}")
        try:
            when = parse_iso(r["run_started"])
            checks.check(when.tzinfo is not None, f"run_started has its UTC offset: {r['run_started']}")
            checks.check(abs(when.timestamp() - time.time()) < 600,
                         f"run_started is about now: {r['run_started']}")
        except ValueError:
            checks.check(False, f"run_started is no ISO date-time: {r['run_started']!r}")
    base = os.path.basename(path)
    m = re.fullmatch(r"(\d{8}-\d{6})(?:-\d+)?_(.*)\.csv", base)
    checks.check(m is not None and m.group(2) == name, f"data file name {base!r}")
    if m and rows:
        when = parse_iso(rows[0]["run_started"])
        checks.equal(m.group(1), when.strftime("%Y%m%d-%H%M%S"), "file name stamp vs run_started")
    return rows


def check_row(checks, r, planned, key, delay, test, answer, sent, floor, what):
    """One data row against its plan row, the answer key (1 or 2), the intended delay (ms), the
    log's test and answer events, the moment the key was sent (µs) and the moment a second
    client read it (µs; None when it did not). Returns the row's RT.

    Timing is judged by relations that hold on a busy machine too: the key's time is that of the
    press that was sent (not before it was sent, and not much later than the second client saw
    it arrive), and the RT counts from the logged onset to that time."""
    fig, start_dir, cue_dir, mirror, pt = planned
    checks.equal((r["FigSet"], r["StartDir"], r["CueDir"], r["Mirror"], r["PresentTime"]),
                 tuple(str(v) for v in (fig, start_dir, cue_dir, mirror, pt)), f"{what}: plan fields")
    checks.equal(r["Answer"], str(key - 1), f"{what}: Answer code for key {key}")
    checks.equal(r["correct"], "1" if key - 1 == mirror else "0", f"{what}: correct")
    rt = int(r["RT"])
    checks.equal(answer.detail, f"key={key} rt={rt}", f"{what}: log answer line")
    # The log's two readings, to the microsecond, and RT rounded from them.
    exact_us = answer.t - test.t
    checks.equal(int(r["RT_us"]), exact_us, f"{what}: RT_us against the log's test and answer times")
    checks.check(abs(rt * 1000 - exact_us) <= 500,
                 f"{what}: RT {rt} ms, but the log has the key {exact_us} µs after the test figure")
    checks.check(rt >= delay - 1, f"{what}: RT {rt} ms for a key sent {delay} ms after the test figure")
    checks.check(answer.t >= sent, f"{what}: the key's time lies {sent - answer.t} µs before it was sent")
    if checks.check(floor is not None, f"{what}: the second client saw no press of the key sent"):
        checks.check(answer.t - floor <= KEY_BEHIND_FLOOR_MAX_US,
                     f"{what}: the key's time is {answer.t - floor} µs after the second client read the press "
                     f"({answer.t - sent} µs after it was sent)")
    checks.equal(test.detail, f"{fig}-{(start_dir + cue_dir) % 6 + mirror * 6 + 1}", f"{what}: test picture")
    return rt


def check_means(checks, text, rows):
    """A means file against the data rows it summarises: one line per presentation time in
    order of first appearance, and per angle the mean RT of the rows with that cue direction
    (360 degrees repeats 0)."""
    checks.check(text.endswith("\r\n"), "means file ends with CR LF")
    lines = text.split("\r\n")[:-1]
    checks.equal(lines[0] if lines else None, MEANS_HEADER, "means file header")
    times = []
    for r in rows:
        if int(r["PresentTime"]) not in times:
            times.append(int(r["PresentTime"]))
    checks.equal([line.split(",")[0] for line in lines[1:]], [str(t) for t in times],
                 "means file rows: presentation times in order of first appearance")
    for line in lines[1:]:
        cells = line.split(",")
        t = int(cells[0])
        for k in range(7):
            rts = [int(r["RT"]) for r in rows if int(r["PresentTime"]) == t and int(r["CueDir"]) == k % 6]
            expected = fractions.Fraction(sum(rts), len(rts)) if rts else fractions.Fraction(0)
            try:
                got = fractions.Fraction(cells[k + 1])
                ok = abs(got - expected) < fractions.Fraction(1, 10 ** 9)
            except (ValueError, IndexError, ZeroDivisionError):
                ok, got = False, cells[k + 1:k + 2]
            checks.check(ok, f"means file {t} ms at {k * 60} degrees: expected {float(expected)}, got {got}")


def summary_lines(rows, trials):
    """The two summary lines of the results window for the data rows of a run of `trials`
    trials: the number of correct answers, and the mean RT over the trials rounded half to even
    (Python's round)."""
    correct = sum(1 for r in rows if r["Answer"] == r["Mirror"])
    mean = fractions.Fraction(sum(int(r["RT"]) for r in rows), trials)
    return [f"正解数： {correct} ({trials}問中)", f"全平均反応時間： {round(mean)}ミリ秒"]
