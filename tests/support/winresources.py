"""For the tests of the Windows build: the icon and the version details of kivora.exe, read back
with wrestool (icoutils), and the icon of the MSI, read back with msiinfo (msitools).

ICON_SIZES and VERSION_DETAILS are the design: the sizes of the icon (cmake/Icons.cmake makes
them) and the fixed strings of the version resource (packaging/windows/kivora.rc.in)."""

import os
import struct
import subprocess
import tempfile

ICON_SIZES = [16, 24, 32, 48, 64, 128, 256]
VERSION_DETAILS = {"ProductName": "Kivora", "CompanyName": "Kivora", "OriginalFilename": "kivora.exe"}
LICENCE = "GPL-3.0-or-later"
ICON_GROUP, VERSION = 14, 16  # resource types


def ico_sizes(data):
    """The square sizes of the images of an .ico file, in its order; a width byte of 0 is 256."""
    reserved, kind, count = struct.unpack_from("<3H", data, 0)
    if reserved != 0 or kind != 1:
        return None
    sizes = []
    for i in range(count):
        width, height = struct.unpack_from("<2B", data, 6 + 16 * i)
        if width != height:
            return None
        sizes.append(width or 256)
    return sizes


def resource(exe, kind):
    """The resource of the given type as wrestool extracts it: an icon group as an .ico file,
    the version resource as it is stored (wrestool converts icons only)."""
    raw = ["--raw"] if kind == VERSION else []
    return subprocess.run(["wrestool", "--extract", f"--type={kind}", *raw, exe], capture_output=True,
                          check=True, timeout=60).stdout


def version_info(exe):
    """The version resource: ({name: string} of its string tables, (a, b, c, d) of its fixed
    file version)."""
    data = resource(exe, VERSION)
    if not data:
        return {}, None
    strings = {}
    fixed = None

    def walk(pos, end, depth):
        nonlocal fixed
        while pos + 6 <= end:
            length, value_length, text = struct.unpack_from("<3H", data, pos)
            if length == 0:
                return
            key_end = pos + 6
            while data[key_end:key_end + 2] != b"\0\0":
                key_end += 2
            key = data[pos + 6:key_end].decode("utf-16-le")
            value_at = align(key_end + 2)
            size = value_length * 2 if text else value_length
            value = data[value_at:value_at + size]
            if depth == 0 and size >= 16:  # VS_FIXEDFILEINFO: signature, struct version, MS, LS
                ms, ls = struct.unpack_from("<2I", value, 8)
                fixed = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
            if depth == 3:  # VS_VERSION_INFO / StringFileInfo / a string table / a string
                strings[key] = value.decode("utf-16-le").rstrip("\0")
            walk(align(value_at + size), pos + length, depth + 1)
            pos = align(pos + length)

    walk(0, len(data), 0)
    return strings, fixed


def align(pos):
    return (pos + 3) & ~3


def exe_problems(exe, version):
    """What is wrong with the icon and version details of exe, for a program of version
    ("1.0.0"): a list of messages, empty when all is as designed."""
    problems = []
    sizes = ico_sizes(resource(exe, ICON_GROUP) or b"\0" * 6)
    if sizes != ICON_SIZES:
        problems.append(f"{exe}: icon group with the sizes {sizes}, designed {ICON_SIZES}")
    strings, fixed = version_info(exe)
    expected = dict(VERSION_DETAILS, FileVersion=version, ProductVersion=version)
    got = {k: strings.get(k) for k in expected}
    if got != expected:
        problems.append(f"{exe}: version strings {got}, expected {expected}")
    if LICENCE not in strings.get("LegalCopyright", "") or not strings.get("FileDescription"):
        problems.append(f"{exe}: LegalCopyright {strings.get('LegalCopyright')!r} without {LICENCE}, "
                        f"or no FileDescription ({strings.get('FileDescription')!r})")
    numbers = tuple(int(n) for n in version.split(".")) + (0,)
    if fixed != numbers:
        problems.append(f"{exe}: fixed file version {fixed}, expected {numbers}")
    return problems


def msi_table(msi, name):
    """A table of the package: (its column names, its rows as lists of columns); msiinfo writes
    UTF-8. It writes the streams of a table's binary column (the Icon table's) as files below the
    folder it runs in: a folder of its own, then."""
    with tempfile.TemporaryDirectory(prefix="kivora-msiinfo.") as work:
        out = subprocess.run(["msiinfo", "export", os.path.abspath(msi), name], capture_output=True,
                             check=True, timeout=60, cwd=work).stdout
    lines = out.decode("utf-8").replace("\r\n", "\n").split("\n")
    return lines[0].split("\t"), [line.split("\t") for line in lines[3:] if line]


def msi_icon(msi):
    """(the product's icon (ARPPRODUCTICON), {shortcut: its icon}, {icon: its .ico bytes})"""
    properties = dict(row[:2] for row in msi_table(msi, "Property")[1])
    columns, rows = msi_table(msi, "Shortcut")
    shortcuts = {row[0]: row[columns.index("Icon_")] for row in rows}
    icons = {name: subprocess.run(["msiinfo", "extract", msi, f"Icon.{name}"], capture_output=True,
                                  check=True, timeout=60).stdout
             for name, _ in msi_table(msi, "Icon")[1]}
    return properties.get("ARPPRODUCTICON"), shortcuts, icons


def msi_problems(msi, exe):
    """What is wrong with the MSI's icon: the product's icon (the uninstall entry's) and each
    shortcut's must be one icon of the Icon table, the icon of the program exe."""
    exe_icon = resource(exe, ICON_GROUP)
    product, shortcuts, icons = msi_icon(msi)
    problems = []
    if product not in icons:
        problems.append(f"{msi}: ARPPRODUCTICON {product!r}, Icon table {sorted(icons)}")
    for shortcut, icon in shortcuts.items():
        if icon != product:
            problems.append(f"{msi}: shortcut {shortcut} has the icon {icon!r}, not the product's {product!r}")
    if product in icons and icons[product] != exe_icon:
        problems.append(f"{msi}: the icon {product} ({ico_sizes(icons[product])}) is not kivora.exe's "
                        f"({ico_sizes(exe_icon)})")
    return problems
