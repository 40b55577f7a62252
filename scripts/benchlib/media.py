"""The bench's clips and stills, and the media folders the node plays them from.

Every frame carries a colour box in its top-left corner (the item) and a stripe of 14
white/black squares along the top (the frame number), which bench_probe reads. Clips are made
once per workspace and kept in a cache folder, named by everything that makes them.
"""
import os
import pathlib
import subprocess

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


class Clips:
    """Makes clips on demand into a cache folder and hands out their paths."""

    def __init__(self, folder, log=print):
        self.folder = pathlib.Path(folder)
        self.folder.mkdir(parents=True, exist_ok=True)
        self.log = log

    def get(self, kind, width, height, fps=30, frames=1, colour="blue"):
        """A still ("still": one .jpg frame) or a clip ("h264", "mp4v") of `frames` frames."""
        ext = "jpg" if kind == "still" else "mp4"
        name = f"{kind}-{width}x{height}-{fps}fps-{1 if kind == 'still' else frames}f-{colour}.{ext}"
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
        self.log(f"bench: making {name}")
        part = path.with_name("part-" + name)
        subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                        f"testsrc2=size={width}x{height}:rate={fps}", "-vf", marks(colour), *codec,
                        str(part)], check=True)
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
