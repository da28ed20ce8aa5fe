#!/usr/bin/env python3
"""The Windows build of Kivora under wine on a real X server, beside the Linux build:

  - kivora.exe starts with the windows platform, its main window has the designed client area,
    its first paint is logged, and it ends with status 0 when the window is closed;
  - --export-stimuli writes the same 56 bitmaps as the Linux build: the 54 shapes byte for byte,
    the two text screens with the same lines of text at the same places (their glyphs come from
    each system's rasterizer);
  - --check gives the same summary and status as the Linux build for each bundled plan;
  - a data folder given as the only argument (a folder dropped on kivora.exe) gets its report;
  - kivora.exe carries its icon and version details (tests/support/winresources.py).

Prints the start-up time under wine (process start to the logged first paint) as a figure;
wine is not Windows, so it is informative only.

Needs KIVORA_TEST_DISPLAY (an X server; scripts/test and scripts/build-windows provide one) and
the Linux build's kivora, else it skips with status 77. Wine gets the display, the WINEPATH and
the rest of its set-up from the environment.

Usage: wine_e2e.py --kivora KIVORA_EXE --probe WINPROBE_EXE --linux-kivora KIVORA --source SRC
"""

import os
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # the helpers are imported from the source tree; leave it as it is
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "support"))

import datafiles  # noqa: E402
from images import bmp_pixel_offset, differing_pixels, ink_bands, parse_bmp_1bit  # noqa: E402
import winetest  # noqa: E402
from wine import windows_path  # noqa: E402
import winresources  # noqa: E402

PLANS = ["sequence.csv", "short.csv", "practice.csv"]


# The two text screens ("instruction" and "wait", positions 7 and 8 of list 0); the others are
# shapes drawn pixel by pixel, the same on every system.
TEXT_SCREENS = {"0-7.bmp", "0-8.bmp"}
ADVANCE_SLACK = 3    # px by which the ends of a line of text may differ between rasterizers


def run(cmd, env, timeout=120):
    return subprocess.run(cmd, env=env, capture_output=True, timeout=timeout)


