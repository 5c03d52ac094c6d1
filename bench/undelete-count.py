"""Counts what a read of deleted rows gave back against the server's rows.

Usage: undelete-count.py GOT.tsv EXPECTED_PREFIX TABLE COPY SECONDS

GOT.tsv is `rows --deleted` output (the table's columns, _source, _unknown);
EXPECTED_PREFIX.deleted.tsv and .live.tsv are the rows the server showed
before the delete. A row shown is recovered whole when it equals a deleted
row on every column, with unknown columns when it equals one on every
column it does not name in _unknown, and invented otherwise, or when it is
whole and equals a row still in the table. The last column is the share of
the deleted rows shown, whole or with unknown columns. Exits with 1 on an
invented row.
"""
import sys
from collections import defaultdict

got_path, expected, table, copy, seconds = sys.argv[1:6]


def rows(path):
    with open(path, encoding="utf-8") as f:
        return [line.rstrip("\n").split("\t") for line in f][1:]


got = rows(got_path)
deleted = rows(expected + ".deleted.tsv")
live = {tuple(r) for r in rows(expected + ".live.tsv")}
columns = len(deleted[0]) if deleted else 0
# Every column's values index the rows that hold them, for the rows whose
# other columns are unknown.
by_value = [defaultdict(list) for _ in range(columns)]
for i, r in enumerate(deleted):
    for c, v in enumerate(r):
        by_value[c][v].append(i)
whole_index = {tuple(r): i for i, r in enumerate(deleted)}

whole, partial, invented, twice = set(), set(), 0, 0
for row in got:
    values, unknown = row[:columns], row[columns + 1] if len(row) > columns + 1 else ""
    if not unknown:
        i = whole_index.get(tuple(values))
        if i is None or tuple(values) in live:
            invented += 1
        elif i in whole:
            twice += 1
        else:
            whole.add(i)
        continue
    known = [c for c in range(columns) if values[c] != "NULL"]
    candidates = by_value[known[0]].get(values[known[0]], []) if known else []
    hits = [i for i in candidates if all(deleted[i][c] == values[c] for c in known)]
    if not hits:
        invented += 1
    elif hits[0] in partial:
        twice += 1
    else:
        partial.add(hits[0])
partial -= whole
share = 100.0 * (len(whole) + len(partial)) / len(deleted) if deleted else 0.0
print(f"{table:18} {copy:7} {len(deleted):8} {len(whole):8} {len(partial):8} {invented:8} "
      f"{twice:6} {float(seconds):8.2f} {share:6.1f}%")
sys.exit(1 if invented else 0)
