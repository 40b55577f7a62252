"""The stream bench's report: reads the result files of one run and writes its Markdown table.

A run's folder holds one JSON object of figures per measurement, named "KEY.rN.json" for round
N of KEY ("h264-30-720.node.r2.json") or "KEY.json" for a measurement made once, and the run's
own facts in "meta.json". A figure of a key is the median of its rounds.

Usage: python3 -m benchlib.report RESULTS_DIR > docs/bench.md
"""
import json
import math
import pathlib
import statistics
import sys

from benchlib import inprocess, text

PERIOD_MS = 1000.0 / 30
WHO = ("node", "floor", "floor-api", "peer")
KINDS = ["still", "h264", "mp4v"]
POSE_KEYS = ["cpu_ms_per_frame", "rate", "interval_std_ms", "interval_p99_ms", "interval_max_ms",
             "lateness_median_ms", "lateness_p99_ms"]
# Boundary measurements, in the order of their table: key and what was played.
BOUNDARIES = [
    ("bound-playlist-720", "room A, 13 one-second H.264 clips, 1280x720"),
    ("bound-playlist-1080", "room A, 13 one-second H.264 clips, 1920x1080"),
    ("bound-mixed-720", "room A, 7 one-second H.264 clips and 6 stills, 1280x720"),
    ("bound-stills-1080", "room A, 13 stills, 1920x1080 (8 s each)"),
    ("bound-replay-1080", "a 1920x1080 still replayed every 8 s (the \"empty\" item, no pose)"),
    ("bound-oneframe-720", "room A, 13 one-frame H.264 clips, 1280x720"),
    ("bound-playlist-2160", "room A, 13 one-second H.264 clips, 3840x2160"),
    ("bound-peer-loop", "peer: `image_publisher` looping one one-second 720p clip"),
]
# Boundaries held to "median <= period + 1 ms, p90 <= period + 3 ms".
BOUNDARY_GOAL = ["bound-playlist-720", "bound-playlist-1080", "bound-mixed-720",
                 "bound-stills-1080", "bound-replay-1080"]
# The remote part: its pictures (kind, height), the width of each height, its links.
REMOTE_PICTURES = [("h264", "480"), ("h264", "720"), ("still", "480"), ("still", "720")]
REMOTE_WIDTHS = {"480": 640, "720": 1280}
LINKS = [("unshaped", "unshaped"), ("50", "50 Mbit/s"), ("20", "20 Mbit/s")]
# A compressed viewer's goals: (picture height, link) -> frames a second at least and how far
# behind at most (s, at the 99th percentile).
VIEWER_GOALS = [("480", "20", 29, 0.2), ("720", "50", 29, 0.2)]
# What one compressed subscriber may add to the node's CPU, in % of a core (below; at most).
EXTRA_CPU_GOALS = [("still", 1, False), ("h264", 25, True)]
CLOCK_TICK_S = 0.01


def round_of(path):
    """The key and round of a result file; a file with no round is round 0 of its own key."""
    stem = path.name[:-len(".json")]
    base, _, tag = stem.rpartition(".")
    if base and tag[:1] == "r" and tag[1:].isdigit():
        return base, int(tag[1:])
    return stem, 0


def is_number(v):
    return isinstance(v, (int, float)) and not isinstance(v, bool) and not math.isnan(v)


def merge(runs):
    """The median of the rounds, figure by figure; the extremes of the play gaps stay extremes."""
    if len(runs) == 1:
        return runs[0]
    merged = {}
    for key in runs[0]:
        vals = [r.get(key) for r in runs if is_number(r.get(key))]
        if not vals:
            merged[key] = runs[0].get(key)
        elif key == "first_interval_min_ms":
            merged[key] = min(vals)
        elif key in ("first_interval_max_ms", "gap_max_ms"):
            merged[key] = max(vals)
        else:
            merged[key] = statistics.median(vals)
    return merged


