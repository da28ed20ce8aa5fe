"""kivora --check-display run as a lab runs it, with key 1 pressed when it asks: its output read
into figures, and the checks its figures and status must meet on any machine."""

import os
import re
import subprocess

from timinglog import now_us

KEY_PRESSES = 3  # as many as the check asks for


def run(cmd, env, sender, keycode, on_ask=None, timeout=120):
    """Runs the check (cmd), pressing keycode with sender KEY_PRESSES times once it asks (after
    calling on_ask, if given: to give its window the focus, say). Returns (status, output
    lines)."""
    proc = subprocess.Popen(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            encoding="utf-8", errors="replace")
    lines = []
    try:
        for line in proc.stdout:
            lines.append(line.rstrip("\r\n"))
            if line.startswith("press key 1"):
                if on_ask:
                    on_ask()
                for _ in range(KEY_PRESSES):
                    sender.press(keycode, now_us() + 250_000)
        status = proc.wait(timeout=timeout)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    return status, lines


def figures(lines):
    """What the check printed, by name."""
    text = "\n".join(lines)
    # How much earlier than the key filter's reading each key 1 was stamped (negative: later).
    leads = re.findall(r"^key 1: stamped ([\d.]+) ms (before|after)", text, re.M)
    f = {"leads_ms": [float(v) if side == "before" else -float(v) for v, side in leads],
         "unstamped": len(re.findall(r"^key 1: no stamp", text, re.M)),
         "exact": bool(re.search(r"^onsets: exact", text, re.M))}
    if m := re.search(r"^mode: (\w+), onset source: (\w+)$", text, re.M):
        f["mode"], f["onset"] = m.groups()
    if m := re.search(r"^flips: (\d+), each meant to stay .*; at another refresh count: (\d+), late: (\d+)$",
                      text, re.M):
        f["flips"], f["miscounted"], f["late"] = map(int, m.groups())
    if m := re.search(r"^refresh period: ([\d.]+) ms", text, re.M):
        f["period_ms"] = float(m.group(1))
    if m := re.search(r"^key source: (\w+)$", text, re.M):
        f["keys"] = m.group(1)
    if m := re.search(r"^compositor: (\w+);", text, re.M):
        f["compositor"] = m.group(1)
    if m := re.search(r"^onsets: not exact: (.*)$", text, re.M):
        f["why"] = m.group(1)
    if m := re.search(r"^trigger: (\d+) codes 255 sent, lag median ([\d.]+) ms, 99th percentile ([\d.]+) ms$",
                      text, re.M):
        f["triggers"], f["lag_median_ms"], f["lag_p99_ms"] = int(m.group(1)), float(m.group(2)), float(m.group(3))
    return f


def check_triggers(checks, f, box, what):
    """The bytes waiting at a trigger box's stand-in (a pseudo-terminal's end, box) against the
    check's figures: a code 255 for every flip, each followed by its reset to 0 (the flips are
    100 ms apart, the pulse shorter), and the lag figures told for them."""
    os.set_blocking(box, False)
    checks.equal(os.read(box, 65536), b"\xff\x00" * f.get("flips", 0), f"{what}: bytes at the trigger box")
    checks.equal(f.get("triggers"), f.get("flips"), f"{what}: trigger codes told against the flips")
    checks.check(0 <= f.get("lag_median_ms", -1) <= f.get("lag_p99_ms", -1),
                 f"{what}: trigger lags, median {f.get('lag_median_ms')} ms, 99th percentile {f.get('lag_p99_ms')} ms")


def check(checks, status, f, what, onset, keys, compositor, why=None):
    """The figures of one run against the onset and key sources and the compositor expected:
    every flip told, the verdict and the status agreeing with the figures, and a key time for
    every key 1 pressed: a reader's stamp for each (before the key filter's reading or, where the
    reader came second, after it: which ones the handler takes is tst_base's). why: None where
    this display gives exact onsets (then the verdict is exact unless flips came late), else what
    the line saying why they are not must contain."""
    checks.equal(f.get("onset"), onset, f"{what}: onset source")
    checks.equal(f.get("keys"), keys, f"{what}: key source")
    checks.equal(f.get("compositor"), compositor, f"{what}: compositor")
    checks.check(f.get("flips", 0) >= 2, f"{what}: flips told ({f.get('flips')})")
    exact = why is None and f.get("late") == 0 and f.get("miscounted") == 0
    checks.equal(f["exact"], exact, f"{what}: verdict 'exact' with {f.get('late')} late, "
                 f"{f.get('miscounted')} at another count")
    if why is not None:
        checks.check(why in f.get("why", ""), f"{what}: why not exact, {why!r} in {f.get('why')!r}")
    checks.equal(status, 0 if exact else 1, f"{what}: exit status")
    if onset in ("flip", "dxgi", "dwm"):
        checks.check(f.get("period_ms", 0) > 0, f"{what}: a refresh period measured")
    checks.equal(len(f["leads_ms"]) + f["unstamped"], KEY_PRESSES, f"{what}: keys 1 reported")
    if keys != "filter":
        checks.equal(f["unstamped"], 0, f"{what}: keys without a stamp from the {keys} reader")
