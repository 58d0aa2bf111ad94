#!/usr/bin/python3
"""The peer for the data-file benchmarks: Python's ElementTree doing the same work.

  et_peer.py read FILE       parse a data file and keep every row with typed values
  et_peer.py write FILE ROWS build a measurement table of ROWS rows and write it

Prints the seconds the work took (interpreter start-up left out), so that the benchmark
that runs it can set them as its own time.
"""
import sys
import time
import xml.etree.ElementTree as ET

INT_TYPES = {"i1", "i2", "i4", "i8", "ui1", "ui2", "ui4", "ui8"}
FLOAT_TYPES = {"r4", "r8", "fixed"}


def read(path):
    tree = ET.parse(path)
    root = tree.getroot()
    fields = []
    for f in root.find("METADATA").find("FIELDS"):
        t = f.get("fieldtype").lower()
        conv = int if t in INT_TYPES else float if t in FLOAT_TYPES else str
        fields.append((f.get("attrname"), conv))
    rows = []
    for r in root.find("ROWDATA"):
        state = int(r.get("RowState", "0"))
        if state & 0x23:
            continue
        row = []
        for name, conv in fields:
            v = r.get(name)
            row.append(None if v is None else conv(v))
        rows.append(row)
    return rows


def write(path, n):
    # The rows the benchmark writes: tests of 8 000 samples, temperatures from raw values.
    rows = []
    for i in range(n):
        sub = 1 + i % 8000
        rows.append((i + 1, 1 + i // 8000, sub, (sub - 1) * 5 / 60,
                     (i % 1024) * 5 / 1023 + 20, ((i * 7) % 1024) * 5 / 1023 + 20,
                     25.0 if sub == 1 else 0.0, 20.0 if sub == 1 else 0.0))
    start = time.perf_counter()
    root = ET.Element("DATAPACKET", Version="2.0")
    meta = ET.SubElement(root, "METADATA")
    fields = ET.SubElement(meta, "FIELDS")
    names = ["Reg", "Ensaio", "SubReg", "Tempo", "Tint", "Text", "TMax", "TMin"]
    for k, name in enumerate(names):
        ET.SubElement(fields, "FIELD", attrname=name, fieldtype="i4" if k < 3 else "r8")
    ET.SubElement(meta, "PARAMS", AUTOINCVALUE=str(n + 1))
    data = ET.SubElement(root, "ROWDATA")
    for r in rows:
        ET.SubElement(data, "ROW", {names[k]: repr(v) if k >= 3 else str(v) for k, v in enumerate(r)})
    ET.ElementTree(root).write(path, encoding="UTF-8", xml_declaration=True)
    return time.perf_counter() - start


def main():
    if sys.argv[1] == "read":
        start = time.perf_counter()
        rows = read(sys.argv[2])
        elapsed = time.perf_counter() - start
        assert rows
    else:
        elapsed = write(sys.argv[2], int(sys.argv[3]))
    print(f"{elapsed:.6f}")


if __name__ == "__main__":
    main()
