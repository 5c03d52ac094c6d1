#!/usr/bin/env python3
"""The damage cases of bench/recovery: copies the original table files,
damages the copies with a fixed seed, reads each with brixtallow-cli and
compares what it printed with the rows of the original.

Usage: recovery-cases.py CLI DIR   (DIR/original/bench holds the tables)
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import time

BLOCK = 16384
FIL_PAGE_INDEX = 17855
SEED = 20261210


def read_rows(cli, datadir, table):
    """Runs rows --all; returns (lines without the header, exit status,
    seconds, stderr lines)."""
    started = time.monotonic()
    run = subprocess.run([cli, "rows", datadir, "bench", table, "--all"],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    seconds = time.monotonic() - started
    lines = run.stdout.split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    return lines[1:], run.returncode, seconds, run.stderr.decode("utf-8", "replace").splitlines()


def inno_pages(data):
    """(page number, type, level, index id, record count) of every page."""
    pages = []
    for number in range(len(data) // BLOCK):
        page = data[number * BLOCK:(number + 1) * BLOCK]
        page_type = struct.unpack_from(">H", page, 24)[0]
        n_recs = struct.unpack_from(">H", page, 38 + 16)[0]
        level = struct.unpack_from(">H", page, 38 + 26)[0]
        index_id = struct.unpack_from(">Q", page, 38 + 28)[0]
        pages.append((number, page_type, level, index_id, n_recs))
    return pages


def myisam_records(data):
    """(start, end) byte ranges of the live records of a dynamic .MYD whose
    records are each one block (a table filled by INSERTs only)."""
    records = []
    pos = 0
    size = len(data)
    while pos < size:
        kind = data[pos]
        if kind == 0:  # deleted block: 3-byte length after the type
            length = int.from_bytes(data[pos + 1:pos + 4], "big")
            if length < 20:
                raise SystemExit(f"recovery: deleted block of length {length} at {pos}")
            pos += length
            continue
        if kind in (1, 2, 3, 4):
            width = 2 if kind in (1, 3) else 3
            rec_len = int.from_bytes(data[pos + 1:pos + 1 + width], "big")
            header = 1 + width
            unused = 0
            if kind in (3, 4):
                unused = data[pos + header]
                header += 1
            end = pos + header + rec_len + unused
            records.append((pos, pos + header + rec_len))
            # Blocks are at least 20 bytes and end on a 4-byte boundary.
            block_end = max(end, pos + 20)
            block_end = (block_end + 3) & ~3
            pos = block_end if kind in (1, 2) else end
            continue
        raise SystemExit(f"recovery: block type {kind} at {pos}: the bench expects unsplit rows")
    return records


def zero_blocks(path, blocks):
    with open(path, "r+b") as f:
        for block in blocks:
            f.seek(block * BLOCK)
            f.write(bytes(BLOCK))


def copy_case(dir_, name, table):
    case = os.path.join(dir_, "cases", name)
    shutil.rmtree(case, ignore_errors=True)
    os.makedirs(os.path.join(case, "bench"))
    source = os.path.join(dir_, "original", "bench")
    for entry in os.listdir(source):
        if entry.startswith(table + "."):
            shutil.copy(os.path.join(source, entry), os.path.join(case, "bench", entry))
    return case


def main():
    cli, dir_ = sys.argv[1], sys.argv[2]
    original_dir = os.path.join(dir_, "original")
    rng = random.Random(SEED)
    failed = False
    print(f"{'case':<36} {'recovered':>10} {'recoverable':>12} {'share':>8} "
          f"{'invented':>9} {'twice':>6} {'status':>6} {'seconds':>8}")

    def report(name, lines, recoverable, originals, status, seconds):
        nonlocal failed
        seen = set()
        recovered = invented = twice = 0
        for line in lines:
            if line not in originals:
                invented += 1
            elif line in seen:
                twice += 1
            else:
                seen.add(line)
                recovered += 1
        share = recovered / recoverable if recoverable else 1.0
        bad = invented or twice or share < 0.999
        failed = failed or bad
        print(f"{name:<36} {recovered:>10} {recoverable:>12} {share:>8.2%} {invented:>9} "
              f"{twice:>6} {status:>6} {seconds:>8.2f}{'  <- below the aim' if bad else ''}")

    # --- InnoDB --------------------------------------------------------------
    table = "inno_200k"
    lines, status, seconds, _ = read_rows(cli, original_dir, table)
    originals = set(lines)
    if len(lines) != 200000 or len(originals) != 200000 or status != 0:
        raise SystemExit(f"recovery: the undamaged {table} gave {len(lines)} rows, status {status}")
    report(f"{table} undamaged", lines, 200000, originals, status, seconds)
    with open(os.path.join(original_dir, "bench", table + ".ibd"), "rb") as f:
        data = f.read()
    pages = inno_pages(data)
    root = pages[3]
    clustered = root[3]
    leaves = {p[0]: p[4] for p in pages if p[1] == FIL_PAGE_INDEX and p[2] == 0 and p[3] == clustered}
    internal = [p[0] for p in pages if p[1] == FIL_PAGE_INDEX and p[2] > 0 and p[3] == clustered
                and p[0] != 3]
    if not internal:
        raise SystemExit("recovery: the clustered index has no internal page below its root")
    for percent in (1, 5, 20):
        count = max(2, len(pages) * percent // 100)
        chosen = {3, rng.choice(internal)}
        while len(chosen) < count:
            chosen.add(rng.randrange(len(pages)))
        case = copy_case(dir_, f"{table}-{percent}", table)
        zero_blocks(os.path.join(case, "bench", table + ".ibd"), sorted(chosen))
        recoverable = sum(n for page, n in leaves.items() if page not in chosen)
        lines, status, seconds, _ = read_rows(cli, case, table)
        report(f"{table} {percent}% pages", lines, recoverable, originals, status, seconds)

    # --- MyISAM --------------------------------------------------------------
    table = "myisam_dyn_200k"
    lines, status, seconds, _ = read_rows(cli, original_dir, table)
    originals = set(lines)
    if len(lines) != 200000 or len(originals) != 200000 or status != 0:
        raise SystemExit(f"recovery: the undamaged {table} gave {len(lines)} rows, status {status}")
    report(f"{table} undamaged", lines, 200000, originals, status, seconds)
    with open(os.path.join(original_dir, "bench", table + ".MYD"), "rb") as f:
        data = f.read()
    records = myisam_records(data)
    if len(records) != 200000:
        raise SystemExit(f"recovery: the .MYD walk found {len(records)} records")
    blocks = (len(data) + BLOCK - 1) // BLOCK

    def intact(chosen):
        return sum(1 for start, end in records
                   if all(b not in chosen for b in range(start // BLOCK, (end - 1) // BLOCK + 1)))

    for percent, remove_index in ((0, True), (1, False), (5, False), (20, False), (5, True)):
        count = blocks * percent // 100
        chosen = set(rng.sample(range(blocks), count)) if count else set()
        name = f"{table}-{percent}{'-noindex' if remove_index else ''}"
        case = copy_case(dir_, name, table)
        if chosen:
            zero_blocks(os.path.join(case, "bench", table + ".MYD"), sorted(chosen))
        if remove_index:
            os.remove(os.path.join(case, "bench", table + ".MYI"))
        lines, status, seconds, _ = read_rows(cli, case, table)
        label = f"{table} {percent}% blocks" + (" no .MYI" if remove_index else "")
        report(label, lines, intact(chosen), originals, status, seconds)

    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
