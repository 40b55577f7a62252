"""The bench's report on a recorded run: a small folder of round files, some figures missing."""
import json
import math
import pathlib
import tempfile
import unittest

from benchlib import remote, report

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


class RemoteTest(unittest.TestCase):
    def test_behind_matches_the_nearest_publication_of_the_frame_number(self):
        # Numbers come again every 20 s; the local subscriber may see a frame after the viewer.
        published = [(100.0, 1), (100.033, 2), (120.0, 1), (120.033, 2), (140.0, 1)]
        arrived = [(99.0, 1),     # before the window
                   (100.5, 1),    # 0.5 s behind
                   (120.032, 2),  # 1 ms ahead of the local subscriber
                   (130.1, 2),    # over half a loop from either publication: unmatched
                   (125.0, 7),    # a number never published: unmatched
                   (141.0, 1)]    # after the window
        figures = remote.behind(published, arrived, 100.0, 140.0, 20.0)
        self.assertEqual((figures["matched"], figures["unmatched"]), (2, 2))
        self.assertAlmostEqual(figures["behind_max_s"], 0.5)
        self.assertAlmostEqual(figures["behind_median_s"], (0.5 - 0.001) / 2)

    def test_goals_of_the_remote_part(self):
        def viewer(fps, p99):
            return {"frames": 150, "window_s": 5, "stream_rate": fps, "behind_p99_s": p99}

        def cpu(*shares, frames=150):
            # One node process a round: raw subscriber only, then a compressed viewer too.
            files = {}
            for k, (alone, both, before) in enumerate(shares, 1):
                files.update({f"now-raw.r{k}": {"cpu_share": alone, "window_s": 10},
                              f"now-compressed.r{k}": {"cpu_share": both},
                              f"viewer.r{k}": {"frames": frames},
                              f"before-raw.r{k}": {"cpu_share": before}})
            return files

        still = "| 1280x720 still: "
        video = "| 1280x720 H.264 video, 30 fps: "
        for name, key, files, row, verdict in [
            ("fast enough", "remote-h264-480.20.compressed", viewer(29.2, 0.19),
             "| A compressed viewer across 20", "yes"),
            ("too few frames", "remote-h264-720.50.compressed", viewer(28.9, 0.05),
             "| A compressed viewer across 50", "**no**"),
            ("too far behind", "remote-h264-720.50.compressed", viewer(30, 0.2),
             "| A compressed viewer across 50", "**no**"),
            ("no match", "remote-h264-480.20.compressed", viewer(30, None),
             "| A compressed viewer across 20", "n/a"),
            # Medians 2.4 and 2.1% of a core: more apart than two ticks over 10 s (0.2), less
            # than the rounds' spread (0.8).
            ("as before", "remote-cpu-still-720", cpu((0.020, 0.025, 0.021), (0.028, 0.03, 0.021)),
             still + "node CPU with no compressed", "yes"),
            # 1 point apart; the spread is 0.1.
            ("dearer", "remote-cpu-h264-720", cpu((0.030, 0.4, 0.020), (0.031, 0.4, 0.021)),
             video + "node CPU with no compressed", "**no**"),
            ("still's JPEG cheap", "remote-cpu-still-720", cpu((0.020, 0.029, 0.02)),
             still + "one compressed subscriber", "yes"),
            ("still's JPEG dear", "remote-cpu-still-720", cpu((0.020, 0.031, 0.02)),
             still + "one compressed subscriber", "**no**"),
            ("video's JPEGs", "remote-cpu-h264-720", cpu((0.20, 0.45, 0.2)),
             video + "one compressed subscriber", "yes"),
            ("a viewer that got nothing", "remote-cpu-still-720", cpu((0.02, 0.02, 0.02), frames=0),
             still + "one compressed subscriber", None),
        ]:
            with self.subTest(name), tempfile.TemporaryDirectory() as folder:
                if key.startswith("remote-cpu"):
                    files = {f"{key}.{name}": figures for name, figures in files.items()}
                else:
                    files = {key: files}
                for stem, figures in files.items():
                    (pathlib.Path(folder) / f"{stem}.json").write_text(json.dumps(figures))
                found = [line for line in report.render(folder).splitlines()
                         if line.startswith(row)]
                self.assertEqual(len(found), 0 if verdict is None else 1, found)
                if verdict:
                    self.assertTrue(found[0].endswith(f"| {verdict} |"), found[0])


if __name__ == "__main__":
    unittest.main()


class PlanTest(unittest.TestCase):
    def test_a_part_without_side_by_side_turns_plans_no_turn(self):
        # --only boundaries leaves every round of the cases without a publisher's turn.
        from benchlib import plan
        self.assertEqual(plan.rotate([], 1), [])
        self.assertEqual(plan.rotate(["node", "floor", "peer"], 4), ["floor", "peer", "node"])
