"""debian_package writes what dpkg-buildpackage reads: a changelog that dpkg parses with the
version of package.xml, control files with every field filled, build dependencies that follow
package.xml; and it refuses a package whose changes or dependencies are not written down."""
import pathlib
import subprocess
import tempfile
import unittest

import debian_package

ROOT = pathlib.Path(__file__).resolve().parents[2]

PACKAGE_XML = """<?xml version="1.0"?>
<package format="3">
  <name>demo_pkg</name>
  <version>{version}</version>
  <description>A package for the test, with a description long enough to be wrapped over more
    than one line of a control file's extended description.</description>
  <maintainer email="dev@vok.invalid">VOK developers</maintainer>
  <license>BSD</license>
  <buildtool_depend>catkin</buildtool_depend>
  <depend>roscpp</depend>
  <build_depend condition="$ROS_VERSION == 2">rclcpp</build_depend>
  <exec_depend>rviz</exec_depend>
  <test_depend>rostest</test_depend>
  {extra}
</package>
"""

CHANGELOG = """^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^
Changelog for package demo_pkg
^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^

0.2.0 (2026-12-11)
------------------
* A change whose description runs on for long enough that a Debian changelog must wrap it
  over two lines at least, as lintian wants them within 80 columns.
* A second change

0.1.0 (2026-12-10)
------------------
* First release
"""


def parsed(changelog, field, *options):
    return subprocess.run(["dpkg-parsechangelog", "-l", str(changelog), *options, "-S", field],
                          check=True, capture_output=True, text=True).stdout.strip()


class DebianPackageTest(unittest.TestCase):
    def make_package(self, folder, version="0.2.0", extra="", changelog=CHANGELOG):
        package = pathlib.Path(folder) / "demo_pkg"
        package.mkdir()
        (package / "package.xml").write_text(PACKAGE_XML.format(version=version, extra=extra))
        if changelog is not None:
            (package / "CHANGELOG.rst").write_text(changelog)
        packaging = pathlib.Path(folder) / "packaging"
        (packaging / "demo_pkg").mkdir(parents=True)
        (packaging / "debian-common").mkdir()
        (packaging / "build-depends.txt").write_text("catkin catkin\nroscpp libroscpp-dev\n")
        (packaging / "demo_pkg/control.in").write_text(
            "Source: @SOURCE@\nBuild-Depends: debhelper-compat (= 13), @BUILD_DEPENDS@\n\n"
            "Package: @SOURCE@\nDepends: ${shlibs:Depends}\nDescription: demo\n@DESCRIPTION@\n")
        return package, packaging

    def test_the_repositorys_packages_give_debian_folders_for_every_release(self):
        for name in ("vok_tutorials22", "vok_video_player"):
            for release, (number, _) in debian_package.RELEASES.items():
                with self.subTest(package=name, release=release), \
                        tempfile.TemporaryDirectory() as out:
                    source, version = debian_package.write_debian(ROOT / name, out, release)
                    xml_version = debian_package.parse_package(str(ROOT / name)).version
                    self.assertEqual(version, f"{xml_version}+deb{number}")
                    changelog = pathlib.Path(out) / "debian/changelog"
                    self.assertEqual(parsed(changelog, "Version"), version)
                    self.assertEqual(parsed(changelog, "Source"), source)
                    self.assertEqual(parsed(changelog, "Distribution"), release)
                    for path in pathlib.Path(out, "debian").rglob("*"):
                        if path.is_file():
                            self.assertNotRegex(path.read_text(), r"@[A-Z_]+@", str(path))
                    self.assertTrue(pathlib.Path(out, "debian/rules").stat().st_mode & 0o100)

    def test_changelog_newest_first_wrapped_within_80_columns(self):
        with tempfile.TemporaryDirectory() as folder:
            package, packaging = self.make_package(folder)
            out = pathlib.Path(folder) / "out"
            debian_package.write_debian(package, out, "bookworm", packaging)
            changelog = out / "debian/changelog"
            entries = subprocess.run(
                ["dpkg-parsechangelog", "-l", str(changelog), "--all", "--format", "rfc822"],
                check=True, capture_output=True, text=True).stdout
            self.assertEqual([line.split()[1] for line in entries.splitlines()
                              if line.startswith("Version:")], ["0.2.0+deb12", "0.1.0+deb12"])
            text = changelog.read_text()
            self.assertLessEqual(max(len(line) for line in text.splitlines()), 80)
            self.assertIn("  * A second change\n", text)
            self.assertIn(" -- VOK developers <dev@vok.invalid>  Fri, 11 Dec 2026", text)
            control = (out / "debian/control").read_text()
            # <depend> and <buildtool_depend> build it; exec, test and ROS 2 keys do not.
            self.assertIn("Build-Depends: debhelper-compat (= 13), catkin, libroscpp-dev\n",
                          control)
            description = control.split("Description: demo\n", 1)[1].splitlines()
            self.assertGreater(len(description), 1)
            self.assertTrue(all(line.startswith(" ") and len(line) <= 80
                                for line in description))

    def test_refuses_what_is_not_written_down(self):
        cases = {
            "version without its changes": ({"version": "0.3.0"}, "newest section"),
            "no CHANGELOG.rst": ({"changelog": None}, "missing"),
            "a key without a Debian name": (
                {"extra": "<build_depend>pcl_ros</build_depend>"}, "pcl_ros"),
            "a changelog with only changes to come": (
                {"changelog": CHANGELOG.split("0.2.0")[0] + "Forthcoming\n-----------\n* Soon\n"},
                "no section"),
        }
        for case, (arguments, message) in cases.items():
            with self.subTest(case), tempfile.TemporaryDirectory() as folder:
                package, packaging = self.make_package(folder, **arguments)
                with self.assertRaisesRegex(debian_package.PackagingError, message):
                    debian_package.write_debian(package, pathlib.Path(folder) / "out",
                                                "bookworm", packaging)

    def test_versions_sort_by_release_then_by_version(self):
        ordered = [debian_package.debian_version("0.1.0", r) for r in
                   ("bullseye", "bookworm", "trixie")]
        ordered += [debian_package.debian_version("0.1.1", "bullseye")]
        for older, newer in zip(ordered, ordered[1:]):
            with self.subTest(older=older, newer=newer):
                subprocess.run(["dpkg", "--compare-versions", older, "lt", newer], check=True)


if __name__ == "__main__":
    unittest.main()
