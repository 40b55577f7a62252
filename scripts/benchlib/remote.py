"""The remote part's two hosts on one machine, the link between them, and how far behind the
node a viewer on the other host is.

The hosts are network namespaces joined by a veth pair; their addresses exist only inside them.
The node's host has the rosmaster. The link from the node's host to the viewer's is shaped by a
token bucket (tbf) on the node's end of the pair; the way back (acknowledgements, the viewer's
calls) is left as it is.
"""
import bisect
import csv
import os
import re
import shutil
import subprocess
import time

SUBNET_BITS = 30
ADDRESSES = {"node": "10.213.0.1", "viewer": "10.213.0.2"}
MASTER_PORT = 11311
# A burst of 32 KiB passes at the pair's own speed (a few milliseconds of traffic at these
# rates; the kernel needs at least a packet's worth, and the rate over a clock tick); behind the
# bucket, a queue of 50 ms of traffic at the rate, and beyond it packets are dropped, as at a
# router's port.
TBF_BURST, TBF_LATENCY = "32kb", "50ms"
SEARCH = "/usr/sbin:/sbin:/usr/bin:/bin"
PREFIX = "vok-bench-"


def unavailable():
    """Why the hosts cannot be made here, or None."""
    if os.geteuid() != 0:
        return "network namespaces need root (run the bench as root, e.g. with sudo)"
    for tool in ("ip", "tc"):
        if not shutil.which(tool, path=SEARCH):
            return f"`{tool}` is missing (Debian's iproute2)"
    return None


def run(*cmd):
    """Runs one `ip` or `tc` command; on failure raises with what it said."""
    done = subprocess.run([shutil.which(cmd[0], path=SEARCH), *map(str, cmd[1:])],
                          capture_output=True, text=True)
    if done.returncode != 0:
        raise RuntimeError(f"`{' '.join(map(str, cmd))}` failed: {done.stderr.strip()}")
    return done.stdout


def remove_leftovers():
    """Removes the namespaces of earlier benches that ended without removing theirs."""
    for line in run("ip", "netns", "list").splitlines():
        found = re.match(re.escape(PREFIX) + r"(\d+)-\S+", line)
        if not found:
            continue
        try:
            os.kill(int(found.group(1)), 0)
        except ProcessLookupError:
            subprocess.run([shutil.which("ip", path=SEARCH), "netns", "del", found.group(0)],
                           capture_output=True)
        except PermissionError:
            pass


class Hosts:
    """The node's host and the viewer's, named after this process so that leftovers of a bench
    that was killed can be told from those of one still running."""

    def __init__(self):
        self.names = {host: f"{PREFIX}{os.getpid()}-{host}" for host in ADDRESSES}
        self.device = {"node": f"vb{os.getpid()}n", "viewer": f"vb{os.getpid()}v"}
        self.made = []

    def create(self):
        remove_leftovers()
        for host, name in self.names.items():
            run("ip", "netns", "add", name)
            self.made.append(name)
        run("ip", "link", "add", self.device["node"], "netns", self.names["node"], "type", "veth",
            "peer", "name", self.device["viewer"], "netns", self.names["viewer"])
        for host, name in self.names.items():
            run("ip", "-n", name, "addr", "add", f"{ADDRESSES[host]}/{SUBNET_BITS}", "dev",
                self.device[host])
            run("ip", "-n", name, "link", "set", self.device[host], "up")
            run("ip", "-n", name, "link", "set", "lo", "up")
        # A kernel without tbf says so now, not halfway through the part.
        self.shape(20)
        self.shape(None)

    def shape(self, mbit):
        """Shapes the link from the node's host to the viewer's to `mbit` Mbit/s; None: as it is."""
        if mbit is None:
            qdiscs = run("ip", "netns", "exec", self.names["node"], "tc", "qdisc", "show", "dev",
                         self.device["node"])
            if "tbf" in qdiscs:
                run("ip", "netns", "exec", self.names["node"], "tc", "qdisc", "del", "dev",
                    self.device["node"], "root")
            return
        run("ip", "netns", "exec", self.names["node"], "tc", "qdisc", "replace", "dev",
            self.device["node"], "root", "tbf", "rate", f"{mbit}mbit", "burst", TBF_BURST,
            "latency", TBF_LATENCY)

    def remove(self):
        """Removes the namespaces (and with them the pair); call it once nothing runs in them."""
        for name in reversed(self.made):
            subprocess.run([shutil.which("ip", path=SEARCH), "netns", "del", name],
                           capture_output=True)
        self.made = []

    def prefix(self, host):
        """The command that runs a program on `host`: it keeps the program's process id."""
        return [shutil.which("ip", path=SEARCH), "netns", "exec", self.names[host]]

    def env(self, base, host):
        """A ROS environment for `host`: its own address, the master on the node's host."""
        return dict(base, ROS_IP=ADDRESSES[host], ROS_HOSTNAME=ADDRESSES[host],
                    ROS_MASTER_URI=f"http://{ADDRESSES['node']}:{MASTER_PORT}")


