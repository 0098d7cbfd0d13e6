#!/usr/bin/env bash
# scripts/qemu-kernel.sh: prints the folder that holds a Debian kernel for the SocketCAN tests
# (vmlinuz, and vmlinux where it could be unpacked; the CAN modules and what they depend on,
# decompressed; "deps": "module: deps" lines), fetching it on first use with one
# `apt-get download` of the image package that linux-image-amd64 depends on. Later calls reuse
# it without the network.
#
# The cache lives outside the repository, in ${CH_QEMU_CACHE:-${XDG_CACHE_HOME:-~/.cache}/commandhandler/qemu}:
# CI clones the repository afresh and build folders come and go, but the kernel belongs to the
# machine, so it is fetched once per machine (and user), needs no root, and never enters git.
# Exits 1 with a one-line reason on stderr when the kernel cannot be had.
set -euo pipefail

cache="${CH_QEMU_CACHE:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/commandhandler/qemu}"
fail() {
  echo "qemu-kernel: $*" >&2
  exit 1
}
mkdir -p "$cache" || fail "cannot create the cache folder $cache"

# Only the CAN modules are kept (with their dependencies); the rest of the 400 MB tree is not.
keep_dirs=(kernel/net/can kernel/drivers/net/can)

# The uncompressed kernel boots through its PVH entry point, which spares the guest the
# decompression: under software emulation that is most of a boot (27 s against 11 s here).
unpack_kernel() {
  local from="$1" to="$2" part="$2.$$" pair offset
  for pair in 'xz \xfd\x37\x7a\x58\x5a\x00' 'zstd \x28\xb5\x2f\xfd'; do
    offset="$(LC_ALL=C grep -obUaP "${pair#* }" "$from" | head -n 1 | cut -d: -f1)"
    [ -n "$offset" ] || continue
    # The compressed stream is followed by more of the image, which the decompressor refuses
    # after it has written the whole kernel.
    tail -c +$((offset + 1)) "$from" | "${pair%% *}" -dcq >"$part" 2>/dev/null || true
    if [ "$(head -c 4 "$part" | od -An -c | tr -d ' ')" = '177ELF' ]; then
      mv "$part" "$to"
      return 0
    fi
  done
  rm -f "$part"
  return 1
}

current() {
  [ -f "$cache/current" ] || return 1
  local dir
  dir="$cache/$(cat "$cache/current")"
  [ -f "$dir/vmlinuz" ] && [ -f "$dir/deps" ] || return 1
  # Folders fetched before the kernel was unpacked get it now, without the network.
  [ -f "$dir/vmlinux" ] || [ -f "$dir/vmlinux.none" ] || unpack_kernel "$dir/vmlinuz" "$dir/vmlinux" ||
    touch "$dir/vmlinux.none"
  echo "$dir"
}

if current; then exit 0; fi

exec 9>"$cache/.lock"
flock -w 600 9 || fail "timed out waiting for another fetch into $cache"
# Another process may have finished the fetch while this one waited.
if current; then exit 0; fi

command -v apt-get >/dev/null || fail "apt-get not found: no Debian kernel to fetch"
package="$(apt-cache depends linux-image-amd64 2>/dev/null |
  awk '$1 == "Depends:" && $2 ~ /^linux-image-[0-9]/ && !n++ { print $2 }' || true)"
[ -n "$package" ] || fail "apt knows no linux-image-amd64 (run apt-get update once)"

work="$(mktemp -d "$cache/fetch.XXXXXX")"
trap 'rm -rf "$work"' EXIT
if ! (cd "$work" && apt-get download -q "$package") >"$work/apt.log" 2>&1; then
  fail "apt-get download $package failed: $(sed -n 's/^E: //p' "$work/apt.log" | head -n 1 | sed 's/ [a-z]*:\/\/[^ ]* */: /')"
fi
deb="$(find "$work" -maxdepth 1 -name '*.deb' | head -n 1)"
mkdir "$work/x"
dpkg-deb -x "$deb" "$work/x" || fail "cannot unpack $deb"

moddir="$(find "$work/x/lib/modules" -mindepth 1 -maxdepth 1 -type d 2>/dev/null | head -n 1)"
vmlinuz="$(find "$work/x/boot" -name 'vmlinuz-*' 2>/dev/null | head -n 1)"
if [ -z "$moddir" ] || [ -z "$vmlinuz" ]; then fail "$package holds no kernel or no modules"; fi

out="$work/out"
mkdir -p "$out/modules"
cp "$vmlinuz" "$out/vmlinuz"

# Module name -> file, for the whole tree; "-" and "_" are the same in module names.
declare -A file_of
while IFS= read -r f; do
  name="$(basename "$f")"
  name="${name%%.ko*}"
  file_of["${name//-/_}"]="$f"
done < <(find "$moddir" -name '*.ko*')

# Decompresses one module into out/modules (busybox insmod takes plain ELF only) and prints
# its dependencies.
take() {
  local f="$1" name dest
  name="$(basename "$f")"
  name="${name%%.ko*}"
  dest="$out/modules/$name.ko"
  case "$f" in
    *.ko.xz) xz -dc "$f" >"$dest" ;;
    *.ko.zst) zstd -qdc "$f" >"$dest" ;;
    *.ko.gz) gzip -dc "$f" >"$dest" ;;
    *) cp "$f" "$dest" ;;
  esac
  echo "$name: $(tr '\0' '\n' <"$dest" | sed -n 's/^depends=//p' | head -n 1 | tr ',' ' ')" >>"$out/deps"
  tr '\0' '\n' <"$dest" | sed -n 's/^depends=//p' | head -n 1 | tr ',' '\n'
}

: >"$out/deps"
declare -A taken
queue=()
for d in "${keep_dirs[@]}"; do
  while IFS= read -r f; do queue+=("$f"); done < <(find "$moddir/$d" -name '*.ko*' 2>/dev/null)
done
while [ ${#queue[@]} -gt 0 ]; do
  f="${queue[0]}"
  queue=("${queue[@]:1}")
  name="$(basename "$f")"
  name="${name%%.ko*}"
  [ -z "${taken[$name]:-}" ] || continue
  taken[$name]=1
  while IFS= read -r dep; do
    [ -n "$dep" ] || continue
    [ -n "${file_of[${dep//-/_}]:-}" ] || fail "module $name needs $dep, which $package lacks"
    queue+=("${file_of[${dep//-/_}]}")
  done < <(take "$f")
done

version="$(basename "$deb" .deb)"
rm -rf "${cache:?}/$version"
mv "$out" "$cache/$version"
echo "$version" >"$cache/current"
echo "qemu-kernel: fetched $package into $cache/$version" >&2
current
