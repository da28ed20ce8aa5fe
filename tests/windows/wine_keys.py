#!/usr/bin/env python3
"""The Windows key reader under wine, on XTest keys: wine queues raw keyboard input (WM_INPUT) for
every key the X server delivers, so the reader's Raw Input stamps can be checked there.

winkeys (tests/windows/winkeys.cpp) runs the key reader beside a key filter; the Linux build's
bench/xtest_sender presses keys on the X server. For each key (top-row 1 and 2, keypad 1 and 2,
keypad Enter, A): the reader is in force (source rawinput), the filter is given the key's Windows
scan code, and takes a Raw Input stamp for it, stamped after the key was sent (the clocks related
as support/winekeys.py does). Prints the key latency of the stamps and of the filter's readings
as figures; wine is not Windows, so they are informative only (bench/wine_keys measures them).

Needs KIVORA_TEST_DISPLAY (an X server), xdotool and the key sender, else it skips with
status 77. Wine gets the display, the WINEPATH and the rest of its set-up from the environment.

Usage: wine_keys.py --winkeys WINKEYS_EXE --sender XTEST_SENDER
"""

import argparse
import os
import statistics
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

from checks import CheckFailed, Checks  # noqa: E402
from processes import SKIP, missing_tools  # noqa: E402
from winekeys import WINDOWS_SCAN, WineKeys  # noqa: E402
from xsession import KC_1, KC_2, KC_A, KC_KP1, KC_KP2, KeySender, X  # noqa: E402

KC_KP_ENTER = 104
KEYS = [KC_1, KC_2, KC_KP1, KC_KP2, KC_KP_ENTER, KC_A, KC_1, KC_2]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--winkeys", required=True)
    parser.add_argument("--sender", required=True)
    args = parser.parse_args()
    display = os.environ.get("KIVORA_TEST_DISPLAY")
    if not display:
        print("skipped: KIVORA_TEST_DISPLAY names no X server")
        return SKIP
    if missing_tools("xdotool"):
        print("skipped: xdotool is missing")
        return SKIP
    if not os.access(args.sender, os.X_OK):
        print(f"skipped: no key sender at {args.sender}")
        return SKIP

    env = dict(os.environ, DISPLAY=display)
    x = X(display, env=env)
    checks = Checks()
    sender = KeySender(args.sender, env)
    keys = None
    stamp_ms, filter_ms = [], []
    try:
        keys = WineKeys(args.winkeys, env, x)
        checks.equal(keys.source, "rawinput", "the key source under wine")
        for keycode in KEYS:
            sent = keys.to_program_us(sender.press(keycode, 0))
            key = keys.key()
            checks.equal(key.scan, WINDOWS_SCAN[keycode], f"the scan code Qt gives X key {keycode}")
            if not checks.check(key.stamp_us >= 0, f"X key {keycode}: no Raw Input stamp ({key})"):
                continue
            # Causal, to within how well the clocks are related.
            checks.check(key.stamp_us >= sent - keys.uncertainty_us(),
                         f"X key {keycode}: stamped {key.stamp_us - sent:.0f} us after it was sent")
            stamp_ms.append((key.stamp_us - sent) / 1000)
            filter_ms.append((key.filter_us - sent) / 1000)
            time.sleep(0.1)
        keys.relate()
    except CheckFailed as e:
        checks.check(False, str(e))
    finally:
        sender.close()
        if keys:
            checks.equal(keys.close(), 0, "winkeys' exit status")

    if stamp_ms:
        print(f"figure: key latency under wine, XTest send to the Raw Input stamp: median "
              f"{statistics.median(stamp_ms):.3f} ms, to the key filter's reading: median "
              f"{statistics.median(filter_ms):.3f} ms ({len(stamp_ms)} keys; clocks related to "
              f"{keys.uncertainty_us():.0f} us)")
    if not checks.failures:
        print("wine keys: Raw Input stamps with the key handler's scan codes, after the send")
    return 1 if checks.failures else 0


if __name__ == "__main__":
    sys.exit(main())
