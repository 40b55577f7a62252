"""The bench's clips and stills, and the media folders the node plays them from.

Every frame carries a colour box in its top-left corner (the item) and a stripe of 14
white/black squares along the top (the frame number), which bench_probe reads. Clips are made
once per workspace and kept in a cache folder, named by everything that makes them.

Two scenes: ffmpeg's `testsrc2` (flat colours and sharp shapes, which cost a decoder little
and JPEG almost nothing), and a camera's view, made here (texture, shading, blur and sensor
noise), for what a JPEG of a real picture weighs.
"""
import math
import os
import pathlib
import subprocess

import cv2
import numpy as np

# The 13 media names the node needs in its folder: the items of a non-special room's playlist.
NAMES = ["pizza", "sandwich", "banana", "broccoli", "book", "bottle", "dog", "fork", "laptop",
         "remote", "toothbrush", "empty", "person"]
HEIGHTS = {"720": 1280, "1080": 1920, "2160": 3840}  # height -> width of the first item


def marks(colour):
    """The ffmpeg filter that draws the item's colour box and the frame number's stripe."""
    f = f"drawbox=x=0:y=0:w=iw:h=32:color=black:t=fill,drawbox=x=0:y=0:w=64:h=64:color={colour}:t=fill"
    for k in range(14):
        f += (f",drawbox=x={64 + 32 * k}:y=0:w=32:h=32:color=white:t=fill"
              f":enable='mod(floor(n/{1 << k}),2)'")
    return f


def field(rng, height, width, slope):
    """A random field of unit spread whose amplitude spectrum falls as 1/f**slope: 1 is that of
    natural scenes (detail at every scale), 2 a smooth swell such as light on a wall."""
    fy = np.fft.fftfreq(height)[:, None]
    fx = np.fft.rfftfreq(width)[None, :]
    f = np.hypot(fx, fy)
    f[0, 0] = 1
    spectrum = (rng.standard_normal(f.shape) + 1j * rng.standard_normal(f.shape)) / f ** slope
    spectrum[0, 0] = 0
    x = np.fft.irfft2(spectrum, s=(height, width))
    return (x / x.std()).astype(np.float32)


def camera_scene(width, height, seed=7):
    """A room as a camera sees it, without the sensor's noise: a wall in uneven light with a fine
    plaster grain, and in front of it a dozen objects (shapes of their own colour, shading and
    texture, from smooth to busy), softened by a lens's blur of about a pixel. BGR, float."""
    rng = np.random.default_rng(seed)
    light = field(rng, height, width, 2.0)
    grain, weave = field(rng, height, width, 1.0), field(rng, height, width, 1.2)
    luma = 125 + 28 * light + 4 * grain
    scene = np.repeat(luma[:, :, None], 3, axis=2) * np.array([1.0, 0.98, 0.93], np.float32)
    for k in range(12):
        mask = np.zeros((height, width), np.uint8)
        cx, cy = int(rng.uniform(0, width)), int(rng.uniform(height * 0.15, height))
        rx, ry = int(rng.uniform(0.04, 0.18) * width), int(rng.uniform(0.06, 0.3) * height)
        if k % 3 == 0:
            cv2.ellipse(mask, (cx, cy), (rx, ry), rng.uniform(0, 180), 0, 360, 1, -1)
        else:
            cv2.rectangle(mask, (cx - rx, cy - ry), (cx + rx, cy + ry), 1, -1)
        grey = rng.uniform(50, 200)
        colour = (0.5 * grey + 0.5 * rng.uniform(30, 220, 3)).astype(np.float32)
        texture = (grain if k % 2 else weave) * rng.uniform(3, 30)
        surface = colour * (1 + 0.2 * light[:, :, None]) + texture[:, :, None]
        scene = np.where(mask[:, :, None] > 0, surface, scene)
    # Edges of frames, shelves and seams: thin lines darker or lighter than what they cross.
    for _ in range(30):
        x, y = int(rng.uniform(0, width)), int(rng.uniform(0, height))
        horizontal = rng.uniform() < 0.5
        length = int(rng.uniform(0.05, 0.4) * (width if horizontal else height))
        end = (x + length, y) if horizontal else (x, y + length)
        grey = float(rng.choice([25, 230]))
        cv2.line(scene, (x, y), end, (grey, grey, grey), int(rng.integers(1, 4)))
    return cv2.GaussianBlur(scene, (0, 0), 1.0)


