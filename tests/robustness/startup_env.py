#!/usr/bin/env python3
"""Starts the real kivora program in a bad environment and checks that it says what is wrong and
ends, instead of crashing or waiting forever.

    startup_env.py --build BUILD_DIR --group display|plan|font|recorders|x11

Groups:
  display    no X display: a clear message and status 1, no abort; --check and
             --export-stimuli still work
  plan       a missing, unreadable or refused trial plan, with --check and with a headless
             window system (offscreen): FILE[:LINE]: message and status 1 within seconds
  font       no Japanese font: a warning, and the program still runs; --check needs no font
  recorders  a --data folder or --log file that cannot be written, a --trigger port that cannot be
             opened: status 1, a message naming the path, before any window
  x11        the same refusals on a real X server (Xvfb): only the error box is shown, never
             the main window, and the program ends with status 1 once the box is answered

Every start has a time limit; a program still running after it is killed (its whole process
group) and the case fails as "hung". Exit status: 0 all cases passed (some may be skipped),
1 a case failed, 77 the group cannot run here.
"""

import argparse
import os
import pwd
import grp
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # the helpers are imported from the source tree; leave it as it is
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "support"))

import processes  # noqa: E402
from processes import SKIP  # noqa: E402
from xsession import X, Xvfb  # noqa: E402

EXIT_TIMEOUT_S = 10.0   # a refusal is reported in well under a second; ten is for slow machines
ALIVE_AFTER_S = 2.0     # a program still running after this has got past its start-up checks


class Result:
    def __init__(self, rc, stdout, stderr, seconds, hung, terminated=False):
        self.rc, self.stdout, self.stderr, self.seconds, self.hung = rc, stdout, stderr, seconds, hung
        self.terminated = terminated  # still running when we ended it on purpose

    def crashed(self):
        if self.rc is None:
            return False
        if self.terminated and self.rc == -signal.SIGTERM:
            return False
        if self.hung and self.rc == -signal.SIGKILL:
            return False
        return self.rc < 0 or self.rc in (134, 139)


