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

import os
import statistics
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

import winetest  # noqa: E402
from checks import CheckFailed, Checks  # noqa: E402
from winekeys import WINDOWS_SCAN, WineKeys  # noqa: E402
from xsession import KC_1, KC_2, KC_A, KC_KP1, KC_KP2, KeySender, X  # noqa: E402

KC_KP_ENTER = 104
KEYS = [KC_1, KC_2, KC_KP1, KC_KP2, KC_KP_ENTER, KC_A, KC_1, KC_2]


def main():
    args, display = winetest.start(("--winkeys", "--sender"), tools=("xdotool",),
                                   programs={"--sender": "key sender"})
    if not display:
        return winetest.SKIP

    env = winetest.wine_env(display)
    x = X(display, env=env)
    checks = Checks()
    sender = KeySender(args.sender, winetest.linux_env(display))
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
    return checks.verdict("wine keys: Raw Input stamps with the key handler's scan codes, after the send")


if __name__ == "__main__":
    sys.exit(main())
