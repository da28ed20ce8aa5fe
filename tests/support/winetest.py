"""What the script tests of the Windows build under wine share at their start and their end:
their options (every one a required path), the skip line and status 77 when the test cannot run
here, the environments of a Windows program under wine and of a Linux program beside it, the
main window's client area as winprobe writes it, and the closing line with the exit status
(checks.verdict)."""

import argparse
import os

from checks import verdict  # noqa: F401 (for the scripts)
from processes import SKIP, missing_tools  # noqa: F401 (SKIP: for the scripts)
from screens import MAIN_SIZE

MAIN_CLIENT = "%dx%d" % MAIN_SIZE  # the main window's designed client area, as winprobe writes it


def start(options, tools=(), programs=None):
    """The script's options (every one required) and the X server KIVORA_TEST_DISPLAY names. The
    display is None, after a line saying why, when the test cannot run here: no X server, a
    command of tools not on PATH, or no executable file at the path of an option of programs
    ({option: what it is})."""
    parser = argparse.ArgumentParser()
    for name in options:
        parser.add_argument(name, required=True)
    args = parser.parse_args()
    display = os.environ.get("KIVORA_TEST_DISPLAY")
    if not display:
        return args, skipped("KIVORA_TEST_DISPLAY names no X server")
    if missing := missing_tools(*tools):
        return args, skipped(f"{', '.join(missing)} missing")
    for option, what in (programs or {}).items():
        path = getattr(args, option.lstrip("-").replace("-", "_"))
        if not os.access(path, os.X_OK):
            return args, skipped(f"no {what} at {path}")
    return args, display


def skipped(why):
    print(f"skipped: {why}", flush=True)


def wine_env(display):
    """The environment of a Windows program under wine: this one (wine's own settings with it),
    on display."""
    return dict(os.environ, DISPLAY=display)


def linux_env(display=None):
    """The environment of a Linux program beside it: without wine's settings, and on display when
    one is given (else on none)."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("WINE") and k != "DISPLAY"}
    if display:
        env["DISPLAY"] = display
    return env


def probe_values(stdout):
    """winprobe's NAME=VALUE words, {NAME: VALUE}."""
    return dict(word.split("=", 1) for word in stdout.decode().split() if "=" in word)