def listening(pid, port):
    """Whether process `pid` has a socket listening on TCP `port`, in its own namespace."""
    for table in ("tcp", "tcp6"):
        try:
            lines = open(f"/proc/{pid}/net/{table}").read().splitlines()[1:]
        except OSError:
            continue
        for line in lines:
            local, state = line.split()[1], line.split()[3]
            if state == "0A" and int(local.rsplit(":", 1)[1], 16) == port:
                return True
    return False


def wait_for_listen(pid, port, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if listening(pid, port):
            return True
        time.sleep(0.1)
    return False


def read_frames(path):
    """The (arrival time, frame number) of each frame of a probe's --raw file, in order; frames
    whose marks did not read are left out."""
    with open(path, newline="") as f:
        return [(float(r["time"]), int(r["index"])) for r in csv.DictReader(f)
                if r["colour"] not in ("?", "P") and int(r["index"]) >= 0]


def behind(published, arrived, start, end, loop_s):
    """How far behind the node a viewer is: for each frame the viewer got within [start, end], its
    arrival minus the publication of the same frame number nearest to it (`published`: the
    arrivals at a subscriber on the node's own host, which may come a little after the viewer's
    when the link is fast). A frame number comes again every `loop_s`; a frame with no
    publication of its number within half a loop (one the local subscriber did not see) is left
    unmatched. Times in seconds."""
    by_number = {}
    for t, number in published:
        by_number.setdefault(number, []).append(t)
    for times in by_number.values():
        times.sort()
    lags, unmatched = [], 0
    for t, number in arrived:
        if not start <= t <= end:
            continue
        times = by_number.get(number, [])
        k = bisect.bisect_left(times, t)
        near = min(times[max(k - 1, 0):k + 1], key=lambda p: abs(t - p), default=None)
        if near is None or abs(t - near) > loop_s / 2:
            unmatched += 1
        else:
            lags.append(t - near)
    figures = {"matched": len(lags), "unmatched": unmatched}
    # The node's own rate over the same window, as its host's subscriber saw it: what the viewer
    # could have had.
    sent = sorted(t for t, _ in published if start <= t <= end)
    if len(sent) > 1:
        figures["published_rate"] = (len(sent) - 1) / (sent[-1] - sent[0])
    if lags:
        figures.update(behind_median_s=percentile(lags, 50), behind_p99_s=percentile(lags, 99),
                       behind_max_s=max(lags))
    return figures


def percentile(values, p):
    """As bench_probe takes them: linear between the closest ranks."""
    values = sorted(values)
    rank = p / 100 * (len(values) - 1)
    below = int(rank)
    above = min(below + 1, len(values) - 1)
    return values[below] + (rank - below) * (values[above] - values[below])
