#!/usr/bin/env python3
"""A class run with clicks only, on a real X server: the program started without options in a
folder of its own that holds a kivora.ini, and the report made by dropping the data folder on it.

  1. kivora.ini keeps the data in a folder beside the program (data=data), shuffles every run,
     writes a log and asks for a study on the whole screen, in English: two practice trials with a
     criterion of 75 %, a break after every second trial, fullscreen, language=en (the log's
     countdown lines keep the English caption that was on screen). A run started as a participant starts
     it (Enter, a name, Enter): Space on the practice's text screen, a first round with one wrong
     answer (50 %), Space for a second round, both right, Space for the three main trials, Space
     after the break, the results window (of the three main trials alone), End. The data file
     starts with the UTF-8 byte order mark and holds every practice row (block, round, each
     round's own order seed) and the main rows (the run's order seed, the one the log's run_start
     line names); the means file is the main trials'.
  2. A kivora.ini with an unknown key stops the program at start-up with status 1 and the file,
     the line and the key on standard error, before any window and without a data folder.
  3. The data folder as the only argument (a folder dropped on the program): the report is
     written, the system is asked to open report.pdf (a stand-in xdg-open on PATH records what it
     is given) and a box says what was read; Enter closes it and the status is 0. With --no-open
     no box and no viewer: what was read goes to standard output. A file as the only argument:
     a box says it is no folder, status 1.
  4. The class view of a folder as its files arrive (--class-view DIR), read from its title: an
     empty folder shows 完了 0、未完了 0; three runs copied in show 完了 3 (how long it took is
     printed); a run being written row by row, its last row half there, is incomplete; a .csv
     that is no data file is counted unreadable; the folder renamed away and back, the view
     carries on (a fourth run shows); "Write report" (Tab, Space) writes DIR/report as
     --report DIR writes it, asks the system to open report.pdf and says so in the report's box;
     no other file appears in the folder.
  5. A lab's language, made as the manual says: the shipped translations/kivora_en.ts released
     with lrelease as translations/kivora_eo.qm beside the program is listed by --list-languages,
     and with language=eo in kivora.ini the report of the dropped folder is written in it (its
     PDF's first page read with pdftotext), while what was read still goes to standard output in
     English.

Needs KIVORA_TEST_DISPLAY (scripts/test provides it), xdotool, xclip, lrelease and pdftotext, else
it skips with 77.

Usage: settings_report.py --build BUILD_DIR
"""

import argparse
import csv
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # the helpers are imported from the source tree; leave it as it is
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "support"))

import datafiles  # noqa: E402
import processes  # noqa: E402
from checks import CheckFailed, Checks  # noqa: E402
from timinglog import EventLog  # noqa: E402
from xsession import KC_1, KC_2, KeySender, X  # noqa: E402

NAME = "設定 花子"
BOM = b"\xef\xbb\xbf"


