#!/bin/sh
# The CTest fixture of the COM-port tests of a Windows tree under Wine:
#   com-pair.sh start WINEPREFIX WORKDIR   links two pseudo-terminals with
#       socat and maps them as COM5 and COM6 of the Wine prefix (dosdevices);
#       a byte written to one comes out of the other, as on a null-modem cable
#   com-pair.sh stop WINEPREFIX WORKDIR    ends that socat and the mapping
# A small holder process keeps both pty slaves open all along: when the last
# user of a slave closes it, its master reads EIO, socat takes that for the
# end of the line and quits (dropping what it had not passed on yet), and the
# next test would find no pair. The holder reads nothing.
set -eu
action=$1 prefix=$2 work=$3
mkdir -p "$work" "$prefix/dosdevices"
case $action in
start)
  for pid in socat holder; do
    [ -f "$work/$pid.pid" ] && kill "$(cat "$work/$pid.pid")" 2>/dev/null || true
  done
  rm -f "$work/a" "$work/b"
  socat pty,raw,echo=0,link="$work/a" pty,raw,echo=0,link="$work/b" \
    </dev/null >"$work/socat.log" 2>&1 &
  echo $! >"$work/socat.pid"
  # Both links exist once socat has made its ptys; wait for them, not a time.
  tries=0
  until [ -L "$work/a" ] && [ -L "$work/b" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 500 ] || ! kill -0 "$(cat "$work/socat.pid")" 2>/dev/null; then
      echo "socat made no pty pair:" >&2
      cat "$work/socat.log" >&2
      exit 1
    fi
    sleep 0.01
  done
  # shellcheck disable=SC2016
  sh -c 'exec 3<>"$1" 4<>"$2"; exec sleep 1000000' holder "$work/a" "$work/b" \
    </dev/null >/dev/null 2>&1 &
  echo $! >"$work/holder.pid"
  ln -sfn "$(readlink -f "$work/a")" "$prefix/dosdevices/com5"
  ln -sfn "$(readlink -f "$work/b")" "$prefix/dosdevices/com6"
  echo "COM5 = $(readlink -f "$work/a"), COM6 = $(readlink -f "$work/b")"
  ;;
stop)
  for pid in holder socat; do
    [ -f "$work/$pid.pid" ] && kill "$(cat "$work/$pid.pid")" 2>/dev/null || true
    rm -f "$work/$pid.pid"
  done
  rm -f "$prefix/dosdevices/com5" "$prefix/dosdevices/com6"
  ;;
esac
