#!/usr/bin/env python3
"""Times two commands side by side: runs them one after the other, RUNS times, and prints the best wall time
of each in milliseconds (3 decimals), separated by a blank.

Usage: timer.py RUNS CMD_A... --vs CMD_B...

Each command is started directly (no shell), with its output thrown away, so that the times hold the
program's own start-up and work and nothing else. Alternating the two keeps a machine whose load changes
during the run from favouring either. A command that cannot be started prints nan."""
import os
import sys
import time


def main():
    runs = int(sys.argv[1])
    words = sys.argv[2:]
    split = words.index("--vs")
    commands = [words[:split], words[split + 1:]]
    devnull = os.open(os.devnull, os.O_RDWR)
    actions = [(os.POSIX_SPAWN_DUP2, devnull, 0), (os.POSIX_SPAWN_DUP2, devnull, 1),
               (os.POSIX_SPAWN_DUP2, devnull, 2)]
    best = [float("inf"), float("inf")]
    for _ in range(runs):
        for k, argv in enumerate(commands):
            start = time.perf_counter()
            try:
                pid = os.posix_spawnp(argv[0], argv, os.environ, file_actions=actions)
            except OSError:
                best[k] = float("nan")
                continue
            os.waitpid(pid, 0)
            best[k] = min(best[k], time.perf_counter() - start)
    print(" ".join("%.3f" % (b * 1000) for b in best))


if __name__ == "__main__":
    main()
