#!/usr/bin/env python3
"""Two readers that share no code with tools/make_access_ledger read back an Access file it wrote:
mdbtools (mdb-tables, mdb-schema, mdb-export) and the npm package mdb-reader. Every table, column
and row must equal the source ledger's.

    check_access_readers.py SRC_DIR NODE_DIR --jet3|--jet4|--ace [--receipts N] [TOOL_OPTION...]

makes a test ledger (make_test_ledger.py), writes it with SRC_DIR/tools/make_access_ledger and
reads it back. NODE_DIR holds mdbreader_dump.mjs and node_modules/mdb-reader. Where a reader
cannot show a value as it is, the check asks for exactly what that reader is known to show
instead (see below).
"""
import argparse
import csv
import os
import datetime
import decimal
import io
import json
import sqlite3
import subprocess
import sys
import tempfile

NULL = "\x01NULL\x01"
TABLES = ["RECEIPT", "USER", "USER_SET", "table2", "price", "client", "addr_items", "people_items", "remark_items"]
MONEY = {"waterfee", "elecfee", "housefee", "cleanfee", "TVfee", "netfee", "managefee", "otherfee", "total_money",
         "waterprice", "elecprice", "zuMoney"}
EPOCH = datetime.datetime(1899, 12, 30)


def expected_type(table, column, decl):
    if column in MONEY:
        return "currency"
    if column in ("Rdate", "Tdate"):
        return "datetime"
    if column == "Remark":
        return "memo"
    return {"INTEGER": "long", "REAL": "double"}.get(decl, "text")


def jet_days(text):
    d = datetime.datetime.strptime(text, "%Y-%m-%d %H:%M:%S")
    day = (d.date() - EPOCH.date()).days
    fraction = (d.hour * 3600 + d.minute * 60 + d.second) / 86400
    return day + fraction if day >= 0 else day - fraction


def from_jet_days(td):
    """Jet's reading of a day count: whole days from 1899-12-30, the fraction the time of day even
    for negative counts."""
    day = int(td)
    seconds = round(abs(td - day) * 86400)
    try:
        d = EPOCH + datetime.timedelta(days=day, seconds=seconds)
    except OverflowError:
        return f"day {td} out of range"
    return f"{d.year:04d}-{d.month:02d}-{d.day:02d} {d.hour:02d}:{d.minute:02d}:{d.second:02d}"


def currency(value):
    return str(decimal.Decimal(repr(float(value))).quantize(decimal.Decimal("0.0001")))


def run(args):
    done = subprocess.run(args, capture_output=True, timeout=300)
    if done.returncode != 0:
        raise SystemExit(f"FAIL: {' '.join(args)} ended with {done.returncode}: {done.stderr.decode(errors='replace')}")
    return done.stdout.decode("utf-8")


class Check:
    def __init__(self):
        self.failures = 0

    def equal(self, what, got, want):
        if got != want:
            self.failures += 1
            if self.failures <= 30:
                print(f"FAIL {what}: got {got!r}, want {want!r}")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("src")
    p.add_argument("node_dir")
    p.add_argument("--receipts", type=int, default=0)
    kind = p.add_mutually_exclusive_group(required=True)
    for k in ("--jet3", "--jet4", "--ace"):
        kind.add_argument(k, dest="kind", action="store_const", const=k)
    args, tool_options = p.parse_known_args()
    here = os.path.dirname(os.path.abspath(__file__))
    with tempfile.TemporaryDirectory() as work:
        ledger = os.path.join(work, "ledger.rbk")
        file = os.path.join(work, "ledger.accdb" if args.kind == "--ace" else "ledger.mdb")
        jet3 = ["--jet3"] if args.kind == "--jet3" else []
        run([sys.executable, os.path.join(here, "make_test_ledger.py"), os.path.join(args.src, "data/schema.sql"),
             ledger, "--receipts", str(args.receipts)] + jet3)
        tool = os.path.join(args.src, "tools/make_access_ledger")
        run([sys.executable, tool, args.kind, *tool_options, ledger, file])
        failures = compare(ledger, file, args.node_dir)
        if not jet3:
            # What GBK cannot hold, a Jet 3 file cannot: the tool says so instead of writing it.
            refused = subprocess.run([sys.executable, tool, "--jet3", ledger, file + "3"], capture_output=True)
            if refused.returncode == 0 or b"is not in GBK" not in refused.stderr:
                print(f"FAIL: a Jet 3 file of text beyond GBK was not refused: {refused.stderr!r}")
                failures += 1
    return 1 if failures else 0


