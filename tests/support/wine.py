"""For the Python tests of the Windows build under wine: paths in wine's spelling."""

import os


def windows_path(path):
    """A Linux path as a program under wine reaches it (Z: is the root of the Linux files)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")
