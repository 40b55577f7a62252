"""make_media_folder's choices that its end-to-end test (own_media) does not reach: odd and
tiny sizes, which H.264 in 4:2:0 refuses, clips whose pixels are not square, which of two files
for one name is taken, tools past their time, and pictures judged by their headers: too large
to decode, decoded reduced, turned as OpenCV turns them."""
import importlib.machinery
import importlib.util
import io
import itertools
import pathlib
import shutil
import struct
import subprocess
import tempfile
import time
import unittest
from unittest import mock

import cv2
import numpy as np
from PIL import Image, ImageFile

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


def jpeg(width, height, **options):
    """A JPEG whose four quarters differ in colour, so that any turn or mirror of it shows."""
    y, x = np.mgrid[0:height, 0:width]
    rgb = np.dstack([x >= width // 2, y >= height // 2, x < 0]).astype(np.uint8) * 255
    out = io.BytesIO()
    Image.fromarray(rgb).save(out, "JPEG", quality=95, **options)
    return out.getvalue()


def claiming(width, height):
    """A 16x16 JPEG whose header says width x height."""
    data = bytearray(jpeg(16, 16))
    struct.pack_into(">HH", data, data.index(b"\xff\xc0") + 5, height, width)
    return bytes(data)


class StillTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.dir)

    def still(self, data, box, whole=None, suffix=".jpg"):
        """make_still's notes and item for a source of `data`, and the source as OpenCV shows
        it; pictures above `whole` pixels count as large."""
        folder = pathlib.Path(tempfile.mkdtemp(dir=self.dir))
        source = folder / ("source" + suffix)
        source.write_bytes(data)
        with mock.patch.object(tool, "WHOLE_PIXELS", whole or tool.WHOLE_PIXELS):
            done = tool.make_still(source, folder / "item.jpg", box, folder)
        return done, cv2.imread(str(folder / "item.jpg")), cv2.imread(str(source))

    def test_a_picture_is_measured_before_it_is_decoded(self):
        png = io.BytesIO()
        Image.new("RGB", (1200, 900)).save(png, "PNG")
        cases = [  # what, source, suffix, box, whole, the item's size and notes, or why not
            ("claims 900 MP", claiming(30000, 30000), ".jpg", (1280, 720), None,
             r"says it is 30000x30000 \(900 MP\), more than any camera makes"),
            ("claims 48 MP in 682 bytes", claiming(8000, 6000), ".jpg", (1280, 720), None,
             "^cannot be decoded: cut short$"),
            ("large PNG", png.getvalue(), ".png", (1280, 720), 10**6,
             r"is 1200x900 .*only a baseline JPEG is decoded reduced"),
            ("large progressive JPEG", jpeg(2400, 1800, progressive=True), ".jpg", (300, 225),
             10**6, "only a baseline JPEG is decoded reduced"),
            ("large JPEG", jpeg(2400, 1800), ".jpg", (300, 225), 10**6,
             ((300, 225), ["scaled from 2400x1800 to 300x225 (decoded at 1/8)"])),
            ("large JPEG, the limit before the box", jpeg(2400, 1800), ".jpg", (1280, 720),
             10**6, ((600, 450), ["scaled from 2400x1800 to 600x450 (decoded at 1/4)"])),
            ("bytes after its end", jpeg(64, 48) + b"\0" * 99 + b"trailer", ".jpg",
             (1280, 720), None, ((64, 48), [])),
        ]
        for what, data, suffix, box, whole, result in cases:
            with self.subTest(what):
                if isinstance(result, str):  # left out from its header alone: not decoded
                    decoded = AssertionError("decoded")
                    with mock.patch.object(ImageFile.ImageFile, "load", side_effect=decoded), \
                            mock.patch.object(tool.cv2, "imread", side_effect=decoded), \
                            self.assertRaisesRegex(tool.Undecodable, result):
                        self.still(data, box, whole, suffix)
                else:
                    done, item, _ = self.still(data, box, whole, suffix)
                    self.assertEqual(((item.shape[1], item.shape[0]), done), result)
        cut = jpeg(1200, 900)
        with self.assertRaisesRegex(tool.Undecodable, "^cannot be decoded: cut short$"):
            self.still(cut[:len(cut) * 6 // 10], (1280, 720))

    def test_a_jpeg_is_turned_as_opencv_turns_it_decoded_whole_or_reduced(self):
        for orientation, whole in itertools.product(range(1, 9), (None, 5000)):
            with self.subTest(orientation=orientation, reduced=bool(whole)):
                exif = Image.Exif()
                exif[0x0112] = orientation
                done, item, shown = self.still(jpeg(320, 160, exif=exif.tobytes()), (80, 80),
                                               whole)
                self.assertEqual(item.shape[0] > item.shape[1], orientation >= 5)
                shown = cv2.resize(shown, item.shape[1::-1], interpolation=cv2.INTER_AREA)
                self.assertLess(cv2.absdiff(item, shown).mean(), 8)
                self.assertEqual(done[-1].endswith("(decoded at 1/4)"), bool(whole))


if __name__ == "__main__":
    unittest.main()