def camera_frames(width, height, frames, fps=30, noise=2.5, seed=7):
    """Frames of the camera's view, BGR uint8: the camera pans to and fro across a room a quarter
    wider than the frame, once every 8 s, and every frame has sensor noise of its own (a normal
    spread of `noise` levels a channel, that of an indoor camera at moderate gain)."""
    travel = width // 4
    scene = camera_scene(width + travel, height, seed)
    rng = np.random.default_rng(seed + 1)
    for n in range(frames):
        x = int(round(travel * (1 - math.cos(2 * math.pi * n / (8 * fps))) / 2))
        frame = scene[:, x:x + width] + rng.standard_normal((height, width, 3), np.float32) * noise
        yield np.clip(frame, 0, 255).astype(np.uint8)


class Clips:
    """Makes clips on demand into a cache folder and hands out their paths."""

    def __init__(self, folder, log=print):
        self.folder = pathlib.Path(folder)
        self.folder.mkdir(parents=True, exist_ok=True)
        self.log = log

    def get(self, kind, width, height, fps=30, frames=1, colour="blue", scene="testsrc2"):
        """A still ("still": one .jpg frame) or a clip ("h264", "mp4v") of `frames` frames, of
        ffmpeg's test pattern ("testsrc2") or of the camera's view ("camera")."""
        ext = "jpg" if kind == "still" else "mp4"
        frames = 1 if kind == "still" else frames
        name = (f"{kind}-{'' if scene == 'testsrc2' else scene + '-'}{width}x{height}-{fps}fps-"
                f"{frames}f-{colour}.{ext}")
        path = self.folder / name
        if path.exists():
            return path
        codec = {
            "still": ["-frames:v", "1", "-q:v", "2"],
            # 4K at libx264's fastest preset: the clip is only there to be decoded.
            "h264": ["-frames:v", str(frames), "-c:v", "libx264", "-preset",
                     "ultrafast" if height > 1080 else "veryfast", "-crf", "20", "-pix_fmt", "yuv420p"],
            "mp4v": ["-frames:v", str(frames), "-c:v", "mpeg4", "-tag:v", "mp4v", "-q:v", "4",
                     "-pix_fmt", "yuv420p"],
        }[kind]
        if kind == "h264" and scene == "camera":
            # libx264 smooths the noise away by default (the 720p view then takes 0.5 Mbit/s);
            # tuned for grain it keeps it, at the 5 Mbit/s of a camera's own 720p recording.
            codec += ["-tune", "grain"]
        self.log(f"bench: making {name}")
        part = path.with_name("part-" + name)
        ffmpeg = ["ffmpeg", "-hide_banner", "-loglevel", "error", "-y"]
        out = ["-vf", marks(colour), *codec, str(part)]
        if scene == "testsrc2":
            subprocess.run([*ffmpeg, "-f", "lavfi", "-i",
                            f"testsrc2=size={width}x{height}:rate={fps}", *out], check=True)
        else:
            encoder = subprocess.Popen([*ffmpeg, "-f", "rawvideo", "-pix_fmt", "bgr24", "-s",
                                        f"{width}x{height}", "-r", str(fps), "-i", "-", *out],
                                       stdin=subprocess.PIPE)
            try:
                for frame in camera_frames(width, height, frames, fps):
                    encoder.stdin.write(frame.tobytes())
            finally:
                encoder.stdin.close()
            if encoder.wait() != 0:
                raise subprocess.CalledProcessError(encoder.returncode, "ffmpeg")
        part.rename(path)
        return path

    def case(self, case, seconds):
        """The file of a side-by-side case such as "h264-60-1080" or "still-720"."""
        kind, *rest = case.split("-")
        height = rest[-1]
        fps = int(rest[0]) if kind != "still" else 30
        return self.get(kind, HEIGHTS[height], int(height), fps, frames=int(seconds * fps))

    def playlist(self, kinds, height, frames=30):
        """One file per media name, each of its own width (kinds: "h264", "still" or "mixed")."""
        files = {}
        for k, name in enumerate(NAMES):
            kind = kinds if kinds != "mixed" else ("h264" if k % 2 == 0 else "still")
            files[name] = self.get(kind, HEIGHTS[height] + 2 * k, int(height), 30, frames)
        return files


def media_folder(folder, files, filler):
    """A folder with every media name: `files` (name -> path) linked in, the rest `filler`."""
    folder = pathlib.Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    for name in NAMES:
        path = pathlib.Path(files.get(name, filler))
        link = folder / (name + path.suffix)
        if link.is_symlink() or link.exists():
            link.unlink()
        os.symlink(path, link)
    return folder
