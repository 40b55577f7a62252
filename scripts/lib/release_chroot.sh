# shellcheck shell=bash
# Sourced by scripts/on-release, scripts/package, scripts/check-package and scripts/frame-cost: a
# minimal system of a Debian release, made with debootstrap, with apt's sources for the release
# and its updates; another architecture's (arm64) runs through qemu-user.

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

# host_arch: this machine's Debian architecture (amd64).
host_arch() { dpkg --print-architecture; }

# release_dir RELEASES SUITE ARCH: where a release's chroot is kept; this machine's own
# architecture keeps the plain name (RELEASES/bookworm), another gets it after the suite's
# (RELEASES/bookworm-arm64).
release_dir() {
  if [[ $3 == "$(host_arch)" ]]; then echo "$1/$2"; else echo "$1/$2-$3"; fi
}

# check_arch NAME ARCH: whether ARCH can be made on this machine: its own, or one that
# qemu-user runs (arm64). Prints the reason on failure, after NAME.
check_arch() {
  case "$2" in
    "$(host_arch)" | arm64) return 0 ;;
  esac
  echo "$1: unknown architecture '$2' ($(host_arch) or arm64)" >&2
  return 2
}

# ensure_emulation NAME ARCH: lets this machine run ARCH's programs, when ARCH is not its own,
# through qemu-user: installs qemu-user-static when it is missing, mounts binfmt_misc when it is
# not mounted, and registers qemu's handler for ARCH with the kernel when it is not registered.
# The handler must carry the F flag: the kernel then opens the emulator when the handler is
# registered, so that it also runs programs inside a chroot that has no emulator of its own.
ensure_emulation() {
  local name=$1 arch=$2 cpu
  [[ $arch == "$(host_arch)" ]] && return 0
  case "$arch" in
    arm64) cpu=aarch64 ;;
    *) echo "$name: no emulator for '$arch'" >&2; return 2 ;;
  esac
  local conf=/usr/lib/binfmt.d/qemu-$cpu.conf misc=/proc/sys/fs/binfmt_misc
  if [[ ! -f $conf ]]; then
    echo "$name: installing qemu-user-static, to run $arch programs"
    apt_install qemu-user-static || {
      echo "$name: cannot install qemu-user-static (apt-get install qemu-user-static)" >&2
      return 1
    }
  fi
  if [[ ! -e $misc/register ]]; then
    mount -t binfmt_misc binfmt_misc "$misc" || {
      echo "$name: cannot mount binfmt_misc on $misc" >&2
      return 1
    }
  fi
  if [[ ! -e $misc/qemu-$cpu ]]; then
    # qemu-user-static's own line, as systemd-binfmt would register it at boot.
    grep -v '^#' "$conf" > "$misc/register" || {
      echo "$name: cannot register qemu-$cpu with binfmt_misc" >&2
      return 1
    }
  fi
  grep -qx enabled "$misc/qemu-$cpu" || echo 1 > "$misc/qemu-$cpu"
  if ! grep -q '^flags:.*F' "$misc/qemu-$cpu"; then
    echo "$name: the binfmt_misc handler qemu-$cpu lacks the F flag, so $arch programs do not" \
      "run in a chroot; remove it (echo -1 > $misc/qemu-$cpu) to have it registered anew" >&2
    return 1
  fi
}

# apt_install PACKAGE...: installs Debian packages on this machine, refreshing apt's lists when
# the ones it has cannot provide them.
apt_install() {
  local apt=(env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$@")
  "${apt[@]}" > /dev/null 2>&1 ||
    { apt-get update > /dev/null 2>&1 && "${apt[@]}" > /dev/null 2>&1; }
}

# make_release_chroot NAME SUITE DIR INCLUDE LOG [ARCH]: debootstrap's minimal system of SUITE
# in DIR (made anew) for ARCH (default: this machine's), with the packages INCLUDE
# (comma-separated, may be empty) and apt's sources of the release, its updates and its security
# fixes. Another architecture's system is made in one stage, its programs run by the emulator
# that ensure_emulation registers. debootstrap's output goes to LOG; on failure its tail is
# printed, with NAME before the message.
make_release_chroot() {
  local name=$1 suite=$2 dir=$3 include=$4 log=$5 arch=${6:-$(host_arch)} mirror
  mirror="$(release_mirror)"
  ensure_emulation "$name" "$arch" || return 1
  if ! command -v debootstrap > /dev/null; then
    echo "$name: installing debootstrap"
    apt_install debootstrap || {
      echo "$name: cannot install debootstrap (apt-get install debootstrap)" >&2
      return 1
    }
  fi
  rm -rf "$dir"
  mkdir -p "$(dirname "$dir")"
  if ! debootstrap --variant=minbase --arch="$arch" ${include:+--include="$include"} "$suite" \
    "$dir" "$mirror" > "$log" 2>&1; then
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