def main():
    args, display = winetest.start(("--kivora", "--probe", "--linux-kivora", "--source"),
                                   programs={"--linux-kivora": "Linux build to compare with"})
    if not display:
        return winetest.SKIP

    wine_env, linux_env = winetest.wine_env(display), winetest.linux_env()
    failures = []

    with tempfile.TemporaryDirectory(prefix="kivora-wine-e2e.") as work:
        # 1. The main window, through winprobe (a Windows program itself: it reads the client
        #    area from Windows and the start-up time on the program's own clock).
        log = os.path.join(work, "timing.log")
        probe = run(["wine", args.probe, windows_path(log), windows_path(args.kivora)], wine_env)
        values = winetest.probe_values(probe.stdout)
        if probe.returncode != 0:
            failures.append(f"winprobe failed ({probe.returncode}): {probe.stderr.decode().strip()}")
        if values.get("client") != winetest.MAIN_CLIENT:
            failures.append(f"main window client area {values.get('client')}, designed {winetest.MAIN_CLIENT}")
        if values.get("exit") != "0":
            failures.append(f"exit status after closing the window: {values.get('exit')}")
        if "startup_us" in values:
            print(f"figure: start-up under wine, process start to first paint: "
                  f"{int(values['startup_us']) / 1000:.0f} ms")

        # 2. The stimulus bitmaps.
        win_dir, linux_dir = os.path.join(work, "win"), os.path.join(work, "linux")
        w = run(["wine", args.kivora, "--export-stimuli", windows_path(win_dir)], wine_env)
        l = run([args.linux_kivora, "--export-stimuli", linux_dir], linux_env)
        if w.returncode != 0 or l.returncode != 0:
            failures.append(f"--export-stimuli: status {w.returncode} (wine), {l.returncode} (Linux): "
                            f"{w.stderr.decode().strip()} {l.stderr.decode().strip()}")
        else:
            win_files, linux_files = sorted(os.listdir(win_dir)), sorted(os.listdir(linux_dir))
            if win_files != linux_files or len(win_files) != 56:
                failures.append(f"--export-stimuli wrote {len(win_files)} files under wine, "
                                f"{len(linux_files)} on Linux, names equal: {win_files == linux_files}")
            for f in win_files:
                if f not in linux_files:
                    continue
                w_bytes = open(os.path.join(win_dir, f), "rb").read()
                l_bytes = open(os.path.join(linux_dir, f), "rb").read()
                if f not in TEXT_SCREENS:
                    if w_bytes != l_bytes:
                        failures.append(f"{f} differs from the Linux build's")
                    continue
                # Text: each system's rasterizer draws the glyphs (GDI, FreeType) and rounds
                # their advances its own way, so glyph pixels differ and a line may end (or, when
                # centred, start) a few pixels off; the lines themselves must be the same.
                w_rows, l_rows = parse_bmp_1bit(w_bytes, f), parse_bmp_1bit(l_bytes, f)
                w_lines, l_lines = ink_bands(w_rows), ink_bands(l_rows)
                same_lines = len(w_lines) == len(l_lines) and all(
                    w[:2] == l[:2] and abs(w[2] - l[2]) <= ADVANCE_SLACK and abs(w[3] - l[3]) <= ADVANCE_SLACK
                    for w, l in zip(w_lines, l_lines))
                headers = bmp_pixel_offset(l_bytes)  # file and info headers and the palette
                if w_bytes[:headers] != l_bytes[:headers] or not same_lines:
                    failures.append(f"{f}: text lines (rows, columns) {w_lines} under wine, "
                                    f"{l_lines} on Linux")
                else:
                    print(f"{f}: {len(w_lines)} lines of text as on Linux; "
                          f"{differing_pixels(w_rows, l_rows)} pixels of glyphs differ")

        # 3. The summary of each bundled plan.
        for plan in PLANS:
            path = os.path.join(args.source, "data", plan)
            w = run(["wine", args.kivora, "--check", "--plan", windows_path(path)], wine_env)
            l = run([args.linux_kivora, "--check", "--plan", path], linux_env)
            if (w.returncode, w.stdout) != (l.returncode, l.stdout) or l.returncode != 0:
                failures.append(f"--check --plan {plan}: status {w.returncode} and\n{w.stdout.decode()}"
                                f"under wine, status {l.returncode} and\n{l.stdout.decode()}on Linux")

        # 4. A data folder dropped on kivora.exe (its only argument, in Windows' spelling), with
        #    --no-open so that no box waits and no viewer is started: the report is written and
        #    what was read is said on standard output.
        data = os.path.join(work, "データ")
        os.makedirs(data)
        datafiles.write_run(data, "山田")
        w = run(["wine", args.kivora, windows_path(data), "--no-open"], wine_env)
        out = w.stdout.decode("utf-8", "replace")
        if w.returncode != 0 or "1 runs read (1 complete)" not in out or \
                not os.path.isfile(os.path.join(data, "report", "report.pdf")):
            failures.append(f"a dropped data folder: status {w.returncode}, {out.strip()!r} "
                            f"{w.stderr.decode('utf-8', 'replace').strip()!r}, report.pdf "
                            f"{'written' if os.path.isfile(os.path.join(data, 'report', 'report.pdf')) else 'missing'}")

        # 5. The icon and the version details of the file's properties, of the version the
        #    program itself states.
        version = run(["wine", args.kivora, "--version"], wine_env).stdout.decode().split()[1]
        failures += winresources.exe_problems(args.kivora, version)

    for failure in failures:
        print("FAIL:", failure)
    return winetest.verdict(
        failures, "wine end-to-end: window, bitmaps, plan summaries and the report of a dropped folder as on Linux")


if __name__ == "__main__":
    sys.exit(main())
