#!/usr/bin/python3
"""The peer of "registrador-cli show FILE --test N": the same listing with ElementTree.

  show_peer.py FILE --test N
"""
import sys
import xml.etree.ElementTree as ET


def main():
    path, number = sys.argv[1], int(sys.argv[3])
    root = ET.parse(path).getroot()
    rows, tests = [], set()
    for r in root.find("ROWDATA"):
        if int(r.get("RowState", "0")) & 0x23:
            continue
        ensaio = r.get("Ensaio")
        if ensaio is None:
            continue
        ensaio = int(ensaio)
        tests.add(ensaio)
        if ensaio == number:
            rows.append((int(r.get("SubReg")), float(r.get("Tempo")), float(r.get("Tint")), float(r.get("Text"))))
    if number not in tests:
        names = ", ".join(str(t) for t in sorted(tests)) or "nenhum"
        sys.exit(f"Ensaio {number} não está no arquivo; ensaios presentes: {names}")
    rows.sort(key=lambda r: r[0])  # stable, as the table's order by SubReg
    out = ["Registro\tTempo (min)\tTemp. Int. (°C)\tTemp. Ext. (°C)"]
    out += [f"{s}\t{t:.2f}\t{i:.3f}\t{e:.3f}" for s, t, i, e in rows]
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
