#!/usr/bin/env bash
# The demo's sample media generator: all thirteen media names, five stills and eight H.264 videos
# of the asked length at 30 frames per second, each picture different, nothing remade when the
# folder is up to date, and a usage error for a bad command line.
set -euo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"
MAKE="$HERE/../../scripts/make_sample_media"
export PATH="/usr/bin:$PATH"
DIR="$(mktemp -d)"
trap 'rm -rf "$DIR"' EXIT
fail() { echo "demo_media.sh: FAIL: $*" >&2; exit 1; }

status=0
"$MAKE" > /dev/null 2>&1 || status=$?
((status == 2)) || fail "no folder: status $status, not 2"

SAMPLE_VIDEO_SECONDS=1 SAMPLE_SIZE=320x240 "$MAKE" "$DIR/media" > /dev/null
names=(pizza sandwich banana broccoli book bottle dog fork laptop remote toothbrush empty person)
stills=0
videos=0
for name in "${names[@]}"; do
  if [[ -f "$DIR/media/$name.jpg" ]]; then
    stills=$((stills + 1))
    ffprobe -v error -show_entries stream=width,height -of csv=p=0 "$DIR/media/$name.jpg" |
      grep -qx "320,240" || fail "$name.jpg is not a 320x240 picture"
  elif [[ -f "$DIR/media/$name.mp4" ]]; then
    videos=$((videos + 1))
    info="$(ffprobe -v error -count_frames -show_entries stream=codec_name,r_frame_rate,nb_read_frames \
      -of csv=p=0 "$DIR/media/$name.mp4")"
    [[ "$info" == "h264,30/1,30" ]] || fail "$name.mp4: $info, not one second of H.264 at 30 fps"
  else
    fail "no item for $name"
  fi
done
((stills == 5 && videos == 8)) || fail "$stills stills and $videos videos, not 5 and 8"
(($(cd "$DIR/media" && md5sum ./*.jpg ./*.mp4 | cut -d' ' -f1 | sort -u | wc -l) == 13)) ||
  fail "two items are the same file"

touch -d '2000-01-01' "$DIR/media/dog.mp4"
SAMPLE_VIDEO_SECONDS=1 SAMPLE_SIZE=320x240 "$MAKE" "$DIR/media" | grep -q "is up to date" || fail "an up-to-date folder was remade"
[[ "$(stat -c %Y "$DIR/media/dog.mp4")" == "$(date -d '2000-01-01' +%s)" ]] || fail "dog.mp4 was rewritten"
rm "$DIR/media/dog.mp4"
SAMPLE_VIDEO_SECONDS=1 SAMPLE_SIZE=320x240 "$MAKE" "$DIR/media" > /dev/null
[[ -s "$DIR/media/dog.mp4" ]] || fail "a missing item was not remade"
echo "demo_media.sh: passed"