class Results:
    """Every measurement of a run, by key: its rounds and their median."""

    def __init__(self, folder):
        self.runs = {}  # key -> {round: figures}
        self.meta = {}
        for path in sorted(pathlib.Path(folder).glob("*.json")):
            if path.name == "meta.json":
                self.meta = json.loads(path.read_text())
                continue
            key, k = round_of(path)
            self.runs.setdefault(key, {})[k] = json.loads(path.read_text())
        self.merged = {key: merge(self.rounds(key)) for key in self.runs}
        self.round_count = max((len(r) for r in self.runs.values()), default=1)

    def rounds(self, key):
        runs = self.runs.get(key, {})
        return [runs[k] for k in sorted(runs)]

    def of(self, key):
        return self.merged.get(key) or {}

    def get(self, key, figure):
        v = self.of(key).get(figure)
        return v if is_number(v) else None

    def spread(self, key, figure):
        return [r[figure] for r in self.rounds(key) if is_number(r.get(figure))]

    def cases(self):
        found = {k.split(".")[0] for k in self.merged if k.split(".")[-1] in WHO}
        return sorted(found, key=lambda c: (int(c.split("-")[-1]), KINDS.index(c.split("-")[0]), c))


def num(v, digits=2):
    return "n/a" if not is_number(v) else f"{v:.{digits}f}"


def ratio(a, b):
    return "n/a" if not is_number(a) or not is_number(b) or b == 0 else f"{a / b:.2f}"


def signed(percent, digits=1):
    return "n/a" if percent is None else f"{percent:+.{digits}f}%"


def verdict(ok):
    return "n/a" if ok is None else ("yes" if ok else "**no**")


def describe(case):
    kind, *rest = case.split("-")
    res = rest[-1] + "p"
    if kind == "still":
        return f"still .jpg, {res}, 30 Hz"
    return f"{'H.264' if kind == 'h264' else 'mp4v'} video, {res}, {rest[0]} fps"


def change(res, without, with_poses, figure):
    """How much a pose stream moves a figure, in percent; None where a run lacks it."""
    a, b = res.get(without, figure), res.get(with_poses, figure)
    return None if not a or b is None else (b / a - 1) * 100


def cpu_per_pose(res, without, with_poses):
    """The rise in CPU per second of the publisher's ROS threads, over 1,000 poses a second: µs
    per pose. None where a run lacks the figure."""
    per_second = []
    for key in (without, with_poses):
        cpu, window = res.get(key, "ros_threads_cpu_s"), res.get(key, "window_s")
        if cpu is None or not window:
            return None
        per_second.append(cpu / window)
    return (per_second[1] - per_second[0]) * 1e3


def picture(kind, height):
    size = f"{REMOTE_WIDTHS[height]}x{height}"
    return f"{size} still" if kind == "still" else f"{size} H.264 video, 30 fps"


def viewer_rate(res, key):
    """Frames a second the viewer got over its window; over the span of its frames where it got
    a few (a raw 720p frame takes a second across 20 Mbit/s)."""
    frames, window = res.get(key, "frames"), res.get(key, "window_s")
    if frames is not None and frames >= 2:
        return res.get(key, "stream_rate")
    return None if frames is None or not window else frames / window


def jpeg_bytes(res, kind, height):
    for key in (f"remote-{kind}-{height}.unshaped.compressed",
                f"remote-cpu-{kind}-{height}.viewer"):
        if res.get(key, "bytes_mean") is not None:
            return res.get(key, "bytes_mean")
    return None


def core_percent(res, key):
    """The node's CPU over each round's window, in % of a core."""
    return [v * 100 for v in res.spread(key, "cpu_share")]


