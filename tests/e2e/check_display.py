#!/usr/bin/env python3
"""kivora --check-display on a real X server (Xvfb, whose Present extension flips at a simulated
60 Hz refresh), in both modes: the flips told and the verdict agreeing with them (exact only
for flip onsets with every flip at its planned refresh), the status agreeing with the verdict,
and a stamp for every key 1 pressed, no later than the key filter's reading.

Needs KIVORA_TEST_DISPLAY (scripts/test provides it), else it skips with status 77.

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
from xsession import KC_1, KeySender  # noqa: E402


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
        env = dict(os.environ, DISPLAY=display, XDG_RUNTIME_DIR=processes.runtime_dir(work))
        env.pop("QT_QPA_PLATFORM", None)
        sender = KeySender(os.path.join(args.build, "bench", "xtest_sender"), env)
        try:
            for mode, onset in (("present", "flip"), ("timers", "flush")):
                status, lines = displaycheck.run([os.path.join(args.build, "kivora"), "--check-display",
                                                  "--timing", mode], env, sender, KC_1)
                print(f"--- --timing {mode}: status {status}\n" + "\n".join(lines), flush=True)
                displaycheck.check(checks, status, displaycheck.figures(lines), f"--timing {mode}", onset,
                                   "xinput2")
        finally:
            sender.close()
    print(f"{len(checks.failures)} check(s) failed" if checks.failures else "all checks passed")
    return 1 if checks.failures else 0


if __name__ == "__main__":
    sys.exit(main())
