"""The bench's peer, Debian's image_publisher, and whether it publishes on this release."""
import os
import time
import xmlrpc.client

PEER = "/usr/lib/image_publisher/image_publisher"


def why_no_peer(procs, port, still):
    """None when the peer publishes on the master at `port`, else why it does not. Debian 11's
    image_publisher starts, but cannot load its own nodelet library and publishes nothing."""
    if not os.access(PEER, os.X_OK):
        return f"{PEER} is not installed (scripts/setup --bench installs it)"
    proc = procs.start("peer-check", PEER, still, "__name:=peer", "_publish_rate:=30")
    master = xmlrpc.client.ServerProxy(f"http://localhost:{port}")
    try:
        end = time.monotonic() + 10
        while time.monotonic() < end and proc.poll() is None:
            _, _, topics = master.getPublishedTopics("/bench", "")
            if any(name == "/peer/image_raw" for name, _ in topics):
                return None
            time.sleep(0.2)
    finally:
        procs.stop(proc)
    return "image_publisher published nothing within 10 s (Debian 11's cannot load its nodelet)"
