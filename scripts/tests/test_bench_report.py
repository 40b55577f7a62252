"""The bench's report on a recorded run: a small folder of round files, some figures missing."""
import math
import pathlib
import unittest

from benchlib import report

ROUNDS = pathlib.Path(__file__).parent / "bench_rounds"


class RoundsTest(unittest.TestCase):
    def test_round_of_names_key_and_round(self):
        for name, expected in [("h264-30-720.node.r2.json", ("h264-30-720.node", 2)),
                               ("rooms-still.poses.json", ("rooms-still.poses", 0)),
                               ("bound-playlist-720.r1.json", ("bound-playlist-720", 1)),
                               ("odd.rx.json", ("odd.rx", 0))]:
            with self.subTest(name=name):
                self.assertEqual(report.round_of(pathlib.Path(name)), expected)

    def test_merge_takes_medians_skips_missing_and_keeps_extremes(self):
        rounds = [(30.0, None, 50.0, 20.0, "a"), (29.0, math.nan, 70.0, 15.0, "b"),
                  (28.0, 0.4, 60.0, 25.0, "c")]
        keys = ("rate", "drift_max_ms", "gap_max_ms", "first_interval_min_ms", "label")
        merged = report.merge([dict(zip(keys, r)) for r in rounds])
        self.assertEqual(merged, {"rate": 29.0, "drift_max_ms": 0.4, "gap_max_ms": 70.0,
                                  "first_interval_min_ms": 15.0, "label": "a"})


class RenderTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.table = report.render(ROUNDS)
        cls.lines = cls.table.splitlines()

    def row(self, start):
        found = [line for line in self.lines if line.startswith(start)]
        self.assertEqual(len(found), 1, f"one row starting {start!r}")
        return found[0]

    def test_summary_gives_medians_and_na_for_missing_figures(self):
        self.assertEqual(self.row("| CPU per frame, H.264 720p (ms)"),
                         "| CPU per frame, H.264 720p (ms) | 4.200 | 4.200 | n/a |")
        self.assertEqual(self.row("| boundary interval, 720p"),
                         "| boundary interval, 720p one-second clips, median / max (ms) "
                         "| 45.00 / 50.00 | n/a | n/a |")

    def test_goals_judge_against_the_floor(self):
        # Interval std 0.75 ms against the floor's 0.60 + 0.1: not met.
        self.assertTrue(self.row("| H.264 video, 720p, 30 fps: rate within").endswith("| **no** |"))
        # CPU per pose, ROS threads over 5 s windows: node (0.3 - 0.1) / 5 s = 40 µs, floor
        # (0.22 - 0.1) / 5 s = 24 µs: x1.67.
        pose = self.row("| A 1 kHz pose stream")
        self.assertIn("node 40.0 µs, floor 24.0 µs per pose (x1.67; by case x1.67 to x1.67, "
                      "over 1 cases)", pose)
        self.assertTrue(pose.endswith("| **no** |"))
        # Boundary median 45 ms is above one period + 1 ms.
        boundary = self.row("| Boundary, room A, 13 one-second H.264 clips, 1280x720")
        self.assertTrue(boundary.endswith("| **no** |"))
        # A room run whose changes went unanswered has no figures to judge.
        self.assertTrue(self.row("| Room change between stills: old").endswith("| n/a |"))

    def test_parts_that_did_not_run_leave_no_section(self):
        self.assertNotIn("## Memory across item switches", self.table)
        self.assertIn("## Item boundaries", self.table)
        self.assertIn("| frames skipped / sent twice | 0 / 0 | n/a | n/a | n/a | | |", self.lines)


if __name__ == "__main__":
    unittest.main()


class PlanTest(unittest.TestCase):
    def test_a_part_without_side_by_side_turns_plans_no_turn(self):
        # --only boundaries leaves every round of the cases without a publisher's turn.
        from benchlib import plan
        self.assertEqual(plan.rotate([], 1), [])
        self.assertEqual(plan.rotate(["node", "floor", "peer"], 4), ["floor", "peer", "node"])
