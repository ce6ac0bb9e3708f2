#!/bin/sh
# Side by side: drains a 10 MB stream over a pseudo-terminal through this
# program and, where installed, CuteCom, GTKTerm and picocom, and prints a
# table of bytes per second drained, CPU seconds per MB and resident memory
# after the stream (see drain.py for how each figure is taken). GUI programs
# run under xvfb-run. CI does not run it: it measures whatever is installed.
#
# Usage: bench/peers/run.sh [BUILD_DIR]   (default: build)
#   MEGABYTES=N    stream size (default 10)
# Ends with one line: <name>_bps=N <name>_cpu_s_per_mb=F <name>_rss_mb=F ...
# (-1 for a program that was skipped).
set -u
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=${1:-$repo/build}
megabytes=${MEGABYTES:-10}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
results="$work/results"
: >"$results"

have() { command -v "$1" >/dev/null 2>&1; }

# GUI programs: under xvfb-run, the program itself writes its pid.
gui() {
  if ! have xvfb-run; then
    echo "name=$1 skipped=no_xvfb-run" >>"$results"
    return
  fi
  name=$1
  shift
  python3 "$here/drain.py" "$name" "$megabytes" -- \
    xvfb-run -a -s "-screen 0 1280x1024x24" \
    sh -c 'echo $$ >"$0"; exec "$@"' "{pidfile}" "$@" >>"$results"
}

# This program: the port and automatic connection come from the registry
# file under a temporary XDG_CONFIG_HOME; the port path is known only once
# drain.py has made the pty, so the hive is written by a small wrapper.
if [ -x "$build/RiriredOz" ]; then
  cat >"$work/riri.sh" <<'EOF'
#!/bin/sh
# $1 port, $2 pidfile, $3 program, $4 config directory
mkdir -p "$4/RiriredOZ"
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dravel\\RiriredOZ]\r\n"Port"="%s"\r\n"AutoConectar"=dword:00000001\r\n\r\n' \
  "$1" >"$4/RiriredOZ/HKEY_LOCAL_MACHINE.reg"
echo $$ >"$2"
XDG_CONFIG_HOME="$4" exec "$3"
EOF
  chmod +x "$work/riri.sh"
  if have xvfb-run; then
    python3 "$here/drain.py" RiriredOz "$megabytes" -- \
      xvfb-run -a -s "-screen 0 1280x1024x24" \
      "$work/riri.sh" "{port}" "{pidfile}" "$build/RiriredOz" "$work/config" >>"$results"
  fi
  QT_QPA_PLATFORM=offscreen python3 "$here/drain.py" RiriredOz_offscreen "$megabytes" -- \
    "$work/riri.sh" "{port}" "{pidfile}" "$build/RiriredOz" "$work/config-offscreen" >>"$results"
else
  echo "name=RiriredOz skipped=not_built_in_$build" >>"$results"
fi

# CuteCom has no option to open a port: its default session names the device
# with automatic reconnection; the run is skipped when the port stays closed.
if have cutecom; then
  mkdir -p "$work/cutecom/CuteCom"
  cat >"$work/cutecom.sh" <<'EOF'
#!/bin/sh
# $1 port, $2 pidfile, $3 config directory
printf '[sessions]\n1\\BaudRate=115200\n1\\DataBits=8\n1\\Device=%s\n1\\FlowControl=0\n1\\OpenMode=3\n1\\Parity=0\n1\\StopBits=1\n1\\autoReconnect=true\n1\\name=Default\nsize=1\n' \
  "$1" >"$3/CuteCom/CuteCom5.conf"
echo $$ >"$2"
XDG_CONFIG_HOME="$3" exec cutecom
EOF
  chmod +x "$work/cutecom.sh"
  if have xvfb-run; then
    python3 "$here/drain.py" CuteCom "$megabytes" -- xvfb-run -a \
      "$work/cutecom.sh" "{port}" "{pidfile}" "$work/cutecom" >>"$results"
  else
    echo "name=CuteCom skipped=no_xvfb-run" >>"$results"
  fi
else
  echo "name=CuteCom skipped=not_installed" >>"$results"
fi

if have gtkterm; then
  gui GTKTerm gtkterm -L -p "{port}" -s 115200
else
  echo "name=GTKTerm skipped=not_installed" >>"$results"
fi

# picocom prints to its terminal: it gets one from script(1), whose output
# is thrown away.
if have picocom && have script; then
  python3 "$here/drain.py" picocom "$megabytes" -- \
    script -qfec "echo \$\$ >{pidfile}; exec picocom -q -b 115200 {port}" /dev/null >>"$results"
else
  echo "name=picocom skipped=not_installed" >>"$results"
fi

python3 - "$results" <<'EOF'
import sys
rows = [dict(f.split("=", 1) for f in line.split()) for line in open(sys.argv[1]) if line.strip()]
print(f"{'program':<22}{'bytes/s drained':>18}{'CPU s per MB':>15}{'RSS after (MB)':>16}")
keys = []
for r in rows:
    n = r["name"]
    if "skipped" in r:
        print(f"{n:<22}  skipped: {r['skipped'].replace('_', ' ')}")
        keys += [f"{n}_bps=-1", f"{n}_cpu_s_per_mb=-1", f"{n}_rss_mb=-1"]
        continue
    print(f"{n:<22}{int(r['bytes_per_s']):>18,}{float(r['cpu_s_per_mb']):>15.3f}{float(r['rss_mb']):>16.1f}")
    keys += [f"{n}_bps={r['bytes_per_s']}", f"{n}_cpu_s_per_mb={r['cpu_s_per_mb']}",
             f"{n}_rss_mb={r['rss_mb']}"]
print(" ".join(keys))
EOF
