"""kivora.exe's icon and version details read back with wrestool (icoutils), the MSI's icons with
msiinfo (msitools), against the design: the icon's sizes (cmake/Icons.cmake) and the version
strings (packaging/windows/kivora.rc.in)."""

import os
import re
import struct
import subprocess
import tempfile

ICON_SIZES = [16, 24, 32, 48, 64, 128, 256]
VERSION_DETAILS = {"ProductName": "Kivora", "CompanyName": "Kivora", "OriginalFilename": "kivora.exe"}


def tool(*command, cwd=None):
    return subprocess.run(command, capture_output=True, check=True, timeout=60, cwd=cwd).stdout


def ico_sizes(data):
    """The sizes of an .ico file's images (a width byte of 0 is 256)."""
    count = struct.unpack_from("<H", data, 4)[0] if data[:4] == b"\0\0\1\0" else 0
    return [data[6 + 16 * i] or 256 for i in range(count)]


def exe_problems(exe, version):
    """What differs from the design in exe's icon group and version resource, for a program of
    version ("1.0.0"); empty when nothing does."""
    problems = []
    sizes = ico_sizes(tool("wrestool", "--extract", "--type=14", exe))
    if sizes != ICON_SIZES:
        problems.append(f"{exe}: icon sizes {sizes}, designed {ICON_SIZES}")
    # The string table's entries are key, padding, value, in UTF-16; VS_FIXEDFILEINFO follows
    # its signature with the struct version, then the file version's high and low words.
    data = tool("wrestool", "--extract", "--type=16", "--raw", exe)
    text = data.decode("utf-16-le", "replace")
    expected = dict(VERSION_DETAILS, FileVersion=version, ProductVersion=version, LegalCopyright="GPL-3.0-or-later")
    for key, value in expected.items():
        found = re.search(re.escape(key) + "\0+([^\0]+)", text)
        if not found or (value not in found.group(1) if key == "LegalCopyright" else found.group(1) != value):
            problems.append(f"{exe}: version string {key} is {found and found.group(1)!r}, expected {value!r}")
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    ms, ls = struct.unpack_from("<2I", data, at + 8) if at >= 0 else (0, 0)
    fixed = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    if fixed != tuple(map(int, version.split("."))) + (0,):
        problems.append(f"{exe}: fixed file version {fixed}, program version {version}")
    return problems


def msi_table(msi, name):
    """(column names, rows) of a table of the package. msiinfo writes a binary column's streams
    as files below the folder it runs in: a folder of its own, then."""
    with tempfile.TemporaryDirectory(prefix="kivora-msiinfo.") as work:
        lines = tool("msiinfo", "export", os.path.abspath(msi), name, cwd=work).decode().splitlines()
    return lines[0].split("\t"), [line.split("\t") for line in lines[3:] if line]


def msi_problems(msi, exe):
    """The product's icon (ARPPRODUCTICON, the uninstall entry's) and every shortcut's must be
    the Icon table's icon that is exe's own; empty when they are."""
    product = dict(row[:2] for row in msi_table(msi, "Property")[1]).get("ARPPRODUCTICON")
    columns, rows = msi_table(msi, "Shortcut")
    icons = {row[0]: row[columns.index("Icon_")] for row in rows}
    problems = [f"{msi}: shortcut {s} has the icon {i!r}, the product {product!r}" for s, i in icons.items() if i != product]
    stored = {row[0] for row in msi_table(msi, "Icon")[1]}
    if product not in stored or tool("msiinfo", "extract", msi, f"Icon.{product}") != \
            tool("wrestool", "--extract", "--type=14", exe):
        problems.append(f"{msi}: ARPPRODUCTICON {product!r} is not kivora.exe's icon among {sorted(stored)}")
    return problems
