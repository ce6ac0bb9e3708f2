#!/usr/bin/env bash
# Builds the Debian package from a built tree, checks it with lintian (no
# error, no warning), unpacks it into a temporary root with dpkg -x, and
# starts the unpacked program offscreen, through its link in usr/bin, the way
# the desktop entry starts it. As root, it then installs the package with apt,
# asks the installed program its version, and purges the package again.
#
# How the test sees that the program finds the files it reads beside itself:
# the program prints nothing while it runs, so it runs under strace,
# which lists the files it opens and whether each open succeeded. Its
# settings (a registry file in a temporary XDG_CONFIG_HOME) make it connect at
# start to the unpacked fixture simulator in the "Ririred OZ" format; the
# simulator sends one report frame, and describing it opens RiriredOz.ini.
# With LANG=pt_BR.UTF-8 the port component's messages are translated at
# start, which opens locale/pt_BR/LC_MESSAGES/cport.mo. Both must be opened
# successfully at their places beside the real program.
# Usage: check-deb.sh CPACK BUILD_DIR WORK_DIR
set -euo pipefail
cpack=$1 build=$2 work=$3

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")
(cd "$build" && "$cpack" -G DEB -B "$work/out" >"$work/cpack.log") ||
  { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb in $work/out"
deb=${debs[0]}

command -v lintian >/dev/null || fail "lintian is not installed (scripts/install-deps.sh)"
lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 ||
  { cat "$work/lintian.log" >&2; fail "lintian found errors or warnings"; }

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for p in libqt6widgets6 libqt6core6; do
  grep -Eq "(^|, )$p( |,|$)" <<<"$depends" || fail "Depends lacks $p"
done

# The description file is kept across upgrades: a configuration file in /etc,
# which the program reads through a link beside itself.
[ "$(dpkg-deb -I "$deb" conffiles)" = /etc/ririredoz/RiriredOz.ini ] ||
  fail "RiriredOz.ini is not the package's configuration file"

root=$work/root
dpkg -x "$deb" "$root"
program_dir=$root/usr/lib/ririredoz
# The link beside the program names /etc absolutely; unpacked here, it is
# pointed at the unpacked file, as it resolves once installed.
[ "$(readlink "$program_dir/RiriredOz.ini")" = /etc/ririredoz/RiriredOz.ini ] ||
  fail "usr/lib/ririredoz/RiriredOz.ini is not a link to /etc/ririredoz/RiriredOz.ini"
ln -sfn "$root/etc/ririredoz/RiriredOz.ini" "$program_dir/RiriredOz.ini"
for f in RiriredOz RiriredOz.ini fixture_sim locale/pt_BR/LC_MESSAGES/cport.mo; do
  [ -f "$program_dir/$f" ] || fail "usr/lib/ririredoz/$f missing"
done
# The menu entry starts a program and shows an icon that the package holds.
desktop=$root/usr/share/applications/ririredoz.desktop
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
[ -x "$root/usr/bin/$exec_name" ] || fail "the desktop entry starts $exec_name, not in usr/bin"
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon_name.svg" ] ||
  fail "the desktop entry's icon $icon_name is not in the package"

# --- The unpacked program, started through usr/bin/ririredoz --------------
# Its command line answers without a display, before any window.
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=)
"${nodisplay[@]}" "$root/usr/bin/ririredoz" --help >"$work/help.out" &&
  grep -q '^Usage: ririredoz \[options\]' "$work/help.out" || fail "ririredoz --help, no display"
status=0
"${nodisplay[@]}" "$root/usr/bin/ririredoz" --format octal 2>"$work/bad.err" || status=$?
[ "$status" -eq 2 ] && grep -q -- '--format takes' "$work/bad.err" ||
  fail "ririredoz --format octal, no display: status $status, $(cat "$work/bad.err")"

