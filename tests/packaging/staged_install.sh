#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a staging folder (DESTDIR) and checks the tree an installation would get: the
# files and their modes, the library's SONAME, links and exports, no RPATH, corvel.pc and the CMake
# package resolving into the staged layout (a C program built with pkg-config's flags, the example built
# with find_package(Corvel) and run against the staged velq-sim), and the desktop integration.
# Environment: BUILD_DIR PREFIX BINDIR LIBDIR INCLUDEDIR DATADIR MANDIR VERSION SOURCE_DIR
source "$(dirname "$0")/stage.sh"

lib=$root/$LIBDIR
mode_is() { [ "$(stat -c %a "$2")" = "$1" ]; }
link_is() { [ -L "$2" ] && [ "$(readlink "$2")" = "$1" ]; }
has_no_runpath() { ! readelf -d "$1" | grep -qE 'RPATH|RUNPATH'; }

# The library: the real file, the SONAME link, the development link; the SONAME; only the exports.
# Debian policy: shared libraries are not executable.
check "libcorvel.so.$VERSION installed, mode 644" mode_is 644 "$lib/libcorvel.so.$VERSION"
check "libcorvel.so.1 -> libcorvel.so.$VERSION" link_is "libcorvel.so.$VERSION" "$lib/libcorvel.so.1"
check "libcorvel.so -> libcorvel.so.1" link_is libcorvel.so.1 "$lib/libcorvel.so"
soname=$(readelf -d "$lib/libcorvel.so.$VERSION" | sed -nE 's/.*\(SONAME\).*\[(.*)\]/\1/p')
check "SONAME is libcorvel.so.1 (found: $soname)" test "$soname" = libcorvel.so.1
exports=$(nm -D --defined-only "$lib/libcorvel.so.$VERSION" | awk '$2 ~ /^[TDBRWV]$/ {print $3}')
check "52 exports, all Velq* ($(echo "$exports" | wc -l) found)" \
  test "$(echo "$exports" | grep -c '^Velq')" -eq 52 -a "$(echo "$exports" | grep -vc '^Velq')" -eq 0

# Headers and the SDK files.
for header in corvel.h window.h record_times.h; do
  check "include/corvel/$header, mode 644" mode_is 644 "$root/$INCLUDEDIR/corvel/$header"
done
for file in pkgconfig/corvel.pc cmake/Corvel/CorvelConfig.cmake cmake/Corvel/CorvelConfigVersion.cmake \
  cmake/Corvel/CorvelTargets.cmake; do
  check "$LIBDIR/$file, mode 644" mode_is 644 "$lib/$file"
done

# Programs: executable, no RPATH (the system's search path finds the library).
programs=(velq velq-sim)
[ -e "$root/$BINDIR/tavrin" ] && programs+=(tavrin)
for program in "${programs[@]}"; do
  check "bin/$program, mode 755" mode_is 755 "$root/$BINDIR/$program"
  check "bin/$program has no RPATH" has_no_runpath "$root/$BINDIR/$program"
  check "man1/$program.1.gz, mode 644" mode_is 644 "$root/$MANDIR/man1/$program.1.gz"
  warnings=$(man --warnings -l "$root/$MANDIR/man1/$program.1.gz" 2>&1 >/dev/null || echo "man failed")
  check "man $program renders without warnings${warnings:+: $warnings}" test -z "$warnings"
done
check "libcorvel has no RPATH" has_no_runpath "$lib/libcorvel.so.$VERSION"
writable=$(find "$stage" -perm /022 ! -type l)
check "nothing group- or world-writable${writable:+: $writable}" test -z "$writable"

# corvel.pc: its prefix is the configured one, and its flags, read with the staging folder as sysroot,
# build and link a C program that runs on the staged library.
export PKG_CONFIG_PATH=$lib/pkgconfig PKG_CONFIG_SYSROOT_DIR=$stage
pc_prefix=$(sed -n "s/^prefix=//p" "$lib/pkgconfig/corvel.pc")
check "corvel.pc prefix is $PREFIX (found: $pc_prefix)" test "$pc_prefix" = "$PREFIX"
check "corvel.pc version is $VERSION" test "$(pkg-config --modversion corvel)" = "$VERSION"
cat >"$scratch/version.c" <<'C'
#include <corvel/corvel.h>
#include <stdio.h>
int main(void) {
    printf("%d\n", VelqApp_GetVersion());
    return 0;
}
C
# shellcheck disable=SC2046
if cc -o "$scratch/version" "$scratch/version.c" $(pkg-config --cflags --libs corvel) 2>"$scratch/cc.log"; then
  check "C program built with pkg-config's flags prints the version" \
    test "$("$scratch/version")" = 858796374