def compare(ledger_path, file_path, node_dir):
    db = sqlite3.connect(f"file:{ledger_path}?mode=ro", uri=True)
    version = open(file_path, "rb").read(0x15)[0x14]
    jet3 = version == 0
    check = Check()

    tables = {}
    for name in TABLES:
        info = db.execute(f'pragma table_info("{name}")').fetchall()
        columns = [(c[1], expected_type(name, c[1], c[2].upper())) for c in info]
        order = "id" if any(c == "id" for c, _ in columns) else "rowid"
        tables[name] = (columns, db.execute(f'select * from "{name}" order by {order}').fetchall())

    # mdbtools: Jet 3 text through the code page the file names (936), Jet 4 text through
    # iconv's UCS-2, which has no surrogates: a character beyond U+FFFF shows as "??". It cannot
    # tell empty text from NULL, shows doubles with 16 significant digits, and dates only from
    # 1899-12-30 to day 1,000,000 (4637-11-26); others as "1900-01-00 00:00:00".
    listed = run(["mdb-tables", "-1", file_path]).split()
    check.equal("mdb-tables", listed, TABLES)
    schema = run(["mdb-schema", file_path])
    for name in TABLES:
        check.equal(f"mdb-schema lists {name}", f"CREATE TABLE [{name}]" in schema, True)
    for name, (columns, rows) in tables.items():
        out = run(["mdb-export", "-0", NULL, "-D", "%Y-%m-%d %H:%M:%S", "-T", "%Y-%m-%d %H:%M:%S",
                   file_path, name])
        lines = list(csv.reader(io.StringIO(out, newline="")))
        check.equal(f"mdb-export {name} columns", lines[0], [c for c, _ in columns])
        check.equal(f"mdb-export {name} row count", len(lines) - 1, len(rows))
        for r, (got_row, want_row) in enumerate(zip(lines[1:], rows)):
            for (column, kind), got, want in zip(columns, got_row, want_row):
                where = f"mdb-export {name} row {r + 1} {column}"
                if want is None or want == "":
                    check.equal(where, got, NULL)
                elif kind == "long":
                    check.equal(where, int(got), want)
                elif kind == "double":
                    check.equal(where, float(got), float(f"{want:.16g}"))
                elif kind == "currency":
                    check.equal(where, got, currency(want))
                elif kind == "datetime":
                    inside = 0 <= jet_days(want) <= 1_000_000
                    check.equal(where, got, want if inside else "1900-01-00 00:00:00")
                else:
                    check.equal(where, got, "".join("??" if ord(ch) > 0xFFFF else ch for ch in want))

    # mdb-reader reads Jet 3 text as CP1252 whatever the file says: compare the bytes it was given
    # (the five bytes CP1252 leaves undefined come back as U+FFFD). It turns a day count into a
    # Date as if the fraction ran on across days, so its Date is turned back into the count and
    # read as Jet does.
    dump = json.loads(run(["node", f"{node_dir}/mdbreader_dump.mjs", file_path]))
    check.equal("mdb-reader tables", list(dump), TABLES)
    for name, (columns, rows) in tables.items():
        got_table = dump.get(name, {"columns": [], "rows": []})
        check.equal(f"mdb-reader {name} columns", [(c["name"], c["type"]) for c in got_table["columns"]], columns)
        check.equal(f"mdb-reader {name} row count", len(got_table["rows"]), len(rows))
        for r, (got_row, want_row) in enumerate(zip(got_table["rows"], rows)):
            for (column, kind), got, want in zip(columns, got_row, want_row):
                where = f"mdb-reader {name} row {r + 1} {column}"
                if want is None:
                    check.equal(where, got, None)
                elif kind in ("long", "double"):
                    check.equal(where, got, want)
                elif kind == "currency":
                    check.equal(where, got, currency(want))
                elif kind == "datetime":
                    check.equal(where, from_jet_days(got["date"] / 86_400_000 + 25569), want)
                elif jet3:
                    check.equal(where, got, want.encode("gbk").decode("cp1252", errors="replace"))
                else:
                    check.equal(where, got, want)

    if check.failures:
        print(f"{check.failures} differences")
        return check.failures
    counts = ", ".join(f"{name} {len(rows)}" for name, (_, rows) in tables.items())
    print(f"mdbtools and mdb-reader read the {['Jet 3', 'Jet 4'][version] if version < 2 else 'ACE'} file as the ledger: {counts}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