sim_pid=""
prog_pid=""
tracer_pid=""
installed=""
apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 -y -qq "$@"; }
stop_unpacked() {
  set +e  # the program and strace end by SIGTERM, as asked
  [ -z "$prog_pid" ] && [ -s "$work/program.pid" ] && prog_pid=$(cat "$work/program.pid")
  [ -n "$prog_pid" ] && kill "$prog_pid" 2>/dev/null
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  [ -n "$tracer_pid" ] && wait "$tracer_pid" 2>/dev/null
  [ -n "$sim_pid" ] && wait "$sim_pid" 2>/dev/null
  prog_pid="" sim_pid="" tracer_pid=""
  set -e
}
cleanup() {
  stop_unpacked
  # The machine as it was: the package this test installed goes again.
  [ -n "$installed" ] && { apt_get purge ririredoz >"$work/apt-purge.log" 2>&1 ||
    { cat "$work/apt-purge.log" >&2; echo "FAIL: apt-get purge ririredoz" >&2; exit 1; }; }
  return 0
}
trap cleanup EXIT

printf 'frame 0x00 0x01\n' >"$work/one.fixture"
# As a fixture would, the simulator sends once the port is set up: bytes that
# reach a port before its settings are applied are dropped with the old ones.
coproc SIM { exec "$root/usr/bin/ririredoz-fixture-sim" --script "$work/one.fixture" --wait-open \
  --start-delay 500; }
sim_pid=$SIM_PID
port=""
read -r -t 10 port <&"${SIM[0]}" || true
[[ "$port" == /dev/* ]] || fail "the unpacked fixture simulator gave no port"

mkdir -p "$work/config/RiriredOZ"
printf '%s\r\n' 'REGEDIT4' '' '[HKEY_LOCAL_MACHINE\SOFTWARE\Dravel\RiriredOZ]' \
  "\"Port\"=\"$port\"" '"Formato"=dword:00000003' '"AutoConectar"=dword:00000001' '' \
  >"$work/config/RiriredOZ/HKEY_LOCAL_MACHINE.reg"

# sh records its own pid and becomes the program, so the test can stop the
# program itself (stopping strace would only detach it).
LANG=pt_BR.UTF-8 XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen \
  strace -ff -qq -s 4096 -e trace=openat,open -o "$work/opens" \
  sh -c 'echo $$ >"$1"; exec "$2"' sh "$work/program.pid" "$root/usr/bin/ririredoz" &
tracer_pid=$!

ini="\"$program_dir/RiriredOz.ini\""
mo="\"$program_dir/locale/pt_BR/LC_MESSAGES/cport.mo\""
# One file per thread (-ff), so that no other thread's call splits a line.
opened() { cat "$work"/opens.* 2>/dev/null | grep -F "$1" | grep -Eq '= [0-9]+$'; }
deadline=$((SECONDS + 30))
until opened "$ini" && opened "$mo"; do
  if [ $SECONDS -ge $deadline ] || ! kill -0 "$tracer_pid" 2>/dev/null; then
    echo "--- opens of the program's directory:" >&2
    cat "$work"/opens.* | grep -F "$program_dir" >&2 || true
    fail "the unpacked program did not open both RiriredOz.ini and cport.mo beside itself"
  fi
  sleep 0.2
done
echo "The unpacked program opened:"
cat "$work"/opens.* | grep -F -e "$ini" -e "$mo" | grep -E '= [0-9]+$' | sort -u
stop_unpacked

# --- Installed with apt, as the README says --------------------------------
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: installing the package with apt needs root"
  exit 0
fi
if dpkg-query -W -f='${Status}' ririredoz 2>/dev/null | grep -q "install ok installed"; then
  echo "SKIPPED: ririredoz is installed on this machine already; the test leaves it alone"
  exit 0
fi
installed=1
apt_get install "$deb" >"$work/apt-install.log" 2>&1 ||
  { cat "$work/apt-install.log" >&2; fail "apt-get install $deb"; }
[ "$(command -v ririredoz)" = /usr/bin/ririredoz ] || fail "ririredoz is not /usr/bin/ririredoz"
version=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= ririredoz --version) ||
  fail "the installed ririredoz --version failed"
[ "$version" = "ririredoz $(dpkg-deb -f "$deb" Version)" ] ||
  fail "the installed ririredoz --version says \"$version\""
[ "$(readlink -e /usr/lib/ririredoz/RiriredOz.ini)" = /etc/ririredoz/RiriredOz.ini ] ||
  fail "the installed program's RiriredOz.ini does not lead to /etc/ririredoz/RiriredOz.ini"
echo "Installed with apt: $version"
