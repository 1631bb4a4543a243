#!/usr/bin/env python3
"""Offsets between players from their frame taps ("position_ns clock_ns" per shown frame).

    frame_offsets.py LEADER_TAP FOLLOWER_TAP... [--from CLOCK_NS] [--to CLOCK_NS] [--lock-since CLOCK_NS]

For every frame a follower showed, the leader's showing of the same frame nearest in time;
prints per follower the count, p50/p99/max of the offset in milliseconds (follower minus
leader) and the shares of frames within 5 ms and within 20 ms, as JSON lines; with --lock-since, also how long
after that time each follower's frames came within 1 ms of the leader's and stayed so for a
second ("lock_s"). Frames more than half a second apart are not the same showing.
"""
import bisect
import json
import sys
from collections import defaultdict


def read(path):
    frames = []
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) == 2:
                frames.append((int(parts[0]), int(parts[1])))
    return frames


def main():
    args = sys.argv[1:]
    lo, hi = 0, 1 << 64
    if '--from' in args:
        i = args.index('--from'); lo = int(args[i + 1]); del args[i:i + 2]
    if '--to' in args:
        i = args.index('--to'); hi = int(args[i + 1]); del args[i:i + 2]
    since = None
    if '--lock-since' in args:
        i = args.index('--lock-since'); since = int(args[i + 1]); del args[i:i + 2]
    leader = defaultdict(list)
    for position, clock in read(args[0]):
        leader[position].append(clock)
    for times in leader.values():
        times.sort()
    for path in args[1:]:
        offsets = []
        timed = []
        for position, clock in read(path):
            if not lo <= clock <= hi or position not in leader:
                continue
            times = leader[position]
            i = bisect.bisect_left(times, clock)
            nearest = min((abs(clock - t), clock - t) for t in times[max(0, i - 1):i + 1])
            if nearest[0] < 500_000_000:
                offsets.append(nearest[1] / 1e6)
                timed.append((clock, nearest[0] / 1e6))
        magnitudes = sorted(abs(o) for o in offsets)
        pick = lambda q: magnitudes[min(len(magnitudes) - 1, int(q * (len(magnitudes) - 1)))] if magnitudes else None
        lock = None
        if since is not None:
            for i, (clock, _) in enumerate(timed):
                run = [m for c, m in timed[i:] if c - clock <= 1_000_000_000]
                if clock >= since and all(m <= 1.0 for m in run) and timed[-1][0] - clock >= 1_000_000_000:
                    lock = (clock - since) / 1e9
                    break
        print(json.dumps({'tap': path, 'lock_s': lock, 'frames': len(offsets), 'p50_ms': pick(0.5), 'p99_ms': pick(0.99),
                          'max_ms': magnitudes[-1] if magnitudes else None,
                          'within_5ms': sum(m <= 5 for m in magnitudes) / len(magnitudes) if magnitudes else 0,
                          'within_20ms': sum(m <= 20 for m in magnitudes) / len(magnitudes) if magnitudes else 0}))


if __name__ == '__main__':
    main()
