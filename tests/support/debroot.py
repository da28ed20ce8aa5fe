"""A clean Debian 12 root: made once with debootstrap --variant=minbase from the machine's own
mirror and kept as a pristine tarball, unpacked fresh for each use, with /proc mounted while in
use (`with Root(tarball, parent) as root`). Needs root."""

import glob
import os
import re
import shutil
import subprocess
import tempfile


def mirror():
    """The machine's Debian mirror for bookworm, from its apt sources."""
    for path in sorted(glob.glob("/etc/apt/sources.list.d/*.sources")) + ["/etc/apt/sources.list"]:
        text = open(path).read() if os.path.exists(path) else ""
        for stanza in re.split(r"\n\s*\n", text):
            if re.search(r"^Suites:.*\bbookworm\b", stanza, re.M) and (uris := re.search(r"^URIs:\s*(\S+)", stanza, re.M)):
                return uris.group(1)
        if found := re.search(r"^\s*deb\s+(?:\[[^]]*\]\s+)?(\S+)\s+bookworm\s", text, re.M):
            return found.group(1)
    return None


def pristine(tarball):
    """Makes the tarball if it is missing; True when it was made."""
    if os.path.exists(tarball):
        return False
    with tempfile.TemporaryDirectory(prefix="kivora-debootstrap.", dir=os.path.dirname(tarball)) as work:
        made = subprocess.run(["debootstrap", "--variant=minbase", "bookworm", work + "/root", mirror()],
                              capture_output=True, text=True)
        if made.returncode != 0:
            raise RuntimeError(f"debootstrap failed: {made.stdout[-1500:]}{made.stderr[-1500:]}")
        # Under another name until whole, so that a broken run leaves no tarball that looks whole.
        subprocess.run(["tar", "--numeric-owner", "-C", work + "/root", "-czf", tarball + ".part", "."], check=True)
        os.rename(tarball + ".part", tarball)
    return True


class Root:
    def __init__(self, tarball, parent):
        self.tarball, self.parent, self.path = tarball, parent, None

    def __enter__(self):
        self.path = tempfile.mkdtemp(prefix="kivora-root.", dir=self.parent)
        subprocess.run(["tar", "--numeric-owner", "-C", self.path, "-xzf", self.tarball], check=True)
        shutil.copyfile("/etc/resolv.conf", self.host("/etc/resolv.conf"))
        subprocess.run(["mount", "-t", "proc", "proc", self.host("/proc")], check=True)
        return self

    def __exit__(self, *exc):
        subprocess.run(["umount", "--lazy", self.host("/proc")], check=True)
        shutil.rmtree(self.path)  # only now that nothing is mounted below it

    def run(self, *command, env=None):
        """command in the root, in a plain environment plus env: (status, stdout, stderr)."""
        plain = dict(PATH="/usr/sbin:/usr/bin:/sbin:/bin", HOME="/root", LANG="C.UTF-8", DEBIAN_FRONTEND="noninteractive")
        p = subprocess.run(["chroot", self.path, *command], env=dict(plain, **(env or {})), capture_output=True,
                           text=True, timeout=600)
        return p.returncode, p.stdout, p.stderr

    def host(self, path):
        return os.path.join(self.path, path.lstrip("/"))

    def files(self):
        """Every path in the root but the kernel's and run time's; a link to a folder (/bin,
        /lib in Debian 12) counts once."""
        found = set()
        for top in set(os.listdir(self.path)) - {"proc", "sys", "dev", "run", "tmp"}:
            found.add("/" + top)
            for folder, dirs, names in os.walk(self.host(top)) if not os.path.islink(self.host(top)) else ():
                found.update("/" + os.path.relpath(os.path.join(folder, n), self.path) for n in dirs + names)
        return found
