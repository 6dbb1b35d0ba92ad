#!/usr/bin/env python3
"""Picks at most LIMIT inputs (and MAX_BYTES bytes) of a corpus from a libFuzzer merge control
file: first a greedy cover of every coverage edge, then the inputs that add the most further
features. Prints the chosen paths, one a line.

usage: prune_corpus.py CONTROL_FILE LIMIT MAX_BYTES
"""
import sys


def main():
    control, limit, max_bytes = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    with open(control) as f:
        lines = f.read().splitlines()
    count = int(lines[0])
    paths = lines[2:2 + count]
    sizes, features, edges = {}, {}, {}
    for line in lines[2 + count:]:
        parts = line.split()
        if not parts:
            continue
        index = int(parts[1])
        if parts[0] == "STARTED":
            sizes[index] = int(parts[2])
        elif parts[0] == "FT":
            features[index] = set(parts[2:])
        elif parts[0] == "COV":
            edges[index] = set(parts[2:])

    chosen, total = [], 0
    for sets in (edges, features):
        covered = set()
        for index in chosen:
            covered |= sets.get(index, set())
        while len(chosen) < limit:
            candidates = [i for i in sets if i not in chosen and sets[i] - covered
                          and total + sizes.get(i, 0) <= max_bytes]
            if not candidates:
                break
            best = max(candidates, key=lambda i: (len(sets[i] - covered), -sizes.get(i, 0)))
            chosen.append(best)
            covered |= sets[best]
            total += sizes.get(best, 0)
    for index in chosen:
        print(paths[index])


if __name__ == "__main__":
    main()
