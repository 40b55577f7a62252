"""What a bench run measures, in which order, with which windows, and how long it should take."""
from dataclasses import dataclass, field

from benchlib import inprocess

CASES = [f"{kind}-{res}" for res in ("720", "1080")
         for kind in ("still", "h264-30", "h264-60", "mp4v-30")]
PARTS = ("cases", "poses", "boundaries", "rooms", "memory", "inprocess", "remote")
# The remote part takes about 5 minutes of the default plan's windows (see remote_runs), which
# would take the default run from its 14.5 minutes to about 20, and the full one well past its
# hour: it runs when named (--only remote), not by default.
DEFAULT_PARTS = PARTS[:-1]
# Playlists of distinct items in room A: what they hold, their height and frames per clip.
BOUNDARY_MEDIA = {
    "playlist-720": ("h264", "720", 30),
    "playlist-1080": ("h264", "1080", 30),
    "mixed-720": ("mixed", "720", 30),
    "stills-1080": ("still", "1080", 1),
    "oneframe-720": ("h264", "720", 1),
    "playlist-2160": ("h264", "2160", 30),
}
# A still that follows itself: with no pose, the node plays its "empty" item, 8 s a play.
REPLAY = "replay-1080"
# What a run costs besides its windows (s): starting the publisher until its first frame and the
# probe, stopping it, and the second probe of a pose window.
START_S, STOP_S, SECOND_PROBE_S = 2.0, 0.7, 1.0
ROOM_INTERVAL, ROOM_JITTER, SWITCH_INTERVAL = 0.5, 0.0333, 0.08
# The remote part: its frame sizes (height -> width), the link's rates (Mbit/s, None for the
# link as it is), the length of its clips (a frame number comes again once a loop, so a viewer
# must be less than half a loop behind to be matched with the right publication), and what one
# of its windows costs besides the window: the local probe's start and stop, and the viewer's
# first frame, which takes a second across the slowest link.
REMOTE_SIZES = {"480": 640, "720": 1280}
LINKS = (None, 50, 20)
TRANSPORTS = ("raw", "compressed")
REMOTE_CLIP_S = 20
WINDOW_COST_S = 2.0


@dataclass
class Settings:
    warmup: float
    video_window: float
    still_window: float
    rounds: int        # rounds of the node and the floor
    pose_rounds: int   # of these, the rounds that also take a pose-stream window
    other_rounds: int  # rounds of the peer (the plain-API floor runs in the first round only)
    clip_seconds: int
    changes: int
    switches: int
    boundary_windows: dict
    room_runs: list = field(default_factory=list)  # (kind, poses a second)
    cases: list = field(default_factory=list)
    quick: bool = False
    # The remote part: the warm-up and window of a viewer across the link, the windows of the
    # node's CPU with and without a compressed subscriber (a still, whose CPU is a few clock ticks
    # a second, and a video), and the rounds of those.
    remote_warmup: float = 2
    remote_window: float = 8
    cpu_windows: tuple = (10, 6)
    cpu_rounds: int = 2
    # The in-process part: its window and rounds (none in a quick run, for the smoke test).
    inprocess_window: float = 10
    inprocess_rounds: int = 2

    def window(self, case):
        return self.still_window if case.startswith("still") else self.video_window


def settings(mode, seconds=None, rounds=None, cases=None):
    """The settings of a "quick", "default" or "full" run; `seconds` and `rounds` override."""
    rooms = [("jpg", 0), ("mp4", 0), ("jpg", 1000), ("mp4", 1000)]
    if mode == "quick":
        s = Settings(1, 3, 3, 1, 1, 1, 3, 6, 40, {"playlist-720": 6, "peer-loop": 4}, rooms[:1],
                     ["still-720", "h264-30-720"], quick=True, remote_warmup=1, remote_window=3,
                     cpu_windows=(4, 3), cpu_rounds=1, inprocess_rounds=0)
    elif mode == "full":
        s = Settings(2, 20, 20, 3, 3, 3, 10, 60, 1000,
                     {"playlist-720": 60, "playlist-1080": 60, "mixed-720": 90, "stills-1080": 90,
                      REPLAY: 90, "oneframe-720": 20, "playlist-2160": 30, "peer-loop": 30}, rooms,
                     list(CASES), remote_window=20, cpu_windows=(20, 20), cpu_rounds=3,
                     inprocess_window=20, inprocess_rounds=3)
    else:
        # Video cases get short windows: their CPU per frame reads to about 2% in 5 s. A still
        # costs a few clock ticks a second, so its windows are longer. The node and the floor,
        # whose ratio is the figure that moves most from run to run, take two rounds.
        s = Settings(1, 5, 8, 2, 1, 1, 4, 24, 400,
                     {"playlist-720": 20, "playlist-1080": 20, "mixed-720": 30, "stills-1080": 33,
                      REPLAY: 33, "oneframe-720": 6, "playlist-2160": 12, "peer-loop": 10}, rooms,
                     list(CASES))
    if seconds is not None:
        s.video_window = s.still_window = s.remote_window = seconds
        s.cpu_windows = (seconds, seconds)
    if rounds is not None:
        s.rounds = s.pose_rounds = s.other_rounds = s.cpu_rounds = rounds
    if cases:
        s.cases = [c for c in s.cases if c in cases]
    return s