class Class:
    def __init__(self, build, display, work, checks):
        self.c = checks
        self.build = build
        self.work = work
        self.display = display
        self.x = X(display, work)
        # The program in a folder of its own, as unzipped on a PC: its kivora.ini and plan beside it.
        self.folder = os.path.join(work, "kivora")
        os.makedirs(self.folder)
        self.exe = os.path.join(self.folder, "kivora")
        shutil.copy(os.path.join(build, "kivora"), self.exe)
        source = os.environ.get("KIVORA_SOURCE_DIR") or os.path.join(os.path.dirname(__file__), "..", "..")
        # A plan of three trials at one presentation time, and a practice plan of two.
        with open(os.path.join(self.folder, "sequence.csv"), "w", newline="") as f:
            f.write("1,0,2,0,400\r\n2,0,4,1,400\r\n3,0,1,0,400\r\n")
        with open(os.path.join(self.folder, "practice.csv"), "w", newline="") as f:
            f.write("4,0,3,1,400\r\n1,0,5,0,400\r\n")
        # The system's viewer: a stand-in that notes what it is asked to open.
        self.bin = os.path.join(work, "bin")
        os.makedirs(self.bin)
        self.opened = os.path.join(work, "opened.txt")
        with open(os.path.join(self.bin, "xdg-open"), "w") as f:
            f.write(f'#!/bin/sh\nprintf "%s\\n" "$1" >> "{self.opened}"\n')
        os.chmod(os.path.join(self.bin, "xdg-open"), 0o755)

    def env(self, **more):
        env = {k: v for k, v in os.environ.items() if k not in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY")}
        env.update(DISPLAY=self.display, XDG_RUNTIME_DIR=processes.runtime_dir(self.work),
                   PATH=self.bin + os.pathsep + env.get("PATH", ""), XDG_CURRENT_DESKTOP="X-Generic")
        env.update(more)
        return env

    def settings(self, text):
        with open(os.path.join(self.folder, "kivora.ini"), "w", encoding="utf-8") as f:
            f.write(text)

    # 1
    def session(self):
        self.settings("; written by the instructor\ndata=data\nshuffle=true\nlog=timing.log\n"
                      "practice=practice.csv\npractice_criterion=75\nbreak_every=2\nfullscreen=true\nlanguage=en\n")
        log = EventLog(os.path.join(self.folder, "timing.log"))
        proc = subprocess.Popen([self.exe], env=self.env(), cwd=self.work, stdout=subprocess.DEVNULL,
                                stderr=open(os.path.join(self.work, "session.err"), "wb"))
        sender = KeySender(os.path.join(self.build, "bench", "xtest_sender"), self.env())
        try:
            log.wait("display", timeout=20, proc=proc)
            main = processes.wait_until(lambda: self.x.visible("^Kivora$"), "the main window", proc)[0]
            self.c.equal(self.x.geometry(main), (0, 0, 1280, 1024), "the main window covers the screen")
            self.x.focus(main)
            self.x.key("Return")
            dialog = processes.wait_until(lambda: [w for w in self.x.visible("^Kivora$") if w != main],
                                          "the name dialog", proc)[0]
            self.x.focus(dialog)
            self.x.type_text(NAME)
            self.x.key("Return")
            start = log.wait("run_start", proc=proc)
            self.x.focus(main)

            def answer(trial, after, right=True):
                """Answers the trial's test figure: the key for what it shows (its picture's
                position above 6: mirrored), or the other key."""
                test = log.wait("test", trial, after.index, proc=proc)
                mirrored = int(test.detail.split("-")[1]) > 6
                sender.press(KC_2 if mirrored == right else KC_1, test.t + 400_000)
                return log.wait("answer", trial, test.index, proc=proc)

            # Practice: below the criterion, then again.
            self.x.key("space")
            last = log.wait("practice_start", proc=proc)
            self.c.equal(log.wait("countdown", 1, last.index, proc=proc).detail, "2 questions left",
                         "the first practice trial's countdown, in English")
            last = answer(2, answer(1, last, right=False))
            last = log.wait("practice_end", after=last.index, proc=proc)
            self.c.equal(last.detail, "correct=1/2", "the first practice round's correct answers")
            self.x.key("space")
            last = answer(2, answer(1, log.wait("practice_start", after=last.index, proc=proc)))
            last = log.wait("practice_end", after=last.index, proc=proc)
            self.c.equal(last.detail, "correct=2/2", "the second practice round's correct answers")
            # The main trials, a break after the second.
            self.x.key("space")
            last = answer(2, answer(1, last))
            last = log.wait("break_start", after=last.index, proc=proc)
            self.x.key("space")
            last = answer(3, log.wait("break_end", after=last.index, proc=proc))
            log.wait("results_shown", proc=proc)
            results = processes.wait_until(lambda: self.x.visible("^Results$"), "the results window", proc)[0]
            self.x.focus(results)
            self.x.key("Return")
            log.wait("results_closed", proc=proc)
            self.x.focus(main)
            self.x.key("Tab", "Return")  # End
            proc.wait(10)
        finally:
            sender.close()
            processes.stop(proc)
        data = os.path.join(self.folder, "data")
        files = sorted(os.listdir(data)) if os.path.isdir(data) else []
        self.c.equal(len(files), 2, f"the data file and the means file beside the program ({files})")
        if not files:
            return data
        with open(os.path.join(data, files[0]), "rb") as f:
            raw = f.read()
        self.c.check(raw.startswith(BOM) and not raw[3:].startswith(BOM),
                     "the data file starts with one UTF-8 byte order mark")
        rows = datafiles.read_data(self.c, os.path.join(data, files[0]), NAME)
        self.c.equal([(r["block"], r["round"], r["trial"]) for r in rows],
                     [("practice", "1", "1"), ("practice", "1", "2"), ("practice", "2", "1"), ("practice", "2", "2"),
                      ("main", "", "1"), ("main", "", "2"), ("main", "", "3")], "every practice row, then the main rows")
        main_seed = start.detail.rsplit(" ", 1)[-1].removeprefix("order_seed=")
        seeds = [r["order_seed"] for r in rows]
        self.c.equal(set(seeds[4:]), {main_seed}, "the main rows' order seed, the log's (shuffle=true)")
        self.c.check(len({seeds[0], seeds[2], main_seed}) == 3 and all(s.isdigit() for s in seeds),
                     f"each practice round in an order of its own ({seeds})")
        self.c.equal({r["fullscreen"] for r in rows}, {"1"}, "fullscreen in every row")
        means = datafiles.read_text(os.path.join(data, files[1])).split("\r\n")
        self.c.equal(len([line for line in means if line]), 1 + 1, "the means of the main trials' one time")
        return data

    # 2
    def refused_settings(self):
        self.settings("data=refused-data\nshufle=true\n")
        r = subprocess.run([self.exe], env=self.env(QT_QPA_PLATFORM="offscreen"), capture_output=True,
                           timeout=20)
        err = r.stderr.decode("utf-8", "replace")
        self.c.equal(r.returncode, 1, f"status with an unknown key in kivora.ini ({err.strip()})")
        self.c.check("kivora.ini:2:" in err and "shufle" in err, f"the file, line and key told: {err.strip()}")
        self.c.check(not os.path.exists(os.path.join(self.folder, "refused-data")),
                     "no data folder made for a refused settings file")
        os.remove(os.path.join(self.folder, "kivora.ini"))

    # 3
    def dropped(self, target, status, box_text, no_open=False):
        """The program started with target as its only argument; returns its output."""
        before = self.opened_files()
        argv = [self.exe, target] + (["--no-open"] if no_open else [])
        proc = subprocess.Popen(argv, env=self.env(), cwd=self.work, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        box = None
        if box_text:
            box = processes.wait_until(lambda: self.x.visible("^Kivora 集計$"), "the report's box", proc, timeout=60)
            self.x.focus(box[0])
            self.x.key("Return")
        try:
            out, err = proc.communicate(timeout=60)
        except subprocess.TimeoutExpired:
            processes.stop(proc)
            raise CheckFailed(f"{argv}: still running a minute on")
        self.c.equal(proc.returncode, status, f"status of {argv}")
        if not box_text:
            time.sleep(0.5)
            self.c.equal(self.x.visible("^Kivora 集計$"), [], f"no box for {argv}")
        return out.decode(), err.decode(), self.opened_files()[len(before):]

    # 4
    def class_view(self):
        data = os.path.join(self.work, "class")
        os.makedirs(data)
        written = set()  # the files this test puts into the folder
        proc = subprocess.Popen([self.exe, "--class-view", data], env=self.env(), cwd=self.work,
                                stdout=subprocess.DEVNULL, stderr=open(os.path.join(self.work, "class.err"), "wb"))

        def title_shows(text, timeout=10.0):
            """Waits until the view's title is text; returns the seconds it took."""
            start = time.monotonic()
            processes.wait_until(lambda: self.x.visible("^" + text + "$"), f"the title {text!r}", proc, timeout)
            return time.monotonic() - start

        def copy_runs(*subjects):
            for subject in subjects:
                datafiles.write_run(data, subject)
                written.update({f"20261209-090000_{subject}.csv", f"20261209-090000_{subject}_means.csv"})

        try:
            title_shows("Kivora クラス表示 — 完了 0、未完了 0", timeout=20)
            copy_runs("A", "B", "C")
            took = title_shows("Kivora クラス表示 — 完了 3、未完了 0")
            print(f"three runs copied in: shown after {took:.2f} s", flush=True)
            # A run being written: whole rows one by one, then half a row.
            being = os.path.join(data, "20261209-091000_D.csv")
            written.add(os.path.basename(being))
            with open(being, "w", encoding="utf-8-sig", newline="") as f:
                f.write(datafiles.DATA_HEADER + "\r\n")
                for row in datafiles.run_rows("D", 3):
                    f.write(row + "\r\n")
                    f.flush()
                    time.sleep(0.3)
                f.write(datafiles.run_rows("D", 4)[-1][:20])
            title_shows("Kivora クラス表示 — 完了 3、未完了 1")
            with open(os.path.join(data, "notes.csv"), "w") as f:
                f.write("name,score\r\nx,1\r\n")
            written.add("notes.csv")
            title_shows("Kivora クラス表示 — 完了 3、未完了 1、読めないファイル 1")
            os.rename(data, data + "-away")
            time.sleep(2)
            self.c.check(proc.poll() is None, "the view runs on while its folder is away")
            os.rename(data + "-away", data)
            copy_runs("E")
            title_shows("Kivora クラス表示 — 完了 4、未完了 1、読めないファイル 1")
            self.c.equal(set(os.listdir(data)), written, "the files in the folder: only those the test wrote")

            before = self.opened_files()
            view = self.x.visible("^Kivora クラス表示 — ")[0]
            self.x.focus(view)
            self.x.key("Tab", "space")  # from Show names to Write report
            box = processes.wait_until(lambda: self.x.visible("^Kivora 集計$"), "the report's box", proc, timeout=60)
            self.x.focus(box[0])
            self.x.key("Return")
            pdf = os.path.join(data, "report", "report.pdf")
            processes.wait_until(lambda: self.opened_files()[len(before):], "report.pdf opened", proc)
            self.c.equal([os.path.realpath(p.removeprefix("file://")) for p in self.opened_files()[len(before):]],
                         [os.path.realpath(pdf)], "what the system was asked to open")
            self.c.equal(set(os.listdir(data)), written | {"report"}, "the folder after Write report")
        finally:
            processes.stop(proc)
        other = os.path.join(self.work, "class-report")
        subprocess.run([self.exe, "--report", data, "--out", other], env=self.env(QT_QPA_PLATFORM="offscreen"),
                       capture_output=True, timeout=60)
        for name in ("cells.csv", "runs.csv", "group.csv"):
            with open(os.path.join(data, "report", name), "rb") as a, open(os.path.join(other, name), "rb") as b:
                self.c.check(a.read() == b.read(), f"{name} of Write report is --report's")

    def opened_files(self):
        if not os.path.exists(self.opened):
            return []
        with open(self.opened) as f:
            return f.read().split()

    def reports(self, data):
        pdf = os.path.join(data, "report", "report.pdf")
        out, err, opened = self.dropped(data, 0, box_text=True)
        self.c.check(os.path.isfile(pdf), "report.pdf written for the dropped folder")
        self.c.equal([os.path.realpath(p.removeprefix("file://")) for p in opened], [os.path.realpath(pdf)],
                     "what the system was asked to open")
        os.remove(pdf)
        out, err, opened = self.dropped(data, 0, box_text=False, no_open=True)
        self.c.check(os.path.isfile(pdf), "report.pdf written with --no-open")
        self.c.check("runs read" in out, f"what was read, on standard output with --no-open: {out!r}")
        # The run is its three main trials; the practice is counted apart.
        with open(os.path.join(data, "report", "runs.csv"), encoding="utf-8-sig", newline="") as f:
            runs = list(csv.DictReader(f))
        self.c.equal([(r["trials"], r["complete"], r["practice_trials"], r["practice_correct"], r["practice_rounds"])
                      for r in runs], [("3", "1", "4", "3", "2")], "runs.csv: the main trials, the practice apart")
        self.c.equal(opened, [], "nothing opened with --no-open")
        plan = os.path.join(self.folder, "sequence.csv")
        out, err, opened = self.dropped(plan, 1, box_text=True)
        self.c.equal(opened, [], "nothing opened for a dropped file")

    # 5
    def lab_language(self, data):
        translations = os.path.join(self.folder, "translations")
        os.makedirs(translations)
        source = os.environ.get("KIVORA_SOURCE_DIR") or os.path.join(os.path.dirname(__file__), "..", "..")
        subprocess.run([shutil.which("lrelease") or "/usr/lib/qt6/bin/lrelease", "-silent",
                        os.path.join(source, "translations", "kivora_en.ts"), "-qm",
                        os.path.join(translations, "kivora_eo.qm")], check=True)
        listed = subprocess.run([self.exe, "--list-languages"], env=self.env(QT_QPA_PLATFORM="offscreen"),
                                capture_output=True, text=True, timeout=20).stdout
        self.c.equal(listed.splitlines(), ["ja 日本語", "en English", "eo esperanto"], "--list-languages")
        self.settings("language=eo\n")
        out, err, opened = self.dropped(data, 0, box_text=False, no_open=True)
        os.remove(os.path.join(self.folder, "kivora.ini"))
        self.c.check("runs read" in out, f"what was read, in English on standard output: {out!r}")
        page = subprocess.run(["pdftotext", "-l", "1", os.path.join(data, "report", "report.pdf"), "-"],
                              capture_output=True, text=True).stdout
        self.c.check("Kivora reaction times: class report" in page, f"the PDF in the lab's language: {page[:300]!r}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", required=True)
    args = parser.parse_args()
    display = os.environ.get("KIVORA_TEST_DISPLAY")
    if not display or processes.missing_tools("xdotool", "xclip", "pdftotext") or \
            not (shutil.which("lrelease") or os.path.exists("/usr/lib/qt6/bin/lrelease")):
        print("skipped: needs KIVORA_TEST_DISPLAY (scripts/test sets it), xdotool, xclip, lrelease and pdftotext")
        return processes.SKIP
    checks = Checks()
    work = tempfile.mkdtemp(prefix="kivora-settings-report.")
    try:
        c = Class(os.path.abspath(args.build), display, work, checks)
        data = c.session()
        c.refused_settings()
        if os.path.isdir(data):
            c.reports(data)
        c.class_view()
        if os.path.isdir(data):
            c.lab_language(data)
    except CheckFailed as e:
        checks.failures.append(str(e))
        print("FAIL: " + str(e), flush=True)
    if checks.failures:
        print(f"{len(checks.failures)} check(s) failed; kept {work}")
        return 1
    shutil.rmtree(work, ignore_errors=True)
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
