#!/usr/bin/env bash
# Tries the README's test command as a new user would: builds a minimal Debian 12 system
# (debootstrap --variant=minbase) in a temporary folder, clones this checkout's HEAD into it, runs
# `bash scripts/test.sh` there as root, prints the result and removes everything again.
# Then it makes the Release Debian package there (scripts/package.sh), installs it with apt in a
# second, untouched copy of the minimal system, starts the installed program, removes the
# package with apt and lists any file of it that stayed.
# Usage (as root): scripts/fresh-check.sh [--keep] [--package]
#   --keep leaves the systems for a look inside; --package skips the test command and only makes,
#   installs and removes the package (after a change of the packaging alone).
# Not part of CI: it downloads a whole system and takes minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
keep=0
package_only=0
for arg in "$@"; do
  case "$arg" in
    --keep) keep=1 ;;
    --package) package_only=1 ;;
    *) echo "usage: scripts/fresh-check.sh [--keep] [--package]" >&2; exit 2 ;;
  esac
done

if [ "$(id -u)" -ne 0 ]; then
  echo "fresh-check: run as root (debootstrap and chroot need it)" >&2
  exit 2
fi
if ! command -v debootstrap >/dev/null 2>&1; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi

# The same Debian mirror this machine's apt uses.
mirror=$(sed -n 's/^URIs:[[:space:]]*\([^[:space:]]*\/debian\)[[:space:]]*$/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -1)
if [ -z "$mirror" ] && [ -f /etc/apt/sources.list ]; then
  mirror=$(awk '$1 == "deb" && $2 !~ /^\[/ && $2 ~ /\/debian$/ { print $2; exit }' /etc/apt/sources.list)
fi
if [ -z "$mirror" ]; then
  echo "fresh-check: no Debian mirror found in this machine's apt sources" >&2
  exit 2
fi

work=$(mktemp -d /var/tmp/zendra-fresh.XXXXXX)
root=$work/root
mounts=()
cleanup() {
  local i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount -l "${mounts[i]}" 2>/dev/null || true
  done
  if [ "$keep" = 1 ]; then
    echo "fresh-check: kept $root"
  else
    # Only after every mount is gone, and never across into another file system.
    if ! grep -q " $work" /proc/self/mounts; then
      rm -rf --one-file-system "$work"
    else
      echo "fresh-check: $work still has mounts; left in place" >&2
    fi
  fi
}
trap cleanup EXIT
mnt() { mount "$@"; mounts+=("${@: -1}"); }

start=$(date +%s)
echo "fresh-check: debootstrap bookworm (minbase) from $mirror"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
  { tail -20 "$work/debootstrap.log"; exit 1; }
base_kb=$(du -sk "$root/var/cache/apt/archives" | cut -f1)
rm -f "$root"/var/cache/apt/archives/*.deb
t_base=$(($(date +%s) - start))
# The untouched system the package is installed in later.
clean=$work/clean
cp -a "$root" "$clean"

cp /etc/resolv.conf "$root/etc/resolv.conf"
mnt -t proc proc "$root/proc"
mnt -t sysfs sysfs "$root/sys"
mnt --bind /dev "$root/dev"
# Nothing mounted below it may reach the host's /dev.
mount --make-rslave "$root/dev"
mnt -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts"
mnt -t tmpfs tmpfs "$root/dev/shm"

git clone -q --no-hardlinks "$repo" "$root/root/zendra"
git -C "$root/root/zendra" checkout -q "$(git -C "$repo" rev-parse HEAD)"

# The two things a minimal system lacks most easily: "/" as a mount point, the italic face.
if chroot "$root" awk '$5 == "/" { found = 1 } END { exit !found }' /proc/self/mountinfo; then
  echo "fresh-check: \"/\" is a mount point in the new system"
else
  echo "fresh-check: \"/\" is not a mount point in the new system (the volume list must add it)"
fi
if [ "$package_only" = 0 ]; then
  echo "fresh-check: running the README's test command in the new system (base took ${t_base} s)"
  t0=$(date +%s)
  set +e
  env -i HOME=/root TERM=dumb LANG=C.UTF-8 PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    chroot "$root" bash -c 'cd /root/zendra && bash scripts/test.sh' >"$work/test.log" 2>&1
  rc=$?
  set -e
  t_test=$(($(date +%s) - t0))
  pkgs_kb=$(du -sk "$root/var/cache/apt/archives" | cut -f1)

  italic=$(find "$root/usr/share/fonts" -name 'DejaVuSans-Oblique.ttf' 2>/dev/null | head -1)
  if [ -n "$italic" ]; then
    echo "fresh-check: italic face in the new system: ${italic#"$root"}"
  else
    echo "fresh-check: italic face in the new system: none"
  fi
  grep -E "tests passed|tests failed|^[0-9]+% tests|\*\*\*Failed|Failed  |installing:" "$work/test.log" | tail -25
  echo "fresh-check: base system ${t_base} s, ~$((base_kb / 1024)) MiB of packages;" \
    "set-up + build + tests ${t_test} s, ~$((pkgs_kb / 1024)) MiB of packages"
  if [ "$rc" -ne 0 ]; then
    echo "fresh-check: FAILED (exit $rc); last lines:"
    tail -40 "$work/test.log"
    exit "$rc"
  fi
else
  echo "fresh-check: the test command is skipped (--package)"
fi

echo "fresh-check: making the Release package in the new system"
t0=$(date +%s)
if ! env -i HOME=/root TERM=dumb LANG=C.UTF-8 PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  chroot "$root" bash -c 'cd /root/zendra && bash scripts/package.sh' >"$work/package.log" 2>&1; then
  echo "fresh-check: FAILED: scripts/package.sh; last lines:"
  tail -30 "$work/package.log"
  exit 1
fi
deb=$(ls "$root"/root/zendra/build-release/zendra_*.deb | head -1)
echo "fresh-check: package $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB, made in $(($(date +%s) - t0)) s"
echo "fresh-check: Depends: $(dpkg-deb -f "$deb" Depends)"
echo "fresh-check: Recommends: $(dpkg-deb -f "$deb" Recommends)"

cp /etc/resolv.conf "$clean/etc/resolv.conf"
mnt -t proc proc "$clean/proc"
mnt -t sysfs sysfs "$clean/sys"
mnt --bind /dev "$clean/dev"
mount --make-rslave "$clean/dev"
mnt -t devpts -o newinstance,ptmxmode=0666 devpts "$clean/dev/pts"
cp "$deb" "$clean/root/"
echo "fresh-check: apt install ./$(basename "$deb") in an untouched minimal system, start, apt remove"
t0=$(date +%s)
set +e
env -i HOME=/root TERM=dumb LANG=C.UTF-8 PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  DEBIAN_FRONTEND=noninteractive chroot "$clean" bash -c '
    set -e
    cd /root
    apt-get update -qq
    apt-get install -y -qq ./zendra_*.deb >/root/apt-install.log 2>&1 || { tail -20 /root/apt-install.log; exit 1; }
    echo "fresh-check: installed: $(dpkg-query -W -f="\${Package} \${Version} \${Status}" zendra)"
    dpkg -L zendra >/root/files.txt
    echo "fresh-check: $(command -v zendra): $(zendra --version)"
    cd /tmp
    zendra --backend=headless
    echo "fresh-check: zendra --backend=headless ended with $?"
    apt-get remove -y -qq zendra >/root/apt-remove.log 2>&1 || { tail -20 /root/apt-remove.log; exit 1; }
    left=0
    while read -r f; do
      if [ -e "$f" ] && ! [ -d "$f" ]; then echo "fresh-check: left behind: $f"; left=1; fi
    done </root/files.txt
    [ -e /usr/share/zendra ] && { echo "fresh-check: left behind: /usr/share/zendra"; left=1; }
    echo "fresh-check: after apt remove: $(dpkg-query -W -f="\${Status}" zendra 2>/dev/null || echo "not known to dpkg"); $(wc -l </root/files.txt) paths of the package checked"
    exit $left
  ' 2>&1 | tee "$work/install.log"
rc=${PIPESTATUS[0]}
set -e
echo "fresh-check: install, start and removal took $(($(date +%s) - t0)) s"
if [ "$rc" -eq 0 ]; then
  echo "fresh-check: PASSED"
else
  echo "fresh-check: FAILED (exit $rc) in the package check"
fi
exit "$rc"
