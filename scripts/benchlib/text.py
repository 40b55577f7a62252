"""The prose of the bench's report: what each table measures and how."""

INTRO = """What a consumer of the player's `/camera/image` gets, measured side by side with the \
publishing floor and the peer, each alone on a rosmaster of the bench's own with the bench's \
subscriber as its only one.

- Node: `vok_video_player` with the item under test as its "empty" media, which it plays while \
no pose has come (a still for 8 s, then again; a clip to its end, then again); for the item \
boundaries, the node in room A with a playlist of distinct items.
- Floor: `bench_floor`, a bare roscpp publisher of the same frames at the same rate that does \
nothing else: the still converted once, video frames decoded by OpenCV straight into a reused \
buffer, and every frame kept in its serialized form so that roscpp sends it with no allocation \
or copy of its own (`--serialize once`). The column "floor, plain API" is the same publisher \
handing roscpp an ordinary `sensor_msgs::Image` (reused), which roscpp serializes into a fresh \
buffer at every publication (measured in the first round only).
- Peer: Debian's `image_publisher` (`/usr/lib/image_publisher/image_publisher FILE \
__name:=peer _publish_rate:=30`) on the same still and 30 fps clips; its rate is capped at 30."""

CASES = """CPU is the publisher's user + system time per published frame, from `/proc/<pid>/stat` \
over the window (all threads); memory is its `VmRSS` at the end of the window. Ratios are \
node/floor and node/peer; n/a where a publisher has no such figure (the peer runs only at \
30 Hz; only the floor and the peer stamp their messages)."""

BOUNDARIES = """The interval at an item boundary runs from the last frame of one item to the \
first of the next (within one room: the robot stays in room A, a non-special room, which \
plays all 13 media names, reshuffled at every pass). Every item of a playlist has a width of \
its own (1280, 1282, ... 1304 at 720p), so the bench's subscriber sees where one ends; inside \
an item, the intervals are those between its own frames. The replayed still is the node with \
no pose, playing its "empty" item over and over; there the node's "Playing" log line marks \
where a play starts. The rate over the playlist counts every frame of the window, boundaries \
included, over the window's span. The peer plays one clip over and over; its boundary is \
where the clip starts over."""

POSES = """The node again, right after the window without poses and on the same process, with \
`bench_pose` publishing 1,000 poses a second at a place in no room (the item keeps playing; \
every pose goes through the pose callback)."""

POSE_COST = """What the stream costs per pose, against the floor taking the same stream \
(`bench_floor --poses on`: it subscribes to `/amcl_pose` as the node does, queue 100 on a \
callback thread of its own, and drops every pose): the rise in CPU a second of the \
publisher's ROS threads, over 1,000 poses a second. Those are the threads that ran through \
the whole window, but the main one (roscpp's, which send the frames and receive and handle the \
poses), timed by the scheduler in nanoseconds; a video's decoding, whose cost varies with the \
frames that fall in a window, is left out (in a 5 s window it moved the per-pose figure of \
the whole process by tens of µs from run to run)."""

ROOMS = """The node in test mode, the robot moved back and forth between room F (plays only \
"person", a red-marked item) and room B (only "laptop", green), every 0.5 s plus a random part \
of a period, so that poses fall anywhere in a frame period. Times run from the pose's \
publication (its stamp, set by `bench_pose` as it publishes) to the arrival at the bench's \
subscriber; a negative time means the old item's last frame was already on its way. Open time: \
the median time to load and convert the still, or to open the video and decode its first frame \
(`bench_floor --measure-open`)."""

MEMORY = """The node in test mode switching between a still and a video ({switches} switches, \
one every 80 ms, each item publishing a frame or two). Resident memory is read after the first \
tenth of the switches, so that the allocator has settled, and at the end."""

COSTS = """- Sending: the kernel's copy of every frame into the socket, and the wake-ups of roscpp's
  threads, are most of a still's cost and the same for every publisher.
- Memory: a page fault costs here more than copying the page. A publisher that takes a fresh
  multi-megabyte buffer for every frame (glibc maps blocks this large anew by default) pays
  for every page of it: compare "floor, plain API", whose buffers roscpp allocates per
  publication, with the floor. The node keeps freed frame memory mapped (glibc's mmap and trim
  thresholds, set by its image bridge), so a play's file load, a clip's decoder and roscpp's
  buffers reuse pages already in place.
- Copies: video frames are decoded straight into a message already in wire form, which roscpp
  sends as it is (no serialization copy). A still is converted once into that form and the
  same buffer is sent at every tick; a new one is made only while roscpp still holds the last,
  because roscpp writes each publication's sequence number into the buffer it sends.
- Timing: the node decodes each video frame just before it is due (the slowest of its last 32
  decodes, plus 2 ms, ahead), into one of two buffers. Its publication then waits only for
  the clock, and the decoder does not share the machine with the sending of the frame before.
  The floor decodes a frame and publishes it at once, as most publishers do.
- A pose costs any roscpp subscriber two thread wake-ups (roscpp's network thread and the
  callback thread), as the floor taking the same stream shows, so a 1 kHz pose stream adds a
  fixed CPU load, which weighs most on the cheapest frames (a still at 30 Hz)."""

