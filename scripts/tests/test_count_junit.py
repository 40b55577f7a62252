"""scripts/test's totals come from count_junit: a case miscounted there is a fault hidden."""
import pathlib
import tempfile
import unittest

import count_junit

SUITE = """<testsuite>
  <testcase classname="Site" name="RoomOfCorner"/>
  <testcase classname="Site" name="Broken"><failure message="x"/></testcase>
  <testcase classname="Site" name="Crashed"><error message="y"/></testcase>
  <testcase classname="Site" name="NotRun"><skipped/></testcase>
</testsuite>"""


class CountTest(unittest.TestCase):
    def test_counts_failures_errors_and_unreadable_files_and_skips_skipped(self):
        with tempfile.TemporaryDirectory() as folder:
            (pathlib.Path(folder) / "vok_video_player").mkdir()
            (pathlib.Path(folder) / "vok_video_player/site.xml").write_text(SUITE)
            (pathlib.Path(folder) / "cut.xml").write_text("<testsuite><testcase")
            self.assertEqual(count_junit.count(folder, "thread: "), (1, 3, [
                "thread: cut.xml: unreadable result file",
                "thread: vok_video_player/Site.Broken",
                "thread: vok_video_player/Site.Crashed",
            ]))


if __name__ == "__main__":
    unittest.main()
