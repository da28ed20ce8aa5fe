"""An X server as a participant uses it: windows found by name or by process, the focus, keys,
clicks and screenshots (through xdotool and ImageMagick's import), NumLock, keys sent at a
chosen moment (bench/xtest_sender), what a second client sees (bench/xwatch: key presses as they
arrive, changes of a window), and a private Xvfb for tests that need a server of their own."""

import ctypes
import ctypes.util
import os
import re
import subprocess
import threading
import time

import processes
from checks import CheckFailed
from images import Image

# X11 key codes (evdev + 8), as bench/xtest_sender takes them.
KC_1, KC_2, KC_A = 10, 11, 38
KC_KP1, KC_KP2 = 87, 88


class X:
    """The tools that drive one X server. A tool that fails raises CheckFailed with its message,
    unless the call says check=False."""

    def __init__(self, display, workdir=None, env=None):
        self.display = display
        self.env = dict(env if env is not None else os.environ, DISPLAY=display)
        self.workdir = workdir  # where screenshots are kept
        self.shots = 0

    def run(self, *args, check=True, timeout=20):
        p = subprocess.run(list(args), env=self.env, capture_output=True, text=True, timeout=timeout)
        if check and p.returncode != 0:
            raise CheckFailed(f"{' '.join(args)} failed ({p.returncode}): {p.stderr.strip()}")
        return p.stdout

    def xdotool(self, *args, check=True):
        return self.run("xdotool", *args, check=check)

    def visible(self, name_regex):
        """The visible windows whose title matches name_regex."""
        out = self.xdotool("search", "--onlyvisible", "--name", name_regex, check=False)
        return [int(w) for w in out.split()]

    def windows_of(self, pid):
        """(window, type) of the visible top-level windows of process pid; the type is the end
        of its _NET_WM_WINDOW_TYPE (NORMAL, DIALOG, ...), "?" when it has none."""
        out = self.xdotool("search", "--all", "--onlyvisible", "--pid", str(pid), "--name", "", check=False)
        # Without a window manager the top-level windows are the root window's children; the
        # search also finds native child windows that carry the process's properties.
        tree = self.run("xwininfo", "-root", "-children", check=False)
        top = {int(m, 16) for m in re.findall(r"^\s+(0x[0-9a-f]+) ", tree, re.M)}
        wins = []
        for w in out.split():
            if int(w) not in top:
                continue
            prop = self.run("xprop", "-id", w, "_NET_WM_WINDOW_TYPE", "WM_NAME", check=False)
            kind = re.search(r"_NET_WM_WINDOW_TYPE_(\w+)", prop)
            wins.append((int(w), kind.group(1) if kind else "?"))
        return wins

    def geometry(self, win):
        """(x, y, width, height) of a window's client area on the screen."""
        out = self.xdotool("getwindowgeometry", "--shell", str(win))
        v = dict(line.split("=", 1) for line in out.split())
        return int(v["X"]), int(v["Y"]), int(v["WIDTH"]), int(v["HEIGHT"])

    def focused(self):
        out = self.xdotool("getwindowfocus", check=False)
        return int(out.strip()) if out.strip().isdigit() else None

    def focus(self, win):
        """Gives win the keyboard focus. Without a window manager nobody else would."""
        self.xdotool("windowfocus", "--sync", str(win))

    def key(self, *keys):
        self.xdotool("key", *keys)

    def type_text(self, text, tries=3):
        """Types text into the focused line edit and reads it back (select all, copy, the
        clipboard). xdotool types a character the keymap lacks by binding it to a spare key for
        a moment; a program that reads the keymap after it was bound back loses that character,
        which a busy machine makes likely. So a text that does not read back is cleared and
        typed again. Returns the number of tries it took."""
        for attempt in range(1, tries + 1):
            self.xdotool("type", "--delay", "40", text)
            self.key("ctrl+a", "ctrl+c")
            deadline = time.monotonic() + 3
            while time.monotonic() < deadline:
                if self.run("xclip", "-o", "-selection", "clipboard", check=False, timeout=5) == text:
                    return attempt
                time.sleep(0.05)
            self.key("ctrl+a", "BackSpace")
        raise CheckFailed(f"typing {text!r}: it did not read back from the clipboard in {tries} tries")

    def click(self, x, y):
        self.xdotool("mousemove", "--sync", str(x), str(y))
        self.xdotool("click", "1")

    def screenshot(self, label):
        """The whole screen as an Image, also kept as <n>-<label>.ppm in the work folder."""
        self.shots += 1
        path = os.path.join(self.workdir, f"{self.shots:02d}-{label}.ppm")
        start = time.monotonic()
        self.run("import", "-window", "root", "-depth", "8", "ppm:" + path, timeout=30)
        print(f"screenshot {os.path.basename(path)} took {(time.monotonic() - start) * 1000:.0f} ms", flush=True)
        return Image.read(path)


