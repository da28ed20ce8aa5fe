#!/usr/bin/env python3
"""The MSI for PC rooms under wine, in a wine prefix of its own, as an administrator's script
would use it:

  - msiexec /i MSI /qn installs: Program Files\\Kivora holds the zip's files, with the installed
    settings as kivora.ini; the Start menu of all users holds "Kivora", "Kivora 集計" and
    "Kivora クラス表示", shortcuts to the installed kivora.exe (the second with --report, the
    third with --class-view) that start in its folder; the uninstall entry names the program,
    its version and its publisher; the package gives the uninstall entry and every shortcut the
    installed kivora.exe's icon;
  - the installed kivora.exe starts from there without help (its DLLs beside it): its main window
    comes up and it ends with status 0 when closed; once the program reads its settings file
    (its --help names kivora.ini), that start has made the data folder of the installed
    settings; --check gives the Linux build's summary of the bundled plan;
  - msiexec /x MSI /qn removes all of that, and a data file in the data folder stays as it was;
  - a newer version (built from the same zip by scripts/windows-msi) installs over it and
    replaces it, the older one then refuses to install over the newer one, and removing the
    newer one leaves nothing behind.

Prints the MSI's size and the install and uninstall times under wine as figures (informative:
wine is not Windows). Needs KIVORA_TEST_DISPLAY (wine's programs get that X server), else exits
with 77. scripts/build-windows runs it after writing the MSI; by hand, on a built build-win/:

  KIVORA_TEST_DISPLAY=:99 tests/windows/msi_wine.py --msi build-win/kivora-1.0.0-x64.msi \\
      --zip build-win/kivora-windows-1.0.0.zip --linux-kivora build/kivora \\
      --probe build-win/tests/windows/winprobe.exe
"""

import os
import re
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.dont_write_bytecode = True  # the helpers are imported from the source tree; leave it as it is
sys.path.insert(0, os.path.join(HERE, os.pardir, "support"))
import datafiles  # noqa: E402
from checks import Checks, CheckFailed  # noqa: E402
import winetest  # noqa: E402
from wine import windows_path  # noqa: E402
import winresources  # noqa: E402

SHORTCUTS = {"Kivora.lnk": "", "Kivora 集計.lnk": "--report", "Kivora クラス表示.lnk": "--class-view"}
INSTALL_DIR = "C:\\Program Files\\Kivora"
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"


def shell_link(data):
    """What a .lnk file (the Shell Link format) points at: its target path, arguments and
    working folder."""
    flags = struct.unpack_from("<I", data, 0x14)[0]
    pos = 0x4C
    if flags & 0x1:  # HasLinkTargetIDList
        pos += 2 + struct.unpack_from("<H", data, pos)[0]
    target = ""
    if flags & 0x2:  # HasLinkInfo
        size, header, info_flags, _, base_at = struct.unpack_from("<5I", data, pos)
        suffix_at = struct.unpack_from("<I", data, pos + 24)[0]
        if info_flags & 0x1:  # VolumeIDAndLocalBasePath
            if header >= 0x24:
                base_w, suffix_w = struct.unpack_from("<2I", data, pos + 28)
                target = (utf16z(data, pos + base_w) + utf16z(data, pos + suffix_w))
            else:
                target = cstr(data, pos + base_at) + cstr(data, pos + suffix_at)
        pos += size
    strings = {}
    unicode = flags & 0x80
    for bit, name in ((0x4, "name"), (0x8, "relative"), (0x10, "workdir"), (0x20, "arguments"),
                      (0x40, "icon")):
        if flags & bit:
            count = struct.unpack_from("<H", data, pos)[0]
            pos += 2
            width = 2 if unicode else 1
            raw = data[pos:pos + count * width]
            strings[name] = raw.decode("utf-16-le" if unicode else "latin-1").rstrip("\0")
            pos += count * width
    return {"target": target, "arguments": strings.get("arguments", ""),
            "workdir": strings.get("workdir", "").rstrip("\\")}


def cstr(data, at):
    return data[at:data.index(b"\0", at)].decode("latin-1")


