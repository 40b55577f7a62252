"""The node's cost per frame for scripts/frame-cost: the clip it plays, the reader that measures
it, and the table of both architectures.

Usage: /usr/bin/python3 frame_cost.py COMMAND ARG...
  folder CLIPS SIZE SECONDS  makes (once, kept in CLIPS) an H.264 clip of SIZE (640x480) at 30 fps,
                             SECONDS long, and a media folder in CLIPS whose thirteen items are
                             that clip; prints the folder
  measure PID SECONDS LABEL  reads /camera/image (as bytes, not decoded) for a warm-up and then
                             SECONDS, and the node PID's processor time over that window from
                             /proc/PID/stat; prints one JSON line: LABEL, frames, rate, CPU
  table RESULTS              the Markdown table of RESULTS (the JSON lines), one row per size,
                             a column pair per architecture
"""
import json
import os
import pathlib
import sys
import threading
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

WARMUP_S = 3.0
FPS = 30


def folder(clips, size, seconds):
    from benchlib import media  # OpenCV and numpy: only where clips are made
    width, height = (int(n) for n in size.split("x"))
    made = media.Clips(clips, log=lambda line: print(line, file=sys.stderr))
    clip = made.get("h264", width, height, FPS, frames=int(seconds * FPS))
    return media.media_folder(pathlib.Path(clips) / f"folder-{size}", {}, clip)


def cpu_seconds(pid):
    """User and system time of the process, all its threads, in seconds."""
    with open(f"/proc/{pid}/stat") as stat:
        # The name in parentheses may hold blanks; the fields after it are fixed.
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Reader:
    """Counts the frames on /camera/image without decoding them (rospy.AnyMsg)."""

    def __init__(self):
        import rospy
        self.lock = threading.Lock()
        self.frames, self.first, self.last = 0, None, None
        self.bytes = 0
        rospy.init_node("frame_cost_reader", anonymous=True, disable_signals=True)
        self.sub = rospy.Subscriber("/camera/image", rospy.AnyMsg, self.arrived, queue_size=2,
                                    buff_size=1 << 24)

    def arrived(self, msg):
        now = time.monotonic()
        with self.lock:
            self.frames += 1
            self.bytes = len(msg._buff)
            self.first = self.first or now
            self.last = now

    def count(self):
        with self.lock:
            return self.frames, self.last


def measure(pid, seconds, label):
    reader = Reader()
    end = time.monotonic() + 60
    while reader.count()[0] == 0:
        if time.monotonic() > end:
            raise SystemExit("frame_cost: no frame on /camera/image within 60 s")
        time.sleep(0.05)
    time.sleep(WARMUP_S)
    frames0, _ = reader.count()
    cpu0, wall0 = cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)
    frames1, _ = reader.count()
    cpu1, wall1 = cpu_seconds(pid), time.monotonic()
    frames = frames1 - frames0
    return {
        "label": label, "frames": frames, "seconds": round(wall1 - wall0, 3),
        "rate": round(frames / (wall1 - wall0), 3), "cpu_s": round(cpu1 - cpu0, 3),
        "cpu_ms_per_frame": round(1000 * (cpu1 - cpu0) / frames, 3) if frames else None,
        "frame_bytes": reader.bytes,
    }


def table(lines):
    """Rows by size, columns by architecture, from labels of the form ARCH/SIZE."""
    results = {}
    for line in lines:
        if line.strip():
            r = json.loads(line)
            arch, size = r["label"].split("/")
            results[(arch, size)] = r
    arches = sorted({a for a, _ in results}, key=lambda a: (a != "amd64", a))
    sizes = sorted({s for _, s in results}, key=lambda s: [int(n) for n in s.split("x")])
    head = ["size"]
    for arch in arches:
        head += [f"{arch} ms CPU per frame", f"{arch} frames/s"]
    if len(arches) == 2:
        head.append(f"{arches[1]} / {arches[0]}")
    rows = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    for size in sizes:
        row, costs = [size], []
        for arch in arches:
            r = results.get((arch, size))
            cost = r and r["cpu_ms_per_frame"]
            costs.append(cost)
            row += [f"{cost:.1f}" if cost else "none", f"{r['rate']:.2f}" if r else "none"]
        if len(arches) == 2:
            row.append(f"{costs[1] / costs[0]:.1f}x" if all(costs) else "")
        rows.append("| " + " | ".join(row) + " |")
    return "\n".join(rows)


def main(argv):
    if len(argv) >= 2 and argv[1] in ("-h", "--help"):
        print(__doc__)
        return 0
    if len(argv) == 5 and argv[1] == "folder":
        print(folder(argv[2], argv[3], float(argv[4])))
    elif len(argv) == 5 and argv[1] == "measure":
        result = measure(int(argv[2]), float(argv[3]), argv[4])
        print(json.dumps(result))
        return 0 if result["frames"] else 1
    elif len(argv) == 3 and argv[1] == "table":
        print(table(pathlib.Path(argv[2]).read_text().splitlines()))
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
