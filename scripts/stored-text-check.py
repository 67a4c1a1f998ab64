#!/usr/bin/env python3
"""What the PDFs of a folder of .xlsx/.xlsm workbooks show against what the
workbooks store.

Usage: stored-text-check.py TABRIX WORKBOOK_DIR OUT_DIR [tabrix convert options]

Converts every workbook of WORKBOOK_DIR with `TABRIX convert --sheet all`
into OUT_DIR (one thread unless the options say otherwise), then prints one
line per workbook and the totals:
  text    every text cell of a visible sheet, row and column (shared strings,
          inline strings, formula text results, up to 40 characters), and
          every number of such a cell in the General format as the
          spreadsheet application shows it in a wide column, is in the PDF
  errors  the PDF shows more error values (#NAME?, #VALUE!, Err:504, ...)
          than the workbook stores
  glyphs  the item carries a missing-glyph warning
Needs pdftotext. Nothing in WORKBOOK_DIR is changed.
"""

import json
import math
import os
import re
import subprocess
import sys
import zipfile
import xml.etree.ElementTree as ET

NS = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
      "r": "http://schemas.openxmlformats.org/officeDocument/2006/relationships"}
REL = "{http://schemas.openxmlformats.org/package/2006/relationships}Relationship"
ERRORS = re.compile(r"#NAME\?|#VALUE!|#REF!|#DIV/0!|#N/A|#NUM!|#NULL!|Err:\d{3}")


def general(v):
    """The application's General text of a number in a wide column."""
    if v == 0:
        return "0"
    e = math.floor(math.log10(abs(v)))
    if -5 < e < 11:
        whole = max(e + 1, 1)
        text = "%.*f" % (max(10 - whole, 0), v)
        if "." in text:
            text = text.rstrip("0").rstrip(".")
        if len(text.lstrip("-")) <= 11:
            return text
    mantissa, exponent = ("%.5E" % v).split("E")
    mantissa = mantissa.rstrip("0").rstrip(".")
    return "%sE%s%02d" % (mantissa, exponent[0], abs(int(exponent)))


def col_index(ref):
    n = 0
    for ch in re.match(r"[A-Z]+", ref).group(0):
        n = n * 26 + ord(ch) - 64
    return n


def stored(path):
    """(texts, stored error count) of the visible cells of visible sheets."""
    z = zipfile.ZipFile(path)
    names = set(z.namelist())
    shared = []
    if "xl/sharedStrings.xml" in names:
        for si in ET.fromstring(z.read("xl/sharedStrings.xml")).findall("m:si", NS):
            # The text and its runs; phonetic runs (rPh) do not print.
            runs = si.findall("m:t", NS) + si.findall("m:r/m:t", NS)
            shared.append("".join(t.text or "" for t in runs))
    general_styles = set()
    if "xl/styles.xml" in names:
        xfs = ET.fromstring(z.read("xl/styles.xml")).find("m:cellXfs", NS)
        for i, xf in enumerate(xfs if xfs is not None else []):
            if xf.get("numFmtId", "0") == "0":
                general_styles.add(i)
    rels = {r.get("Id"): r.get("Target") for r in
            ET.fromstring(z.read("xl/_rels/workbook.xml.rels")).iter(REL)}
    texts, errors = [], 0
    for sheet in ET.fromstring(z.read("xl/workbook.xml")).iter("{%s}sheet" % NS["m"]):
        if sheet.get("state", "visible") != "visible":
            continue
        target = rels.get(sheet.get("{%s}id" % NS["r"]), "")
        part = target.lstrip("/") if target.startswith("/") else "xl/" + target
        if part not in names:
            continue
        root = ET.fromstring(z.read(part))
        hidden_cols = set()
        for c in root.iter("{%s}col" % NS["m"]):
            if c.get("hidden") in ("1", "true"):
                hidden_cols.update(range(int(c.get("min")), int(c.get("max")) + 1))
        for row in root.iter("{%s}row" % NS["m"]):
            if row.get("hidden") in ("1", "true"):
                continue
            for c in row.findall("m:c", NS):
                if c.get("r") and col_index(c.get("r")) in hidden_cols:
                    continue
                t, v = c.get("t", "n"), c.find("m:v", NS)
                value = v.text if v is not None else None
                if t == "e":
                    errors += 1
                elif t == "s" and value is not None and int(value) < len(shared):
                    texts.append(shared[int(value)])
                elif t in ("str", "inlineStr"):
                    inline = c.find("m:is", NS)
                    texts.append(value if t == "str" else
                                 "".join(x.text or "" for x in inline.iter("{%s}t" % NS["m"]))
                                 if inline is not None else "")
                elif t == "n" and value and int(c.get("s", "0")) in general_styles:
                    try:
                        texts.append(general(float(value)))
                    except ValueError:
                        pass
    return [x for x in (re.sub(r"\s+", "", t or "") for t in texts) if 0 < len(x) <= 40], errors


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    tabrix, books, out = sys.argv[1], sys.argv[2], sys.argv[3]
    os.makedirs(out, exist_ok=True)
    report = os.path.join(out, "report.jsonl")
    if os.path.exists(report):
        os.remove(report)
    subprocess.run([tabrix, "convert", "--sheet", "all", "-j", "1", "--overwrite", "yes",
                    "-o", out, "--report", report] + sys.argv[4:] + [books],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    items = {}
    with open(report, encoding="utf-8") as f:
        for line in f:
            entry = json.loads(line)
            if "source" in entry:
                items[os.path.basename(entry["source"])] = entry
    totals = {"books": 0, "converted": 0, "text": 0, "errors": 0, "glyphs": 0}
    for name in sorted(os.listdir(books)):
        if not re.search(r"\.xls[xm]$", name, re.I):
            continue
        totals["books"] += 1
        entry = items.get(name, {})
        pdfs = entry.get("files") or []
        if not pdfs:
            print("%-60s not converted" % name)
            continue
        totals["converted"] += 1
        text = "".join(subprocess.run(["pdftotext", "-layout", p, "-"], capture_output=True,
                                      text=True).stdout for p in pdfs)
        flat = re.sub(r"\s+", "", text)
        try:
            wanted, stored_errors = stored(os.path.join(books, name))
        except (KeyError, ET.ParseError, zipfile.BadZipFile):
            wanted, stored_errors = [], 0
        missing = [w for w in wanted if w not in flat]
        shown_errors = len(ERRORS.findall(text))
        glyphs = [w for w in entry.get("warnings", []) if "empty boxes" in w]
        totals["text"] += not missing
        totals["errors"] += shown_errors > stored_errors
        totals["glyphs"] += bool(glyphs)
        print("%-60s text %s errors %d/%d%s%s" % (
            name, "ok" if not missing else "missing %d of %d (%s)" % (
                len(missing), len(wanted), ", ".join(missing[:3])),
            shown_errors, stored_errors, " glyphs" if glyphs else "",
            "".join(" | " + w[:100] for w in entry.get("warnings", []))))
    print("books %(books)d, converted %(converted)d, stored text printed %(text)d, "
          "unstored errors shown %(errors)d, glyph warnings %(glyphs)d" % totals)


if __name__ == "__main__":
    main()
