#!/usr/bin/env python3
"""Builds a catalogue with the store tool, exports it in the three formats
and reads each output back with Python's own parsers: every exported entry
and file must equal its record in `qvdb dump`, and the catalogue must still
pass `qvdb check`.

Usage: export_roundtrip.py QVDB
"""
import csv
import html.parser
import io
import json
import os
import subprocess
import sys
import tempfile

QVDB = sys.argv[1]
failures = []


def qvdb(*args, stdin=None):
    r = subprocess.run([QVDB, *args], input=stdin, capture_output=True, text=True)
    if r.returncode != 0:
        raise SystemExit(f"qvdb {' '.join(args)} failed: {r.stderr}")
    return r.stdout


def check(cond, what):
    if not cond:
        failures.append(what)


def dump(path):
    return [json.loads(line) for line in qvdb("dump", path).splitlines()]


def build(d):
    qvdb("init", d)
    names = ["Installiert", "Gesichert", "Defekt", "Wichtig", "F5", "F6", "F7", "F8", "F9",
             "FA", "FB", "Verliehen"]
    qvdb("status-names", d, *names)
    entries = [
        {"EINDEUTIG": 1, "BEZEICH": "Alpha; mit Semikolon", "BOXNUMMER": 1, "DISKNUMMER": 2,
         "KATEGORIE": "Spiele", "PROGDSKS": 3, "DISKART": "CD-ROM", "PROG01": "x", "PROG12": "x",
         "MEMO": "Zeile 1\r\nZeile \"2\"; Ende"},
        {"EINDEUTIG": 10, "BEZEICH": "Bücher über Äpfel", "BOXNUMMER": 12, "DISKNUMMER": 0,
         "KATEGORIE": "Büro", "PROGDSKS": 1, "DISKART": "Diskette", "PROG04": "x",
         "LEIHRAUS": 2},
        {"EINDEUTIG": 7, "BEZEICH": "<b>Gamma</b> & Co", "BOXNUMMER": 99999, "DISKNUMMER": 5,
         "KATEGORIE": "", "PROGDSKS": 0, "DISKART": "USB"},
        {"EINDEUTIG": 8, "BEZEICH": "Gelöscht", "BOXNUMMER": 1, "DISKNUMMER": 1},
    ]
    lines = [json.dumps({"f": e}) for e in entries[:3]]
    lines.append(json.dumps({"deleted": True, "f": entries[3]}))
    qvdb("append", os.path.join(d, "_qvdisk.dbf"), stdin="\n".join(lines) + "\n")
    files = [
        (1, "/ README", "README", "", 120, "20240301", "10:15"),
        (1, "/TOOLS/ SETUP.EXE", "SETUP.EXE", "EXE", 4096, "19991231", "23:59"),
        (1, "/TOOLS/ a;b \"c\".txt", "a;b \"c\".txt", "txt", 0, "20000101", "00:00"),
        (10, "A:\\DOCS\\ BRIEF.DOC", "BRIEF.DOC", "DOC", 2147483647, "19970815", "08:00"),
        (99999999, "/OLD/ WEG.TXT", "WEG.TXT", "TXT", 5, "20010101", "01:01"),
        (8, "/ DELETED.TXT", "DELETED.TXT", "TXT", 5, "20010101", "01:01"),
    ]
    flines = [json.dumps({"f": {"DIRNUMM": n, "DIRPFAD": p, "DIRNAME": nm, "DIRENDUNG": ext,
                                "DIRSIZE": s, "DIRDATE": dt, "DIRTIME": t}})
              for (n, p, nm, ext, s, dt, t) in files]
    qvdb("append", os.path.join(d, "_qvdir.dbf"), stdin="\n".join(flines) + "\n")
    return names