def _libx11():
    """libX11 through ctypes with the calls used here declared, or None where it cannot be had."""
    name = ctypes.util.find_library("X11")
    if not name:
        return None
    try:
        x11 = ctypes.CDLL(name)
    except OSError:
        return None
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XQueryPointer.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 7
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XGetSelectionOwner.restype = ctypes.c_ulong
    x11.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    return x11


def selection_owned(display, selection):
    """Whether some client owns the selection (e.g. _NET_WM_CM_S0, held by a compositing
    manager); None when libX11 or the display cannot be reached."""
    x11 = _libx11()
    dpy = x11.XOpenDisplay(display.encode()) if x11 else None
    if not dpy:
        return None
    try:
        return x11.XGetSelectionOwner(dpy, x11.XInternAtom(dpy, selection.encode(), 0)) != 0
    finally:
        x11.XCloseDisplay(dpy)


def numlock_state(display):
    """NumLock as the X server keeps it (Mod2 of the pointer's modifier mask), or None when
    libX11 cannot be reached through ctypes."""
    x11 = _libx11()
    dpy = x11.XOpenDisplay(display.encode()) if x11 else None
    if not dpy:
        return None
    try:
        root, child = ctypes.c_ulong(), ctypes.c_ulong()
        rx, ry, wx, wy = ctypes.c_int(), ctypes.c_int(), ctypes.c_int(), ctypes.c_int()
        mask = ctypes.c_uint()
        x11.XQueryPointer(dpy, x11.XDefaultRootWindow(dpy), ctypes.byref(root), ctypes.byref(child),
                          ctypes.byref(rx), ctypes.byref(ry), ctypes.byref(wx), ctypes.byref(wy),
                          ctypes.byref(mask))
        return bool(mask.value & 0x10)  # Mod2Mask
    finally:
        x11.XCloseDisplay(dpy)


class KeySender:
    """bench/xtest_sender: one key press and release at a CLOCK_MONOTONIC moment. The sender
    waits for the moment itself and reports when it sent the key, so a reaction time the
    program records can be compared with the delay that was meant."""

    def __init__(self, path, env):
        self.proc = subprocess.Popen([path], env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True, bufsize=1)
        line = self.proc.stdout.readline().strip()
        if line != "ready":
            raise CheckFailed(f"xtest_sender did not start: {line!r} {self.proc.stderr.read()}")
        self.pending = 0

    def queue(self, keycode, at_us=0):
        """Hands the key over; the sender waits for at_us itself. Returns at once."""
        self.proc.stdin.write(f"key {keycode} {at_us}\n")
        self.proc.stdin.flush()
        self.pending += 1

    def sent(self):
        """The send time (µs) of the oldest queued key, waiting for it if need be."""
        line = self.proc.stdout.readline().strip()
        self.pending -= 1
        if not line.isdigit():
            raise CheckFailed(f"xtest_sender answered {line!r}")
        return int(line)

    def press(self, keycode, at_us=0):
        """Sends the key at at_us (at once when 0) and returns when it was sent."""
        self.queue(keycode, at_us)
        return self.sent()

    def close(self):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.write("quit\n")
                self.proc.stdin.close()
                self.proc.wait(timeout=5)
            except (OSError, subprocess.TimeoutExpired):
                self.proc.kill()
                self.proc.wait()


