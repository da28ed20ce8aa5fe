"""PDF files read through poppler's tools (pdfinfo, pdftotext, pdftoppm)."""

import glob
import html
import os
import re
import subprocess
import time

from images import Image


def info(path):
    """(number of pages, title) of a PDF; None for what pdfinfo does not tell."""
    out = subprocess.run(["pdfinfo", path], capture_output=True, text=True).stdout
    pages = re.search(r"^Pages:\s+(\d+)", out, re.M)
    title = re.search(r"^Title:\s+(.*)$", out, re.M)
    return (int(pages.group(1)) if pages else None), (title.group(1).strip() if title else None)


def text(path):
    """The text of a PDF with its layout kept (lines as they stand on the page)."""
    return subprocess.run(["pdftotext", "-enc", "UTF-8", "-layout", path, "-"],
                          capture_output=True, text=True).stdout


def words(path):
    """The words of a PDF as (x, y, word): the top left corner of each, in points from the
    page's top left corner."""
    bbox = subprocess.run(["pdftotext", "-enc", "UTF-8", "-bbox", path, "-"],
                          capture_output=True, text=True).stdout
    return [(float(m.group(1)), float(m.group(2)), html.unescape(m.group(3)))
            for m in re.finditer(r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="[\d.]+" '
                                 r'yMax="[\d.]+">([^<]*)</word>', bbox)]


def render(path, base, dpi=72):
    """The first page as an Image, kept as base.ppm. At 72 dpi a pixel is a point."""
    subprocess.run(["pdftoppm", "-r", str(dpi), "-singlefile", path, base], check=True, capture_output=True)
    return Image.read(base + ".ppm")


def wait_for_new(folder, pattern, since, timeout=60):
    """The newest PDF in folder matching pattern, written at `since` (time.time()) or later,
    once it is complete: the same size on two looks a quarter second apart and readable by
    pdfinfo. None when none is complete within timeout seconds."""
    deadline = time.monotonic() + timeout
    last = None
    while time.monotonic() < deadline:
        found = [p for p in glob.glob(os.path.join(folder, pattern)) if os.path.getmtime(p) >= since - 1]
        if found:
            p = max(found, key=os.path.getmtime)
            size = os.path.getsize(p)
            if last == (p, size) and size > 0 and \
                    subprocess.run(["pdfinfo", p], capture_output=True).returncode == 0:
                return p
            last = (p, size)
        time.sleep(0.25)
    return None
