#!/usr/bin/env python3
"""Step timing of varlo-send's sweeps, measured at the far end of the line.

    tools/bench/send_timing.py [--send PATH] [--steps N] [--dwell MS] [--runs N]
                               [--connect [--scpi PATH]]

A pseudo-terminal stands for the instrument: its slave is published as COM1 in a fresh
VARLO_PORT_DIR, varlo-send sweeps over it, and every command is timed as it arrives at the
master. With --connect, varlo-scpi holds COM1 and varlo-send sweeps through it. Prints, per run and over all runs: the median step (arrival to arrival) and its
deviation from the dwell, the worst step, and the drift over the run (the trend of the
arrivals against the schedule: median of the pairwise slopes, times the steps).
"""
import argparse
import os
import pathlib
import select
import statistics
import subprocess
import tempfile
import time
import tty

COMMAND_LENGTH = 10


def arrivals(master, steps, timeout_s):
    times, pending = [], b""
    deadline = time.monotonic() + timeout_s
    while len(times) < steps and time.monotonic() < deadline:
        ready, _, _ = select.select([master], [], [], 0.5)
        if not ready:
            continue
        try:
            chunk = os.read(master, 4096)
        except OSError:
            break
        now = time.monotonic_ns() / 1e6
        pending += chunk
        while len(pending) >= COMMAND_LENGTH:
            pending = pending[COMMAND_LENGTH:]
            times.append(now)
    return times


def one_run(send, scpi, steps, dwell_ms):
    master, slave = os.openpty()
    tty.setraw(slave)
    slave_path = os.ttyname(slave)
    with tempfile.TemporaryDirectory() as port_dir:
        os.symlink(slave_path, os.path.join(port_dir, "COM1"))
        env = dict(os.environ, VARLO_PORT_DIR=port_dir)
        server = None
        target = ["--port", "COM1"]
        if scpi:
            server = subprocess.Popen([scpi, "--port", "COM1", "--listen", "127.0.0.1:0",
                                       "--quiet"], env=env, stdout=subprocess.PIPE,
                                      stderr=subprocess.DEVNULL, text=True)
            listening = server.stdout.readline().strip()
            if not listening.startswith("listening on "):
                raise SystemExit(f"varlo-scpi did not start: {listening!r}")
            target = ["--connect", listening[len("listening on "):]]
        process = subprocess.Popen(
            [send, *target, "--quiet", "--sweep", "1kHz", "50kHz", "--steps", str(steps),
             "--dwell", f"{dwell_ms}ms"], env=env)
        times = arrivals(master, steps, steps * dwell_ms / 1000 + 10)
        process.wait()
        if server:
            server.terminate()
            server.wait()
    os.close(master)
    os.close(slave)  # held meanwhile, so the master reads no hang-up before varlo-send opens
    if process.returncode != 0 or len(times) != steps:
        raise SystemExit(f"run failed: exit {process.returncode}, {len(times)} of {steps} steps")
    intervals = [b - a for a, b in zip(times, times[1:])]
    offsets = [t - times[0] - i * dwell_ms for i, t in enumerate(times)]
    slopes = [(offsets[j] - offsets[i]) / (j - i)
              for i in range(steps) for j in range(i + 1, steps)]
    return intervals, statistics.median(slopes) * (steps - 1)


def main():
    root = pathlib.Path(__file__).resolve().parents[2]
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--send", default=str(root / "build" / "varlo-send"))
    parser.add_argument("--steps", type=int, default=50)
    parser.add_argument("--dwell", type=int, default=20, help="dwell in ms")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--connect", action="store_true",
                        help="sweep through varlo-scpi holding the port")
    parser.add_argument("--scpi", default=str(root / "build" / "varlo-scpi"))
    args = parser.parse_args()
    scpi = args.scpi if args.connect else None

    print(f"varlo-send sweep timing{' through varlo-scpi' if scpi else ''}: {args.runs} runs "
          f"of {args.steps} steps, dwell {args.dwell} ms, {os.cpu_count()} cores, load "
          f"{os.getloadavg()[0]:.1f}")
    print(f"{'run':>4} {'median ms':>10} {'dev ms':>8} {'worst ms':>9} {'worst dev':>10} "
          f"{'drift ms':>9}", flush=True)
    everything = []
    for run in range(1, args.runs + 1):
        intervals, drift = one_run(args.send, scpi, args.steps, args.dwell)
        everything += intervals
        median = statistics.median(intervals)
        worst = max(intervals, key=lambda i: abs(i - args.dwell))
        print(f"{run:>4} {median:>10.3f} {median - args.dwell:>+8.3f} {worst:>9.3f} "
              f"{worst - args.dwell:>+10.3f} {drift:>+9.3f}", flush=True)
    median = statistics.median(everything)
    worst = max(everything, key=lambda i: abs(i - args.dwell))
    print(f"{'all':>4} {median:>10.3f} {median - args.dwell:>+8.3f} {worst:>9.3f} "
          f"{worst - args.dwell:>+10.3f}")


if __name__ == "__main__":
    main()
