#!/usr/bin/env bash
# The live demo: builds the monitor and the fixture simulator, starts the
# simulator on a pseudo-terminal playing a test run again and again, and
# starts the monitor connected to it in the "Ririred OZ" format with the
# elapsed time shown.
#
# The monitor gets a settings store of its own, in a temporary
# XDG_CONFIG_HOME removed at the end: the operator's settings
# (~/.config/RiriredOZ) are never read or written. Closing the window (or
# Ctrl+C) stops the simulator. Without a display ($DISPLAY and
# $WAYLAND_DISPLAY unset) the monitor runs on a virtual X server (xvfb-run),
# where nobody sees it: stop it with Ctrl+C.
#
# With a real fixture, start ./build/RiriredOz alone and choose the port in
# the setup dialog ("Configurar").
#
# RIRIRED_BUILD_DIR chooses another build tree than ./build.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build=${RIRIRED_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target RiriredOz fixture_sim catalogues

config=$(mktemp -d "${TMPDIR:-/tmp}/ririredoz-demo.XXXXXX")
sim_pid=""
monitor_pid=""
cleanup() {
  set +e
  trap - EXIT INT TERM
  [ -n "$monitor_pid" ] && kill "$monitor_pid" 2>/dev/null
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$config"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The simulator's standard input is a pipe from this script: should the
# script die without cleaning up, the pipe closes and the simulator stops.
# --wait-open holds each round until the monitor has the port open.
coproc SIM { exec "$build/tools/fixture_sim/fixture_sim" --wait-open --start-delay 1500 --loop; }
sim_pid=$SIM_PID
port=""
read -r -t 10 port <&"${SIM[0]}" || true
case "$port" in
  /dev/*) ;;
  *) echo "run-monitor: the fixture simulator gave no port" >&2; exit 1 ;;
esac

# The monitor's key, as the registry editor exports it: the simulator's
# port, format 3 ("Ririred OZ"), connect at start, page down, clear the log
# when a test starts, and the elapsed time before each report line.
mkdir -p "$config/RiriredOZ"
printf '%s\r\n' \
  'REGEDIT4' \
  '' \
  '[HKEY_LOCAL_MACHINE\SOFTWARE\Dravel\RiriredOZ]' \
  "\"Port\"=\"$port\"" \
  '"Formato"=dword:00000003' \
  '"AutoConectar"=dword:00000001' \
  '"AutoPageDown"=dword:00000001' \
  '"AutoLimparLog"=dword:00000001' \
  '"MostrarTempo"=dword:00000001' \
  '' >"$config/RiriredOZ/HKEY_LOCAL_MACHINE.reg"

monitor=("$build/RiriredOz")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run-monitor: no display; the monitor runs on a virtual X server (xvfb-run)." \
    "Stop it with Ctrl+C."
  monitor=(xvfb-run -a -s "-screen 0 1280x800x24" "${monitor[@]}")
fi
echo "run-monitor: fixture simulator on $port; a test run takes about 35 s and repeats."
XDG_CONFIG_HOME="$config" "${monitor[@]}" &
monitor_pid=$!
wait "$monitor_pid" || true
monitor_pid=""