else
  cat "$scratch/cc.log"
  fail "C program built with pkg-config's flags"
fi
unset PKG_CONFIG_PATH PKG_CONFIG_SYSROOT_DIR

# The CMake package: the installed example, configured with the staged prefix only, builds and lists the
# staged simulator's fleet; it links the staged library.
start_sim
example=$root/$DATADIR/doc/tavrin/examples/list_devices
if cmake -S "$example" -B "$scratch/example" -G Ninja -DCMAKE_PREFIX_PATH="$root" >"$scratch/example.log" 2>&1 &&
  cmake --build "$scratch/example" >>"$scratch/example.log" 2>&1; then
  echo "ok: the example builds with find_package(Corvel) against the staged SDK"
  listed=$("$scratch/example/list_devices" 127.0.0.1 "$sim_tcp" "$sim_udp" 2>&1) || true
  echo "$listed"
  check "the example lists the simulator's 8 devices" grep -qx '8 devices' <<<"$listed"
  check "the example links the staged libcorvel" \
    grep -q "libcorvel.so.1 => $lib/libcorvel.so.1" <<<"$(ldd "$scratch/example/list_devices")"
else
  cat "$scratch/example.log"
  fail "the example builds with find_package(Corvel) against the staged SDK"
fi
# The package's version: compatible within major version 1 only.
mkdir -p "$scratch/versions"
cat >"$scratch/versions/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.16)
project(versions NONE)
find_package(Corvel 1.0 REQUIRED)
find_package(Corvel 2 QUIET)
if(Corvel_FOUND)
  message(FATAL_ERROR "Corvel ${Corvel_VERSION} claims to satisfy version 2")
endif()
CMAKE
check "find_package(Corvel 1.0) succeeds, find_package(Corvel 2) does not" \
  cmake -S "$scratch/versions" -B "$scratch/versions/build" -DCMAKE_PREFIX_PATH="$root" -DCMAKE_FIND_PACKAGE_NO_PACKAGE_REGISTRY=ON

devices=$("$root/$BINDIR/velq" devices --tcp-port "$sim_tcp" --udp-port "$sim_udp" 2>&1) || true
check "staged velq devices lists the fleet" grep -q '^MDVR-10001 ' <<<"$devices"

# The client's desktop integration, when the client is installed.
if [ -e "$root/$BINDIR/tavrin" ]; then
  id=org.corvel.Tavrin
  desktop=$root/$DATADIR/applications/$id.desktop
  metainfo=$root/$DATADIR/metainfo/$id.metainfo.xml
  check "desktop entry validates" desktop-file-validate "$desktop"
  check "metainfo validates" appstreamcli validate --no-net "$metainfo"
  check "desktop entry starts tavrin with a file" grep -qx 'Exec=tavrin %f' "$desktop"
  check "desktop entry offers tavrin for AVI recordings" grep -qx 'MimeType=video/x-msvideo;' "$desktop"
  check "metainfo launches the desktop entry" grep -q "<launchable type=\"desktop-id\">$id.desktop<" "$metainfo"
  check "metainfo's newest release is $VERSION" grep -q "<release version=\"$VERSION\"" "$metainfo"
  check "Debian changelog's version is $VERSION" grep -q "^tavrin ($VERSION)" "$SOURCE_DIR/packaging/debian/changelog"
  # Width and height: the first two 32-bit big-endian words of the PNG's header chunk.
  png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{print ($1*16777216+$2*65536+$3*256+$4) "x" ($5*16777216+$6*65536+$7*256+$8)}'; }
  for size in 48 128 256; do
    icon=$root/$DATADIR/icons/hicolor/${size}x$size/apps/$id.png
    check "icon ${size}x$size is a $size px PNG" test "$(png_size "$icon" 2>/dev/null)" = "${size}x$size"
  done
  check "scalable icon" grep -q '<svg' "$root/$DATADIR/icons/hicolor/scalable/apps/$id.svg"
  check "language files in share/tavrin/Language" \
    test -n "$(find "$root/$DATADIR/tavrin/Language" -name '*.ini' 2>/dev/null)"
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
