#!/usr/bin/env python3
"""The Debian package of Kivora (scripts/package-deb), as a Linux lab gets it:

  - lintian finds no error in it (its warnings and notes are printed); its desktop entries pass
    desktop-file-validate and its AppStream metadata appstreamcli validate --no-net; each entry's
    icon and command are in the package, the metadata's launchable is one of its entries, every
    PNG of the icon has the size of its folder, the manual page has every option of --help; the
    entries' StartupWMClass is the class of the program's windows (on KIVORA_TEST_DISPLAY);
  - in a clean Debian 12 root (debootstrap --variant=minbase, a pristine tarball kept at --cache
    and unpacked fresh each run), `apt-get install ./kivora_<version>_amd64.deb` installs it with
    everything it needs, /etc/kivora/kivora.ini is a conffile, and without a display the
    installed kivora gives the build's --version, --check of the bundled plan (found through the
    installed layout), --export-stimuli (the 54 letter and arrow pictures byte for byte as the
    build's, the two text screens there) and the report of a small data folder (the build's CSV
    files);
  - apt-get remove keeps the settings as the administrator edited them, apt-get purge then
    leaves no file of the package behind: the root's files after the purge are those before the
    install and those of the packages it pulled in.

Prints the package's size, the time the root took (made, or unpacked from the tarball) and the
whole test's time. Needs root (debootstrap, chroot, mount) and the machine's Debian mirror, else
exits with 77.

Usage: deb_check.py --deb build/kivora_1.0.0-1_amd64.deb --linux-kivora build/kivora
       [--cache build/debian12-root.tar.gz]
"""

import argparse
import configparser
import glob
import os
import re
import signal
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(HERE, os.pardir, "support"))
sys.dont_write_bytecode = True  # the helpers are imported from the source tree; leave it as it is
import datafiles  # noqa: E402
import debroot  # noqa: E402
import processes  # noqa: E402
from checks import CheckFailed, Checks  # noqa: E402

# The two text screens of --export-stimuli ("instruction" and "wait"): drawn with the fonts of the
# system, so only their presence is compared.
TEXT_SCREENS = {"0-7.bmp", "0-8.bmp"}
REPORT_CSV = ["cells.csv", "runs.csv", "group.csv"]
OFFSCREEN = {"QT_QPA_PLATFORM": "offscreen", "XDG_RUNTIME_DIR": "/tmp/xdg-runtime"}


def run(*command, env=None, timeout=120):
    return subprocess.run(list(command), capture_output=True, text=True, env=env, timeout=timeout)


def host_env(work):
    """The build's program without a display."""
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env.update(OFFSCREEN, XDG_RUNTIME_DIR=processes.runtime_dir(work))
    return env


def desktop_entry(path):
    parser = configparser.RawConfigParser(interpolation=None, strict=True)
    parser.optionxform = str
    parser.read(path, encoding="utf-8")
    return dict(parser["Desktop Entry"])


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    return struct.unpack(">II", head[16:24]) if head[:8] == b"\x89PNG\r\n\x1a\n" else None