def extra_cpu(res, kind):
    """What a compressed subscriber added to the node's CPU, in % of a core: the median over the
    rounds of each round's difference, both windows on the same node process. A round whose
    viewer got no frame has no such difference."""
    stem = f"remote-cpu-{kind}-720"
    alone, both = res.runs.get(f"{stem}.now-raw", {}), res.runs.get(f"{stem}.now-compressed", {})
    viewer = res.runs.get(f"{stem}.viewer", {})
    diffs = []
    for k in sorted(set(alone) & set(both) & set(viewer)):
        a, b = alone[k].get("cpu_share"), both[k].get("cpu_share")
        if is_number(a) and is_number(b) and (viewer[k].get("frames") or 0) > 0:
            diffs.append((b - a) * 100)
    return statistics.median(diffs) if diffs else None


def unchanged_cpu(now, before, window_s):
    """Whether the node's CPU (% of a core, a value per round) is as before within the noise:
    the rounds' own spread, or two clock ticks over the window where that is larger (one reading
    of each). Returns (difference of the medians, noise, met), None for missing figures."""
    if not now or not before or not window_s:
        return None, None, None
    tick = 2 * CLOCK_TICK_S / window_s * 100
    noise = max(max(now) - min(now), max(before) - min(before), tick)
    diff = statistics.median(now) - statistics.median(before)
    return diff, noise, diff <= noise


def boundary_periods(res, key):
    """The boundary's median, p90 and maximum in periods."""
    target = res.get(key, "rate_target") or 30
    return " / ".join(num(None if v is None else v * target / 1000) for v in (
        res.get(key, f) for f in ("boundary_median_ms", "boundary_p90_ms", "gap_max_ms")))


def rate_off(res, key, figure="rate"):
    """How far a rate lies from its target, in percent."""
    rate, target = res.get(key, figure), res.get(key, "rate_target")
    return None if rate is None or not target else (rate / target - 1) * 100


# Sections ----------------------------------------------------------------------------------

def header(res):
    m = res.meta
    window = m.get("windows", "")
    if res.round_count > 1:
        window += f", in up to {res.round_count} rounds: every figure is the median of its rounds"
    length = m.get("length_s")
    out = [
        "# Stream bench", "",
        text.INTRO, "",
        f"- Command: `{m.get('command', 'scripts/bench')}` (from the repository root; "
        "`scripts/bench --help` lists the options)",
        f"- Machine: {m.get('machine', 'n/a')}; load average {m.get('load_before', 'n/a')} at the "
        f"start, {m.get('load_after', 'n/a')} at the end",
        f"- Date: {m.get('date', 'n/a')}; length {num(length / 60 if length else None, 1)} min "
        f"(expected {num(m['expected_s'] / 60 if m.get('expected_s') else None, 1)})",
    ]
    if m.get("no_peer"):
        out.append(f"- Peer: not measured in this run: {m['no_peer']}")
    # The remote part has windows and pictures of its own, given with its figures.
    if any(not key.startswith("remote-") for key in res.merged):
        out.append(f"- Window: {window}; clips made by Debian's ffmpeg (`testsrc2` with the bench's "
                   "marks; H.264 by libx264, mp4v by ffmpeg's MPEG-4 part 2)")
    return out + [""]


def summary(res):
    if not res.cases() and not res.of("bound-playlist-720") and not res.of("bound-peer-loop"):
        return []
    rows = [("CPU per frame, H.264 720p (ms)", "h264-30-720", "cpu_ms_per_frame", 3),
            ("CPU per frame, H.264 1080p (ms)", "h264-30-1080", "cpu_ms_per_frame", 3),
            ("CPU per frame, still 720p (ms)", "still-720", "cpu_ms_per_frame", 3),
            ("rate, H.264 720p (Hz)", "h264-30-720", "rate", 3),
            ("interval p99, H.264 720p (ms)", "h264-30-720", "interval_p99_ms", 2),
            ("interval p99, H.264 1080p (ms)", "h264-30-1080", "interval_p99_ms", 2)]
    out = ["## In half a minute", "",
           "The node beside the floor (a bare publisher of the same frames) and the peer "
           "(`image_publisher`); the details follow.", "",
           "| figure | node | floor | peer |", "|---|---|---|---|"]
    for label, case, figure, digits in rows:
        cells = [num(res.get(f"{case}.{who}", figure), digits) for who in ("node", "floor", "peer")]
        out.append(f"| {label} | " + " | ".join(cells) + " |")

    def bound(key):
        b = res.of(key)
        return "n/a" if not b else f"{num(b.get('boundary_median_ms'))} / {num(b.get('gap_max_ms'))}"
    out.append("| boundary interval, 720p one-second clips, median / max (ms) "
               f"| {bound('bound-playlist-720')} | n/a | {bound('bound-peer-loop')} |")
    out += ["", f"One period is {num(PERIOD_MS)} ms. The node's boundary is between two items of "
            "its playlist; the peer's is where its clip starts over.", ""]
    return out


