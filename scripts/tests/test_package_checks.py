"""check-package's verdicts: a build tool let through, a rate misread or a file left behind by a
purge would each pass a package that a user's machine would show broken."""
import pathlib
import tempfile
import unittest

import package_checks


class PackageChecksTest(unittest.TestCase):
    def test_build_only_packages_are_told_from_runtime_ones(self):
        cases = {
            "libroscpp-dev": True, "libopencv-dev:amd64": True, "python3-dev": True,
            "gcc": True, "gcc-12": True, "g++-14": True, "cpp-12": True, "cpp": True,
            "gcc-14-x86-64-linux-gnu": True, "clang-19": True, "binutils": True,
            "binutils-x86-64-linux-gnu": True, "build-essential": True,
            "gcc-12-base": False, "gcc-14-base:amd64": False, "libgcc-s1": False,
            "libstdc++6": False, "cmake": False, "libdevmapper1.02.1": False,
            "python3-roslaunch": False, "ros-vok-video-player": False, "libcpp-httplib0": False,
            "python3-numpy-dev": False, "libgtest-dev": False,
        }
        for name, build in cases.items():
            with self.subTest(name=name):
                self.assertEqual(package_checks.build_only([name]), [name] if build else [])
        self.assertEqual(package_checks.new_packages(["a", "b"], ["a", "c", "b", "d"]), ["c", "d"])
        simulated = ("NOTE: This is only a simulation!\nInst libroscpp4d (1.15.15+ds-1 Debian:12"
                     "/stable [amd64])\nInst cmake [3.25.1-1] (3.25.1-1 Debian:12/stable [amd64])"
                     "\nConf libroscpp4d (1.15.15+ds-1 Debian:12/stable [amd64])\n")
        self.assertEqual(package_checks.simulated_installs(simulated), ["libroscpp4d", "cmake"])

    def test_unfetched_names_the_packages_the_mirror_lacked(self):
        log = ("Get:528 http://deb.debian.org/debian bullseye/main amd64 xdg-user-dirs amd64 0.17-2\n"
               "E: Failed to fetch http://deb.debian.org/debian-security/pool/updates/main/libh/"
               "libheif/libheif-examples_1.11.0-1%2bdeb11u2_amd64.deb  404  Not Found [IP: "
               "192.0.2.1 80]\nE: Failed to fetch http://deb.debian.org/debian/pool/main/f/ffmpeg/"
               "ffmpeg_4.3.7-0+deb11u1_amd64.deb  Connection failed\n"
               "E: Unable to fetch some archives, maybe run apt-get update\n")
        self.assertEqual(package_checks.unfetched(log), ["libheif-examples"])

    def test_rate_is_the_last_average_rostopic_printed(self):
        log = ("subscribed to [/camera/image]\naverage rate: 12.500\n\tmin: 0.033s max: 0.5s "
               "std dev: 0.1s window: 10\naverage rate: 30.012\n\tmin: 0.030s max: 0.036s std "
               "dev: 0.0007s window: 150\n")
        self.assertEqual(package_checks.last_rate(log), 30.012)
        self.assertIsNone(package_checks.last_rate("subscribed to [/camera/image]\nno new messages\n"))

    def test_leftovers_are_unowned_paths_still_on_disk(self):
        with tempfile.TemporaryDirectory() as info:
            pathlib.Path(info, "rosbash.list").write_text("/.\n/usr\n/usr/lib\n/usr/bin/rosrun\n")
            owned = package_checks.owned_paths(info)
        listed = ["/.", "/usr", "/usr/lib", "/usr/lib/vok_video_player",
                  "/usr/lib/vok_video_player/vok_video_player", "/usr/share/vok_video_player"]
        on_disk = {"/", "/usr", "/usr/lib", "/usr/share/vok_video_player"}
        self.assertEqual(package_checks.leftovers(listed, owned, on_disk.__contains__),
                         ["/usr/share/vok_video_player"])


if __name__ == "__main__":
    unittest.main()
