"""A clean Debian 12 root for the tests of the Debian package: made once with debootstrap
(--variant=minbase) from the machine's own Debian mirror, kept as a pristine tarball, and
unpacked fresh for each run; commands run in it with chroot, with /proc mounted while it is in
use. Needs root."""

import glob
import os
import re
import shutil
import subprocess
import tempfile
import time

SUITE = "bookworm"
# Where a root's file list does not look: the kernel's and the run time's file systems.
NOT_FILES = ("proc", "sys", "dev", "run", "tmp")


def why_not():
    """Why no root can be made here (one line), or None."""
    if os.geteuid() != 0:
        return "not root: debootstrap, chroot and mount need root"
    missing = [tool for tool in ("debootstrap", "chroot", "mount", "umount") if not shutil.which(tool)]
    if missing:
        return f"missing {' '.join(missing)} (Debian package debootstrap)"
    if not mirror():
        return f"no Debian mirror for {SUITE} in /etc/apt/sources.list.d/*.sources or /etc/apt/sources.list"
    return None


def mirror():
    """The machine's own mirror of the Debian archive (its source of the suite's main packages)."""
    for path in sorted(glob.glob("/etc/apt/sources.list.d/*.sources")):
        with open(path) as f:
            for stanza in re.split(r"\n\s*\n", f.read()):
                fields = dict(re.findall(r"^(\w[\w-]*):\s*(.*)$", stanza, re.M))
                if SUITE in fields.get("Suites", "").split() and "deb" in fields.get("Types", "").split():
                    return fields["URIs"].split()[0]
    if os.path.exists("/etc/apt/sources.list"):
        with open("/etc/apt/sources.list") as f:
            for line in f:
                found = re.match(r"\s*deb\s+(?:\[[^]]*\]\s+)?(\S+)\s+" + SUITE + r"\s", line)
                if found:
                    return found.group(1)
    return None


def pristine(tarball):
    """The tarball of a fresh root, made when it is missing; (its path, seconds it took to make
    or None when it was there)."""
    if os.path.exists(tarball):
        return tarball, None
    start = time.monotonic()
    os.makedirs(os.path.dirname(tarball), exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="kivora-debootstrap.", dir=os.path.dirname(tarball)) as work:
        root = os.path.join(work, "root")
        done = subprocess.run(["debootstrap", "--variant=minbase", SUITE, root, mirror()],
                              capture_output=True, text=True)
        if done.returncode != 0:
            raise RuntimeError(f"debootstrap failed ({done.returncode}): {done.stdout[-2000:]}{done.stderr[-2000:]}")
        # Written under another name first, so that a broken run leaves no tarball that looks whole.
        subprocess.run(["tar", "--numeric-owner", "-C", root, "-czf", tarball + ".part", "."], check=True)
        os.rename(tarball + ".part", tarball)
    return tarball, time.monotonic() - start


class Root:
    """A root unpacked from the tarball into a new folder below parent, with /proc mounted and
    the machine's name resolution; `with Root(...) as root:` unmounts /proc and removes the root
    whatever happens."""

    def __init__(self, tarball, parent):
        self.tarball = tarball
        self.parent = parent
        self.path = None
        self.proc_mounted = False

    def __enter__(self):
        self.remove_stale()
        self.path = tempfile.mkdtemp(prefix=f"kivora-root.{os.getpid()}.", dir=self.parent)
        subprocess.run(["tar", "--numeric-owner", "-C", self.path, "-xzf", self.tarball], check=True)
        shutil.copyfile("/etc/resolv.conf", os.path.join(self.path, "etc", "resolv.conf"))
        subprocess.run(["mount", "-t", "proc", "proc", os.path.join(self.path, "proc")], check=True)
        self.proc_mounted = True
        return self

    def __exit__(self, *exc):
        if self.proc_mounted:
            proc = os.path.join(self.path, "proc")
            if subprocess.run(["umount", proc]).returncode != 0:
                subprocess.run(["umount", "--lazy", proc], check=True)
            self.proc_mounted = False
        # Only once nothing is mounted below it any more does the root go.
        with open("/proc/self/mounts") as f:
            if any(line.split()[1].startswith(self.path + "/") for line in f):
                raise RuntimeError(f"{self.path} still has mounts; left in place")
        shutil.rmtree(self.path)
        return False

    def remove_stale(self):
        """Roots of runs that were killed before they could clean up (their process, named in
        the folder's name, is gone): their /proc unmounted, then removed."""
        for stale in glob.glob(os.path.join(self.parent, "kivora-root.*.*")):
            if os.path.exists(f"/proc/{os.path.basename(stale).split('.')[1]}"):
                continue
            with open("/proc/self/mounts") as f:
                mounted = [line.split()[1] for line in f if line.split()[1].startswith(stale + "/")]
            for point in sorted(mounted, reverse=True):
                subprocess.run(["umount", "--lazy", point], check=True)
            shutil.rmtree(stale)

    def run(self, *command, env=None, timeout=600):
        """command in the root, as root, in a plain environment (plus env); stdout and stderr
        as text, the status in returncode."""
        plain = {"PATH": "/usr/sbin:/usr/bin:/sbin:/bin", "HOME": "/root", "LANG": "C.UTF-8",
                 "DEBIAN_FRONTEND": "noninteractive"}
        plain.update(env or {})
        return subprocess.run(["chroot", self.path, *command], env=plain, capture_output=True, text=True,
                              timeout=timeout)

    def host(self, path):
        """The machine's path of a path inside the root."""
        return os.path.join(self.path, path.lstrip("/"))

    def files(self):
        """Every path in the root (files, folders, links), as the root sees them, outside the
        kernel's and run time's file systems. A link is one path: /bin, a link to /usr/bin in
        Debian 12, is not gone through a second time."""
        found = set()
        for top in sorted(os.listdir(self.path)):
            if top in NOT_FILES:
                continue
            found.add("/" + top)
            if os.path.islink(os.path.join(self.path, top)):
                continue
            for folder, dirs, names in os.walk(os.path.join(self.path, top)):
                inside = "/" + os.path.relpath(folder, self.path)
                found.update(f"{inside}/{n}" for n in dirs + names)
        return found