METHOD = """- Clips: every frame carries a colour box in its top-left corner (the item) and a stripe of
  14 squares along the top (its frame number, one bit a square). `bench_probe`, the bench's
  subscriber, reads only these marks, the width and the header of each message (it never
  copies the pixels), and takes each arrival's time on the wall clock as its callback runs. It
  keeps freed frame memory mapped, as the node does, and faults 64 MB of heap in before it
  subscribes, in one heap for all its threads, so that its own page faults on the megabytes
  roscpp reads for each frame do not show as jitter of the stream measured. (Without that, the
  first log line it read from `/rosout` made its heap grow by a frame into fresh pages: 3 to
  10 ms added to the one 1080p frame that came with it, an item's first.) It leaves out 0x0
  images and counts them.
- Plays: the frames of one play of an item run from a start to the next one: a change of colour
  or of width, a frame number going back (a clip starting over), or the node's "Playing" log
  line (read from `/rosout`, for a still played again). The first frame of a play is left out
  of the interval, rate, drift and lateness figures; the interval before it is the boundary
  interval, reported on its own.
- Rate: frames per second over the plays. Intervals: between consecutive frames of a play.
- Lateness vs schedule: frame k of a play is due at t0 + k/rate, with t0 set by the frame that
  came earliest against that schedule; lateness is how much later than that each frame came.
  The player's messages carry no stamp, so this is the latency figure that all three publishers
  share: it is the publish-to-receive latency above its best case, plus any late wake-up.
- Drift: the mean lateness of the last tenth of a play minus that of its first tenth (a play
  being an 8 s still, a whole clip, or the whole window for a publisher that never stops).
- Stamp-to-receive latency: arrival minus the header stamp, for the floor and the peer, which
  stamp each message as they publish it.
- Rounds: every case is measured in turn by each publisher, and the whole series is run again
  in the next round, the turns starting one publisher further on; a figure is the median of its
  rounds, and a goal is judged on that median. The floor and the node take the pose stream on
  the same process, in a second window right after the first. The default run measures the
  figures that move most from run to run (the node's and the floor's) in more rounds than the
  others, and stills (whose CPU per frame is a few clock ticks a second) in longer windows.
  Where the goals table gives the rounds' range, it shows how far one run can land from the
  next on this machine: a difference smaller than that is not one this bench can see.
- CPU and memory: `/proc/<pid>/stat` (user + system time of all threads, also those that
  ended; in clock ticks of 10 ms, so a 5 s window of a 720p clip reads to about 2%) and
  `VmRSS` from `/proc/<pid>/status`.
- The machine has 2 cores shared by the publisher, the subscriber and the rosmaster; figures
  taken while other work runs are noisier, chiefly the interval and lateness tails."""

REMOTE = """The node on one host and a viewer on another: two network namespaces on this machine, \
made by the bench and joined by a veth pair, with addresses (10.213.0.1 and 10.213.0.2) that \
exist only inside them; the rosmaster on the node's host, and every program with `ROS_IP` and \
`ROS_HOSTNAME` set to its own host's address. The link from the node's host to the viewer's is \
shaped on the node's side by `tc qdisc replace dev ... root tbf rate R burst 32kb latency 50ms`: \
bursts of up to 32 KiB pass at the pair's own speed (5 ms of traffic at 50 Mbit/s, 13 ms at 20), \
a queue of 50 ms of traffic at the rate waits behind the bucket, and beyond it packets are \
dropped, as at a router's port. The way back is left as it is, and no delay is added (this \
kernel has no netem). "Unshaped" is the veth pair as it is.

- Pictures: a camera's view, made by the bench: a room of textured shapes in uneven light, a \
lens's blur of a pixel, sensor noise (a normal spread of 2.5 levels) in every frame, and the \
camera panning to and fro; 20 s H.264 clips (libx264 tuned for grain, which keeps the noise: \
about 5 Mbit/s at 720p, as a camera's own recording) and .jpg stills, with the bench's marks. \
The node plays each as its "empty" item.
- JPEG per frame: the mean size of the node's `/camera/image/compressed` messages (quality 80) \
as the viewer got them across the unshaped link; at 30 Hz, what a link must carry for every \
frame.
- The viewer: `bench_probe` on the viewer's host, on `/camera/image` (raw) or \
`/camera/image/compressed` (every JPEG decoded by `cv::imdecode`, the marks read from the \
picture), TCP_NODELAY, queue 10. Frames/s: over its window ({windows}); in brackets, the \
node's own over the same span, as a subscriber on its host got them. Numbers skipped: frames \
that never reached the viewer (dropped by the node's queue of one for a subscriber that is \
still receiving the frame before, or by its JPEG encoder when that falls behind).
- How far behind: that subscriber on the node's host takes the raw frames as they are \
published, and each frame the viewer got is matched by its number with that frame's \
publication (one machine, one clock): its arrival at the viewer minus that publication, so a \
JPEG's encoding counts in. The goals take the 99th percentile. Unmatched: frames whose \
publication the local subscriber did not see. A still's frames all carry the same number, so \
only its JPEG and rate are given.
- Node CPU: user + system time of the node's process from `/proc/<pid>/stat` over a window, in \
% of one core: first with only the raw subscriber on the node's host, then, on the same \
process, with a compressed viewer on the other host as well (unshaped). A still is encoded once \
per play (8 s), a video frame by frame. The node as it was before its compressed stream, built \
by the bench from this repository's history ({reference}), takes the first window with the raw \
subscriber, in turn with the node of now, round by round. "As before" allows for the noise: the \
larger of the rounds' spread and two clock ticks over the window. On one machine the kernel's \
work of receiving for the viewer partly runs on the node's time, as it does for the local \
subscriber over loopback."""
