#!/usr/bin/env python3
"""Drains a stream through one serial monitor over a pseudo-terminal.

Usage: drain.py NAME MEGABYTES -- COMMAND...
COMMAND may hold {port} (the pty's slave path) and {pidfile} (a file the
command must write the monitor's process id into; without {pidfile} the
started process itself is measured).

The writer keeps the master side. It waits until the monitor has opened the
slave (the master stops reporting a hang-up) and then 2 s more for the
program to settle, and writes the bytes with blocking writes: the pty holds
only a few KB, so the writes complete only as fast as the monitor reads, and
the writer's time is the drain rate. The monitor's CPU time (all its
threads, /proc/PID/stat) is read before and after; its resident memory after
the stream. Prints one line:
  name=NAME bytes_per_s=N cpu_s_per_mb=F rss_mb=F
or name=NAME skipped=REASON.
"""
import os
import pty
import select
import signal
import subprocess
import sys
import tempfile
import termios
import time
import tty


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # utime and stime are fields 14 and 15 of the whole line.
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def rss_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    return -1.0


def hung_up(master):
    p = select.poll()
    p.register(master, select.POLLIN | select.POLLHUP)
    for _, events in p.poll(0):
        if events & select.POLLHUP:
            return True
    return False


def main():
    name, megabytes = sys.argv[1], float(sys.argv[2])
    command = sys.argv[sys.argv.index("--") + 1:]
    master, slave = pty.openpty()
    tty.setraw(slave)
    tty.setraw(master)
    port = os.ttyname(slave)
    os.close(slave)  # from now on a hang-up shows while nobody has it open
    pidfile = tempfile.NamedTemporaryFile(prefix="drain-pid-", delete=False).name
    command = [c.replace("{port}", port).replace("{pidfile}", pidfile) for c in command]
    uses_pidfile = any(pidfile in c for c in command)
    proc = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        deadline = time.monotonic() + 20
        while hung_up(master):
            if proc.poll() is not None or time.monotonic() > deadline:
                print(f"name={name} skipped=did_not_open_the_port")
                return
            time.sleep(0.05)
        time.sleep(2)
        pid = proc.pid
        if uses_pidfile:
            with open(pidfile) as f:
                pid = int(f.read().strip())
        block = bytes((i * 7 + 13) & 0xFF for i in range(65536))
        total = int(megabytes * 1_000_000)
        cpu_before = cpu_seconds(pid)
        start = time.monotonic()
        sent = 0
        while sent < total:
            n = os.write(master, block[: min(len(block), total - sent)])
            sent += n
        termios.tcdrain(master)
        elapsed = time.monotonic() - start
        cpu = cpu_seconds(pid) - cpu_before
        time.sleep(1)
        print(f"name={name} bytes_per_s={total / elapsed:.0f} "
              f"cpu_s_per_mb={cpu / (total / 1e6):.4f} rss_mb={rss_mb(pid):.1f}")
    finally:
        try:
            os.killpg(proc.pid, signal.SIGTERM)
            proc.wait(timeout=10)
        except (ProcessLookupError, subprocess.TimeoutExpired):
            os.killpg(proc.pid, signal.SIGKILL)
        os.close(master)
        os.unlink(pidfile)


if __name__ == "__main__":
    main()
