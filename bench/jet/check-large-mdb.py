#!/usr/bin/env python3
"""Checks a large Access file with three readers, streaming, without holding its rows.

For every user table: mdb-export (mdbtools), mdb-reader (Node, read-large-mdb.mjs) and,
when --mdbtool is given, `mdbtool export` (the engine's own reader) must read the same
number of rows, equal to the row count the table records (mdb-count), and the same
text and memo values (compared by a SHA-256 over them, NULL and empty text alike).
mdbtools' messages about damage fail the check. Prints one line per reader and table
with its time; exit status 0 when all agree.

usage: MDB_READER_DIR=DIR check-large-mdb.py FILE.mdb [--mdbtool PATH]
"""
import argparse, csv, hashlib, io, json, os, subprocess, sys, time

HERE = os.path.dirname(os.path.abspath(__file__))
FAILURES = ["doesn't match", "Invalid page buffer", "Invalid data location",
            "incorrect memo length", "Unhandled memo field", "Unhandled ole field",
            "Couldn't", "Error"]


def csv_digest(command, columns):
    """Rows and SHA-256 of `columns` of the CSV a command prints (header first)."""
    csv.field_size_limit(1 << 30)
    proc = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    text = io.TextIOWrapper(proc.stdout, encoding="utf-8", newline="")
    rows = csv.reader(text)
    header = next(rows)
    picks = [header.index(c) for c in columns]
    digest, count = hashlib.sha256(), 0
    for row in rows:
        digest.update(("\x1f".join(row[i] for i in picks) + "\x1e").encode("utf-8"))
        count += 1
    err = proc.stderr.read().decode("utf-8", "replace")
    status = proc.wait()
    problems = [f for f in FAILURES if f in err]
    if status != 0 or problems:
        raise SystemExit(f"{command[0]}: exit status {status}: {err.strip()}")
    return count, digest.hexdigest()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("mdb")
    ap.add_argument("--mdbtool")
    args = ap.parse_args()
    size = os.path.getsize(args.mdb)
    print(f"file: {args.mdb}, {size} bytes ({size / 1048576:.1f} MiB)")

    start = time.monotonic()
    out = subprocess.run(["node", os.path.join(HERE, "read-large-mdb.mjs"), args.mdb],
                         check=True, capture_output=True).stdout
    node = json.loads(out)["tables"]
    print(f"mdb-reader: {len(node)} tables read in {time.monotonic() - start:.1f} s")

    names = subprocess.run(["mdb-tables", "-1", args.mdb], check=True,
                           capture_output=True, text=True).stdout.split("\n")
    names = [n for n in names if n]
    ok = sorted(names) == sorted(node)
    if not ok:
        print(f"tables differ: mdbtools {names}, mdb-reader {sorted(node)}")
    for name in names:
        if name not in node:
            continue
        expected = node[name]
        counted = int(subprocess.run(["mdb-count", args.mdb, name], check=True,
                                     capture_output=True, text=True).stdout)
        readers = [("mdb-export", ["mdb-export", args.mdb, name])]
        if args.mdbtool:
            readers.append(("mdbtool", [args.mdbtool, "export", args.mdb, name]))
        print(f"table {name}: mdb-reader {expected['rows']} rows, "
              f"definition {expected['rowCount']}, mdb-count {counted}")
        if not expected["rows"] == expected["rowCount"] == counted:
            ok = False
        for label, command in readers:
            start = time.monotonic()
            rows, digest = csv_digest(command, expected["columns"])
            same = rows == expected["rows"] and digest == expected["sha256"]
            ok = ok and same
            print(f"  {label}: {rows} rows in {time.monotonic() - start:.1f} s, text values "
                  f"{'the same as mdb-reader' if same else 'DIFFER from mdb-reader'}")
    print("all readers agree" if ok else "READERS DISAGREE")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
