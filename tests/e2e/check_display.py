#!/usr/bin/env python3
"""kivora --check-display on real X servers, as a lab runs it before a study: on the Xvfb of
scripts/test (its Present extension flips at a simulated 60 Hz refresh) in both modes, then
under GNOME's compositor (mutter, on an Xvfb of its own) and in a Wayland session (weston's
XWayland), and fullscreen under picom, which leaves a window covering the screen alone. The
flips told, the compositor found, the verdict agreeing with them (exact only for
flip onsets with nothing composing the window and every flip at its planned refresh) with a
line saying why where it is not, the status agreeing with the verdict, and a stamp for every key
1 pressed, no later than the key filter's reading.

Needs KIVORA_TEST_DISPLAY (scripts/test provides it), else it skips with status 77; a step whose
compositor is not installed is skipped with a line saying so.

Usage: check_display.py --build BUILD_DIR
"""

import argparse
import os
import sys
import tempfile

sys.dont_write_bytecode = True  # the helpers are imported from the source tree; leave it as it is
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "support"))

import displaycheck  # noqa: E402
import processes  # noqa: E402
from checks import Checks  # noqa: E402
from xsession import KC_1, Compositor, KeySender, XWayland, Xvfb  # noqa: E402


def check_display(build, env, checks, what, args, onset, compositor, why):
    """One run of the check on env's display, judged by displaycheck.check."""
    sender = KeySender(os.path.join(build, "bench", "xtest_sender"), env)
    try:
        status, lines = displaycheck.run([os.path.join(build, "kivora"), "--check-display", *args], env, sender,
                                         KC_1)
    finally:
        sender.close()
    print(f"--- {what}: status {status}\n" + "\n".join(lines), flush=True)
    displaycheck.check(checks, status, displaycheck.figures(lines), what, onset, "xinput2", compositor, why)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", required=True)
    args = parser.parse_args()
    display = os.environ.get("KIVORA_TEST_DISPLAY")
    if not display:
        print("skipped: KIVORA_TEST_DISPLAY not set (scripts/test sets it)")
        return processes.SKIP
    checks = Checks()
    with tempfile.TemporaryDirectory(prefix="kivora-check-display.") as work:
        base = {k: v for k, v in os.environ.items() if k not in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY")}
        env = dict(base, DISPLAY=display, XDG_RUNTIME_DIR=processes.runtime_dir(work))
        check_display(args.build, env, checks, "--timing present", ["--timing", "present"], "flip", "no", None)
        check_display(args.build, env, checks, "--timing timers", ["--timing", "timers"], "flush", "no",
                      "drawing reached the window system")

        # A compositor that redirects the window: the onsets are a compositor frame early.
        if missing := processes.missing_tools(*Compositor.TOOLS["mutter"]):
            print(f"skipped the step under mutter: {', '.join(missing)} not installed")
        else:
            server = Xvfb()
            try:
                mutter = Compositor("mutter", server.display, work)
                try:
                    check_display(args.build, dict(env, DISPLAY=server.display), checks, "under mutter", [], "flip",
                                  "yes", "a compositing manager redirects the window")
                finally:
                    mutter.close()
            finally:
                server.close()

        # A compositor that leaves a window covering the screen alone (picom unredirects it): the
        # fullscreen check finds the window not redirected.
        if missing := processes.missing_tools(*Compositor.TOOLS["picom"]):
            print(f"skipped the step under picom: {', '.join(missing)} not installed")
        else:
            server = Xvfb()
            try:
                picom = Compositor("picom", server.display, work)
                try:
                    check_display(args.build, dict(env, DISPLAY=server.display), checks, "fullscreen under picom",
                                  ["--fullscreen"], "flip", "bypassed", None)
                finally:
                    picom.close()
            finally:
                server.close()

        # A Wayland session: the flips are the Wayland compositor's, whatever the X server says.
        if missing := processes.missing_tools(*XWayland.TOOLS):
            print(f"skipped the step in a Wayland session: {', '.join(missing)} not installed")
        else:
            session = XWayland(work)
            try:
                check_display(args.build, dict(base, **session.env), checks, "in a Wayland session", [], "flip",
                              "wayland", "a Wayland session")
            finally:
                session.close()
    return checks.verdict()


if __name__ == "__main__":
    sys.exit(main())
