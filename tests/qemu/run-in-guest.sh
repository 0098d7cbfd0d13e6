#!/usr/bin/env bash
# run-in-guest.sh [options] -- EXECUTABLE [ARGS...]
#
# Runs one test executable inside a Debian kernel under qemu, with vcan0 up, and exits with the
# executable's status. The guest is an initramfs of busybox (init, ip, insmod), the executable and
# every shared library ldd finds for it, the Qt plugins named with --plugin (under /qt-plugins,
# QT_PLUGIN_PATH set) and the kernel's CAN modules. Files keep their host paths, so RUNPATHs and
# the paths compiled into tests still hold. Files named in --env values (a sanitizer's
# suppressions) and the libraries in the folders of LD_LIBRARY_PATH (the vendor fakes) come along,
# and so does the host's libsocketcan with the socketcan plugin.
#
#   --env NAME=VALUE   set in the guest (ASAN_OPTIONS, UBSAN_OPTIONS, LSAN_OPTIONS and
#                      QT_LOGGING_RULES are passed on from the host when set)
#   --file PATH        another file to carry (an ELF file brings its libraries)
#   --plugin PATH      a Qt plugin; it lands in /qt-plugins/<its folder's name>/
#   --module NAME      another kernel module to load after can, can-raw, can-dev and vcan
#   --workdir DIR      the executable's working folder in the guest (default: the current one)
#   --timeout S        seconds for boot and run together (default 240)
#   --memory MB        guest memory (default 1024)
#
# Exit status: the executable's; 77 (with "run-in-guest: skipped: REASON") when the guest cannot
# be had here (no qemu, no kernel, no boot); 1, after the output so far, when the run times out.
# CH_QEMU_ACCEL=kvm|tcg overrides the accelerator, which is otherwise probed once per machine;
# CH_QEMU_VERBOSE=1 prints the whole console.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root_dir="$(cd "$here/../.." && pwd)"
skip_code=77

skip() {
  echo "run-in-guest: skipped: $*"
  exit $skip_code
}
die() {
  echo "run-in-guest: $*" >&2
  exit 1
}

envs=() files=() plugins=() modules=(can can-raw can-dev vcan)
workdir="$PWD" timeout=240 memory=1024
while [ $# -gt 0 ]; do
  case "$1" in
    --env) envs+=("$2"); shift 2 ;;
    --file) files+=("$2"); shift 2 ;;
    --plugin) plugins+=("$2"); shift 2 ;;
    --module) modules+=("$2"); shift 2 ;;
    --workdir) workdir="$2"; shift 2 ;;
    --timeout) timeout="$2"; shift 2 ;;
    --memory) memory="$2"; shift 2 ;;
    --) shift; break ;;
    *) die "unknown option $1" ;;
  esac
