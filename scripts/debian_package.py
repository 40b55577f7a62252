"""Writes the debian/ folder of one catkin package of this repository, for dpkg-buildpackage.

The package's version comes from its package.xml, its Debian changelog from its CHANGELOG.rst as
catkin_generate_changelog writes it (REP 132), its build dependencies from package.xml's keys
through packaging/build-depends.txt. The rest is templates: packaging/debian-common/ for every
package, packaging/PKG/ for one; a file NAME.in becomes NAME with its @FIELD@s filled in.

Usage: /usr/bin/python3 scripts/debian_package.py PACKAGE_DIR SOURCE_DIR RELEASE
  PACKAGE_DIR  the catkin package (vok_video_player/, say)
  SOURCE_DIR   the copy of it to build; its debian/ is written anew
  RELEASE      the Debian release the packages are for: bullseye, bookworm or trixie
Prints the source package's name and version.
"""
import email.utils
import pathlib
import re
import shutil
import sys
import textwrap
import warnings
from datetime import timezone

from catkin_pkg.changelog import Transition, get_changelog_from_path
from catkin_pkg.package import parse_package

ROOT = pathlib.Path(__file__).resolve().parents[1]
PACKAGING = ROOT / "packaging"

# Each release's Debian version number and the Debian policy version its lintian knows.
RELEASES = {
    "bullseye": ("11", "4.5.1"),
    "bookworm": ("12", "4.6.2"),
    "trixie": ("13", "4.7.2"),
}
# The conditions of package.xml (REP 149) as they are for a build on Debian's ROS 1.
CONDITION_CONTEXT = {"ROS_VERSION": "1", "ROS_PYTHON_VERSION": "3"}


class PackagingError(Exception):
    pass


def source_name(package_name):
    """Debian's name for a ROS package's source package: ros-vok-video-player."""
    return "ros-" + package_name.replace("_", "-")


def debian_version(version, release):
    """The package.xml version with its release's number: 0.1.0+deb12. Built from this
    repository itself, the packages are native; the suffix sorts a newer release's build after
    an older one's, and both before the next version's."""
    if release not in RELEASES:
        raise PackagingError(f"unknown release '{release}' ({', '.join(RELEASES)})")
    return f"{version}+deb{RELEASES[release][0]}"


def read_key_map(path):
    """{rosdep key: [Debian packages]} from build-depends.txt."""
    keys = {}
    for line in path.read_text().splitlines():
        line = line.split("#", 1)[0].split()
        if line:
            keys[line[0]] = line[1:]
    return keys


def build_depends(package, key_map):
    """The Debian packages that build `package`: those of its buildtool, build and plain
    dependencies (not its test ones, as the packages are built without tests), in order."""
    package.evaluate_conditions(CONDITION_CONTEXT)
    wanted = [d for d in package.buildtool_depends + package.build_depends
              if d.evaluated_condition is not False]
    missing = sorted({d.name for d in wanted if d.name not in key_map})
    if missing:
        raise PackagingError(
            f"{package.name}: no Debian package known for {', '.join(missing)}; name it in "
            f"packaging/build-depends.txt")
    names = []
    for dependency in wanted:
        for name in key_map[dependency.name]:
            if name not in names:
                names.append(name)
    return names


def _wrap(text, first, rest, width=79):
    return textwrap.fill(" ".join(text.split()), width=width, initial_indent=first,
                         subsequent_indent=rest, break_on_hyphens=False)


def _change_lines(contents):
    """A version's section of CHANGELOG.rst as a Debian changelog's lines: a bullet "  * ...",
    a paragraph "  ...", each wrapped within 80 columns."""
    lines = []
    for item in contents:
        bullets = getattr(item, "bullets", None)
        if bullets is not None:
            lines.extend(_wrap(str(bullet), "  * ", "    ") for bullet in bullets)
        elif not isinstance(item, Transition) and str(item).strip():
            lines.append(_wrap(str(item), "  ", "  "))
    return lines