def utf16z(data, at):
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le")


def links(folder):
    """{path below folder: bytes} of every shortcut (.lnk) in it."""
    return {path: data for path, data in tree(folder).items() if path.lower().endswith(".lnk")}


def tree(folder):
    """{path below folder: bytes} of every file; empty when there is no folder."""
    out = {}
    for d, _, files in os.walk(folder):
        for f in files:
            path = os.path.join(d, f)
            with open(path, "rb") as fh:
                out[os.path.relpath(path, folder).replace(os.sep, "/")] = fh.read()
    return out


class Wine:
    def __init__(self, work, display):
        self.prefix = os.path.join(work, "wine")
        home = os.path.join(work, "home")  # wine links a prefix's Documents to $HOME's: not ours
        os.makedirs(home, exist_ok=True)
        self.env = {k: v for k, v in os.environ.items() if not k.startswith("WINE")}
        # winemenubuilder would copy the Start menu entries into the Linux desktop's menus.
        self.env.update(WINEPREFIX=self.prefix, HOME=home, DISPLAY=display, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        self.drive_c = os.path.join(self.prefix, "drive_c")

    def run(self, *args, timeout=300, cwd=None):
        return subprocess.run(["wine", *args], env=self.env, capture_output=True, timeout=timeout, cwd=cwd)

    def wait(self):
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=300)

    def msiexec(self, action, msi, log=None):
        """msiexec's status and its time in seconds (until the wine server is idle again); with
        log, its verbose log goes there."""
        start = time.monotonic()
        result = self.run("msiexec", action, windows_path(msi), "/qn", *(["/l*v", windows_path(log)] if log else []))
        self.wait()
        return result.returncode, time.monotonic() - start

    def unix(self, windows):
        """The Linux path of a C: path of the prefix."""
        assert windows[:3].upper() == "C:\\", windows
        return os.path.join(self.drive_c, *windows[3:].split("\\"))

    def registry(self, key):
        """The values of a registry key, {name: data}; None when there is no such key."""
        result = self.run("reg", "query", key)
        if result.returncode != 0:
            return None
        values = {}
        for line in result.stdout.decode("utf-8", "replace").splitlines():
            m = re.match(r"\s+(\S.*?)\s+REG_\w+\s+(.*?)\s*$", line)
            if m:
                values[m.group(1)] = m.group(2)
        return values


def product_code(msi):
    out = subprocess.run(["msiinfo", "export", msi, "Property"], capture_output=True, check=True).stdout
    return dict(line.split("\t", 1) for line in out.decode().splitlines()[3:] if "\t" in line)["ProductCode"]


def main():
    args, display = winetest.start(("--msi", "--zip", "--linux-kivora", "--probe"))
    if not display:
        return winetest.SKIP

    c = Checks()
    with tempfile.TemporaryDirectory(prefix="kivora-msi-wine.") as work:
        try:
            figures = run_checks(c, args, work, display)
        except CheckFailed:
            figures = None
        finally:
            subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=os.path.join(work, "wine")),
                           capture_output=True)
    if figures:
        print(f"figure: MSI {os.path.getsize(args.msi) / 1048576:.1f} MB, under wine: install "
              f"{figures['install']:.1f} s, uninstall {figures['uninstall']:.1f} s (informative: wine is not Windows)")
    return c.verdict("MSI under wine: installs, starts, checks the plan as on Linux, upgrades and uninstalls cleanly")