done
[ $# -ge 1 ] || die "no executable given"
exe="$(readlink -f "$1")"
shift
[ -x "$exe" ] || die "$exe is not an executable"

qemu="$(command -v qemu-system-x86_64 || true)"
[ -n "$qemu" ] || skip "qemu-system-x86_64 not installed (Debian package qemu-system-x86)"
busybox=/bin/busybox
if [ ! -x "$busybox" ] || ldd "$busybox" >/dev/null 2>&1; then
  skip "no static busybox at $busybox (Debian package busybox-static)"
fi
kernel_log="$(mktemp)"
if ! kdir="$("$root_dir/scripts/qemu-kernel.sh" 2>"$kernel_log")"; then
  reason="$(tail -n 1 "$kernel_log")"
  rm -f "$kernel_log"
  skip "no guest kernel: ${reason#qemu-kernel: }"
fi
rm -f "$kernel_log"

started=$(date +%s)
work="$(mktemp -d "${TMPDIR:-/tmp}/run-in-guest.XXXXXX")"
qemu_pid=""
cleanup() {
  [ -z "$qemu_pid" ] || kill "$qemu_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A fresh token per run, so that nothing the test prints can pass for the harness's markers.
marker="ch-guest-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"

# Boots the kernel with INITRD under ACCEL for at most SECONDS, console into LOG. The clock is
# HPET's: emulated from the host's time, where the TSC's rate is guessed at boot, and on a loaded
# machine was seen to run the guest's clock 1.7 times too fast.
boot() {
  local accel="$1" initrd="$2" seconds="$3" log="$4" cpu=max kernel="$kdir/vmlinuz"
  [ "$accel" = kvm ] && cpu=host
  [ -f "$kdir/vmlinux" ] && kernel="$kdir/vmlinux"
  timeout --kill-after=5 "$seconds" "$qemu" -accel "$accel" -cpu "$cpu" -m "$memory" -smp 1 \
    -nographic -monitor none -no-reboot -nic none \
    -kernel "$kernel" -initrd "$initrd" \
    -append "console=ttyS0 quiet panic=-1 rdinit=/init clocksource=hpet" </dev/null >"$log" 2>&1 &
  qemu_pid=$!
  local rc=0
  wait "$qemu_pid" 2>/dev/null || rc=$?
  qemu_pid=""
  return $rc
}

# The root: a merged /usr like the host's, so every path ldd reports exists once.
new_root() {
  local r="$1"
  mkdir -p "$r"/usr/bin "$r"/usr/lib "$r"/usr/lib64 "$r"/proc "$r"/sys "$r"/dev "$r"/tmp "$r"/ch
  ln -s usr/bin "$r/bin"
  ln -s usr/bin "$r/sbin"
  ln -s usr/lib "$r/lib"
  ln -s usr/lib64 "$r/lib64"
  cp "$busybox" "$r/usr/bin/busybox"
}
pack() {
  (cd "$1" && find . | "$busybox" cpio -o -H newc 2>/dev/null) >"$2"
}

# KVM is used only where a guest really boots with it: /dev/kvm can be present yet unusable
# (nested virtualisation without the CPU features a guest needs). The verdict is kept beside
# the kernel, so the probe runs once per machine.
accel="${CH_QEMU_ACCEL:-}"
if [ -z "$accel" ]; then
  if [ -f "$kdir/accel" ]; then
    accel="$(cat "$kdir/accel")"
  elif [ -r /dev/kvm ] && [ -w /dev/kvm ]; then
    exec 8>"$kdir/accel.lock"
    flock -w 120 8 || true
    if [ -f "$kdir/accel" ]; then
      accel="$(cat "$kdir/accel")"
    else
      new_root "$work/probe"
      printf '#!/bin/busybox sh\necho %s up\n/bin/busybox poweroff -f\n' "$marker" >"$work/probe/init"
      chmod +x "$work/probe/init"
      pack "$work/probe" "$work/probe.cpio"
      accel=tcg
      if boot kvm "$work/probe.cpio" 30 "$work/probe.log" && grep -q "$marker up" "$work/probe.log"; then
        accel=kvm
      fi
      echo "$accel" >"$kdir/accel"
      rm -rf "$work/probe" "$work/probe.cpio"
    fi
    exec 8>&-
  else
    accel=tcg
  fi
fi

guest="$work/root"
new_root "$guest"

declare -A carried
# Copies FILE (dereferenced) to the same path in the guest.
copy_in() {
  local f="$1"
  [ -z "${carried[$f]:-}" ] || return 0
  carried[$f]=1
  mkdir -p "$(dirname "$guest$f")"
  # Through a symlinked folder (/lib -> usr/lib) the copy lands in the real folder.
  cp -L "$f" "$guest$f"
}
# Copies FILE and, if it is ELF, every library ldd finds for it (ldd gives the whole closure).
carry() {
  local f="$1" deps lib
  [ -e "$f" ] || die "$f does not exist"
  copy_in "$f"
  [ "$(head -c 4 "$f" | od -An -c | tr -d ' ')" = '177ELF' ] || return 0
  deps="$(ldd "$f" 2>&1 || true)"
  if grep -q 'not found' <<<"$deps"; then
    die "$f: $(grep -m 1 'not found' <<<"$deps" | tr -s ' \t' ' ')"
  fi
  while IFS= read -r lib; do
    copy_in "$lib"
  done < <(sed -n -e 's/.*=> \(\/[^ ]*\) .*/\1/p' -e 's/^[[:space:]]*\(\/[^ ]*\) (0x.*/\1/p' <<<"$deps")
}

carry "$exe"
# The path as given: a library's link name (libfoo.so) is what a dlopen asks for.
for f in "${files[@]}"; do
  case "$f" in /*) ;; *) f="$PWD/$f" ;; esac
  carry "$f"
done
socketcan=""
for p in "${plugins[@]}"; do
  p="$(readlink -f "$p")"
  [ -f "$p" ] || die "plugin $p does not exist"
  type="$(basename "$(dirname "$p")")"
  # Platform plugins are needed only where the test makes a QGuiApplication.
  if [ "$type" = platforms ] && ! ldd "$exe" | grep 'libQt[0-9]Gui' >/dev/null; then continue; fi
  mkdir -p "$guest/qt-plugins/$type"
  cp "$p" "$guest/qt-plugins/$type/"
  carried[$p]=1
  carry "$p"
  [ "$(basename "$p")" != libqtsocketcanbus.so ] || socketcan=1
done

# The socketcan plugin loads libsocketcan at run time, for bit rates only; where the host has it,
# so does the guest.
if [ -n "$socketcan" ]; then
  ldconfig="$(command -v ldconfig || echo /sbin/ldconfig)"
  lib="$("$ldconfig" -p 2>/dev/null | awk '/libsocketcan\.so\.2 .*x86-64/ && !n++ { print $NF }')"
  [ -z "$lib" ] || carry "$lib"
fi

# Libraries in LD_LIBRARY_PATH's folders are loaded by name at run time: ldd cannot see them.
for e in "${envs[@]}"; do
  for token in $(tr ':=, ' '\n' <<<"${e#*=}"); do
    case "$token" in /*) ;; *) continue ;; esac
    if [ -f "$token" ]; then
      carry "$token"
    elif [ -d "$token" ] && [ "${e%%=*}" = LD_LIBRARY_PATH ]; then
      for lib in "$token"/*.so*; do
        [ ! -f "$lib" ] || carry "$lib"
      done
    fi
  done
done

# Modules in load order: each after what it depends on.
declare -A deps_of loaded
while IFS= read -r line; do
  deps_of["${line%%:*}"]="${line#*:}"
done <"$kdir/deps"
order=()
load_after_deps() {
  local m="$1" d
  [ -z "${loaded[$m]:-}" ] || return 0
  [ -n "${deps_of[$m]+x}" ] || skip "the guest kernel lacks module $m"
  loaded[$m]=1
  for d in ${deps_of[$m]}; do load_after_deps "$d"; done
  order+=("$m")
}
for m in "${modules[@]}"; do load_after_deps "$m"; done
mkdir -p "$guest/ch/modules"
for m in "${order[@]}"; do cp "$kdir/modules/$m.ko" "$guest/ch/modules/"; done

# Single-quoted for the guest's shell.
quote() {
  printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"
}
{
  echo "export PATH=/usr/bin HOME=/tmp TMPDIR=/tmp QT_PLUGIN_PATH=/qt-plugins"
  for name in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS QT_LOGGING_RULES; do
    [ -z "${!name:-}" ] || echo "export $name=$(quote "${!name}")"
  done
  for e in "${envs[@]}"; do
    echo "export ${e%%=*}=$(quote "${e#*=}")"
  done
  # Folders the environment names (HOME, XDG_CONFIG_HOME...) exist in the guest too.
  for e in "${envs[@]}"; do
    case "${e#*=}" in /*) echo "mkdir -p $(quote "${e#*=}") 2>/dev/null" ;; esac
  done
  echo "mkdir -p $(quote "$workdir") && cd $(quote "$workdir")"
  printf '%s' "set --"
  for a in "$exe" "$@"; do printf ' %s' "$(quote "$a")"; done
  echo
} >"$guest/ch/env"

cat >"$guest/init" <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /usr/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs shm /dev/shm
for m in ${order[*]}; do
  insmod /ch/modules/\$m.ko || { echo "$marker setup insmod \$m failed"; poweroff -f; }
done
ip link add dev vcan0 type vcan && ip link set vcan0 up || { echo "$marker setup no vcan0"; poweroff -f; }
. /ch/env
echo "$marker booted \$(cut -d' ' -f1 /proc/uptime)"
"\$@" </dev/null
echo "$marker exit \$?"
poweroff -f
EOF
chmod +x "$guest/init"
pack "$guest" "$work/initrd.cpio"
rm -rf "$guest"

prepared=$(date +%s)
log="$work/console.log"
boot_rc=0
boot "$accel" "$work/initrd.cpio" "$timeout" "$log" || boot_rc=$?
ran=$(date +%s)
# The firmware's escape sequences may share a line with the first marker.
tr -d '\r' <"$log" | sed "s/.*$marker/$marker/" >"$log.txt"

[ "${CH_QEMU_VERBOSE:-0}" = 1 ] && cat "$log.txt"
booted="$(grep -m 1 "^$marker booted" "$log.txt" || true)"
if [ -z "$booted" ]; then
  setup="$(grep -m 1 "^$marker setup" "$log.txt" || true)"
  tail -n 20 "$log.txt" | grep -v "$marker" || true
  [ -z "$setup" ] || skip "guest setup failed: ${setup#"$marker setup "}"
  [ $boot_rc -ne 124 ] && [ $boot_rc -ne 137 ] || skip "the guest did not boot within ${timeout} s ($accel)"
  skip "the guest did not boot ($accel, qemu exit status $boot_rc)"
fi
# The executable's output: what lies between the markers.
sed -n "/^$marker booted/,/^$marker exit/{/^$marker/d;p}" "$log.txt"
status="$(sed -n "s/^$marker exit \([0-9]*\)$/\1/p" "$log.txt")"
echo "run-in-guest: $accel; guest of $(($(stat -c %s "$work/initrd.cpio") >> 20)) MB made in $((prepared - started)) s," \
  "booted in ${booted##* } s by its clock, qemu ran $((ran - prepared)) s"
if [ -z "$status" ]; then
  [ $boot_rc -ne 124 ] && [ $boot_rc -ne 137 ] || die "timed out after $timeout s"
  die "the guest stopped before the executable ended (qemu exit status $boot_rc)"
fi
# A status of 77 from the executable itself is a failure, not a skip.
[ "$status" != $skip_code ] || status=1
exit "$status"
