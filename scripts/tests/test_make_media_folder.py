"""make_media_folder's choices that its end-to-end test (own_media) does not reach: odd and
tiny sizes, which H.264 in 4:2:0 refuses, clips whose pixels are not square, and which of two
files for one name is taken."""
import importlib.machinery
import importlib.util
import pathlib
import subprocess
import time
import unittest

_PATH = pathlib.Path(__file__).resolve().parents[2] / "vok_video_player/scripts/make_media_folder"
_LOADER = importlib.machinery.SourceFileLoader("make_media_folder", str(_PATH))
_SPEC = importlib.util.spec_from_loader("make_media_folder", _LOADER)
tool = importlib.util.module_from_spec(_SPEC)
_LOADER.exec_module(tool)


class MakeMediaFolderTest(unittest.TestCase):
    def test_fits_within_the_box_aspect_kept_never_enlarged_even_for_video(self):
        cases = [  # width, height, box, even, result
            (4032, 3024, (1280, 720), False, (960, 720)),
            (8160, 6120, (1280, 720), True, (960, 720)),
            (1080, 1920, (1280, 720), True, (404, 720)),
            (97, 61, (1280, 720), True, (96, 60)),
            (97, 61, (1280, 720), False, (97, 61)),
            (3000, 3, (1280, 720), True, (1280, 2)),
        ]
        for width, height, box, even, result in cases:
            with self.subTest(size=(width, height), even=even):
                self.assertEqual(tool.fit_size(width, height, box, even), result)

    def test_a_clip_is_measured_as_it_is_shown(self):
        probe = {"streams": [
            {"codec_type": "audio"},
            {"codec_type": "video", "codec_name": "hevc", "pix_fmt": "yuv420p10le",
             "width": 1440, "height": 1080, "sample_aspect_ratio": "4:3",
             "avg_frame_rate": "30000/1001", "side_data_list": [{"rotation": -90}]}]}
        info = tool.video_info(probe)
        self.assertEqual((info.width, info.height, info.rotation, info.has_audio),
                         (1080, 1920, 270, True))
        self.assertEqual(info.rate, "30000/1001")
        self.assertEqual(tool.clip_rate("0/0", "90000/1"), "30")
        with self.assertRaises(tool.Undecodable):
            tool.video_info({"streams": [{"codec_type": "audio"}]})

    def test_names_match_loosely_and_the_first_file_in_name_order_is_taken(self):
        plan = tool.plan_sources(["tooth_brush.png", "Tooth-Brush.HEIC", "IMG_0001.HEIC",
                                  "dog.gif", "Empty.MOV"])
        self.assertEqual(plan.chosen, {"toothbrush": ["Tooth-Brush.HEIC", "tooth_brush.png"],
                                       "empty": ["Empty.MOV"]})
        self.assertEqual([name for name, _ in plan.left_out], ["IMG_0001.HEIC", "dog.gif"])

    def test_a_tool_past_its_time_is_killed_with_what_it_started(self):
        # The shell's own child holds the output pipes: with only the shell killed, the wait for
        # them would last the child's 30 s.
        start = time.monotonic()
        with self.assertRaises(subprocess.TimeoutExpired) as late:
            tool.run_tool(["sh", "-c", "sleep 30 & sleep 30"], 1)
        self.assertLess(time.monotonic() - start, 10)
        self.assertEqual(tool.timeout_text(late.exception), "sh did not finish within 1 s")


if __name__ == "__main__":
    unittest.main()
