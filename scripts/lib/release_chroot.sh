# shellcheck shell=bash
# Sourced by scripts/on-release and scripts/check-package: a minimal system of a Debian release,
# made with debootstrap, with apt's sources for the release and its updates.

# The Debian mirror: VOK_MIRROR, or the one this machine's apt uses, or Debian's own.
release_mirror() {
  local mirror="${VOK_MIRROR:-}"
  if [[ -z "$mirror" ]]; then
    mirror="$(grep -hoE 'https?://[^ ]+/debian/?( |$)' /etc/apt/sources.list \
      /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2> /dev/null |
      head -n 1 | tr -d ' ')" || true
  fi
  echo "${mirror:-http://deb.debian.org/debian}"
}

# make_release_chroot NAME SUITE DIR INCLUDE LOG: debootstrap's minimal system of SUITE in DIR
# (made anew), with the packages INCLUDE (comma-separated, may be empty) and apt's sources of
# the release, its updates and its security fixes. debootstrap's output goes to LOG; on failure
# its tail is printed, with NAME before the message.
make_release_chroot() {
  local name=$1 suite=$2 dir=$3 include=$4 log=$5 mirror
  mirror="$(release_mirror)"
  if ! command -v debootstrap > /dev/null; then
    echo "$name: installing debootstrap"
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends debootstrap \
      > /dev/null 2>&1 ||
      { apt-get update > /dev/null 2>&1 &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends debootstrap \
          > /dev/null 2>&1; } || {
      echo "$name: cannot install debootstrap (apt-get install debootstrap)" >&2
      return 1
    }
  fi
  rm -rf "$dir"
  mkdir -p "$(dirname "$dir")"
  if ! debootstrap --variant=minbase ${include:+--include="$include"} "$suite" "$dir" \
    "$mirror" > "$log" 2>&1; then
    tail -n 20 "$log" >&2
    echo "$name: debootstrap failed; its log is $log" >&2
    return 1
  fi
  local security="${mirror%/debian*}/debian-security"
  {
    echo "deb $mirror $suite main"
    echo "deb $mirror $suite-updates main"
    echo "deb $security $suite-security main"
  } > "$dir/etc/apt/sources.list"
  echo "vok-$suite" > "$dir/etc/hostname"
  # Debian 11's minimal system comes without /etc/hosts, where every installed system has one.
  if ! grep -qs localhost "$dir/etc/hosts"; then
    printf '127.0.0.1\tlocalhost\n::1\t\tlocalhost ip6-localhost ip6-loopback\n' > "$dir/etc/hosts"
  fi
}
