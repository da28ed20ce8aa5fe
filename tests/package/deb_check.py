#!/usr/bin/env python3
"""The Debian package as a lab gets it: no lintian error, valid desktop entries and AppStream
metadata; in a clean Debian 12 root, `apt-get install ./kivora_<version>_amd64.deb` alone makes
kivora work without a display (--version, --check of the bundled plan, --export-stimuli and
--report as the build's), and `apt-get purge kivora` leaves no file of it. Needs root, else
exits with 77. Prints the package's size and the test's time.

Usage: deb_check.py --deb DEB --linux-kivora build/kivora --cache build/debian12-root.tar.gz"""

import argparse
import glob
import os
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # the helpers are imported from the source tree; leave it as it is
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "support"))
import datafiles  # noqa: E402
import debroot  # noqa: E402
import processes  # noqa: E402
from checks import CheckFailed, Checks  # noqa: E402

TEXT_SCREENS = {"0-7.bmp", "0-8.bmp"}  # drawn with the system's fonts
OFFSCREEN = {"QT_QPA_PLATFORM": "offscreen", "XDG_RUNTIME_DIR": "/root"}  # a 0700 folder, as Qt wants


def run(*command, **env):
    p = subprocess.run(command, capture_output=True, text=True, timeout=600, env=dict(os.environ, **env))
    return p.returncode, p.stdout, p.stderr


def check_package(c, deb, work):
    tags = [t for t in run("lintian", "--tag-display-limit", "0", "--display-info", deb)[1].splitlines() if t[1:3] == ": "]
    print("\n".join("lintian: " + t for t in tags))
    c.equal([t for t in tags if t.startswith("E:")], [], "lintian's errors")
    subprocess.run(["dpkg-deb", "--extract", deb, work + "/deb"], check=True)
    checkers = [["desktop-file-validate", e] for e in glob.glob(work + "/deb/usr/share/applications/*.desktop")] + \
        [["appstreamcli", "validate", "--no-net", m] for m in glob.glob(work + "/deb/usr/share/metainfo/*.xml")]
    c.equal(len(checkers), 4, "desktop entries (a session, the report, the class view) and AppStream files in the package")
    for checker in checkers:
        status, out, err = run(*checker)
        c.check(status == 0 and "error:" not in out, f"{' '.join(checker)}: {out}{err}")


def check_root(c, args, work):
    with debroot.Root(args.cache, os.path.dirname(args.cache)) as root:
        before, deb = root.files(), os.path.basename(args.deb)
        subprocess.run(["cp", args.deb, root.host("/tmp")], check=True)
        status, out, err = root.run("sh", "-c", f"apt-get update -q && cd /tmp && apt-get install -y -q ./{deb}")
        if not c.check(status == 0, f"apt-get install ./{deb}: {out[-2000:]}{err[-2000:]}"):
            return
        owned = set(root.run("dpkg-query", "--listfiles", "kivora")[1].splitlines())
        c.check("/etc/kivora/kivora.ini" in root.run("dpkg-query", "-W", "-f=${Conffiles}", "kivora")[1], "conffile")
        env = dict(OFFSCREEN, XDG_RUNTIME_DIR=work)
        build = lambda *a: run(args.linux_kivora, *a, **env)  # noqa: E731
        c.equal(root.run("kivora", "--version", env=OFFSCREEN), build("--version"), "--version in the root")
        c.equal(root.run("kivora", "--check", env=OFFSCREEN), build("--check", "--plan", args.source + "/data/sequence.csv"),
                "--check in the root (the bundled plan) against the build's of data/sequence.csv")
        c.equal(root.run("kivora", "--export-stimuli", "/tmp/s", env=OFFSCREEN)[0] + build("--export-stimuli", work + "/s")[0],
                0, "--export-stimuli")
        ours, theirs = datafiles.snapshot(work + "/s"), datafiles.snapshot(root.host("/tmp/s"))
        c.equal(sorted(theirs), sorted(ours), "the pictures written")
        c.equal([n for n in ours if n not in TEXT_SCREENS and theirs.get(n) != ours[n]], [], "pictures unlike the build's")
        c.equal(root.run("kivora", "--list-languages", env=OFFSCREEN), build("--list-languages"), "--list-languages")
        c.check(os.path.isfile(root.host("/usr/share/kivora/translations/kivora_en.ts")),
                "the English texts a lab translates from, in /usr/share/kivora/translations")
        os.makedirs(work + "/d")
        datafiles.write_run(work + "/d", "山田")
        subprocess.run(["cp", "-r", work + "/d", root.host("/tmp/d")], check=True)
        status, out, _ = root.run("kivora", "--report", "/tmp/d", env=OFFSCREEN)
        c.equal((status, out.replace("/tmp/d", work + "/d")), build("--report", work + "/d")[:2], "--report in the root")
        report = lambda d: {n: b for n, b in datafiles.snapshot(d).items() if n.endswith(".csv")}  # noqa: E731
        c.check(report(root.host("/tmp/d/report")) == report(work + "/d/report") != {}, "the report's CSV files")
        c.equal(root.run("apt-get", "purge", "-y", "-q", "kivora")[0], 0, "apt-get purge kivora")
        # Folders it shared with a package still installed stay with that package.
        others = set(root.run("sh", "-c", "cat /var/lib/dpkg/info/*.list")[1].splitlines())
        left = sorted(p for p in root.files() - before - others if p in owned or "kivora" in p)
        c.equal(left, [], "the package's files after the purge")


def main():
    parser = argparse.ArgumentParser()
    for name in ("--deb", "--linux-kivora", "--cache"):
        parser.add_argument(name, required=True, type=os.path.abspath)
    args = parser.parse_args()
    args.source = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    if os.geteuid() != 0 or not debroot.mirror() or processes.missing_tools("debootstrap", "lintian", "appstreamcli"):
        print("skipped: needs root (chroot, mount), a Debian mirror in the apt sources, debootstrap, lintian, appstream")
        return processes.SKIP
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))  # through the clean-up: /proc unmounted
    c, start = Checks(), time.monotonic()
    with tempfile.TemporaryDirectory(prefix="kivora-deb.") as work:
        try:
            check_package(c, args.deb, work)
            made = debroot.pristine(args.cache)
            check_root(c, args, work)
        except (CheckFailed, RuntimeError) as e:
            c.check(False, str(e))
            made = False
    print(f"figure: package {os.path.getsize(args.deb)} bytes; the test {time.monotonic() - start:.0f} s, "
          f"{'with the Debian 12 root made' if made else 'the root from its tarball'}")
    return c.verdict("passed: the Debian package")


if __name__ == "__main__":
    sys.exit(main())