def goals(res):
    rows = []

    def add(goal, measured, ok):
        rows.append(f"| {goal} | {measured} | {verdict(ok)} |")

    def between(key, figure):
        vals = res.spread(key, figure)
        return f" (rounds {num(min(vals))} to {num(max(vals))})" if len(vals) > 1 else ""

    for c in res.cases():
        n, f = f"{c}.node", f"{c}.floor"
        if not res.of(n):
            continue
        target = res.get(n, "rate_target") or 30
        period = 1000.0 / target
        off = rate_off(res, n)
        std, f_std = res.get(n, "interval_std_ms"), res.get(f, "interval_std_ms")
        top, drift = res.get(n, "interval_max_ms"), res.get(n, "drift_max_ms")
        checks = [
            (None if off is None else abs(off) <= 0.3,
             f"rate {num(res.get(n, 'rate'), 3)} Hz "
             f"({num(None if off is None else abs(off), 3)}% off)"),
            (None if std is None or f_std is None else std <= f_std + 0.1,
             f"interval std {num(std)} ms{between(n, 'interval_std_ms')}, floor's {num(f_std)} ms"),
            (None if top is None else top <= 1.5 * period,
             f"max interval {num(top)} ms = {num(top / period if top else None)} periods"
             f"{between(n, 'interval_max_ms')}"),
            (None if drift is None else drift <= 1.0,
             f"drift {num(drift)} ms{between(n, 'drift_max_ms')}"),
        ]
        oks = [ok for ok, _ in checks]
        add(f"{describe(c)}: rate within 0.3%, interval std <= the floor's + 0.1 ms, no interval "
            "> 1.5 periods, no drift (< 1 ms)", "; ".join(t for _, t in checks),
            None if None in oks else all(oks))
        n_cpu, f_cpu, p_cpu = (res.get(k, "cpu_ms_per_frame") for k in (n, f, f"{c}.peer"))
        ok = None if f_cpu is None or n_cpu is None else n_cpu <= 1.1 * f_cpu
        if p_cpu is not None and n_cpu is not None:
            ok = (ok is not False) and n_cpu < p_cpu
        node_runs, floor_runs = res.runs.get(n, {}), res.runs.get(f, {})
        per_round = [ratio(node_runs[k].get("cpu_ms_per_frame"), floor_runs[k].get("cpu_ms_per_frame"))
                     for k in sorted(set(node_runs) & set(floor_runs))]
        add(f"{describe(c)}: CPU per frame <= 1.1 x floor" + (", < peer" if p_cpu is not None else ""),
            f"node {num(n_cpu, 3)} ms, floor {num(f_cpu, 3)} ms (x{ratio(n_cpu, f_cpu)}"
            + (f"; by round x{', x'.join(per_round)}" if len(per_round) > 1 else "") + ")"
            + (f", peer {num(p_cpu, 3)} ms (x{ratio(n_cpu, p_cpu)})" if p_cpu is not None else ""), ok)

    # A pose is handled alike whatever plays, and one case's figure, from one window with the
    # stream and one without, moves by a fifth from run to run: the goal takes all cases at once.
    pairs = [(cpu_per_pose(res, f"{c}.node", f"{c}.node-poses"),
              cpu_per_pose(res, f"{c}.floor", f"{c}.floor-poses")) for c in res.cases()]
    pairs = [(n, f) for n, f in pairs if n is not None and f is not None]
    if pairs:
        node_pose = statistics.median(n for n, _ in pairs)
        floor_pose = statistics.median(f for _, f in pairs)
        by_case = [n / f for n, f in pairs if f]
        add("A 1 kHz pose stream costs the node <= 1.2 x the floor's CPU per pose (the median over "
            "the cases)",
            f"node {num(node_pose, 1)} µs, floor {num(floor_pose, 1)} µs per pose "
            f"(x{ratio(node_pose, floor_pose)}; by case x{num(min(by_case, default=None))} to "
            f"x{num(max(by_case, default=None))}, over {len(pairs)} cases)",
            node_pose <= 1.2 * floor_pose)

    for key, what in BOUNDARIES:
        b = res.of(key)
        if not b or key not in BOUNDARY_GOAL:
            continue
        median, p90 = res.get(key, "boundary_median_ms"), res.get(key, "boundary_p90_ms")
        add(f"Boundary, {what}: median <= period + 1 ms, p90 <= period + 3 ms",
            f"median {num(median)} ms, p90 {num(p90)} ms over {int(b.get('boundaries') or 0)} "
            f"boundaries (limits {num(PERIOD_MS + 1)} / {num(PERIOD_MS + 3)})",
            None if median is None or p90 is None else median <= PERIOD_MS + 1 and p90 <= PERIOD_MS + 3)
    for key, limit in (("bound-playlist-720", 0.05), ("bound-playlist-1080", 0.05),
                       ("bound-oneframe-720", 0.2)):
        off = rate_off(res, key, "stream_rate")
        if res.of(key):
            add(f"Rate over the playlist ({dict(BOUNDARIES)[key]}) within {limit}% of 30 Hz",
                f"{num(res.get(key, 'stream_rate'), 3)} Hz ({signed(off, 2)})",
                None if off is None else abs(off) <= limit)

    opens = {k.split("-", 1)[1]: v for k, v in res.merged.items() if k.startswith("open-")}
    for key, kind in (("rooms-still", "person-jpg"), ("rooms-video", "person-mp4")):
        if not res.of(key):
            continue
        open_ms = opens.get(kind, {}).get("open_median_ms")
        old, new = res.get(key, "old_last_p99_ms"), res.get(key, "new_first_p99_ms")
        what = "stills" if "still" in key else "videos"
        add(f"Room change between {what}: old item's last frame <= 1 period + 5 ms after the pose (p99)",
            f"p99 {num(old)} ms (limit {num(PERIOD_MS + 5)})",
            None if old is None else old <= PERIOD_MS + 5)
        add(f"Room change between {what}: new item's first frame <= 1 period + open time (p99)",
            f"p99 {num(new)} ms (limit {num(PERIOD_MS)} + {num(open_ms)} open = "
            f"{num(PERIOD_MS + (open_ms or 0))})",
            None if open_ms is None or new is None else new <= PERIOD_MS + open_ms)

    m = res.of("memory")
    if m:
        start, end = res.get("memory", "rss_start_kb"), res.get("memory", "rss_end_kb")
        growth = None if start is None or end is None else (end - start) / 1024
        add(f"Memory flat over {res.meta.get('switches', 'n/a')} item switches (growth < 2 MB, less "
            "than one 720p frame)",
            f"{num(growth)} MB from {num(start / 1024 if start else None, 1)} MB over "
            f"{int(m.get('changes') or 0)} switches measured", None if growth is None else growth < 2)

    for height, link, fps, lag in VIEWER_GOALS:
        key = f"remote-h264-{height}.{link}.compressed"
        if not res.of(key):
            continue
        rate, p99 = viewer_rate(res, key), res.get(key, "behind_p99_s")
        add(f"A compressed viewer across {link} Mbit/s gets >= {fps} frames/s of "
            f"{picture('h264', height)}, < {lag} s behind (p99)",
            f"{num(rate)} frames/s; behind {num(res.get(key, 'behind_median_s'), 3)} s median, "
            f"{num(p99, 3)} s p99",
            None if rate is None or p99 is None else rate >= fps and p99 < lag)
    for kind in ("still", "h264"):
        stem = f"remote-cpu-{kind}-720"
        if not res.of(f"{stem}.now-raw"):
            continue
        now, before = core_percent(res, f"{stem}.now-raw"), core_percent(res, f"{stem}.before-raw")
        diff, noise, ok = unchanged_cpu(now, before, res.get(f"{stem}.now-raw", "window_s"))
        add(f"{picture(kind, '720')}: node CPU with no compressed subscriber as before the "
            "compressed stream (within the noise)",
            f"{num(statistics.median(now))}% of a core, before "
            f"{num(statistics.median(before) if before else None)}%: {signed(diff, 2)} "
            f"(noise {num(noise)}%)", ok)
    for kind, limit, inclusive in EXTRA_CPU_GOALS:
        extra = extra_cpu(res, kind)
        if extra is None:
            continue
        add(f"{picture(kind, '720')}: one compressed subscriber costs the node "
            f"{'<=' if inclusive else '<'} {limit}% of a core more",
            f"{signed(extra, 2)} of a core",
            extra <= limit if inclusive else extra < limit)
    for goal, measured, ok in inprocess.goals(res):
        add(goal, measured, ok)
    return ["## Goals: where the node stands", "", "| goal | measured | met |", "|---|---|---|",
            *rows, ""]