class XWatch:
    """bench/xwatch, a second X client: its lines as tuples of integers (the CLOCK_MONOTONIC µs at
    which it read an event, then the event's numbers), gathered as they come. `xwatch keys` reads
    the raw key presses on a thread of its own: the floor of key latency that no program on the
    machine can beat, measured on the same keys as the program's."""

    def __init__(self, path, env, *args):
        self.proc = subprocess.Popen([path, *args], env=env, stdout=subprocess.PIPE, text=True, bufsize=1)
        if self.proc.stdout.readline().strip() != "ready":
            raise CheckFailed(f"xwatch {' '.join(args)} did not start")
        self._lines = []
        self._lock = threading.Lock()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for line in self.proc.stdout:
            if line.strip():
                with self._lock:
                    self._lines.append(tuple(int(x) for x in line.split()))

    def lines(self):
        """What it has read so far."""
        with self._lock:
            return list(self._lines)

    def stop(self):
        """Ends the watcher; every line it read."""
        self.proc.terminate()
        self.proc.wait(timeout=5)
        self._reader.join(timeout=5)
        return self.lines()


def first_press_after(presses, keycode, after_us):
    """The first moment (µs) in xwatch keys' presses at which keycode was read at or after
    after_us, or None."""
    return next((us for us, code in presses if code == keycode and us >= after_us), None)


class Xvfb:
    """A private X server on a free display number, ended with close()."""

    def __init__(self):
        read_fd, write_fd = os.pipe()
        self.proc = subprocess.Popen(
            # -noreset: the server would otherwise reset when the last client leaves, and a program
            # started in that moment could not connect.
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write_fd)
        number = b""
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and not number.endswith(b"\n"):
            chunk = os.read(read_fd, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_fd)
        if not number.strip():
            self.close()
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number.decode().strip()

    def close(self):
        processes.stop(self.proc, group=True)


class Compositor:
    """A compositing manager from Debian on display, started in a process group of its own and
    stopped by it (close()), ready once it owns _NET_WM_CM_S0:
      "mutter": GNOME's compositor as the X11 window manager; it redirects every window it
                manages (on Xvfb also one covering the screen, having no monitor to hand it to);
      "picom":  a compositor without a window manager that unredirects a window covering the
                whole screen and redirects every smaller one."""

    COMMANDS = {"mutter": ["dbus-run-session", "--", "mutter", "--x11", "--replace", "--sm-disable"],
                "picom": ["picom", "--backend", "xrender", "--unredir-if-possible"]}
    TOOLS = {"mutter": ("dbus-run-session", "mutter"), "picom": ("picom",)}

    def __init__(self, kind, display, workdir):
        env = dict(os.environ, DISPLAY=display, XDG_RUNTIME_DIR=processes.runtime_dir(workdir, kind + "-runtime"))
        self.log = open(os.path.join(workdir, kind + ".log"), "w")
        self.proc = subprocess.Popen(self.COMMANDS[kind], env=env, stdout=self.log, stderr=subprocess.STDOUT,
                                     start_new_session=True)
        if not processes.poll(lambda: selection_owned(display, "_NET_WM_CM_S0"), 30, self.proc):
            self.close()
            raise CheckFailed(f"{kind} did not become the compositing manager of {display}")

    def close(self):
        processes.stop(self.proc, group=True)
        self.log.close()


class XWayland:
    """A Wayland session without a monitor: weston's headless back end with its X server
    (XWayland) for X11 programs; .display is that X server. Stopped with close()."""

    TOOLS = ("weston", "Xwayland")

    def __init__(self, workdir):
        runtime = processes.runtime_dir(workdir, "weston-runtime")
        self.log_path = os.path.join(workdir, "weston.log")
        self.log = open(self.log_path, "w")
        self.proc = subprocess.Popen(
            ["weston", "--backend=headless-backend.so", "--xwayland", "--socket=kivora-test",
             "--width=1280", "--height=1024"],
            env=dict(os.environ, XDG_RUNTIME_DIR=runtime), stdout=self.log, stderr=subprocess.STDOUT,
            start_new_session=True)

        def listening():
            with open(self.log_path, encoding="utf-8", errors="replace") as f:
                m = re.search(r"xserver listening on display (:\d+)", f.read())
            return m.group(1) if m else None

        self.display = processes.poll(listening, 20, self.proc)
        if not self.display:
            self.close()
            raise CheckFailed("weston's X server did not start")
        # For X11 programs of this session. WAYLAND_DISPLAY is left out on purpose: what the X
        # server itself tells is what a program started without the session's environment sees.
        self.env = {"DISPLAY": self.display, "XDG_RUNTIME_DIR": runtime}

    def close(self):
        processes.stop(self.proc, group=True)
        self.log.close()
