"""The bench's in-process part: the player as a nodelet with a consumer in its manager, against
the node with the same consumer as a process of its own, at 1920x1080 H.264, 30 Hz, frame id set.

The consumer is nodelet vok_video_player/bench_consumer (src/bench/consumer_nodelet.cpp). In the
manager it receives the player's messages as pointers; standalone it receives them through the
loopback and deserializes them. It measures its window itself: the period between frames, the
stamp's lag behind its receipt, and the CPU time of the processes that carry the stream (the
manager; or the node and the consumer's process)."""
import time

from benchlib import media

WHERE = ("manager", "processes")
CLIP_S = 10  # the clip plays over and over: a boundary every 10 s
GOAL_CPU_RATIO = 0.6
LOADED_S = 20  # the longest a start takes before the consumer's warm-up begins


class InProcessParts:
    """A mixin of the bench: needs self.procs, self.clips, self.filler, self.tmp, self.results."""

    def inprocess(self, where, round, window, warmup):
        out = self.results / f"inprocess-{where}.r{round}.json"
        clip = self.clips.get("h264", 1920, 1080, 30, 30 * CLIP_S)
        folder = media.media_folder(self.tmp / "media-inprocess", {"empty": clip}, self.filler)
        consumer = [f"_out:={out}", f"_warmup:={warmup}", f"_seconds:={window}"]
        nodelet = ["rosrun", "nodelet", "nodelet"]
        started = []
        if where == "manager":
            started.append(self.procs.start("manager", *nodelet, "manager",
                                            "__name:=bench_manager"))
            started.append(self.procs.start("load-player", *nodelet, "load",
                                            "vok_video_player/player", "bench_manager",
                                            "__name:=player", "_frame_id:=camera",
                                            "--video_folder", folder))
            started.append(self.procs.start("load-consumer", *nodelet, "load",
                                            "vok_video_player/bench_consumer", "bench_manager",
                                            "__name:=bench_consumer", *consumer,
                                            "_other_pid:=0"))
        else:
            node = self.procs.start("node", self.bin / "vok_video_player", "--video_folder", folder,
                                    "_frame_id:=camera")
            started += [node, self.procs.start("consumer", *nodelet, "standalone",
                                               "vok_video_player/bench_consumer",
                                               "__name:=bench_consumer", *consumer,
                                               f"_other_pid:={node.pid}")]
        deadline = time.monotonic() + LOADED_S + warmup + window + 5
        while not out.exists() and time.monotonic() < deadline:
            time.sleep(0.2)
        for proc in reversed(started):
            self.procs.stop(proc)
        if not out.exists():
            print(f"bench: the in-process consumer wrote nothing ({where}); see the logs",
                  flush=True)


def cpu_ratio(res):
    """The manager's CPU share over the two processes'; None where either is missing."""
    manager = res.get("inprocess-manager", "cpu_share")
    processes = res.get("inprocess-processes", "cpu_share")
    return manager / processes if manager is not None and processes else None


def goals(res):
    """The part's rows of the goals table: (goal, measured, met)."""
    ratio = cpu_ratio(res)
    if ratio is None:
        return []
    periods = [res.get(f"inprocess-{w}", "period_median_ms") for w in WHERE]
    return [(f"1920x1080 H.264: player and consumer in one manager use at most {GOAL_CPU_RATIO} "
             "of the CPU of node and consumer as two processes",
             f"{ratio:.2f} ({100 * res.get('inprocess-manager', 'cpu_share'):.1f}% against "
             f"{100 * res.get('inprocess-processes', 'cpu_share'):.1f}% of a core)",
             ratio <= GOAL_CPU_RATIO),
            ("1920x1080 H.264: the consumer's frame period median 33.3 ms, in the manager and as "
             "a process", " and ".join("n/a" if p is None else f"{p:.2f} ms" for p in periods),
             all(p is not None and abs(p - 1000 / 30) < 0.1 for p in periods))]


def report(res):
    """The part's section of docs/bench.md; nothing when the part did not run."""
    manager, processes = res.of("inprocess-manager"), res.of("inprocess-processes")
    if not manager and not processes:
        return []

    def figure(r, key, digits=2, scale=1):
        v = r.get(key)
        return "n/a" if not isinstance(v, (int, float)) else f"{v * scale:.{digits}f}"

    ratio = cpu_ratio(res)
    verdict = "n/a" if ratio is None else ("yes" if ratio <= GOAL_CPU_RATIO else "**no**")
    rounds = len(res.rounds("inprocess-manager"))
    out = ["## In one nodelet manager", "",
           "The player as nodelet `vok_video_player/player` with one consumer in its manager, "
           "against the node with the same consumer as a process of its own (`nodelet "
           "standalone`), playing a 1920x1080 H.264 clip at 30 Hz with `_frame_id:=camera`. The "
           "consumer (`vok_video_player/bench_consumer`) subscribes to `sensor_msgs/Image` as any "
           "consumer does: in the manager it receives the player's message itself, as a pointer; "
           "as a process it receives a copy through the loopback. It times its frames itself and "
           "reads the CPU time of the processes that carry the stream: the manager, or the node "
           "and the consumer's process (the `nodelet load` processes, which only wait, are left "
           f"out). Each figure is the median of {rounds} round{'s' if rounds != 1 else ''}, the "
           "two set-ups taking turns.", "",
           "| set-up | CPU, all processes (% of a core) | CPU per frame (ms) "
           "| frame period median / p90 / p99 (ms) | stamp lag median / p99 (ms) | frames |",
           "|---|---|---|---|---|---|"]
    for where, label in (("manager", "player and consumer in one manager"),
                         ("processes", "node and consumer, two processes")):
        r = res.of(f"inprocess-{where}")
        out.append(f"| {label} | {figure(r, 'cpu_share', 1, 100)} "
                   f"| {figure(r, 'cpu_ms_per_frame')} "
                   f"| {figure(r, 'period_median_ms')} / {figure(r, 'period_p90_ms')} / "
                   f"{figure(r, 'period_p99_ms')} "
                   f"| {figure(r, 'stamp_lag_median_ms')} / {figure(r, 'stamp_lag_p99_ms')} "
                   f"| {figure(r, 'frames', 0)} |")
    out += ["", f"Goal: the manager's CPU at most {GOAL_CPU_RATIO} of the two processes': "
            f"{'n/a' if ratio is None else f'{ratio:.2f}'}, {verdict}. The stamp lag is the "
            "consumer's receipt (ROS time) less the frame's stamp, the player's ROS time as it "
            "published the frame.", ""]
    return out


def runs(s, run, start_s, stop_s):
    """The part's runs, round by round, the two set-ups taking turns."""
    out = []
    for r in range(1, s.inprocess_rounds + 1):
        order = WHERE if r % 2 else tuple(reversed(WHERE))
        for where in order:
            out.append(run("inprocess", f"in one manager, round {r} of {s.inprocess_rounds}, "
                           f"{where}", start_s + s.warmup + 1 + s.inprocess_window + stop_s,
                           {"where": where, "round": r, "window": s.inprocess_window,
                            "warmup": s.warmup + 1}))
    return out