FIGURES = [
    ("CPU per frame (ms)", "cpu_ms_per_frame", 3),
    ("resident memory (MB)", "rss_end_kb", 1),
    ("achieved rate (Hz)", "rate", 3),
    ("interval std dev (ms)", "interval_std_ms", 3),
    ("interval p99 (ms)", "interval_p99_ms", 2),
    ("interval max (ms)", "interval_max_ms", 2),
    ("drift, worst play (ms)", "drift_max_ms", 2),
    ("lateness vs schedule, median (ms)", "lateness_median_ms", 2),
    ("lateness vs schedule, p99 (ms)", "lateness_p99_ms", 2),
    ("stamp-to-receive latency, median (ms)", "stamp_latency_median_ms", 2),
    ("stamp-to-receive latency, p99 (ms)", "stamp_latency_p99_ms", 2),
    ("frames received", "frames", 0),
]


def cases(res):
    if not res.cases():
        return []
    out = ["## Side by side, case by case", "", text.CASES, ""]
    for c in res.cases():
        out += [f"### {describe(c)}", "",
                "| figure | node | floor | floor, plain API | peer | node/floor | node/peer |",
                "|---|---|---|---|---|---|---|"]
        for label, figure, digits in FIGURES:
            v = {who: res.get(f"{c}.{who}", figure) for who in WHO}
            if figure == "rss_end_kb":
                v = {who: None if x is None else x / 1024 for who, x in v.items()}
            out.append(f"| {label} | " + " | ".join(num(v[who], digits) for who in WHO)
                       + f" | {ratio(v['node'], v['floor'])} | {ratio(v['node'], v['peer'])} |")
        faults = []
        for who in WHO:
            r = res.of(f"{c}.{who}")
            faults.append("n/a" if not r or c.startswith("still") or not is_number(r.get("skipped"))
                          else f"{int(r['skipped'])} / {int(r.get('repeated') or 0)}")
        out.append("| frames skipped / sent twice | " + " | ".join(faults) + " | | |")
        n = res.of(f"{c}.node")
        if (n.get("plays") or 0) > 1:
            out += ["", f"The node's stream held {int(n['plays'])} plays of the item in the window; "
                    "the first interval of a play ranged "
                    f"{num(n.get('first_interval_min_ms'))} to {num(n.get('first_interval_max_ms'))} "
                    "ms, and the longest gap from one play's last frame to the next play's first was "
                    f"{num(n.get('gap_max_ms'))} ms. Both are left out of the interval figures above."]
        out.append("")
    return out