def csv_equals_dump(cell, value, ftype):
    """A CSV cell against the dump's value of a field of type `ftype`."""
    if ftype in "NF":
        if value is None:
            return cell == ""
        return cell != "" and float(cell.replace(",", ".")) == float(value)
    if ftype == "D":
        if not value:
            return cell == ""
        return cell == f"{value[6:8]}.{value[4:6]}.{value[0:4]}"
    return cell == ("" if value is None else value)


def json_equals_dump(v, value, ftype):
    if ftype == "D":
        return (v is None and not value) or v == (f"{value[0:4]}-{value[4:6]}-{value[6:8]}"
                                                  if value else None)
    if ftype in "NF" and value is not None:
        return v is not None and float(v) == float(value)
    return v == value


def field_types(path):
    types = {}
    for line in qvdb("info", path).splitlines():
        parts = line.split()
        if len(parts) >= 3 and parts[0].isdigit() and len(parts[2]) == 1:
            types[parts[1]] = parts[2]
    return types


class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.stack, self.rows, self.row, self.cell = [], [], None, None
        self.filter_box = False
        self.script = ""

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "input" and a.get("id") == "filter":
            self.filter_box = True
        if tag in ("tr",):
            self.row = {"cls": a.get("class", ""), "depth": self.stack.count("table"), "cells": []}
        if tag in ("td", "th") and self.row is not None:
            self.cell = ""
        if tag not in ("input", "meta", "br"):
            self.stack.append(tag)

    def handle_endtag(self, tag):
        while self.stack and self.stack.pop() != tag:
            pass
        if tag in ("td", "th") and self.row is not None and self.cell is not None:
            self.row["cells"].append(self.cell)
            self.cell = None
        if tag == "tr" and self.row is not None:
            self.rows.append(self.row)
            self.row = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell += data
        if self.stack and self.stack[-1] == "script":
            self.script += data


