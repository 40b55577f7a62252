"""The remote part of the bench: the node and the rosmaster on one host, a viewer on the other
(network namespaces of the bench's own, see remote.py). Mixed into the driver's Bench, whose
processes, probe and node it uses."""
import json
import pathlib
import sys

from . import plan, remote


class RemoteParts:
    def start_master(self):
        env = self.hosts.env(self.procs.env, "node")
        master = self.procs.start("remote-master", "rosmaster", "--core", "-p", remote.MASTER_PORT,
                                  env=env, prefix=self.hosts.prefix("node"))
        if not remote.wait_for_listen(master.pid, remote.MASTER_PORT):
            sys.exit("bench: rosmaster did not start on the node's host")

    def start_probe(self, log, host, out, *extra):
        """bench_probe on `host`, measuring 30 Hz frames, started and left running."""
        return self.procs.start(log, self.bin / "bench_probe", "--out", out, "--rate", 30, *extra,
                                env=self.hosts.env(self.procs.env, host),
                                prefix=self.hosts.prefix(host))

    def run_probe(self, log, host, out, *extra):
        """bench_probe on `host` to the end of its window; True when it wrote its figures."""
        if self.procs.wait(self.start_probe(log, host, out, *extra)) == 0:
            return True
        print(f"bench: the probe failed on {pathlib.Path(out).name}:", file=sys.stderr)
        print((self.tmp / f"log/{log}.log").read_text()[-600:], file=sys.stderr)
        return False

    def camera(self, kind, height):
        width = plan.REMOTE_SIZES[height]
        return self.clips.get(kind, width, int(height), 30, plan.REMOTE_CLIP_S * 30, scene="camera")

    def remote(self, kind, **args):
        getattr(self, "remote_" + kind)(**args)

    def remote_links(self, media, height, links, transports):
        """A viewer on the other host, raw or compressed, across each link in turn, beside a
        subscriber on the node's host whose arrivals stand for the frames' publication."""
        node = self.node(f"media-remote-{media}-{height}", {"empty": self.camera(media, height)},
                         host="node")
        compressed = ["--topic", "/camera/image/compressed", "--compressed"]
        for link in links:
            self.hosts.shape(link)
            for transport in transports:
                key = f"remote-{media}-{height}.{link or 'unshaped'}.{transport}"
                # Beside the results, not among them: kept with --keep.
                published, arrived = self.tmp / f"{key}.local.csv", self.tmp / f"{key}.viewer.csv"
                local = None
                if media != "still":  # a still's frames all carry the same number
                    local = self.start_probe("probe-local", "node", self.tmp / f"{key}.local.json",
                                             "--until-stopped", "--warmup", 0, "--raw", published)
                out = self.results / f"{key}.json"
                done = self.run_probe("probe-viewer", "viewer", out,
                                      *(compressed if transport == "compressed" else []),
                                      "--warmup", self.s.remote_warmup, "--seconds",
                                      self.s.remote_window, "--raw", arrived, "--label", key)
                if local:
                    self.procs.stop(local)
                if done and local and published.exists():
                    figures = json.loads(out.read_text())
                    figures.update(remote.behind(
                        remote.read_frames(published), remote.read_frames(arrived),
                        figures["window_start"], figures["window_end"], plan.REMOTE_CLIP_S))
                    out.write_text(json.dumps(figures))
        self.hosts.shape(None)
        self.procs.stop(node)

    def remote_cpu(self, media, node, round, window):
        """The node's CPU with a subscriber of its raw frames on its own host, then with a viewer
        of its compressed ones on the other host as well; or the node before its compressed
        stream with the raw subscriber."""
        stem = f"remote-cpu-{media}-720"
        if node == "before":
            if not self.reference:
                return
            program, env = self.reference
        else:
            program, env = None, None
        proc = self.node(f"media-{stem}", {"empty": self.camera(media, "720")}, program=program,
                         env=env, host="node")
        measure = ["--pid", proc.pid, "--warmup", self.s.remote_warmup, "--seconds", window]
        self.run_probe("probe-local", "node", self.results / f"{stem}.{node}-raw.r{round}.json",
                       *measure, "--label", f"{stem}.{node}-raw")
        if node == "now":
            viewer = self.start_probe("probe-viewer", "viewer",
                                      self.results / f"{stem}.viewer.r{round}.json", "--topic",
                                      "/camera/image/compressed", "--compressed", "--until-stopped",
                                      "--warmup", 0)
            self.run_probe("probe-local", "node",
                           self.results / f"{stem}.now-compressed.r{round}.json", *measure,
                           "--label", f"{stem}.now-compressed")
            self.procs.stop(viewer)
        self.procs.stop(proc)