def boundaries(res):
    rows = [(key, what) for key, what in BOUNDARIES if res.of(key)]
    if not rows:
        return []
    out = ["## Item boundaries", "", text.BOUNDARIES, "",
           "| playlist | boundaries | inside an item: interval median / p99 (ms) | at a boundary: "
           "median / p90 / max (ms) | the same in periods | rate over the playlist (Hz) |",
           "|---|---|---|---|---|---|"]
    for key, what in rows:
        b = res.of(key)
        empty = int(b.get("empty_frames") or 0)
        out.append(
            f"| {what} | {int(b.get('boundaries') or 0)} "
            f"| {num(b.get('interval_median_ms'))} / {num(b.get('interval_p99_ms'))} "
            f"| {num(b.get('boundary_median_ms'))} / {num(b.get('boundary_p90_ms'))} / "
            f"{num(b.get('gap_max_ms'))} | {boundary_periods(res, key)} "
            f"| {num(b.get('stream_rate'), 3)} ({signed(rate_off(res, key, 'stream_rate'), 2)})"
            + (f"; {empty} empty (0x0) frames" if empty else "") + " |")
    return out + [""]


def poses(res):
    rows = [c for c in res.cases() if res.of(f"{c}.node-poses")]
    if not rows:
        return []
    out = ["## A 1 kHz pose stream", "", text.POSES, "",
           "| case | figure | without | with 1 kHz poses | change |", "|---|---|---|---|---|"]
    for c in rows:
        for label, figure, digits in FIGURES:
            if figure in POSE_KEYS:
                out.append(f"| {describe(c)} | {label} | {num(res.get(f'{c}.node', figure), digits)} "
                           f"| {num(res.get(f'{c}.node-poses', figure), digits)} "
                           f"| {signed(change(res, f'{c}.node', f'{c}.node-poses', figure))} |")
    out.append("")
    rows = [c for c in rows if res.of(f"{c}.floor-poses")]
    if rows:
        out += [text.POSE_COST, "",
                "| case | node: CPU per pose (µs) | floor: CPU per pose (µs) | node/floor | floor's "
                "CPU per frame with the stream |", "|---|---|---|---|---|"]
        for c in rows:
            n = cpu_per_pose(res, f"{c}.node", f"{c}.node-poses")
            f = cpu_per_pose(res, f"{c}.floor", f"{c}.floor-poses")
            moved = signed(change(res, f"{c}.floor", f"{c}.floor-poses", "cpu_ms_per_frame"))
            out.append(f"| {describe(c)} | {num(n, 1)} | {num(f, 1)} | {ratio(n, f)} | {moved} |")
        out.append("")
    return out