@dataclass
class Run:
    part: str
    name: str       # for the progress line
    seconds: float  # expected length
    args: dict


def rotate(names, by):
    if not names:
        return names
    by %= len(names)
    return names[by:] + names[:by]


def case_runs(s, parts, have_peer):
    """The side-by-side runs, round by round: the publishers of a case take turns, each round
    starting one publisher further on, so that what else the machine does weighs on all alike."""
    runs = []
    poses = "poses" in parts
    for r in range(1, s.rounds + 1):
        for c in s.cases:
            w = s.window(c)
            pose = poses and r <= s.pose_rounds and (not s.quick or c == s.cases[0])
            turns = []
            if "cases" in parts or pose:
                turns += [("node", pose), ("floor", pose and not s.quick)]
            if "cases" in parts and r <= s.other_rounds:
                if r == 1 and not s.quick:
                    turns.append(("floor-api", False))
                if have_peer and "-60-" not in c:
                    turns.append(("peer", False))
            for who, with_poses in rotate(turns, r - 1):
                seconds = START_S + s.warmup + w + STOP_S
                if with_poses:
                    seconds += SECOND_PROBE_S + w
                runs.append(Run("cases", f"round {r} of {s.rounds}, {c}, {who}"
                                + (" (then 1 kHz poses)" if with_poses else ""), seconds,
                                {"case": c, "who": who, "round": r, "poses": with_poses, "window": w}))
    return runs


def remote_runs(s):
    """The remote part: a viewer on another host across each link, raw and compressed, for each
    size of video (one node for all of them); a still's JPEG; and the node's CPU without and with
    a compressed subscriber, against the node as it was before its compressed stream, round by
    round, the two nodes taking turns."""
    window = WINDOW_COST_S + s.remote_warmup + s.remote_window
    out = []
    for height, width in REMOTE_SIZES.items():
        out.append(Run("remote", f"remote, {width}x{height} H.264 video, links unshaped, 50 and 20 "
                       "Mbit/s, raw and compressed",
                       START_S + len(LINKS) * len(TRANSPORTS) * window + STOP_S,
                       {"kind": "links", "media": "h264", "height": height, "links": LINKS,
                        "transports": TRANSPORTS}))
    out.append(Run("remote", "remote, 640x480 still, unshaped, compressed",
                   START_S + window + STOP_S,
                   {"kind": "links", "media": "still", "height": "480", "links": (None,),
                    "transports": ("compressed",)}))
    for r in range(1, s.cpu_rounds + 1):
        for media, w in zip(("still", "h264"), s.cpu_windows):
            for node in rotate(["now", "before"], r - 1):
                windows = 2 if node == "now" else 1
                seconds = START_S + windows * (WINDOW_COST_S + s.remote_warmup + w) + STOP_S
                out.append(Run("remote", f"remote, round {r} of {s.cpu_rounds}, node CPU, 1280x720 "
                               f"{'still' if media == 'still' else 'H.264 video'}, "
                               + ("without and with a compressed subscriber" if node == "now" else
                                  "the node before its compressed stream"), seconds,
                               {"kind": "cpu", "media": media, "node": node, "round": r,
                                "window": w}))
    return out


def runs(s, parts, have_peer):
    """Every run of a bench, in order."""
    out = case_runs(s, parts, have_peer)
    if "boundaries" in parts:
        for name, window in s.boundary_windows.items():
            if name == "peer-loop" and not have_peer:
                continue
            out.append(Run("boundaries", f"item boundaries, {name}", START_S + 2 + window + STOP_S,
                           {"name": name, "window": window}))
    if "rooms" in parts:
        for kind, stream in s.room_runs:
            seconds = s.changes * (ROOM_INTERVAL + ROOM_JITTER) + 4
            out.append(Run("rooms", f"room changes, {kind}, {s.changes} changes, pose stream "
                           f"{stream}/s", START_S + s.warmup + 1 + seconds + STOP_S,
                           {"kind": kind, "stream": stream, "seconds": int(seconds)}))
    if "memory" in parts:
        warm = 2 + s.switches * SWITCH_INTERVAL / 10
        seconds = int(s.switches * SWITCH_INTERVAL * 0.9 + 1)
        out.append(Run("memory", f"memory over {s.switches} item switches",
                       START_S + warm + seconds + STOP_S, {"warm": warm, "seconds": seconds}))
    if "inprocess" in parts:
        out += inprocess.runs(s, Run, START_S, STOP_S)
    if "remote" in parts:
        out += remote_runs(s)
    return out
