#!/usr/bin/env bash
# scripts/windows-check.sh [CONFIG...]
# Builds the library for Windows with Debian's MinGW-w64 cross compilers against the host's Qt
# headers, as Debian has no Qt built for MinGW. CONFIG is qt5 (64-bit), qt6 (64-bit) or
# qt5-i686 (32-bit, where the vendors' __stdcall entry points and decorated names are used);
# all three by default. For each:
#  1. compile: every source that src/CMakeLists.txt picks for WIN32 (*_win.cpp instead of
#     *_unix.cpp) is compiled with warnings as errors, and every *_win.cpp under src must be
#     among them;
#  2. link: velmora.dll and commandhandler.dll are linked by the MinGW linker with its Windows
#     system libraries, against an import library for the Qt symbols the objects name (those the
#     host's Qt exports), so a symbol the library uses but defines only for Linux fails here;
#  3. in the first configuration only, clang-tidy (the checks in .clang-tidy) over the *_win.cpp
#     files, which scripts/tidy.sh cannot reach from a Linux build, through the same compile
#     commands with clang in place of the cross compiler.
# Left unchecked: Windows' own Qt headers (its qconfig.h, features and Windows-only
# declarations); that the Qt symbols used exist in Windows' Qt (they are matched against the
# host's Qt by name); the programs zapl and zaplsim (POSIX pseudo-terminals and signals); the
# tests; and everything at run time.
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

for config in "${configs[@]}"; do
  case "$config" in
  qt5) qt=5 arch=x86_64 ;;
  qt6) qt=6 arch=x86_64 ;;
  qt5-i686) qt=5 arch=i686 ;;
  *) echo "windows-check: unknown configuration $config (qt5, qt6, qt5-i686)" >&2; exit 2 ;;
  esac
  dir="$root/build-windows-$config"
  echo "== Windows $arch, Qt $qt headers: compile"
  "$root/scripts/build.sh" "$dir" -Wno-dev -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-check.cmake" \
    -DCH_MINGW_ARCH="$arch" -DCH_QT_VERSION="$qt" -DCH_WERROR=ON -DCH_BUILD_TESTS=OFF \
    -- commandhandler_static velmora

  objects="$dir/src/CMakeFiles/commandhandler_objects.dir"
  mapfile -t windows_sources < <(find "$root/src" -name '*_win.cpp' ! -path "$root/src/sim/*" \
    ! -path "$root/src/velmora/*" | sort)
  missing=0
  for source in "${windows_sources[@]}"; do
    if [ ! -f "$objects/${source#"$root/src/"}.obj" ]; then
      echo "windows-check: ${source#"$root/"} was not compiled for Windows" >&2
      missing=1
    fi
  done
  if find "$objects" -name '*_unix.cpp.obj' | grep -q .; then
    echo "windows-check: a *_unix.cpp file was compiled for Windows" >&2
    missing=1
  fi
  [ "$missing" -eq 0 ]
  mapfile -t library < <(find "$objects" -name '*.obj' | sort)
  mapfile -t velmora < <(find "$dir/src/CMakeFiles/velmora.dir" -name '*.obj' | sort)
  echo "windows-check: ${#library[@]} library objects ($(find "$objects" -name '*_win.cpp.obj' | wc -l) *_win.cpp), ${#velmora[@]} velmora objects"

  echo "== Windows $arch, Qt $qt headers: link"
  link="$dir/link-check"
  rm -rf "$link"
  mkdir -p "$link"
  qt_def "$qt" "$arch" "$link/qthost.def" "${velmora[@]}" "${library[@]}"
  "$arch-w64-mingw32-dlltool" -d "$link/qthost.def" -l "$link/libqthost.a"
  "$arch-w64-mingw32-g++-posix" -shared -o "$link/velmora.dll" -Wl,--out-implib,"$link/libvelmora.dll.a" \
    "${velmora[@]}" "$link/libqthost.a"
  "$arch-w64-mingw32-g++-posix" -shared -o "$link/commandhandler.dll" "${library[@]}" "$link/libvelmora.dll.a" \
    "$link/libqthost.a"
  echo "windows-check: commandhandler.dll linked, importing from $("$arch-w64-mingw32-objdump" -p "$link/commandhandler.dll" \
    | sed -n 's/^\tDLL Name: //p' | tr '\n' ' ')"

  [ "$config" = "${configs[0]}" ] || continue
  echo "== Windows $arch, Qt $qt headers: clang-tidy over the *_win.cpp files"
  tidy_database "$dir/compile_commands.json" "$arch" "$dir/tidy"
  # Judged by its exit status; the counts of warnings it suppressed are left out of the log.
  (cd "$root" && clang-tidy -p "$dir/tidy" --quiet "${windows_sources[@]}" 2>&1) \
    | { grep -v -E '^[0-9]+ warnings? generated\.$' || true; }
  echo "windows-check: ${#windows_sources[@]} *_win.cpp files clean"
done
echo "windows-check: all passed (${configs[*]})"