def rooms(res):
    keys = [k for k in ("rooms-still", "rooms-still.poses", "rooms-video", "rooms-video.poses")
            if res.of(k)]
    if not keys:
        return []
    out = ["## Room changes", "", text.ROOMS, "",
           "| items | poses | changes | old item's last frame, median / p99 (ms) | new item's first "
           "frame, median / p99 (ms) | open time (ms) |", "|---|---|---|---|---|---|"]
    for k in keys:
        r = res.of(k)
        opened = res.get("open-person-jpg" if "still" in k else "open-person-mp4", "open_median_ms")
        out.append(
            f"| {'stills' if 'still' in k else 'videos'} (720p) "
            f"| {'1 kHz stream' if k.endswith('poses') else 'one per change'} "
            f"| {int(r.get('changes') or 0)} ({int(r.get('unanswered') or 0)} unanswered) "
            f"| {num(r.get('old_last_median_ms'))} / {num(r.get('old_last_p99_ms'))} "
            f"| {num(r.get('new_first_median_ms'))} / {num(r.get('new_first_p99_ms'))} | {num(opened)} |")
    return out + [""]


def memory(res):
    m = res.of("memory")
    if not m:
        return []

    def mb(figure, digits=1):
        v = res.get("memory", figure)
        return num(None if v is None else v / 1024, digits)
    start, end = res.get("memory", "rss_start_kb"), res.get("memory", "rss_end_kb")
    growth = None if start is None or end is None else (end - start) / 1024
    return ["## Memory across item switches", "",
            text.MEMORY.format(switches=res.meta.get("switches", "n/a")), "",
            "| switches measured | RSS after the first tenth (MB) | RSS at the end (MB) | highest (MB) "
            "| growth (MB) |", "|---|---|---|---|---|",
            f"| {int(m.get('changes') or 0)} | {mb('rss_start_kb')} | {mb('rss_end_kb')} "
            f"| {mb('rss_max_kb')} | {num(growth)} |", ""]


