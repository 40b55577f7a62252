#!/usr/bin/env bash
# Makes a complete media folder for tests and demos: one item for each of the thirteen media
# names, a .jpg still by default and a short .mp4 video for the names listed in VIDEO_NAMES.
# Every name gets its own background colour, a hue-shifted moving test pattern and its name
# written on it, so that items are told apart by their pictures alone.
#
# Usage: make_media.sh DIR [VIDEO_NAMES]
#   DIR          folder to fill (created if missing); existing items of the same names are replaced
#   VIDEO_NAMES  comma-separated media names to make as videos, e.g. "dog,remote"
# Environment: VIDEO_SECONDS (default 1) length of each video, at 30 frames per second;
#              MEDIA_SIZE (default 320x240) picture size.
set -euo pipefail

usage() { sed -n '6,11p' "$0" | sed 's/^# \{0,1\}//' >&2; }

if [[ $# -lt 1 || $# -gt 2 || -z "$1" ]]; then
  usage
  exit 2
fi
DIR="$1"
VIDEO_LIST="${2:-}"
SECONDS_PER_VIDEO="${VIDEO_SECONDS:-1}"
SIZE="${MEDIA_SIZE:-320x240}"
FONT=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf

NAMES=(pizza sandwich banana broccoli book bottle dog fork laptop remote toothbrush empty person)
# Background and text colour of each name, in the order of NAMES.
BACKGROUNDS=(0xC0392B 0xE67E22 0xF1C40F 0x27AE60 0x8E44AD 0x2980B9 0x795548 0x7F8C8D 0x1ABC9C
  0x2C3E50 0xFF69B4 0x000000 0xF5F5DC)
TEXT_COLOURS=(white black black white white white white black black white black white black)

command -v ffmpeg > /dev/null || { echo "make_media.sh: ffmpeg is not installed" >&2; exit 1; }
[[ -r "$FONT" ]] || { echo "make_media.sh: font $FONT missing (fonts-dejavu-core)" >&2; exit 1; }
[[ "$SECONDS_PER_VIDEO" =~ ^[0-9]+([.][0-9]+)?$ ]] ||
  { echo "make_media.sh: VIDEO_SECONDS must be a positive number" >&2; exit 2; }
[[ "$SIZE" =~ ^[0-9]+x[0-9]+$ ]] || { echo "make_media.sh: MEDIA_SIZE must be WxH" >&2; exit 2; }

declare -A as_video=()
if [[ -n "$VIDEO_LIST" ]]; then
  IFS=',' read -r -a requested <<< "$VIDEO_LIST"
  for name in "${requested[@]}"; do
    known=0
    for n in "${NAMES[@]}"; do [[ "$n" == "$name" ]] && known=1; done
    if [[ $known -eq 0 ]]; then
      echo "make_media.sh: unknown media name '$name' (known: ${NAMES[*]})" >&2
      exit 2
    fi
    as_video[$name]=1
  done
fi

mkdir -p "$DIR"
for i in "${!NAMES[@]}"; do
  name="${NAMES[$i]}"
  hue=$((i * 360 / ${#NAMES[@]}))
  graph="color=c=${BACKGROUNDS[$i]}:s=${SIZE}:r=30[bg];"
  graph+="testsrc2=s=128x96:r=30,hue=h=${hue}[pattern];"
  graph+="[bg][pattern]overlay=x=W-w-12:y=12:shortest=1,"
  graph+="drawtext=fontfile=${FONT}:text=${name}:fontsize=40:fontcolor=${TEXT_COLOURS[$i]}"
  graph+=":x=(w-text_w)/2:y=h-text_h-24"
  rm -f "$DIR/$name.jpg" "$DIR/$name.mp4"
  if [[ -n "${as_video[$name]:-}" ]]; then
    ffmpeg -nostdin -hide_banner -loglevel error -y -filter_complex "$graph" \
      -t "$SECONDS_PER_VIDEO" -c:v libx264 -preset ultrafast -pix_fmt yuv420p "$DIR/$name.mp4"
  else
    ffmpeg -nostdin -hide_banner -loglevel error -y -filter_complex "$graph" \
      -frames:v 1 -q:v 2 "$DIR/$name.jpg"
  fi
done
