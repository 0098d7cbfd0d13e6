#!/usr/bin/env bash
# scripts/windows-check.sh [CONFIG...]   (builds in build-windows-CONFIG, or $CH_WINDOWS_BUILD-CONFIG)
# Builds the library and the programs for Windows with Debian's MinGW-w64 cross compilers
# against the host's Qt headers, as Debian has no Qt built for MinGW. CONFIG is qt5 (64-bit), qt6 (64-bit) or
# qt5-i686 (32-bit, where the vendors' __stdcall entry points and decorated names are used);
# all three by default. For each:
#  1. compile: every source that the CMake lists pick for WIN32 (*_win.cpp instead of
#     *_unix.cpp) is compiled with warnings as errors, and every *_win.cpp of the library must be
#     among them; the library and velmora in each configuration, in the first one also zaplsim,
#     zapl and the examples;
#  2. link: velmora.dll and commandhandler.dll (and in the first configuration the programs) are
#     linked by the MinGW linker with its Windows system libraries, against an import library for
#     the Qt symbols the objects name (those the host's Qt exports), so a symbol that is used but
#     defined only for Linux fails here;
#  3. in the first configuration, clang-tidy (the checks in .clang-tidy) over the *_win.cpp
#     files, which scripts/tidy.sh cannot reach from a Linux build, through the same compile
#     commands with clang in place of the cross compiler.
# Left unchecked: Windows' own Qt headers (its qconfig.h, features and Windows-only
# declarations); that the Qt symbols used exist in Windows' Qt (they are matched against the
# host's Qt by name); the tests and benchmarks; and everything at run time.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
configs=("$@")
[ ${#configs[@]} -gt 0 ] || configs=(qt5 qt6 qt5-i686)

# Writes the .def of an import library for the Qt symbols that the objects use but do not define.
qt_def()
{
  python3 - "$@" << 'PY'
import glob, subprocess, sys

qt, arch, out = sys.argv[1], sys.argv[2], sys.argv[3]
objects = sys.argv[4:]
# On 32-bit Windows every C and C++ symbol carries a leading underscore.
lead = '_' if arch == 'i686' else ''

def strip(name):
    return name[len(lead):] if lead and name.startswith(lead) else name

undefined, defined = set(), set()
for obj in objects:
    listing = subprocess.run([arch + '-w64-mingw32-nm', '-P', obj], capture_output=True, text=True, check=True)
    for line in listing.stdout.splitlines():
        fields = line.split()
        if len(fields) < 2:
            continue
        name, kind = fields[0], fields[1]
        if kind == 'U':
            undefined.add(name)
        elif kind.isupper():
            defined.add(strip(name))
wanted = set()
for name in undefined:
    name = strip(name[len('__imp_'):]) if name.startswith('__imp_') else strip(name)
    if name not in defined:
        wanted.add(name)

exported = {}
for library in glob.glob('/usr/lib/x86_64-linux-gnu/libQt%s*.so.%s' % (qt, qt)):
    listing = subprocess.run(['nm', '-D', '--defined-only', library], capture_output=True, text=True, check=True)
    for line in listing.stdout.splitlines():
        fields = line.split()
        if len(fields) == 3:
            exported[fields[2].split('@')[0]] = fields[1] not in 'TtWi'  # True: data

def demangle(names):
    result = subprocess.run(['c++filt'], input='\n'.join(names), capture_output=True, text=True, check=True)
    return dict(zip(names, result.stdout.splitlines()))

def qt_name(text):
    # The name without its parameter list: the integer type of size_t differs between Linux
    # and Windows, so a Qt function is matched by name. Operators are matched exactly, as the
    # library defines some of its own.
    cut = text.find('(')
    name = text[:cut] if cut > 0 else text
    return name if name[:1] in ('Q', 'q') and 'operator' not in name else None

by_name = {}
for symbol, text in demangle(sorted(exported)).items():
    name = qt_name(text)
    if name:
        by_name.setdefault(name, exported[symbol])
lines = []
for symbol, text in sorted(demangle(sorted(wanted)).items()):
    if symbol in exported:
        data = exported[symbol]
    else:
        name = qt_name(text)
        if name not in by_name:
            continue
        data = by_name[name]
    lines.append(symbol + (' DATA' if data else ''))
with open(out, 'w') as f:
    f.write('LIBRARY Qt%sHost.dll\nEXPORTS\n' % qt + ''.join(line + '\n' for line in lines))
print('windows-check: %d Qt symbols taken from the host Qt %s' % (len(lines), qt))
PY
}

# Writes a compilation database for clang-tidy: the *_win.cpp entries of a build's commands,
# with clang for the cross compiler and the cross compiler's C++ library headers.
tidy_database()
{
  python3 - "$@" << 'PY'
import json, os, shlex, subprocess, sys

commands, arch, out = sys.argv[1], sys.argv[2], sys.argv[3]
compiler = arch + '-w64-mingw32-g++-posix'
probe = subprocess.run([compiler, '-xc++', '-E', '-v', '-'], input='', capture_output=True, text=True, check=True)
search, inside = [], False
for line in probe.stderr.splitlines():
    if line.startswith('#include <...>'):
        inside = True
    elif line.startswith('End of search list'):
        break
    elif inside and ('/c++' in line or line.strip().endswith('-w64-mingw32/include')):
        search += ['-isystem', os.path.normpath(line.strip())]
clang = ['clang++', '--target=%s-w64-mingw32' % arch] + search
entries = []
for entry in json.load(open(commands)):
    if not entry['file'].endswith('_win.cpp'):
        continue
    args = shlex.split(entry['command'])
    while not args[0].endswith(compiler):
        args.pop(0)  # a compiler launcher
    # The one option of the cross compiler that clang does not know.
    entry['command'] = shlex.join(clang + [a for a in args[1:] if a != '-fno-keep-inline-dllexport'])
    entries.append(entry)
os.makedirs(out, exist_ok=True)
with open(os.path.join(out, 'compile_commands.json'), 'w') as f:
    json.dump(entries, f, indent=1)
PY
}

# Prints "target<tab>source<tab>object" for each file that the build's compile commands hold,
# so that objects left in the build tree by sources since removed do not count.
compiled()
{
  python3 - "$1" << 'PY'
import json, os, re, shlex, sys

build = sys.argv[1]
for entry in json.load(open(os.path.join(build, 'compile_commands.json'))):
    args = shlex.split(entry['command'])
    obj = os.path.normpath(os.path.join(entry['directory'], args[args.index('-o') + 1]))
    target = re.search(r'/CMakeFiles/([^/]+)\.dir/', obj).group(1)
    print('\t'.join((target, entry['file'], obj)))
PY
}

# The objects of one target, from the lines of compiled().
of()
{
  awk -F'\t' -v t="$1" '$1 == t { print $3 }' <<< "$files"
}

for config in "${configs[@]}"; do
  case "$config" in
  qt5) qt=5 arch=x86_64 ;;
  qt6) qt=6 arch=x86_64 ;;
  qt5-i686) qt=5 arch=i686 ;;
  *) echo "windows-check: unknown configuration $config (qt5, qt6, qt5-i686)" >&2; exit 2 ;;
  esac
  dir="${CH_WINDOWS_BUILD:-$root/build-windows}-$config"
  first=0
  [ "$config" = "${configs[0]}" ] && first=1
  targets=(commandhandler_static velmora)
  [ "$first" -eq 1 ] && targets=() # all: the library, velmora, zaplsim, zapl and the examples
  echo "== Windows $arch, Qt $qt headers: compile"
  "$root/scripts/build.sh" "$dir" -Wno-dev -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-check.cmake" \
    -DCH_MINGW_ARCH="$arch" -DCH_QT_VERSION="$qt" -DCH_WERROR=ON -DCH_BUILD_TESTS=OFF -- "${targets[@]}"

  files="$(compiled "$dir")"
  mapfile -t windows_sources < <(find "$root/src" -name '*_win.cpp' ! -path "$root/src/sim/*" \
    ! -path "$root/src/velmora/*" | sort)
  missing=0
  for source in "${windows_sources[@]}"; do
    if ! grep -q -F "commandhandler_objects"$'\t'"$source"$'\t' <<< "$files"; then
      echo "windows-check: ${source#"$root/"} was not compiled for Windows" >&2
      missing=1
    fi
  done
  if grep -q $'_unix\\.cpp\t' <<< "$files"; then
    echo "windows-check: a *_unix.cpp file was compiled for Windows" >&2
    missing=1
  fi
  [ "$missing" -eq 0 ]
  mapfile -t library < <(of commandhandler_objects)
  mapfile -t velmora < <(of velmora)
  programs=()
  used=("${velmora[@]}" "${library[@]}")
  if [ "$first" -eq 1 ]; then
    mapfile -t programs < <(awk -F'\t' '$3 ~ /\/(tools|examples)\// { print $1 }' <<< "$files" | sort -u)
    mapfile -t sim < <(of zaplsim)
    used+=("${sim[@]}")
    for program in "${programs[@]}"; do
      mapfile -t objects < <(of "$program")
      used+=("${objects[@]}")
    done
  fi
  echo "windows-check: ${#library[@]} library objects (${#windows_sources[@]} *_win.cpp), ${#velmora[@]} velmora" \
    "objects${programs[*]:+, programs ${programs[*]}}"

  echo "== Windows $arch, Qt $qt headers: link"
  link="$dir/link-check"
  rm -rf "$link"
  mkdir -p "$link"
  qt_def "$qt" "$arch" "$link/qthost.def" "${used[@]}"
  cxx="$arch-w64-mingw32-g++-posix"
  "$arch-w64-mingw32-dlltool" -d "$link/qthost.def" -l "$link/libqthost.a"
  "$cxx" -shared -o "$link/velmora.dll" -Wl,--out-implib,"$link/libvelmora.dll.a" "${velmora[@]}" "$link/libqthost.a"
  "$cxx" -shared -o "$link/commandhandler.dll" -Wl,--out-implib,"$link/libcommandhandler.dll.a" "${library[@]}" \
    "$link/libvelmora.dll.a" "$link/libqthost.a"
  echo "windows-check: commandhandler.dll linked, importing from $("$arch-w64-mingw32-objdump" -p "$link/commandhandler.dll" \
    | sed -n 's/^\tDLL Name: //p' | tr '\n' ' ')"
  for program in "${programs[@]}"; do
    mapfile -t objects < <(of "$program")
    "$cxx" -o "$link/$program.exe" "${objects[@]}" "$dir/src/libzaplsim.a" "$link/libcommandhandler.dll.a" \
      "$link/libvelmora.dll.a" "$link/libqthost.a"
  done
  [ ${#programs[@]} -eq 0 ] || echo "windows-check: ${programs[*]} linked"

  [ "$first" -eq 1 ] || continue
  echo "== Windows $arch, Qt $qt headers: clang-tidy over the *_win.cpp files"
  mapfile -t tidy_sources < <(awk -F'\t' '$2 ~ /_win\.cpp$/ { print $2 }' <<< "$files" | sort -u)
  tidy_database "$dir/compile_commands.json" "$arch" "$dir/tidy"
  # Judged by its exit status; the counts of warnings it suppressed are left out of the log.
  (cd "$root" && clang-tidy -p "$dir/tidy" --quiet "${tidy_sources[@]}" 2>&1) \
    | { grep -v -E '^[0-9]+ warnings? generated\.$' || true; }
  echo "windows-check: ${#tidy_sources[@]} *_win.cpp files clean"
done
echo "windows-check: all passed (${configs[*]})"
