"""The bench's processes: a built workspace's environment, programs started and stopped in
process groups of their own, ports, and what the machine is."""
import os
import signal
import socket
import subprocess
import time


def ros_environment(ws):
    """The environment of a built workspace, as `source devel/setup.bash` leaves it."""
    env = dict(os.environ, PATH="/usr/bin:" + os.environ.get("PATH", ""), ROS_HOSTNAME="localhost")
    env.pop("ROS_IP", None)
    dump = subprocess.run(["bash", "-c", f'set +u; source "{ws}/devel/setup.bash"; env -0'],
                          env=env, check=True, capture_output=True).stdout
    return dict(item.split("=", 1) for item in dump.decode().split("\0") if "=" in item)


class Processes:
    """Starts programs in process groups of their own and stops them again."""

    def __init__(self, env, logs):
        self.env, self.logs, self.started = env, logs, []

    def start(self, log, *cmd, env=None, prefix=()):
        """Starts `cmd` behind `prefix` (such as `ip netns exec NAME`, which keeps the pid)."""
        with open(self.logs / f"{log}.log", "w") as out:
            proc = subprocess.Popen([*prefix, *[str(c) for c in cmd]], env=env or self.env,
                                    stdout=out, stderr=subprocess.STDOUT, start_new_session=True)
        self.started.append(proc)
        return proc

    def wait(self, proc):
        code = proc.wait()
        self.started.remove(proc)
        return code

    def stop(self, proc):
        """SIGINT to the process group, SIGKILL after 5 s."""
        try:
            os.killpg(proc.pid, signal.SIGINT)
            proc.wait(5)
        except ProcessLookupError:
            pass
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
        if proc in self.started:
            self.started.remove(proc)

    def stop_all(self):
        for proc in list(reversed(self.started)):
            self.stop(proc)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        with socket.socket() as s:
            if s.connect_ex(("127.0.0.1", port)) == 0:
                return True
        time.sleep(0.1)
    return False


def machine():
    model = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo")
                  if line.startswith("model name")), "unknown CPU")
    return f"{model}, {os.cpu_count()} cores, {os.uname().sysname} {os.uname().release}"


def load():
    return " ".join(open("/proc/loadavg").read().split()[:3])
