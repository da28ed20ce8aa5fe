"""Starting, waiting for and stopping the programs a script test drives."""

import os
import shutil
import signal
import subprocess
import time

from checks import CheckFailed

# The exit status CTest reads as "skipped" (SKIP_RETURN_CODE): the test cannot run here.
SKIP = 77


def missing_tools(*names):
    """The names of the commands that are not on PATH."""
    return [name for name in names if not shutil.which(name)]


def runtime_dir(folder, name="xdg-runtime"):
    """A private XDG_RUNTIME_DIR below folder. Qt warns about a runtime folder that others may
    read, and the caller's own may not exist at all."""
    path = os.path.join(folder, name)
    os.makedirs(path, mode=0o700, exist_ok=True)
    return path


def poll(predicate, timeout, proc=None, interval=0.02):
    """Calls predicate until it returns something true, proc ends or timeout seconds pass, and
    returns its last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or (proc is not None and proc.poll() is not None) or time.monotonic() > deadline:
            return value
        time.sleep(interval)


def wait_until(predicate, what, proc, timeout=10.0):
    """The first true value of predicate. Fails when proc ends first (what it was waiting for
    will not come) or after timeout seconds."""
    value = poll(predicate, timeout, proc)
    if value:
        return value
    if proc.poll() is not None:
        raise CheckFailed(f"the program ended (status {proc.returncode}) while waiting for {what}")
    raise CheckFailed(f"timed out waiting for {what}")


def stop(proc, group=False, grace=5):
    """Ends proc if it still runs: TERM, and KILL after grace seconds. With group, the signals
    go to its whole process group (started with start_new_session, so the group is its own)."""
    if proc.poll() is not None:
        return
    send = (lambda sig: os.killpg(proc.pid, sig)) if group else proc.send_signal
    send(signal.SIGTERM)
    try:
        proc.wait(timeout=grace)
    except subprocess.TimeoutExpired:
        send(signal.SIGKILL)
        proc.wait()