def check_package_files(c, deb, work, linux_kivora):
    """lintian, the validators and the package's files among themselves."""
    lint = run("lintian", "--tag-display-limit", "0", "--display-info", deb, timeout=600)
    tags = [line for line in lint.stdout.splitlines() if re.match(r"[EWIPX]: ", line)]
    for line in tags:
        print("lintian:", line)
    c.check(not [t for t in tags if t.startswith("E: ")] and lint.returncode == 0,
            f"lintian: errors (status {lint.returncode}) {lint.stderr.strip()}")

    tree = os.path.join(work, "package")
    subprocess.run(["dpkg-deb", "--extract", deb, tree], check=True)
    entries = sorted(glob.glob(os.path.join(tree, "usr/share/applications/*.desktop")))
    c.check(len(entries) == 2, f"desktop entries in the package: {entries}")
    for path in entries:
        valid = run("desktop-file-validate", path)
        c.check(valid.returncode == 0 and "error:" not in valid.stdout,
                f"desktop-file-validate {os.path.basename(path)}: {valid.stdout.strip()}")
        entry = desktop_entry(path)
        icon = entry.get("Icon", "")
        c.check(os.path.isfile(os.path.join(tree, "usr/share/icons/hicolor/scalable/apps", icon + ".svg")),
                f"{os.path.basename(path)}: Icon={icon} has no scalable icon in the package")
        command = entry.get("Exec", "").split()[:1]
        c.check(command and os.path.isfile(os.path.join(tree, "usr/bin", command[0])),
                f"{os.path.basename(path)}: Exec={entry.get('Exec')} is not a program of the package")
    metainfo = glob.glob(os.path.join(tree, "usr/share/metainfo/*.metainfo.xml"))
    c.check(len(metainfo) == 1, f"AppStream metadata in the package: {metainfo}")
    for path in metainfo:
        valid = run("appstreamcli", "validate", "--no-net", "--pedantic", path)
        c.check(valid.returncode == 0, f"appstreamcli validate: {valid.stdout.strip()} {valid.stderr.strip()}")
        with open(path, encoding="utf-8") as f:
            launchables = re.findall(r'<launchable type="desktop-id">([^<]+)</launchable>', f.read())
        c.check(launchables and all(name in map(os.path.basename, entries) for name in launchables),
                f"the metadata's launchables {launchables} against the entries")
    pngs = glob.glob(os.path.join(tree, "usr/share/icons/hicolor/*x*/apps/*.png"))
    c.check(len(pngs) > 1, f"icon sizes in the package: {pngs}")
    for path in pngs:
        folder = os.path.basename(os.path.dirname(os.path.dirname(path)))
        size = png_size(path)
        c.check(size and "%dx%d" % size == folder, f"{path}: {size} in the folder {folder}")

    # The manual page against the options of the program's --help.
    env = host_env(work)
    helped = set(re.findall(r"^ {2}(--[\w-]+)", run(linux_kivora, "--help", env=env).stdout, re.M))
    page = run("man", "-l", os.path.join(tree, "usr/share/man/man1/kivora.1.gz"),
               env=dict(env, MANWIDTH="100"))
    c.check(page.returncode == 0 and helped and all(o in page.stdout for o in helped),
            f"man -l kivora.1 (status {page.returncode}) lacks {sorted(o for o in helped if o not in page.stdout)} "
            f"{page.stderr.strip()}")
    return entries