def main():
    with tempfile.TemporaryDirectory() as d:
        names = build(d)
        etypes = field_types(os.path.join(d, "_qvdisk.dbf"))
        ftypes = field_types(os.path.join(d, "_qvdir.dbf"))
        check(etypes.get("EINDEUTIG") == "N" and ftypes.get("DIRDATE") == "D",
              f"field types from qvdb info: {etypes} {ftypes}")
        entries = {r["f"]["EINDEUTIG"]: r["f"] for r in dump(os.path.join(d, "_qvdisk.dbf"))
                   if not r["deleted"]}
        files = [r["f"] for r in dump(os.path.join(d, "_qvdir.dbf"))
                 if r["f"]["DIRNUMM"] in entries]

        # ---- CSV ----
        out = os.path.join(d, "out", "katalog.csv")
        os.mkdir(os.path.dirname(out))
        last = qvdb("export", d, "csv", out, "--files").splitlines()[-1]
        check(last == f"exported\t{len(entries)}\t{len(files)}", f"csv summary line {last!r}")
        raw = open(out, "rb").read()
        check(raw.startswith(b"\xef\xbb\xbf"), "CSV starts with a byte order mark")
        with open(out, encoding="utf-8-sig", newline="") as f:
            rows = list(csv.DictReader(f, delimiter=";"))
        check(len(rows) == len(entries), f"CSV rows {len(rows)} != {len(entries)}")
        titles = [r["BEZEICH"] for r in rows]
        check(titles == sorted(titles, key=lambda t: t.upper().encode("cp1252")),
              f"CSV in title order: {titles}")
        for row in rows:
            rec = entries.get(int(row["EINDEUTIG"]))
            check(rec is not None, f"CSV entry {row['EINDEUTIG']} is in the table")
            if rec is None:
                continue
            for name, ftype in etypes.items():
                check(csv_equals_dump(row[name], rec.get(name), ftype),
                      f"CSV {row['EINDEUTIG']}.{name}: {row[name]!r} vs {rec.get(name)!r}")
            flags = [names[k] for k in range(12) if (rec.get(f"PROG{k + 1:02}") or "").strip()]
            check(row["STATUS"] == ", ".join(flags), f"CSV status {row['STATUS']!r} vs {flags}")
        with open(os.path.join(d, "out", "katalog-dateien.csv"), encoding="utf-8-sig",
                  newline="") as f:
            frows = list(csv.DictReader(f, delimiter=";"))
        check(len(frows) == len(files), f"CSV files {len(frows)} != {len(files)}")
        for frow in frows:
            match = [r for r in files if r["DIRPFAD"] == frow["DIRPFAD"]
                     and r["DIRNUMM"] == int(frow["DIRNUMM"])]
            check(len(match) == 1, f"CSV file {frow['DIRPFAD']!r} is in the table once")
            for name, ftype in ftypes.items():
                if match:
                    check(csv_equals_dump(frow[name], match[0].get(name), ftype),
                          f"CSV file {name}: {frow[name]!r} vs {match[0].get(name)!r}")

        # ---- JSON Lines ----
        out = os.path.join(d, "out", "katalog.jsonl")
        qvdb("export", d, "jsonl", out, "--files")
        objs = [json.loads(line) for line in open(out, encoding="utf-8")]
        check(len(objs) == len(entries), "JSON Lines: one object per entry")
        seen_files = 0
        for o in objs:
            rec = entries[o["EINDEUTIG"]]
            for name, ftype in etypes.items():
                check(json_equals_dump(o[name], rec.get(name), ftype),
                      f"JSON {o['EINDEUTIG']}.{name}: {o[name]!r} vs {rec.get(name)!r}")
            own = sorted((r for r in files if r["DIRNUMM"] == o["EINDEUTIG"]),
                         key=lambda r: r["DIRPFAD"].encode("cp1252"))
            check([f["DIRPFAD"] for f in o["DATEIEN"]] == [r["DIRPFAD"] for r in own],
                  f"JSON files of {o['EINDEUTIG']} in path order")
            for f, r in zip(o["DATEIEN"], own):
                for name, ftype in ftypes.items():
                    check(json_equals_dump(f[name], r.get(name), ftype),
                          f"JSON file {name}: {f[name]!r} vs {r.get(name)!r}")
            seen_files += len(o["DATEIEN"])
        check(seen_files == len(files), "JSON Lines carry every file of the entries")

        # ---- the query's entries only ----
        out = os.path.join(d, "out", "abfrage.jsonl")
        last = qvdb("export", d, "jsonl", out, "--query-title", "b").splitlines()[-1]
        objs = [json.loads(line) for line in open(out, encoding="utf-8")]
        check([o["EINDEUTIG"] for o in objs] == [10], f"query export: {objs}")
        check(last == "exported\t1\t0", f"query summary {last!r}")
        check(all("DATEIEN" not in o for o in objs), "no files unless asked for")

        # ---- HTML ----
        out = os.path.join(d, "out", "katalog.html")
        qvdb("export", d, "html", out, "--files")
        page = Page()
        page.feed(open(out, encoding="utf-8").read())
        page.close()
        check(page.filter_box, "HTML has the filter box")
        check("addEventListener" in page.script, "HTML carries its filter script")
        top = [r for r in page.rows if r["depth"] == 1 and r["cls"] != "files"]
        body = top[1:]
        check(len(body) == len(entries), f"HTML entry rows {len(body)}")
        for r in body:
            rec = entries[int(r["cells"][0])]
            check(r["cells"][1] == rec["BEZEICH"], f"HTML title {r['cells'][1]!r}")
        inner = [r for r in page.rows if r["depth"] == 2 and r["cells"] and r["cells"][0] != "Datei"]
        check(sorted(r["cells"][4] for r in inner) == sorted(r["DIRPFAD"] for r in files),
              "HTML lists every file with its path")

        # ---- the catalogue is untouched ----
        qvdb("check", d)

    if failures:
        print("\n".join(failures))
        sys.exit(1)
    print("export round trip: ok")


main()
