"""The node as it was before its compressed stream, built once from this repository's history,
for the remote part's comparison of the node's CPU."""
import io
import os
import shutil
import subprocess
import tarfile

from . import procs


def reference_node(root, ws, build):
    """The node as it was before its compressed stream, from this repository's history, built
    once into a workspace of its own: (program, environment, commit), or (None, None, why not)."""
    source = "vok_video_player/src/media/compressed_stream.cpp"
    git = ["git", "-C", str(root)]
    added = subprocess.run([*git, "log", "--diff-filter=A", "--format=%H", "--", source],
                           capture_output=True, text=True).stdout.split()
    parent = added and subprocess.run([*git, "rev-parse", "--verify", "-q", added[-1] + "^"],
                                      capture_output=True, text=True).stdout.strip()
    if not parent:
        return None, None, "no history of this repository to build it from"
    folder = ws / "bench_reference" / parent[:12]
    program = folder / "ws/devel/lib/vok_video_player/vok_video_player"
    if not program.exists():
        if not build:
            return None, None, f"not built yet (a run without --no-build builds it into {folder})"
        print(f"bench: building the node as it was before its compressed stream ({parent[:12]}), "
              "once", flush=True)
        tree = subprocess.run([*git, "archive", parent], capture_output=True, check=True).stdout
        shutil.rmtree(folder, ignore_errors=True)
        with tarfile.open(fileobj=io.BytesIO(tree)) as archive:
            archive.extractall(folder / "tree")
        built = subprocess.run([str(folder / "tree/scripts/build"), "vok_video_player"],
                               env=dict(os.environ, VOK_WS=str(folder / "ws")),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if built.returncode != 0 or not program.exists():
            return None, None, f"its build failed (log in {folder}/ws/catkin_make.log)"
    return program, procs.ros_environment(folder / "ws"), parent[:12]
