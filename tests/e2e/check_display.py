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
import contextlib
import os
import sys
import tempfile

sys.dont_write_bytecode = True  # the helpers are imported from the source tree; leave it as it is
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "support"))

import displaycheck  # noqa: E402
import processes  # noqa: E402
from checks import Checks  # noqa: E402
from xsession import KC_1, Compositor, KeySender, XWayland, Xvfb  # noqa: E402

# The steps: the server each runs on (None: the test's Xvfb), what it is called, the check's
# options, the onset source and the compositor expected, and what the line saying why the onsets
# are not exact names (None: they are).
STEPS = [
    (None, "--timing present", ["--timing", "present"], "flip", "no", None),
    (None, "--timing timers", ["--timing", "timers"], "flush", "no", "drawing reached the window system"),
    # A compositor that redirects the window: the onsets are a compositor frame early.
    ("mutter", "under mutter", [], "flip", "yes", "a compositing manager redirects the window"),
    # A compositor that leaves a window covering the screen alone (picom unredirects it): the
    # fullscreen check finds the window not redirected.
    ("picom", "fullscreen under picom", ["--fullscreen"], "flip", "bypassed", None),
    # A Wayland session: the flips are the Wayland compositor's, whatever the X server says.
    ("weston", "in a Wayland session", [], "flip", "wayland", "a Wayland session"),
]
TOOLS = {None: (), "weston": XWayland.TOOLS, **Compositor.TOOLS}


@contextlib.contextmanager
def server(kind, work):
    """The server of a step, for its duration: the test's Xvfb (kind None), an Xvfb of its own
    under compositor kind, or weston's X server in a Wayland session ("weston"). Yields what the
    step's environment takes from it."""
    with contextlib.ExitStack() as stop:
        if kind == "weston":
            session = XWayland(work)
            stop.callback(session.close)
            yield session.env
        elif kind:
            xvfb = Xvfb()
            stop.callback(xvfb.close)
            stop.callback(Compositor(kind, xvfb.display, work).close)
            yield {"DISPLAY": xvfb.display}
        else:
            yield {}


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
        for kind, what, options, onset, compositor, why in STEPS:
            if missing := processes.missing_tools(*TOOLS[kind]):
                print(f"skipped the step {what}: {', '.join(missing)} not installed")
                continue
            with server(kind, work) as own:
                env = {**base, "DISPLAY": display, "XDG_RUNTIME_DIR": processes.runtime_dir(work), **own}
                sender = KeySender(os.path.join(args.build, "bench", "xtest_sender"), env)
                try:
                    status, lines = displaycheck.run([os.path.join(args.build, "kivora"), "--check-display", *options],
                                                     env, sender, KC_1)
                finally:
                    sender.close()
            print(f"--- {what}: status {status}\n" + "\n".join(lines), flush=True)
            displaycheck.check(checks, status, displaycheck.figures(lines), what, onset, "xinput2", compositor, why)
    return checks.verdict()


if __name__ == "__main__":
    sys.exit(main())
