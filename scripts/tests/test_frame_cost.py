"""frame-cost's table: a row under the wrong size or a ratio of the wrong way round would put a
wrong figure for emulated arm64 in the docs."""
import json
import unittest

import frame_cost


class FrameCostTableTest(unittest.TestCase):
    def test_rows_by_size_amd64_first_and_the_ratio_against_it(self):
        lines = [json.dumps({"label": label, "cpu_ms_per_frame": cost, "rate": 30.0})
                 for label, cost in (("arm64/1280x720", 40.0), ("amd64/1280x720", 4.0),
                                     ("arm64/640x480", 15.0), ("amd64/640x480", 1.5))]
        lines.append(json.dumps({"label": "arm64/1920x1080", "cpu_ms_per_frame": None,
                                 "rate": 0.0}))
        rows = frame_cost.table(lines + [""]).splitlines()
        self.assertEqual(rows[0], "| size | amd64 ms CPU per frame | amd64 frames/s | arm64 ms CPU "
                         "per frame | arm64 frames/s | arm64 / amd64 |")
        self.assertEqual(rows[2], "| 640x480 | 1.5 | 30.00 | 15.0 | 30.00 | 10.0x |")
        self.assertEqual(rows[3], "| 1280x720 | 4.0 | 30.00 | 40.0 | 30.00 | 10.0x |")
        self.assertEqual(rows[4], "| 1920x1080 | none | none | none | 0.00 |  |")


if __name__ == "__main__":
    unittest.main()
