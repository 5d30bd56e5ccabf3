# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the staged-install tests (sourced): installs the build into a scratch DESTDIR and starts
# velq-sim from it. Expects BUILD_DIR, PREFIX, BINDIR, LIBDIR (relative to PREFIX) in the environment.
set -euo pipefail

scratch=$(mktemp -d "${TMPDIR:-/tmp}/corvel-stage.XXXXXX")
sim_pid=""
pids_to_stop=()  # further processes a test started, killed when it ends
cleanup() {
  for pid in "${pids_to_stop[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() { local what=$1; shift; if "$@"; then echo "ok: $what"; else fail "$what"; fi; }

stage=$scratch/stage
root=$stage$PREFIX  # the prefix as it lies in the staging folder
DESTDIR=$stage cmake --install "$BUILD_DIR" >"$scratch/install.log" 2>&1 ||
  { cat "$scratch/install.log"; echo "FAIL: cmake --install"; exit 1; }
# The staged programs find the staged library as an installed one would find it in the system's path.
export LD_LIBRARY_PATH=$root/$LIBDIR

# Starts the staged velq-sim on ports the kernel picks; sets sim_tcp and sim_udp.
start_sim() {
  local ports=$scratch/ports
  "$root/$BINDIR/velq-sim" --tcp-port 0 --udp-port 0 --ports-file "$ports" --quiet >/dev/null &
  sim_pid=$!
  for _ in $(seq 100); do
    [ -s "$ports" ] && break
    kill -0 "$sim_pid" 2>/dev/null || { echo "FAIL: velq-sim exited"; exit 1; }
    sleep 0.1
  done
  read -r sim_tcp sim_udp _ <"$ports"  # further fields may follow
}
