"""Failed checks collected over a whole run of a script test, so that one run reports all of
them and not only the first."""


class CheckFailed(Exception):
    """A check that leaves nothing sensible to do after it: the script stops there."""


class Checks:
    """Collects failed checks; each failure is printed as it happens, so the output shows it
    next to what the test was doing at the time."""

    def __init__(self):
        self.failures = []
        self.notes = []

    def check(self, ok, message):
        """Records message as a failure unless ok; returns ok, for checks that guard others."""
        if not ok:
            self.failures.append(message)
            print("FAIL: " + message, flush=True)
        return ok

    def equal(self, actual, expected, what):
        return self.check(actual == expected, f"{what}: expected {expected!r}, got {actual!r}")

    def note(self, message):
        """Something worth knowing that is no failure (a case that could not be exercised)."""
        self.notes.append(message)
        print("note: " + message, flush=True)

    def verdict(self, passed="all checks passed"):
        """The closing line and the exit status of a script: see verdict."""
        return verdict(self.failures, passed)

    def fatal(self, message):
        """Records a failure and stops the script."""
        self.failures.append(message)
        raise CheckFailed(message)


def verdict(failures, passed="all checks passed"):
    """The closing line and the exit status of a script, once its failures have been told: how many
    checks failed, or the line passed when none did; 1 when any did."""
    print(f"{len(failures)} check(s) failed" if failures else passed, flush=True)
    return 1 if failures else 0