def changelog_versions(package, changelog_path):
    """[(version, date, contents)] of CHANGELOG.rst, newest first. The newest section must be the
    version of package.xml: a version released without its changes written down is refused."""
    with warnings.catch_warnings():
        # catkin_pkg's own use of docutils, which newer docutils calls obsolete
        warnings.simplefilter("ignore", PendingDeprecationWarning)
        warnings.simplefilter("ignore", DeprecationWarning)
        changelog = get_changelog_from_path(str(changelog_path), package.name)
    if changelog is None:
        raise PackagingError(f"{package.name}: {changelog_path} is missing")
    versions = list(changelog.foreach_version(reverse=True))
    if not versions:
        raise PackagingError(f"{package.name}: {changelog_path} has no section of a version")
    if versions[0][0] != package.version:
        raise PackagingError(
            f"{package.name}: package.xml says version {package.version}, but the newest "
            f"section of {changelog_path.name} is {versions[0][0]}")
    return versions


def debian_changelog(package, versions, release, maintainer):
    """debian/changelog's text for the versions of changelog_versions()."""
    entries = []
    for version, date, contents in versions:
        lines = _change_lines(contents) or ["  * No changes written down."]
        stamp = email.utils.format_datetime(date.replace(tzinfo=date.tzinfo or timezone.utc))
        entries.append(
            f"{source_name(package.name)} ({debian_version(version, release)}) {release}; "
            f"urgency=medium\n\n" + "\n".join(lines) + f"\n\n -- {maintainer}  {stamp}\n")
    return "\n".join(entries)


def long_description(package):
    """package.xml's description as a control file's extended description: lines of at most 80
    columns that start with a space."""
    return _wrap(package.description, " ", " ")


def fill(template, fields, name):
    """`template` with each @FIELD@ replaced; a field it names that `fields` lacks is refused."""
    def value(match):
        if match.group(1) not in fields:
            raise PackagingError(f"{name}: no value for @{match.group(1)}@")
        return fields[match.group(1)]
    return re.sub(r"@([A-Z_]+)@", value, template)


def write_debian(package_dir, source_dir, release, packaging=PACKAGING):
    """Writes source_dir/debian for the package in package_dir; returns (name, version)."""
    package_dir, source_dir = pathlib.Path(package_dir), pathlib.Path(source_dir)
    package = parse_package(str(package_dir / "package.xml"))
    if not package.maintainers:
        raise PackagingError(f"{package.name}: package.xml names no maintainer")
    maintainer = str(package.maintainers[0])
    versions = changelog_versions(package, package_dir / "CHANGELOG.rst")
    fields = {
        "SOURCE": source_name(package.name),
        "PACKAGE": package.name,
        "MAINTAINER": maintainer,
        "COPYRIGHT_HOLDER": package.maintainers[0].name,
        "YEAR": str(versions[0][1].year),
        "BUILD_DEPENDS": ", ".join(build_depends(package, read_key_map(
            packaging / "build-depends.txt"))),
        "STANDARDS_VERSION": RELEASES[release][1],
        "DESCRIPTION": long_description(package),
    }
    own = packaging / package.name
    if not (own / "control.in").is_file():
        raise PackagingError(f"{package.name}: {own}/control.in is missing")
    debian = source_dir / "debian"
    if debian.exists():
        shutil.rmtree(debian)
    for templates in (packaging / "debian-common", own):
        for path in sorted(templates.rglob("*")):
            if path.is_dir():
                continue
            target = debian / path.relative_to(templates)
            target.parent.mkdir(parents=True, exist_ok=True)
            if path.suffix == ".in":
                target.with_suffix("").write_text(fill(path.read_text(), fields, path.name))
            else:
                shutil.copy2(path, target)
    (debian / "changelog").write_text(debian_changelog(package, versions, release, maintainer))
    return fields["SOURCE"], debian_version(package.version, release)



def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__.split("\n\n", 2)[2])
        return 2
    try:
        name, version = write_debian(argv[1], argv[2], argv[3])
    except PackagingError as error:
        print(f"debian_package: {error}", file=sys.stderr)
        return 1
    print(name, version)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
