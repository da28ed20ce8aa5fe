#!/usr/bin/env python3
"""kivora.exe --check-display under wine, as a lab runs it on a Windows PC: the onsets come from
the desktop compositor's refresh grid (wine makes one from its counter), so the verdict is an
estimate and the status 1; the keys come from Raw Input, a stamp for every key 1 pressed (XTest
keys from the Linux build's key sender), no later than the key filter's reading. With --timing
flip the same, after one line saying that the swap chain's statistics are not to be had (wine's
DXGI has none), or that the swap chain could not be made.

The first run also sends its trigger codes through a COM port that wine maps to a pseudo-terminal
(a link $WINEPREFIX/dosdevices/com9, made afresh), the trigger box's stand-in: a code 255 arrives
for every flip, each followed by its reset to 0, never written before the flip's estimated onset.
Where wine refuses the port (its settings), that part is skipped with a line saying why, and the
run goes on without it.

Needs KIVORA_TEST_DISPLAY (an X server), xdotool and the key sender, else it skips with status
77. Wine gets the display, the WINEPATH and the rest of its set-up from the environment.

Usage: wine_check_display.py --kivora KIVORA_EXE --sender XTEST_SENDER
"""

import os
import pty
import sys

sys.dont_write_bytecode = True  # the helpers are imported from the source tree; leave it as it is
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "support"))

import displaycheck  # noqa: E402
import winetest  # noqa: E402
from checks import Checks  # noqa: E402
from xsession import KC_1, KeySender, X  # noqa: E402


def main():
    args, display = winetest.start(("--kivora", "--sender"), tools=("xdotool",),
                                   programs={"--sender": "key sender"})
    if not display:
        return winetest.SKIP
    env = winetest.wine_env(display)
    x = X(display)
    checks = Checks()

    def focus():
        windows = x.visible("^Kivora display check$")
        if checks.check(len(windows) == 1, f"the display check's window under wine ({windows})"):
            x.focus(windows[0])

    sender = KeySender(args.sender, winetest.linux_env(display))
    # COM9 mapped to a fresh pseudo-terminal, whose other end (box) stands in for the trigger box.
    box, program = pty.openpty()
    if prefix := os.environ.get("WINEPREFIX"):
        link = os.path.join(prefix, "dosdevices", "com9")
        if os.path.lexists(link):
            os.unlink(link)
        os.symlink(os.ttyname(program), link)
    else:
        print("skipped the trigger: WINEPREFIX not set (scripts/build-windows sets it)", flush=True)
    try:
        for timing in ([], ["--timing", "flip"]):
            what = "under wine " + " ".join(timing)
            trigger = ["--trigger", "COM9"] if prefix and not timing else []
            status, lines = displaycheck.run(["wine", args.kivora, "--check-display", *timing, *trigger], env,
                                             sender, KC_1, focus)
            refused = [line for line in lines if line.startswith("kivora: trigger port ")]
            if trigger and refused:
                print(f"skipped the trigger: wine refuses the port: {refused[0]}", flush=True)
                trigger = []
                status, lines = displaycheck.run(["wine", args.kivora, "--check-display", *timing], env, sender,
                                                 KC_1, focus)
            print(f"--- {' '.join([what.strip(), *trigger])}: status {status}\n" + "\n".join(lines), flush=True)
            f = displaycheck.figures(lines)
            displaycheck.check(checks, status, f, what, "dwm", "rawinput", "yes", "Windows composes the window")
            if trigger:
                displaycheck.check_triggers(checks, f, box, what)
            if timing:
                # Wine's swap chains give no frame statistics: the onsets fall back on the
                # compositor's grid, said once.
                told = [line for line in lines if line.startswith("kivora: --timing flip: ")]
                checks.equal(len(told), 1, f"{what}: lines telling the fallback ({told})")
    finally:
        sender.close()
        os.close(box)
        os.close(program)
    return checks.verdict()


if __name__ == "__main__":
    sys.exit(main())