def base_env(tmp):
    """The caller's environment without any way to reach a display."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XAUTHORITY")}
    env["XDG_RUNTIME_DIR"] = processes.runtime_dir(tmp)
    env["LC_ALL"] = "C.UTF-8"  # the messages are Japanese: keep them readable in any locale
    return env


def run(argv, env, timeout=EXIT_TIMEOUT_S, as_user=None, alive_for=None):
    """Runs argv; returns its status, output and time. With alive_for, the program is expected to
    be still running after that many seconds; it is then terminated and hung is False."""
    if as_user:
        argv = as_user + argv
    start = time.monotonic()
    proc = subprocess.Popen(argv, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            stdin=subprocess.DEVNULL, start_new_session=True)
    limit = alive_for if alive_for is not None else timeout
    terminated = False
    try:
        out, err = proc.communicate(timeout=limit)
        hung = False
    except subprocess.TimeoutExpired:
        terminated = alive_for is not None
        # Still running: the process group is ours alone (start_new_session).
        os.killpg(proc.pid, signal.SIGTERM if alive_for is not None else signal.SIGKILL)
        try:
            out, err = proc.communicate(timeout=5)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            out, err = proc.communicate()
        hung = alive_for is None
    seconds = time.monotonic() - start
    return Result(proc.returncode, out.decode("utf-8", "replace"), err.decode("utf-8", "replace"),
                  seconds, hung, terminated)


class Suite:
    def __init__(self, name):
        self.name = name
        self.failed = 0
        self.passed = 0
        self.skipped = 0

    def skip(self, case, reason):
        self.skipped += 1
        print(f"SKIP  {self.name}: {case}: {reason}", flush=True)

    def check(self, case, res, problems):
        """problems: list of strings, empty when the case passed."""
        if not isinstance(res, Result):
            res = None
        if res is not None and res.crashed():
            problems.insert(0, f"crashed (status {res.rc})")
        timing = f" [{res.seconds:.2f} s]" if res else ""
        if problems:
            self.failed += 1
            print(f"FAIL  {self.name}: {case}{timing}", flush=True)
            for p in problems:
                print(f"        {p}")
            if res is not None:
                print(f"        status: {res.rc}{' (killed after the time limit)' if res.hung else ''}")
                for label, text in (("stderr", res.stderr), ("stdout", res.stdout)):
                    text = text.strip()
                    if text:
                        print(f"        {label}: " + text.replace("\n", "\n                "))
        else:
            self.passed += 1
            print(f"PASS  {self.name}: {case}{timing}", flush=True)

    def expect_refusal(self, case, res, message_re, status=1):
        problems = []
        if res.hung:
            problems.append(f"still running after {EXIT_TIMEOUT_S:.0f} s (waits for an answer no one can give?)")
        elif res.rc != status:
            problems.append(f"exit status {res.rc}, expected {status}")
        if not re.search(message_re, res.stderr, re.M):
            problems.append(f"stderr does not match {message_re!r}")
        self.check(case, res, problems)

    def expect_alive(self, case, res, stderr_re=None, stderr_not_re=None):
        problems = []
        if not res.terminated:
            problems.append(f"ended by itself within {ALIVE_AFTER_S:.0f} s, status {res.rc}")
        if stderr_re and not re.search(stderr_re, res.stderr, re.M):
            problems.append(f"stderr does not match {stderr_re!r}")
        if stderr_not_re and re.search(stderr_not_re, res.stderr, re.M):
            problems.append(f"stderr matches {stderr_not_re!r}")
        self.check(case, res, problems)

    def exit_status(self):
        print(f"{self.name}: {self.passed} passed, {self.failed} failed, {self.skipped} skipped")
        return 1 if self.failed else 0


def unprivileged_runner():
    """A command prefix that runs a program as nobody, or None with the reason."""
    if os.geteuid() != 0:
        return None, "not root: cannot switch to an unprivileged user"
    try:
        pwd.getpwnam("nobody")
        group = "nogroup"
        try:
            grp.getgrnam(group)
        except KeyError:
            group = "nobody"
    except KeyError:
        return None, "no user 'nobody'"
    if shutil.which("setpriv"):
        return ["setpriv", "--reuid=nobody", f"--regid={group}", "--clear-groups", "--"], None
    if shutil.which("runuser"):
        return ["runuser", "-u", "nobody", "--"], None
    return None, "neither setpriv nor runuser is installed"


def env_for_nobody(env, tmp):
    """A runtime folder nobody owns, so Qt does not complain about it."""
    e = dict(env)
    runtime = processes.runtime_dir(tmp, "xdg-runtime-nobody")
    nobody = pwd.getpwnam("nobody")
    os.chown(runtime, nobody.pw_uid, nobody.pw_gid)
    e["XDG_RUNTIME_DIR"] = runtime
    e["HOME"] = tmp
    return e


def write(path, text, mode=None):
    with open(path, "w", encoding="ascii", newline="") as f:
        f.write(text)
    if mode is not None:
        os.chmod(path, mode)
    return path


GOOD_PLAN = "".join(f"{1 + i % 4},{i % 6},{(i + 2) % 6},{i % 2},{(400, 800, 1200)[i % 3]}\r\n" for i in range(12))
NO_DISPLAY_MSG = r"DISPLAY"
NO_JP_FONT_MSG = r"warning: no Japanese font"


# ----------------------------------------------------------------------------------------------
def group_display(kivora, tmp):
    s = Suite("display")
    env = base_env(tmp)
    plan = write(os.path.join(tmp, "good.csv"), GOOD_PLAN)

    res = run([kivora, "--plan", plan], env)
    s.expect_refusal("DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM unset", res, NO_DISPLAY_MSG)

    # A display number with no server behind it.
    n = next(n for n in range(87, 200) if not os.path.exists(f"/tmp/.X11-unix/X{n}"))
    res = run([kivora, "--plan", plan], dict(env, DISPLAY=f":{n}"))
    s.expect_refusal(f"DISPLAY=:{n} with no server", res, NO_DISPLAY_MSG)

    res = run([kivora, "--plan", plan], dict(env, QT_QPA_PLATFORM="xcb"))
    s.expect_refusal("QT_QPA_PLATFORM=xcb without a display", res, NO_DISPLAY_MSG)

    # The display check must not stand before the options that need no display.
    res = run([kivora, "--check", "--plan", plan], env)
    problems = [] if res.rc == 0 and re.search(r"^trials: 12$", res.stdout, re.M) else \
        ["expected status 0 and 'trials: 12' on stdout"]
    s.check("--check without a display", res, problems)

    out = os.path.join(tmp, "pictures")
    res = run([kivora, "--export-stimuli", out], env)
    count = len([f for f in os.listdir(out) if f.endswith(".bmp")]) if os.path.isdir(out) else 0
    s.check("--export-stimuli without a display", res,
            [] if res.rc == 0 and count == 56 else [f"status {res.rc}, {count} pictures (expected 0, 56)"])
    return s.exit_status()


# ----------------------------------------------------------------------------------------------
def group_plan(kivora, tmp):
    s = Suite("plan")
    env = base_env(tmp)
    headless = dict(env, QT_QPA_PLATFORM="offscreen")
    os.chmod(tmp, 0o755)  # the unprivileged user must reach the plans

    good = write(os.path.join(tmp, "good.csv"), GOOD_PLAN)
    # Control: with a good plan the program gets past the load step and waits for the experimenter;
    # the refusals below must end it instead.
    s.expect_alive("good plan, offscreen: runs", run([kivora, "--plan", good], headless, alive_for=ALIVE_AFTER_S))

    refused_line3 = write(os.path.join(tmp, "figset.csv"), GOOD_PLAN.split("\r\n", 2)[0] + "\r\n" +
                          GOOD_PLAN.split("\r\n", 2)[1] + "\r\n9,0,0,0,400\r\n")
    too_many = write(os.path.join(tmp, "too-many.csv"), "1,0,0,0,400\r\n" * 145)
    folder = os.path.join(tmp, "a-folder.csv")
    os.mkdir(folder)
    unreadable = write(os.path.join(tmp, "unreadable.csv"), GOOD_PLAN, mode=0o000)
    missing = os.path.join(tmp, "no-such-plan.csv")

    cases = [
        ("missing plan", missing, rf"^{re.escape(missing)}: "),
        ("a folder as plan", folder, rf"^{re.escape(folder)}: "),
        ("refused value on line 3", refused_line3, rf"^{re.escape(refused_line3)}:3: "),
        ("a 145th trial", too_many, rf"^{re.escape(too_many)}:145: "),
    ]
    for case, path, message in cases:
        s.expect_refusal(f"{case}, --check", run([kivora, "--check", "--plan", path], env), message)
        s.expect_refusal(f"{case}, offscreen", run([kivora, "--plan", path], headless), message)

    runner, why = unprivileged_runner()
    if runner is None:
        s.skip("unreadable plan", why)
    else:
        nenv = env_for_nobody(env, tmp)
        message = rf"^{re.escape(unreadable)}: "
        s.expect_refusal("unreadable plan (as nobody), --check",
                         run([kivora, "--check", "--plan", unreadable], nenv, as_user=runner), message)
        s.expect_refusal("unreadable plan (as nobody), offscreen",
                         run([kivora, "--plan", unreadable], dict(nenv, QT_QPA_PLATFORM="offscreen"),
                             as_user=runner), message)

    # No --plan and no sequence.csv next to the program: a copy of the program in a bare folder.
    bare = os.path.join(tmp, "bare")
    os.mkdir(bare)
    copy = shutil.copy2(kivora, os.path.join(bare, "kivora"))
    # With --check the full path is named; the window start may name the file alone, since the
    # help says the plan is looked for in the program's folder.
    message = rf"^({re.escape(os.path.realpath(bare))}/)?sequence\.csv: "
    s.expect_refusal("no sequence.csv in the program's folder, --check", run([copy, "--check"], env), message)
    s.expect_refusal("no sequence.csv in the program's folder, offscreen", run([copy], headless), message)
    return s.exit_status()


# ----------------------------------------------------------------------------------------------
def fontconfig(tmp, name, font_dirs):
    """A fontconfig configuration that knows only font_dirs, with a cache of its own."""
    conf_dir = os.path.join(tmp, name)
    os.makedirs(conf_dir, exist_ok=True)
    dirs = "\n".join(f"  <dir>{d}</dir>" for d in font_dirs)
    return write(os.path.join(conf_dir, "fonts.conf"),
                 '<?xml version="1.0"?>\n<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">\n'
                 f"<fontconfig>\n{dirs}\n  <cachedir>{conf_dir}/cache</cachedir>\n</fontconfig>\n")


def japanese_fonts(env):
    if not shutil.which("fc-list"):
        return None
    out = subprocess.run(["fc-list", ":lang=ja", "family"], env=env, capture_output=True, text=True)
    return out.stdout.strip()


def group_font(kivora, tmp):
    s = Suite("font")
    env = base_env(tmp)
    headless = dict(env, QT_QPA_PLATFORM="offscreen")
    plan = write(os.path.join(tmp, "good.csv"), GOOD_PLAN)

    latin_dirs = [d for d in ("/usr/share/fonts/truetype/dejavu", "/usr/share/fonts/dejavu") if os.path.isdir(d)]
    empty_dir = os.path.join(tmp, "no-fonts")
    os.mkdir(empty_dir)
    configs = [("an empty font folder", fontconfig(tmp, "fc-empty", [empty_dir]))]
    if latin_dirs:
        configs.insert(0, ("Latin fonts only (DejaVu)", fontconfig(tmp, "fc-latin", latin_dirs)))
    else:
        s.skip("Latin fonts only", "no DejaVu folder on this machine")

    for case, conf in configs:
        fenv = dict(headless, FONTCONFIG_FILE=conf)
        jp = japanese_fonts(fenv)
        if jp:
            s.skip(case, f"the configuration still offers Japanese fonts: {jp}")
            continue
        s.expect_alive(f"{case}: warns and runs", run([kivora, "--plan", plan], fenv, alive_for=ALIVE_AFTER_S),
                       stderr_re=NO_JP_FONT_MSG)
        res = run([kivora, "--check", "--plan", plan], dict(env, FONTCONFIG_FILE=conf))
        s.check(f"{case}: --check works", res,
                [] if res.rc == 0 and re.search(r"^trials: 12$", res.stdout, re.M) else ["expected status 0 and 'trials: 12'"])

    # Control: with the machine's own fonts there is no warning (where a Japanese font is installed).
    if japanese_fonts(headless):
        s.expect_alive("system fonts with a Japanese face: no warning",
                       run([kivora, "--plan", plan], headless, alive_for=ALIVE_AFTER_S),
                       stderr_not_re=NO_JP_FONT_MSG)
    else:
        s.skip("system fonts", "no Japanese font installed on this machine")
    return s.exit_status()


# ----------------------------------------------------------------------------------------------
def group_recorders(kivora, tmp):
    s = Suite("recorders")
    env = base_env(tmp)
    headless = dict(env, QT_QPA_PLATFORM="offscreen")
    os.chmod(tmp, 0o755)
    plan = write(os.path.join(tmp, "good.csv"), GOOD_PLAN)
    a_file = write(os.path.join(tmp, "a-file"), "x")
    a_folder = os.path.join(tmp, "a-folder")
    os.mkdir(a_folder)

    # Control: writable recorders; the program runs, the folder is made and the log started.
    data_ok = os.path.join(tmp, "data-new", "inner")
    log_ok = os.path.join(tmp, "timing.log")
    res = run([kivora, "--plan", plan, "--data", data_ok, "--log", log_ok], headless, alive_for=ALIVE_AFTER_S)
    s.expect_alive("writable --data and --log: runs", res)
    s.check("writable --data and --log: folder made, log started", None,
            [] if os.path.isdir(data_ok) and os.path.isfile(log_ok) and open(log_ok).readline().startswith("t_us")
            else [f"{data_ok} or {log_ok} missing or without a header"])

    below_file = os.path.join(a_file, "data")
    log_below_file = os.path.join(a_file, "timing.log")
    cases = [
        ("--data below a regular file", ["--data", below_file], below_file),
        ("--data is a regular file", ["--data", a_file], a_file),
        ("--log below a regular file", ["--log", log_below_file], log_below_file),
        ("--log is a folder", ["--log", a_folder], a_folder),
        ("--trigger names no port", ["--trigger", missing_port := os.path.join(tmp, "ttyUSB9")], missing_port),
        ("--trigger is a file, no port", ["--trigger", a_file], a_file),
    ]
    for case, opts, path in cases:
        res = run([kivora, "--plan", plan] + opts, headless)
        s.expect_refusal(case, res, re.escape(path))

    runner, why = unprivileged_runner()
    if runner is None:
        s.skip("folders the user may not write", why)
    else:
        nenv = dict(env_for_nobody(env, tmp), QT_QPA_PLATFORM="offscreen")
        locked = os.path.join(tmp, "locked")
        os.mkdir(locked, 0o755)  # root's: nobody may look, not write
        s.expect_refusal("--data in a folder the user may not write (as nobody)",
                         run([kivora, "--plan", plan, "--data", locked], nenv, as_user=runner), re.escape(locked))
        locked_log = os.path.join(locked, "timing.log")
        s.expect_refusal("--log in a folder the user may not write (as nobody)",
                         run([kivora, "--plan", plan, "--log", locked_log], nenv, as_user=runner),
                         re.escape(locked_log))
        leftovers = os.listdir(locked)
        s.check("nothing left in the locked folder", None, [f"found {leftovers}"] if leftovers else [])
    return s.exit_status()


# ----------------------------------------------------------------------------------------------
def start_on_x(argv, env):
    proc = subprocess.Popen(argv, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            stdin=subprocess.DEVNULL, start_new_session=True)
    proc.started_at = time.monotonic()
    return proc


def finish(proc, seconds, signal_first=None):
    terminated = False
    if signal_first is not None and proc.poll() is None:
        os.killpg(proc.pid, signal_first)
        terminated = True
    hung = False
    try:
        out, err = proc.communicate(timeout=seconds)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        out, err = proc.communicate()
        hung = True
    return Result(proc.returncode, out.decode("utf-8", "replace"), err.decode("utf-8", "replace"),
                  time.monotonic() - proc.started_at, hung, terminated)


def wait_for_windows(x, proc):
    """The visible windows of proc once it shows any, or [] when it ends first or shows none
    within the time limit."""
    return processes.poll(lambda: x.windows_of(proc.pid), EXIT_TIMEOUT_S, proc, interval=0.05)


def group_x11(kivora, tmp):
    s = Suite("x11")
    missing = processes.missing_tools("Xvfb", "xdotool", "xprop")
    if missing:
        print(f"SKIP  x11: needs {', '.join(missing)}")
        return SKIP
    try:
        server = Xvfb()
    except (OSError, RuntimeError) as e:
        print(f"SKIP  x11: cannot start Xvfb: {e}")
        return SKIP
    try:
        env = dict(base_env(tmp), DISPLAY=server.display)
        x = X(server.display, env=env)
        plan = write(os.path.join(tmp, "good.csv"), GOOD_PLAN)
        refused = write(os.path.join(tmp, "refused.csv"), "1,0,0,0,400\r\n1,0,0,7,400\r\n")
        a_file = write(os.path.join(tmp, "a-file"), "x")

        # Control: the main window is a normal window; the boxes below must be dialogs.
        proc = start_on_x([kivora, "--plan", plan], env)
        wins = wait_for_windows(x, proc)
        res = finish(proc, 5, signal_first=signal.SIGTERM)
        s.check("good plan: the main window appears", res,
                [] if [k for _, k in wins] == ["NORMAL"] else [f"visible windows: {wins or 'none'}"])

        cases = [
            ("refused plan", ["--plan", refused], rf"{re.escape(refused)}:2: "),
            ("missing plan", ["--plan", os.path.join(tmp, "none.csv")], re.escape(os.path.join(tmp, "none.csv"))),
            ("--data below a regular file", ["--plan", plan, "--data", os.path.join(a_file, "d")],
             re.escape(os.path.join(a_file, "d"))),
            ("--log below a regular file", ["--plan", plan, "--log", os.path.join(a_file, "l.log")],
             re.escape(os.path.join(a_file, "l.log"))),
        ]
        for case, opts, message in cases:
            proc = start_on_x([kivora] + opts, env)
            wins = wait_for_windows(x, proc)
            time.sleep(0.3)  # a main window shown right after the box would show up by now
            if proc.poll() is None:
                wins = x.windows_of(proc.pid)
            problems = []
            if [k for _, k in wins] != ["DIALOG"]:
                problems.append(f"expected one error box and no main window; visible windows: {wins or 'none'}")
            if wins:
                # Answer the box as the experimenter would: focus it (no window manager here), Enter.
                x.xdotool("windowfocus", "--sync", str(wins[0][0]), "key", "Return", check=False)
            res = finish(proc, EXIT_TIMEOUT_S)
            if res.hung:
                problems.append("still running after the box was answered")
            elif res.rc != 1:
                problems.append(f"exit status {res.rc}, expected 1")
            if not re.search(message, res.stderr, re.M):
                problems.append(f"stderr does not match {message!r}")
            s.check(f"{case}: error box only, then status 1", res, problems)
    finally:
        server.close()
    return s.exit_status()


GROUPS = {"display": group_display, "plan": group_plan, "font": group_font,
          "recorders": group_recorders, "x11": group_x11}


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", required=True, help="build folder that holds the kivora program")
    ap.add_argument("--group", required=True, choices=sorted(GROUPS))
    args = ap.parse_args()
    kivora = os.path.join(os.path.abspath(args.build), "kivora")
    if not os.access(kivora, os.X_OK):
        print(f"FAIL  {kivora} not found: build the kivora target first", file=sys.stderr)
        return 1
    with tempfile.TemporaryDirectory(prefix="kivora-env-") as tmp:
        try:
            return GROUPS[args.group](kivora, tmp)
        finally:
            # Files made unreadable for the tests must not stop the clean-up.
            for root, dirs, files in os.walk(tmp):
                for name in dirs + files:
                    try:
                        os.chmod(os.path.join(root, name), 0o700, follow_symlinks=False)
                    except OSError:
                        pass


if __name__ == "__main__":
    sys.exit(main())
