#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the staged (DESTDIR-installed) tavrin as a user with an empty HOME would: no TAVRIN_HOME, a
# clean environment, the offscreen platform. Checks that it finds its installed data, that --version
# answers, and that a real start which logs in to the staged velq-sim writes only under that HOME:
# Config.ini with mode 0600 in ~/.config/tavrin/, nothing under the prefix, nothing in the working folder.
# Environment: BUILD_DIR PREFIX BINDIR LIBDIR DATADIR VERSION
source "$(dirname "$0")/stage.sh"

tavrin=$root/$BINDIR/tavrin
[ -x "$tavrin" ] || { echo "FAIL: $tavrin was not installed"; exit 1; }

home=$scratch/home
work=$scratch/work
runtime=$scratch/runtime
temporary=$scratch/tmp
mkdir -p "$home" "$work" "$temporary"
mkdir -m 700 "$runtime"
# Every file of the staged installation with its size and time, to see whether a run changed any.
tree_state() { find "$stage" -printf '%p %s %T@ %m\n' | sort; }
before=$(tree_state)

as_user() {
  (cd "$work" && env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 XDG_RUNTIME_DIR="$runtime" TMPDIR="$temporary" \
    LD_LIBRARY_PATH="$LD_LIBRARY_PATH" QT_QPA_PLATFORM=offscreen CORVEL_SOUND_OUT=null CORVEL_SOUND_IN=null \
    QTWEBENGINE_CHROMIUM_FLAGS=--no-sandbox "$@")
}

version=$(as_user "$tavrin" --version 2>&1) && rc=0 || rc=$?
check "tavrin --version exits 0 (exit $rc)" test "$rc" -eq 0
check "tavrin --version prints $VERSION ($version)" grep -q "$VERSION" <<<"$version"
check "--version wrote nothing in HOME" test -z "$(find "$home" -mindepth 1 -print -quit)"

# A real start: the settings point at the staged simulator (kernel-picked ports), --login logs in, and
# a login writes the connection settings back to Config.ini. The file starts world-readable; holding
# the password, it must end 0600.
start_sim
config_dir=$home/.config/tavrin
mkdir -p "$config_dir"
printf '[Tavrin]\nCenterServer_Address=127.0.0.1\nCenterServer_TcpPort=%s\nCenterServer_UdpPort=%s\n' \
  "$sim_tcp" "$sim_udp" >"$config_dir/Config.ini"
chmod 644 "$config_dir/Config.ini"
command -v strace >/dev/null || { echo "FAIL: strace is missing (run scripts/setup)"; exit 1; }
trace=$scratch/trace.log
as_user strace -f -y -qq -o "$trace" \
  -e trace=openat,mkdir,mkdirat,rename,renameat,renameat2,unlink,unlinkat,rmdir,chmod,fchmodat,creat,truncate,symlink,symlinkat,link,linkat \
  "$tavrin" --login >"$scratch/tavrin.log" 2>&1 &
runner=$!
# The first process strace names is tavrin itself.
pid=""
for _ in $(seq 100); do
  pid=$(awk 'NR == 1 {print $1}' "$trace" 2>/dev/null || true)
  [ -n "$pid" ] && pids_to_stop+=("$pid") && break
  sleep 0.1
done
logged_in=no
for _ in $(seq 200); do
  if grep -q '^UserName=' "$config_dir/Config.ini"; then logged_in=yes; break; fi
  kill -0 "$runner" 2>/dev/null || break
  sleep 0.1
done
sleep 1
running=no
[ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && running=yes
[ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null || true
for _ in $(seq 100); do kill -0 "$runner" 2>/dev/null || break; sleep 0.1; done
[ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null || true
wait "$runner" 2>/dev/null || true
check "tavrin ran until stopped" test "$running" = yes
check "tavrin logged in and wrote the login to ~/.config/tavrin/Config.ini" test "$logged_in" = yes
check "Config.ini has mode 0600 (found $(stat -c %a "$config_dir/Config.ini"))" \
  test "$(stat -c %a "$config_dir/Config.ini")" = 600
check "Config.ini keeps the simulator's port" grep -q "^CenterServer_TcpPort=$sim_tcp" <(tr -d '\r' <"$config_dir/Config.ini")

# What the run wrote: only the user's own folders and the session's (runtime, temporary, devices).
written=$("$(dirname "$0")/written_paths.pl" "$trace" | sort -u)
outside_home=$(grep -vE "^($home|$runtime|$temporary)(/|\$)|^/(dev|proc|sys)/" <<<"$written" || true)
check "tavrin wrote only under HOME${outside_home:+: $(echo $outside_home)}" test -z "$outside_home"
data_read=$("$(dirname "$0")/written_paths.pl" --read "$trace" | grep "^$root/$DATADIR/tavrin/" | sort -u || true)
check "tavrin read its installed data from share/tavrin/" test -n "$data_read"
echo "installed data read:"
sed "s|^$root/|  |" <<<"$data_read" | head -n 20

after=$(tree_state)
changed=$(diff <(echo "$before") <(echo "$after") || true)
check "nothing under the prefix changed${changed:+: $changed}" test -z "$changed"
check "nothing written in the working folder" test -z "$(find "$work" -mindepth 1 -print -quit)"
check "no temporary files left" test -z "$(find "$temporary" -mindepth 1 -print -quit)"
outside=$(find "$scratch" -mindepth 1 -maxdepth 1 ! -name home ! -name work ! -name runtime ! -name tmp \
  ! -name stage ! -name ports ! -name install.log ! -name tavrin.log ! -name trace.log)
check "nothing written beside HOME${outside:+: $outside}" test -z "$outside"
for folder in Record Snapshot; do
  check "no $folder/ in the settings folder" test ! -e "$config_dir/$folder"
done
echo "files tavrin wrote under HOME:"
find "$home" -type f -printf '  %P (%m)\n' | sort
[ "$failures" -eq 0 ] || { echo "tavrin's output:"; cat "$scratch/tavrin.log"; }

echo "$failures failed"
[ "$failures" -eq 0 ]