def run_checks(c, args, work, display):
    wine = Wine(work, display)
    boot = subprocess.run(["wineboot", "-i"], env=wine.env, capture_output=True, timeout=300)
    wine.wait()
    if boot.returncode != 0:
        c.fatal(f"wineboot failed: {boot.stderr.decode(errors='replace')[-2000:]}")
    profile = wine.run("cmd", "/c", "echo %USERPROFILE%").stdout.decode().strip()
    data_dir = os.path.join(wine.unix(profile), "Documents", "Kivora", "data")
    install_dir = wine.unix(INSTALL_DIR)
    code = product_code(args.msi)
    links_before = set(links(wine.drive_c))
    with zipfile.ZipFile(args.zip) as z:
        top = z.namelist()[0].split("/")[0]
        shipped = {n[len(top) + 1:]: z.read(n) for n in z.namelist() if not n.endswith("/")}
    with open(os.path.join(ROOT, "packaging", "windows", "kivora-installed.ini"), encoding="utf-8") as f:
        installed_ini = f.read()

    # --- install ---------------------------------------------------------------------------------
    log = os.path.join(work, "install.log")
    status, install_s = wine.msiexec("/i", args.msi, log)
    if not c.equal(status, 0, "msiexec /i /qn status"):
        c.fatal("the MSI did not install")
    # The Start menu the installer chose for ProgramMenuFolder: with ALLUSERS=1 Windows takes that
    # of all users (ProgramData); wine takes the installing user's.
    with open(log, "rb") as f:
        found = re.search(r"Property\(S\): ProgramMenuFolder = (.*?)\\?\r?$", f.read().decode("utf-8", "replace"),
                          re.MULTILINE)
    if not found:
        c.fatal("msiexec's log names no ProgramMenuFolder")
    programs = wine.unix(found.group(1))
    machine_menu = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"
    if found.group(1).lower() != machine_menu.lower():
        c.note(f"the installer put the Start menu entries into {found.group(1)}, not {machine_menu} "
               "(wine resolves ProgramMenuFolder per user whatever ALLUSERS says)")
    files = tree(install_dir)
    c.equal(sorted(files), sorted(shipped), "files in Program Files\\Kivora against the zip's")
    for name, content in shipped.items():
        if name == "kivora.ini":
            got = files.get(name, b"")
            c.check(got.decode("utf-8", "replace").replace("\r\n", "\n") == installed_ini and b"\n" not in
                    got.replace(b"\r\n", b""), "kivora.ini is the installed settings, CR LF")
            c.check(not got.startswith(b"\xef\xbb\xbf"), "kivora.ini has no byte order mark")
        elif name in files:
            c.check(files[name] == content, f"{name} is the zip's")
    for problem in winresources.msi_problems(args.msi, os.path.join(install_dir, "kivora.exe")):
        c.check(False, problem)
    menu_folder = os.path.relpath(programs, wine.drive_c).replace(os.sep, "/")
    menu = {os.path.relpath(path, menu_folder): data for path, data in links(wine.drive_c).items()
            if path not in links_before}
    c.equal(sorted(menu), sorted(SHORTCUTS), f"new shortcuts, in {found.group(1)}")
    for name, arguments in SHORTCUTS.items():
        if name in menu:
            link = shell_link(menu[name])
            c.equal(link, {"target": INSTALL_DIR + "\\kivora.exe", "arguments": arguments, "workdir": INSTALL_DIR},
                    f"shortcut {name}")
    c.check(wine.registry("HKLM\\Software\\Kivora") is not None,
            "HKLM\\Software\\Kivora, the key path of the Start menu entries")
    entry = wine.registry(UNINSTALL_KEY + code) or {}
    version = re.search(r"(\d+\.\d+\.\d+)", os.path.basename(args.msi)).group(1)
    c.equal({k: entry.get(k) for k in ("DisplayName", "DisplayVersion", "Publisher")},
            {"DisplayName": "Kivora", "DisplayVersion": version, "Publisher": "Kivora"}, "uninstall entry")

    # --- the installed program ---------------------------------------------------------------------
    exe = INSTALL_DIR + "\\kivora.exe"
    check = wine.run(exe, "--check", cwd=install_dir)
    linux = subprocess.run([args.linux_kivora, "--check", "--plan", os.path.join(ROOT, "data", "sequence.csv")],
                           env=winetest.linux_env(), capture_output=True, timeout=60)
    c.check((check.returncode, check.stdout) == (linux.returncode, linux.stdout) and linux.returncode == 0,
            f"installed kivora.exe --check: status {check.returncode} and\n{check.stdout.decode(errors='replace')}"
            f"under wine, status {linux.returncode} and\n{linux.stdout.decode(errors='replace')}on Linux")
    reads_settings = "kivora.ini" in wine.run(exe, "--help").stdout.decode("utf-8", "replace")
    probe = wine.run(windows_path(args.probe), "C:\\kivora-start.log", exe, cwd=install_dir)
    values = winetest.probe_values(probe.stdout)
    c.check(probe.returncode == 0 and values.get("client") == winetest.MAIN_CLIENT and values.get("exit") == "0",
            f"the installed kivora.exe started from its folder: {values} "
            f"{probe.stderr.decode(errors='replace').strip()}")
    if reads_settings:
        c.check(os.path.isdir(data_dir), f"the installed settings' data folder was made: {data_dir}")
    else:
        c.note("this kivora.exe reads no kivora.ini yet: its data folder is not checked")
    os.makedirs(data_dir, exist_ok=True)
    with open(os.path.join(data_dir, "20261208-093005_山田.csv"), "wb") as f:
        f.write(b"\xef\xbb\xbfsubject,run_started,trial\r\n")
    data_before = datafiles.snapshot(data_dir)

    # --- uninstall ---------------------------------------------------------------------------------
    status, uninstall_s = wine.msiexec("/x", args.msi)
    c.equal(status, 0, "msiexec /x /qn status")
    gone = lambda what: check_gone(c, wine, what, install_dir, links_before, code, data_dir, data_before)  # noqa: E731
    gone("after msiexec /x")

    # --- a newer version replaces it, and an older one does not go over a newer ---------------------
    major, minor, patch = version.split(".")
    newer_version = f"{major}.{minor}.{int(patch) + 1}"
    newer = os.path.join(work, f"kivora-{newer_version}-x64.msi")
    subprocess.run([os.path.join(ROOT, "scripts", "windows-msi"), args.zip, "--version", newer_version,
                    "--out", newer], check=True, capture_output=True)
    newer_code = product_code(newer)
    c.check(newer_code != code, "a newer version is a product of its own")
    c.equal(wine.msiexec("/i", args.msi)[0], 0, "install again")
    c.equal(wine.msiexec("/i", newer)[0], 0, f"install {newer_version} over {version}")
    c.check(wine.registry(UNINSTALL_KEY + code) is None, f"{version} is no longer installed after {newer_version}")
    c.equal((wine.registry(UNINSTALL_KEY + newer_code) or {}).get("DisplayVersion"), newer_version,
            "the uninstall entry after the upgrade")
    c.equal(sorted(os.path.relpath(p, menu_folder) for p in links(wine.drive_c) if p not in links_before),
            sorted(SHORTCUTS), "new shortcuts after the upgrade")
    c.equal(sorted(tree(install_dir)), sorted(shipped), "files after the upgrade")
    c.check(wine.msiexec("/i", args.msi)[0] != 0, f"{version} refuses to install over {newer_version}")
    c.equal((wine.registry(UNINSTALL_KEY + newer_code) or {}).get("DisplayVersion"), newer_version,
            "the uninstall entry after the refused downgrade")
    c.equal(wine.msiexec("/x", newer)[0], 0, f"msiexec /x {newer_version}")
    gone(f"after removing {newer_version}")
    return {"install": install_s, "uninstall": uninstall_s}


def check_gone(c, wine, when, install_dir, links_before, code, data_dir, data_before):
    c.check(not os.path.exists(install_dir) or not os.listdir(install_dir),
            f"{when}: Program Files\\Kivora is gone or empty, holds {sorted(tree(install_dir))}")
    c.equal(sorted(set(links(wine.drive_c)) - links_before), [], f"{when}: shortcuts left")
    c.check(wine.registry(UNINSTALL_KEY + code) is None, f"{when}: no uninstall entry")
    c.check(wine.registry("HKLM\\Software\\Kivora") is None, f"{when}: no HKLM\\Software\\Kivora")
    c.check(datafiles.snapshot(data_dir) == data_before, f"{when}: the data folder is as it was")


if __name__ == "__main__":
    sys.exit(main())