def remote(res):
    keys = [k for k in res.merged if k.startswith("remote-")]
    if not keys:
        return []
    out = ["## A viewer on another host", "", text.REMOTE.format(
        windows=res.meta.get("remote_windows", "n/a"), reference=res.meta.get("reference", "n/a")),
        "", "| picture | JPEG per frame (bytes) | JPEG at 30 Hz (Mbit/s) "
        "| raw bgr8 at 30 Hz (Mbit/s) |", "|---|---|---|---|"]
    for kind, height in REMOTE_PICTURES:
        size = jpeg_bytes(res, kind, height)
        raw = REMOTE_WIDTHS[height] * int(height) * 3
        out.append(f"| {picture(kind, height)} | {num(size, 0)} "
                   f"| {num(None if size is None else size * 8 * 30 / 1e6, 1)} "
                   f"| {num(raw * 8 * 30 / 1e6, 1)} |")
    out += ["", "| picture | link | transport | frames/s (the node's own) "
            "| behind: median / p99 / max (s) | frames (numbers skipped) |",
            "|---|---|---|---|---|---|"]
    for kind, height in REMOTE_PICTURES:
        for link, link_name in LINKS:
            for transport in ("raw", "compressed"):
                key = f"remote-{kind}-{height}.{link}.{transport}"
                if not res.of(key):
                    continue
                behind = " / ".join(num(res.get(key, f), 3) for f in (
                    "behind_median_s", "behind_p99_s", "behind_max_s"))
                unmatched = res.get(key, "unmatched")
                out.append(f"| {picture(kind, height)} | {link_name} | {transport} "
                           f"| {num(viewer_rate(res, key))} "
                           f"({num(res.get(key, 'published_rate'))}) | {behind} "
                           f"| {num(res.get(key, 'frames'), 0)} ({num(res.get(key, 'skipped'), 0)})"
                           + (f"; {num(unmatched, 0)} unmatched" if unmatched else "") + " |")
    out += ["", "| picture | node, raw subscriber only (% of a core) "
            "| with a compressed viewer too | extra "
            "| the node before its compressed stream, raw subscriber only |",
            "|---|---|---|---|---|"]
    for kind in ("still", "h264"):
        stem = f"remote-cpu-{kind}-720"
        if not res.of(f"{stem}.now-raw"):
            continue

        def share(key):
            vals = core_percent(res, key)
            spread = f" ({num(min(vals))} to {num(max(vals))})" if len(vals) > 1 else ""
            return num(statistics.median(vals)) + spread if vals else "n/a"
        out.append(f"| {picture(kind, '720')} | {share(stem + '.now-raw')} "
                   f"| {share(stem + '.now-compressed')} | {signed(extra_cpu(res, kind), 2)} "
                   f"| {share(stem + '.before-raw')} |")
    return out + [""]


def render(folder):
    res = Results(folder)
    out = []
    for section in (header, summary, goals, cases, boundaries, poses, rooms, memory,
                    inprocess.report, remote):
        out += section(res)
    out += ["## Where a frame's cost goes", "", text.COSTS, "", "## How the figures are made", "",
            text.METHOD]
    return "\n".join(out) + "\n"


if __name__ == "__main__":
    sys.stdout.write(render(sys.argv[1]))
