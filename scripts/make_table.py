#!/usr/bin/env python3
"""Writes a presence/absence table of TAXA taxa scored for FRAGMENTS fragments in BLOCKS blocks,
evolved along a random tree (each branch flips a few marks), so that the tree it gives has shape.
Usage: scripts/make_table.py --taxa 200 --fragments 500 --blocks 5 --seed 200 OUT"""
import argparse
import random


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--taxa", type=int, default=200)
    p.add_argument("--fragments", type=int, default=500)
    p.add_argument("--blocks", type=int, default=5)
    p.add_argument("--seed", type=int, default=200)
    p.add_argument("out")
    a = p.parse_args()
    rng = random.Random(a.seed)
    root = [rng.random() < 0.5 for _ in range(a.fragments)]
    rows = {}

    def evolve(marks, taxa):
        marks = [m != (rng.random() < 0.04) for m in marks]
        if len(taxa) == 1:
            rows[taxa[0]] = marks
            return
        k = rng.randint(1, len(taxa) - 1)
        evolve(marks, taxa[:k])
        evolve(marks, taxa[k:])

    names = [f"T{i:03d}" for i in range(1, a.taxa + 1)]
    evolve(root, names)
    per_block = max(1, a.fragments // a.blocks)
    with open(a.out, "w", newline="") as f:
        f.write("\t" + "\t".join(names) + "\n")
        for j in range(a.fragments):
            if j % per_block == 0 and j // per_block < a.blocks:
                f.write(f"E{j // per_block + 1}\t6\n")
            f.write(str(j + 1) + "\t" + "\t".join("1" if rows[n][j] else "0" for n in names) + "\n")


if __name__ == "__main__":
    main()
