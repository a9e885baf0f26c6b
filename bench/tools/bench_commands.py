#!/usr/bin/env python3
"""Each mvcomm command over a pseudo-terminal against mvcomm-sim, in real time.

For every command it reports the wall time against the time the protocol
mandates for that very run, and the host's CPU time over its wall time.
The mandated time is read off the run's own --trace:

  8 ms after every frame sent (the pause after sending)
  1.8 s for every settle pause (before the address of a session or of a
    table transfer, and before the A2 frame that closes a table download)
  for every reply: the terminal's turnaround (mvcomm-sim --turnaround),
    which runs from the end of the frame and so covers that frame's 8 ms
    pause, plus the idle time-out that ends the reception (5000 ms for a
    new-model record stream, else --timelapse, 800 ms by default)

Targets: wall / mandated within 2 %, CPU / wall under 1 %.

usage: bench_commands.py BUILD_DIR     (e.g. build/plain)
"""
import os
import resource
import subprocess
import sys
import tempfile
import time

TURNAROUND_MS = 30
TIMELAPSE_MS = 800
SETTLE_MS = 1800
SEND_PAUSE_MS = 8
RECORD_STREAM_IDLE_MS = 5000


def mandated_ms(trace_text):
    """The waits the protocol imposes on the run that wrote this trace."""
    total = 0.0
    last_sent = ""
    in_reply = False
    for line in trace_text.splitlines():
        if line.startswith("#"):
            continue
        fields = line.split()
        if len(fields) < 2 or fields[1] not in (">", "<"):
            continue
        if fields[1] == ">":
            in_reply = False
            rate, parity, data = fields[2], fields[3], " ".join(fields[4:])
            total += SEND_PAUSE_MS
            if data.startswith("02 A2 5D") and rate == "2400":
                total += SETTLE_MS          # session start: A2, then settle
            elif parity == "M" and not data.startswith("02"):
                total += SETTLE_MS          # table address, then settle
            elif data.startswith("02 A2 5D") and last_sent.startswith("02 BD"):
                total += SETTLE_MS          # settle before closing a download
            last_sent = data
        elif not in_reply:
            in_reply = True
            idle = RECORD_STREAM_IDLE_MS if last_sent.startswith("02 BE") else TIMELAPSE_MS
            total += max(TURNAROUND_MS, SEND_PAUSE_MS) - SEND_PAUSE_MS + idle
    return total


def run(mvcomm, device, args, tmp):
    trace = os.path.join(tmp, "trace.txt")
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    done = subprocess.run([mvcomm, "--device", device, "--trace", trace, "--quiet"] + args,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    wall_ms = (time.monotonic() - start) * 1000
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu_ms = ((after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)) * 1000
    if done.returncode != 0:
        sys.exit("%s failed (%d): %s" % (" ".join(args), done.returncode, done.stderr))
    with open(trace) as f:
        return wall_ms, mandated_ms(f.read()), cpu_ms


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    build = sys.argv[1]
    mvcomm = os.path.join(build, "bin", "mvcomm")
    simulator = os.path.join(build, "bin", "mvcomm-sim")
    today = time.strftime("%Y-%m-%d")
    week_ago = time.strftime("%Y-%m-%d", time.localtime(time.time() - 6 * 86400))
    with tempfile.TemporaryDirectory() as tmp:
        table = os.path.join(tmp, "table.csv")
        with open(table, "w") as f:
            f.write("employeeid,cardid\n1001,160001\n1002,160002\n1003,160003\n1004,160004\n")
        sim = subprocess.Popen([simulator, "--turnaround", str(TURNAROUND_MS)],
                               stdout=subprocess.PIPE, text=True)
        device = sim.stdout.readline().strip()   # printed once it serves
        commands = [
            ["setclock", "1", "now"],
            ["readdata", "1", week_ago, today],
            ["readdata", "2001", week_ago, today],
            ["readrefertable", "1"],
            ["writerefertable", "1", table],
            ["cleardata", "2001"],
            ["collect", "1", week_ago, today, "--out", os.path.join(tmp, "out.csv"), "--clear"],
        ]
        print("%-28s %9s %9s %8s %8s %8s" % ("command", "wall s", "mandated", "ratio",
                                            "cpu ms", "cpu/wall"))
        worst_ratio = worst_cpu = 0.0
        try:
            for args in commands:
                wall, mandated, cpu = run(mvcomm, device, args, tmp)
                ratio = wall / mandated
                share = cpu / wall * 100
                worst_ratio, worst_cpu = max(worst_ratio, ratio), max(worst_cpu, share)
                print("%-28s %9.3f %9.3f %8.4f %8.1f %7.3f%%" % (
                    " ".join(args[:2]), wall / 1000, mandated / 1000, ratio, cpu, share))
        finally:
            sim.terminate()
            sim.wait()
        print("worst ratio %.4f (target <= 1.02), worst cpu/wall %.3f%% (target < 1%%)"
              % (worst_ratio, worst_cpu))


if __name__ == "__main__":
    main()