def check_window_class(c, entries, linux_kivora, work):
    """StartupWMClass of each entry is the class of the program's main window on X11."""
    display = os.environ.get("KIVORA_TEST_DISPLAY")
    if not display:
        c.note("no KIVORA_TEST_DISPLAY: the desktop entries' StartupWMClass is not compared with the window's class")
        return
    import xsession
    x = xsession.X(display)
    env = dict(os.environ, DISPLAY=display, XDG_RUNTIME_DIR=processes.runtime_dir(work))
    env.pop("QT_QPA_PLATFORM", None)
    proc = subprocess.Popen([linux_kivora], env=env, cwd=os.path.dirname(linux_kivora),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        windows = processes.wait_until(lambda: x.windows_of(proc.pid), "the main window", proc)
        found = re.search(r'WM_CLASS\(STRING\) = "([^"]*)", "([^"]*)"', x.run("xprop", "-id", str(windows[0][0]), "WM_CLASS"))
        for path in entries:
            wanted = desktop_entry(path).get("StartupWMClass")
            c.check(found and wanted == found.group(2),
                    f"{os.path.basename(path)}: StartupWMClass={wanted}, the window's WM_CLASS "
                    f"{found.groups() if found else None}")
    finally:
        processes.stop(proc)


def check_in_root(c, args, work):
    """Install, use, remove and purge in a clean root; the figures of the root."""
    try:
        tarball, made_s = debroot.pristine(args.cache)
    except (RuntimeError, subprocess.CalledProcessError) as e:
        raise CheckFailed(f"no clean Debian 12 root: {e}")
    start = time.monotonic()
    with debroot.Root(tarball, os.path.dirname(os.path.abspath(args.cache))) as root:
        unpacked_s = time.monotonic() - start
        before = root.files()
        deb = os.path.basename(args.deb)
        with open(args.deb, "rb") as src, open(root.host("/tmp/" + deb), "wb") as dst:
            dst.write(src.read())
        os.makedirs(root.host(OFFSCREEN["XDG_RUNTIME_DIR"]), mode=0o700)
        update = root.run("apt-get", "update", "-q")
        if not c.check(update.returncode == 0, f"apt-get update in the root: {update.stdout[-1500:]}{update.stderr[-1500:]}"):
            raise CheckFailed("no package lists in the root")
        install_start = time.monotonic()
        install = root.run("sh", "-c", f"cd /tmp && apt-get install -y -q ./{deb}")
        install_s = time.monotonic() - install_start
        if not c.check(install.returncode == 0, f"apt-get install ./{deb}: {install.stdout[-3000:]}{install.stderr[-2000:]}"):
            raise CheckFailed("the package did not install")
        pulled = re.findall(r"^Setting up (\S+) ", install.stdout, re.M)
        print(f"apt-get install ./{deb}: {len(pulled)} packages set up in {install_s:.0f} s")
        installed = set(root.run("dpkg-query", "--listfiles", "kivora").stdout.split("\n")) - {""}
        conffiles = root.run("dpkg-query", "--show", "--showformat=${Conffiles}", "kivora").stdout
        c.check("/etc/kivora/kivora.ini" in conffiles.split(), f"conffiles of the package: {conffiles.strip()!r}")

        # The installed program without a display, against the build's.
        linux_env = host_env(work)
        version = root.run("kivora", "--version", env=OFFSCREEN)
        c.equal((version.returncode, version.stdout), (0, run(args.linux_kivora, "--version", env=linux_env).stdout),
                "kivora --version in the root, against the build's")
        check = root.run("kivora", "--check", env=OFFSCREEN)
        build_check = run(args.linux_kivora, "--check", "--plan", os.path.join(ROOT, "data", "sequence.csv"),
                          env=linux_env)
        c.equal((check.returncode, check.stdout, check.stderr.strip()), (0, build_check.stdout, ""),
                "kivora --check in the root (the bundled plan), against the build's of data/sequence.csv")
        if "/etc/kivora" in root.run("kivora", "--help", env=OFFSCREEN).stdout:
            c.check(os.path.isdir(root.host("/root/Kivora/data")),
                    "the data folder of /etc/kivora/kivora.ini ($HOME/Kivora/data) was made")
        else:
            c.note("this kivora names no /etc/kivora in its --help: the settings' data folder is not checked")

        stimuli = run(args.linux_kivora, "--export-stimuli", os.path.join(work, "stimuli"), env=linux_env)
        export = root.run("kivora", "--export-stimuli", "/tmp/stimuli", env=OFFSCREEN)
        if c.check(export.returncode == 0 and stimuli.returncode == 0,
                   f"--export-stimuli: status {export.returncode} in the root, {stimuli.returncode} in the build: "
                   f"{export.stderr.strip()} {stimuli.stderr.strip()}"):
            ours = datafiles.snapshot(os.path.join(work, "stimuli"))
            theirs = datafiles.snapshot(root.host("/tmp/stimuli"))
            c.equal(sorted(theirs), sorted(ours), "the pictures --export-stimuli writes")
            c.equal(len(ours), 56, "pictures")
            differ = sorted(n for n in ours if n not in TEXT_SCREENS and theirs.get(n) != ours[n])
            c.equal(differ, [], "letter and arrow pictures that differ from the build's")

        data = os.path.join(work, "data")
        os.makedirs(data)
        datafiles.write_run(data, "山田")
        subprocess.run(["cp", "-r", data, root.host("/tmp/data")], check=True)
        report = root.run("kivora", "--report", "/tmp/data", env=OFFSCREEN)
        build_report = run(args.linux_kivora, "--report", data, env=linux_env)
        c.equal((report.returncode, report.stdout.replace("/tmp/data", data)), (0, build_report.stdout),
                "kivora --report in the root: status and what it read, against the build's")
        for name in REPORT_CSV + ["report.pdf"]:
            c.check(os.path.isfile(root.host("/tmp/data/report/" + name)), f"the report's {name} in the root")
        for name in REPORT_CSV:
            c.check(datafiles.snapshot(os.path.join(data, "report")).get(name) ==
                    datafiles.snapshot(root.host("/tmp/data/report")).get(name), f"the report's {name} against the build's")

        # An administrator's edit of the settings survives a removal; the purge takes it.
        settings = root.host("/etc/kivora/kivora.ini")
        with open(settings, "a") as f:
            f.write("# edited by the lab\n")
        with open(settings) as f:
            edited = f.read()
        removed = root.run("apt-get", "remove", "-y", "-q", "kivora")
        c.check(removed.returncode == 0, f"apt-get remove kivora: {removed.stdout[-1500:]}{removed.stderr[-1500:]}")
        c.check(os.path.isfile(settings) and open(settings).read() == edited,
                "/etc/kivora/kivora.ini, as edited, stays after apt-get remove")
        purged = root.run("apt-get", "purge", "-y", "-q", "kivora")
        c.check(purged.returncode == 0, f"apt-get purge kivora: {purged.stdout[-1500:]}{purged.stderr[-1500:]}")
        for path in ("/tmp/stimuli", "/tmp/data", "/tmp/" + deb):  # the test's own
            subprocess.run(["rm", "-rf", root.host(path)], check=True)

        after = root.files()
        new = after - before
        owned = set()
        for listing in root.run("sh", "-c", "cat /var/lib/dpkg/info/*.list").stdout.split("\n"):
            owned.add(listing)
        # What stays of the package: its own files, anything named for it; folders it shares
        # with a package still installed stay with that package.
        left = sorted(p for p in new if (p in installed or "kivora" in p.lower()) and p not in owned)
        c.equal(left, [], "files of the package left after apt-get purge")
        c.check(not os.path.exists(root.host("/etc/kivora")), "/etc/kivora after apt-get purge")
        print(f"after the purge: {len(new)} paths more than before the install, of the {len(pulled) - 1} "
              f"packages it pulled in (and their caches), {len(left)} of kivora")
    return made_s, unpacked_s, install_s


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--deb", required=True)
    parser.add_argument("--linux-kivora", required=True)
    parser.add_argument("--cache", default=os.path.join(ROOT, "build", "debian12-root.tar.gz"))
    args = parser.parse_args()
    args.linux_kivora = os.path.abspath(args.linux_kivora)
    why = debroot.why_not() or processes.missing_tools("lintian", "desktop-file-validate", "appstreamcli", "man")
    if why:
        print(f"skipped: {why if isinstance(why, str) else 'missing ' + ' '.join(why)}")
        return processes.SKIP

    # A stop (scripts/test's, a time-out's) goes through the clean-up: /proc unmounted, the root removed.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    start = time.monotonic()
    c = Checks()
    with tempfile.TemporaryDirectory(prefix="kivora-deb-check.") as work:
        try:
            entries = check_package_files(c, args.deb, work, args.linux_kivora)
            check_window_class(c, entries, args.linux_kivora, work)
            made_s, unpacked_s, install_s = check_in_root(c, args, work)
            root_figure = (f"made with debootstrap in {made_s:.0f} s and kept" if made_s is not None
                           else "unpacked from the kept tarball") + f" ({unpacked_s:.0f} s to unpack)"
            print(f"figure: package {os.path.getsize(args.deb) / 1048576:.1f} MB ({os.path.getsize(args.deb)} bytes); "
                  f"Debian 12 root {root_figure}; apt-get install {install_s:.0f} s; "
                  f"the whole test {time.monotonic() - start:.0f} s")
        except CheckFailed as e:
            if str(e) not in c.failures:
                c.failures.append(str(e))
            print("FAIL: " + str(e), flush=True)
    if c.failures:
        print(f"Debian package: {len(c.failures)} checks failed")
        return 1
    print("Debian package: lintian-clean, valid entries and metadata, installs into a clean Debian 12 root, "
          "runs there as the build does, and purges without a trace")
    return 0


if __name__ == "__main__":
    sys.exit(main())
