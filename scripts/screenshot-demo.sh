#!/usr/bin/env bash
# A developer's tool, not part of the tests: remakes docs/demo-run.png, the
# monitor during the live demo (./scripts/run-monitor.sh, unchanged) on a
# virtual X server of its own, taken while the verdict of the first run is in
# view. Needs ImageMagick's import and convert (installed here when missing).
#
#   ./scripts/screenshot-demo.sh [OUT.png]
#
# RIRIRED_SHOT_AFTER: seconds from the monitor's start to the picture
# (default 32: the demo's verdict comes about 30 s after the connect and
# stays about 5 s). RIRIRED_BUILD_DIR is passed on to run-monitor.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh imagemagick
out=${1:-docs/demo-run.png}
shot_after=${RIRIRED_SHOT_AFTER:-32}

work=$(mktemp -d "${TMPDIR:-/tmp}/ririredoz-shot.XXXXXX")
xvfb_pid=""
demo_pid=""
cleanup() {
  set +e
  [ -n "$demo_pid" ] && kill "$demo_pid" && wait "$demo_pid"
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" && wait "$xvfb_pid"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# A free display: Xvfb writes the number it took to the descriptor given.
Xvfb -displayfd 3 -screen 0 1024x700x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || { cat "$work/xvfb.log" >&2; echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"
unset WAYLAND_DISPLAY

./scripts/run-monitor.sh >"$work/demo.log" 2>&1 &
demo_pid=$!
# run-monitor.sh names the simulator's port just before it starts the monitor
# (after any build, which may take minutes).
until grep -q "fixture simulator on" "$work/demo.log"; do
  kill -0 "$demo_pid" 2>/dev/null || { cat "$work/demo.log" >&2; exit 1; }
  sleep 0.5
done
sleep "$shot_after"
import -window root "$work/root.png"
# The screen has no window manager: the window lies on black, cut it out.
convert "$work/root.png" -trim +repage "$out"
echo "wrote $out"
