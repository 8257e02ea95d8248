#!/usr/bin/env python3
"""Reads a table that orvik-cli wrote as CSV or JSON with Python's own csv and json
modules, an independent reader, and prints what it read as ASCII JSON:
    {"bom": true|false, "rows": ...}
For CSV, rows is the list of records (the header first), each a list of strings; for JSON,
the document as read. The file must be strict UTF-8 and well formed (csv strict mode; JSON
without NaN or Infinity); anything else ends with an exception and a non-zero exit.

    read_table.py csv|json FILE
"""
import csv
import io
import json
import sys


def reject_constant(name):
    raise ValueError("not JSON: " + name)


def main():
    kind, path = sys.argv[1], sys.argv[2]
    with open(path, "rb") as f:
        data = f.read()
    bom = data.startswith(b"\xef\xbb\xbf")
    text = data.decode("utf-8-sig" if bom else "utf-8")
    if kind == "csv":
        rows = list(csv.reader(io.StringIO(text, newline=""), strict=True))
    else:
        rows = json.loads(text, parse_constant=reject_constant)
    json.dump({"bom": bom, "rows": rows}, sys.stdout, ensure_ascii=True)


if __name__ == "__main__":
    main()
