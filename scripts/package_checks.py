"""The judgements of scripts/check-package, made inside the fresh chroot of a Debian release.

Usage: /usr/bin/python3 package_checks.py COMMAND ARG...
  runtime-only DEPENDS BEFORE AFTER
                              fails naming any -dev package or compiler that DEPENDS (apt-get
                              install --simulate --no-install-recommends) would install; names
                              those that AFTER (dpkg-query's names) adds beyond BEFORE and DEPENDS,
                              which apt's Recommends brought
  rate LOG HZ TOLERANCE       the last "average rate" of `rostopic hz`'s output in LOG; fails
                              when it is missing or further than TOLERANCE from HZ
  unfetched LOG               the packages that apt's output in LOG could not download (404)
  free-port                   a TCP port on localhost that nothing listens on
  leftovers LIST              the paths of LIST (dpkg -L of the purged packages) that are still
                              on disk and that no installed package owns; fails when there are
  sizes DEB...                a Markdown table of each package's file size and installed size
"""
import pathlib
import re
import socket
import subprocess
import sys

# What a user's runtime installation must not bring: headers and libraries to build with, and
# the compilers with their assembler and linker. Debian 13 names its compilers by target too
# (gcc-14-x86-64-linux-gnu); gcc-12-base and the like are only the compilers' shared files.
BUILD_ONLY = re.compile(
    r"(.*-dev"
    r"|(gcc|g\+\+|cpp|clang|gfortran)(-[0-9.]+)?(-[a-z0-9_]+(-[a-z0-9_]+)*-linux-gnu)?"
    r"|build-essential|binutils(-.+)?)(:[a-z0-9]+)?")
# -dev packages that a release's own runtime packages depend on, so that no user of them can do
# without; each is named in the check's output all the same.
RUNTIME_DEV = {
    "python3-numpy-dev": "Debian 13's python3-numpy depends on it (numpy's C headers)",
    "libgtest-dev": "Debian 11's catkin depends on it, and rosbash (rosrun) on catkin",
}


def new_packages(before, after):
    """The names in `after` that `before` lacks, in order."""
    known = set(before)
    return [name for name in after if name not in known]


def simulated_installs(text):
    """The packages that `apt-get install --simulate` says it would install."""
    return re.findall(r"^Inst (\S+) ", text, re.M)


def build_only(packages):
    """The packages among `packages` that only a build needs."""
    return [name for name in packages
            if BUILD_ONLY.fullmatch(name) and name.split(":")[0] not in RUNTIME_DEV]


def unfetched(text):
    """The packages whose download apt's output says the mirror did not have (404)."""
    files = re.findall(r"^E: Failed to fetch \S*/([^/\s]+)_[^_/\s]+_[^_/\s]+\.deb\s+404", text,
                       re.M)
    return sorted(set(files))


def last_rate(text):
    """The last rate `rostopic hz` printed, or None."""
    rates = re.findall(r"^average rate: ([0-9.]+)$", text, re.M)
    return float(rates[-1]) if rates else None


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def owned_paths(info_dir):
    """Every path that an installed package's file list names."""
    owned = set()
    for listing in pathlib.Path(info_dir).glob("*.list"):
        owned.update(line for line in listing.read_text(errors="replace").splitlines() if line)
    return owned


def leftovers(paths, owned, exists):
    """The paths that still exist though no installed package owns them. "/." and the like,
    which dpkg -L starts with, are the root."""
    return [path for path in paths
            if path not in ("/", "/.") and path not in owned and exists(path)]


def sizes(debs):
    rows = ["| package | .deb | installed |", "|---|---|---|"]
    for deb in debs:
        fields = subprocess.run(["dpkg-deb", "-f", deb, "Package", "Installed-Size"],
                                check=True, capture_output=True, text=True).stdout
        info = dict(line.split(": ", 1) for line in fields.splitlines())
        size = pathlib.Path(deb).stat().st_size
        rows.append(f"| `{info['Package']}` | {size / 1024:.0f} KiB | "
                    f"{int(info['Installed-Size']):d} KiB |")
    return "\n".join(rows)


def read_lines(path):
    return [line.strip() for line in pathlib.Path(path).read_text().splitlines() if line.strip()]


def main(argv):
    command, args = (argv[1], argv[2:]) if len(argv) > 1 else ("", [])
    if command == "runtime-only" and len(args) == 3:
        depends = simulated_installs(pathlib.Path(args[0]).read_text())
        added = new_packages(read_lines(args[1]), read_lines(args[2]))
        bad = build_only(depends)
        print(f"{len(depends)} packages through the packages' dependencies" +
              (f"; only a build needs {' '.join(bad)}" if bad else ", none of them for builds"))
        for name in depends:
            if name in RUNTIME_DEV:
                print(f"{name} comes all the same: {RUNTIME_DEV[name]}")
        recommended = new_packages(depends, added)
        print(f"{len(recommended)} more through apt's Recommends" +
              (f", of them only for builds: {' '.join(build_only(recommended))}"
               if build_only(recommended) else ""))
        return 1 if bad else 0
    if command == "rate" and len(args) == 3:
        rate = last_rate(pathlib.Path(args[0]).read_text(errors="replace"))
        if rate is None:
            print("no rate: no frame came")
            return 1
        print(f"{rate:.3f} Hz")
        return 0 if abs(rate - float(args[1])) <= float(args[2]) else 1
    if command == "unfetched" and len(args) == 1:
        print(" ".join(unfetched(pathlib.Path(args[0]).read_text(errors="replace"))))
        return 0
    if command == "free-port" and not args:
        print(free_port())
        return 0
    if command == "leftovers" and len(args) == 1:
        left = leftovers(read_lines(args[0]), owned_paths("/var/lib/dpkg/info"),
                         lambda p: pathlib.Path(p).exists() or pathlib.Path(p).is_symlink())
        print("\n".join(left) if left else "nothing left")
        return 1 if left else 0
    if command == "sizes" and args:
        print(sizes(args))
        return 0
    sys.stderr.write(__doc__.split("\n\n", 1)[1])
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
