#!/usr/bin/env python3
"""Reads `perf script -F tid,time,ip,sym` output of a sampled firmware upload benchmark and tells
how long the user-interface thread really worked without a break.

The benchmark's 1 ms probe measures the thread's processor time between two ticks. On a virtual
machine that time also grows while the host has stopped the virtual processor under the thread,
and nothing in the guest says so. A sampling profiler does see the difference: it takes a sample
only while the thread runs, so a stretch of real work shows as samples one period apart, and a
stop of the host as a gap.

Usage: stallsamples.py BENCH_OUTPUT PERIOD_MS < perf-script-output
"""
import collections
import re
import sys


def read_bench(path):
    text = open(path, encoding="utf-8").read()
    m = re.search(r"sampling window: thread (\d+) from ([\d.]+) to ([\d.]+) s", text)
    if not m:
        sys.exit("stallsamples: the benchmark output names no sampling window")
    tid, start, end = int(m.group(1)), float(m.group(2)), float(m.group(3))
    cpu = re.search(r"processor time of the user-interface thread during the upload (\d+) ms", text)
    busy = []
    m = re.search(r"ticks with more than 5 ms of processor time \(.*?\): (.*)", text)
    if m and m.group(1).strip() != "none":
        for at, ms, gap in re.findall(r"([\d.]+): ([\d.]+) of ([\d.]+)", m.group(1)):
            busy.append((float(at), float(ms), float(gap)))
    return tid, start, end, float(cpu.group(1)) if cpu else None, busy


def read_samples(stream, tid, start, end):
    """(time, frames leaf first) of every sample of the thread inside the window."""
    samples = []
    for block in stream.read().split("\n\n"):
        lines = [line.strip() for line in block.strip().split("\n") if line.strip()]
        if not lines:
            continue
        m = re.match(r"(\d+)\s+([\d.]+):", lines[0])
        if not m or int(m.group(1)) != tid:
            continue
        t = float(m.group(2))
        if start <= t <= end:
            frames = [line.split(None, 1)[1] if " " in line else line for line in lines[1:]]
            samples.append((t, frames))
    return samples


def waiting(frames):
    """True when the sample caught the event loop in its wait for events."""
    return any(f.startswith(("do_sys_poll", "do_sys_ppoll", "do_epoll_wait")) for f in frames)


def our_function(frames):
    """The program's own function nearest the leaf, else the leaf."""
    for f in frames:
        name = f.removeprefix("non-virtual thunk to ")
        if name.startswith("corvane::"):
            return name.split("(")[0].strip()
    return frames[0].split("(")[0] if frames else "?"


def main():
    bench_path, period_ms = sys.argv[1], float(sys.argv[2])
    tid, start, end, cpu_ms, busy = read_bench(bench_path)
    samples = read_samples(sys.stdin, tid, start, end)
    if not samples:
        sys.exit("stallsamples: no samples of the user-interface thread in the window")
    working = [s for s in samples if not waiting(s[1])]
    print(f"user-interface thread {tid}, {end - start:.1f} s sampled every {period_ms:.2f} ms: "
          f"{len(samples)} samples, {len(working)} of them outside the event loop's wait")
    if cpu_ms:
        print(f"  the samples account for {100.0 * len(samples) * period_ms / cpu_ms:.0f}% of "
              f"the {cpu_ms:.0f} ms of processor time the probe measured")

    # A stretch: samples outside the wait, each at most two periods after the one before.
    stretches = []
    current = working[:1]
    for previous, sample in zip(working, working[1:]):
        if (sample[0] - previous[0]) * 1000.0 > 2.0 * period_ms:
            stretches.append(current)
            current = []
        current.append(sample)
    if current:
        stretches.append(current)
    length = lambda s: (s[-1][0] - s[0][0]) * 1000.0 + period_ms
    stretches.sort(key=length, reverse=True)
    print("  longest stretches of work without a break (ms after the press: length, samples, "
          "where):")
    for s in stretches[:3]:
        where = collections.Counter(our_function(f) for _, f in s).most_common(2)
        print(f"    {(s[0][0] - start) * 1000.0:.0f}: {length(s):.2f} ms, {len(s)} samples, "
              + "; ".join(f"{name} x{n}" for name, n in where))

    # The probe's long ticks against what the profiler saw in them.
    if busy:
        rate = len(samples) / cpu_ms if cpu_ms else 1.0 / period_ms
        print("  probe ticks over 5 ms of processor time against the samples taken in them:")
        for at, ms, gap in busy:
            t_end = start + at / 1000.0
            t_begin = t_end - gap / 1000.0
            inside = [f for t, f in samples if t_begin <= t <= t_end]
            waits = sum(1 for f in inside if waiting(f))
            print(f"    {at:.0f}: {ms:.2f} ms charged in {gap:.2f} ms: {len(inside)} samples "
                  f"({waits} in the wait), where running all along would give {ms * rate:.0f}")


if __name__ == "__main__":
    main()
