#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the example tables that are not plain UTF-8 text:

- surveillance-cp1251.csv: the CSV that Excel on a Russian Windows saves
  (CP1251, semicolons, decimal commas, CRLF line ends);
- surveillance.xlsx: a workbook with shared and inline strings, a formula
  with its cached value, and a date where a value belongs;
- counts.csv: case counts and population in two blocks of years, for
  --cases and --population.

Run from anywhere; the files are written beside this script. The output is
the same on every run, byte for byte.
"""

import pathlib
import zipfile

HERE = pathlib.Path(__file__).resolve().parent
YEARS = list(range(2015, 2022))

ROWS = [
    ("Коклюш", "Северный", [3.8, 4.2, 4.0, 4.9, 5.3, 2.1, 3.6]),
    ("Коклюш", "Южный", [2.1, 2.3, 2.2, 2.5, 2.4, 2.3, 2.6]),
    ("Корь", "Северный", [None, 0.4, 0.2, 1.8, 2.6, 0.1, 0.3]),
    ("Туберкулёз", "Северный", [54.3, 52.8, 50.1, 47.9, 46.2, 44.0, 42.7]),
    ("Туберкулёз", "Южный", [46.0, 45.2, 45.9, 44.1, 43.8, 42.0, 41.9]),
    ("Ветряная оспа", "Южный", [572.3, "DATE", 548.9, 533.0, 520.2, 301.7, 499.5]),
]


def number(v):
    return repr(v) if isinstance(v, float) else str(v)


def write_cp1251_csv():
    lines = [";".join(["Болезнь", "Район"] + [str(y) for y in YEARS])]
    for disease, district, values in ROWS:
        cells = ["" if v is None else "01.03.2016" if v == "DATE" else number(v).replace(".", ",")
                 for v in values]
        lines.append(";".join([disease, district] + cells))
    (HERE / "surveillance-cp1251.csv").write_bytes(
        ("\r\n".join(lines) + "\r\n").encode("cp1251"))


def write_counts():
    people = {"Северный": 152000, "Южный": 81000}
    cases = {("Корь", "Северный"): [12, 15, 9, 20, 25, 31, 28],
             ("Корь", "Южный"): [3, 4, 5, 6, 7, 9, 8],
             ("Коклюш", "Южный"): [10, 12, 11, 14, 16, 15, 19]}
    header = (["Болезнь", "Район"] + [f"случаи {y}" for y in YEARS]
              + [f"население {y}" for y in YEARS])
    lines = [";".join(header)]
    for (disease, district), counts in cases.items():
        population = [people[district] + 700 * i for i in range(len(YEARS))]
        if district == "Южный" and disease == "Коклюш":
            population[3] = ""  # not known: the series is skipped
        lines.append(";".join([disease, district] + [str(c) for c in counts]
                              + [str(p) for p in population]))
    (HERE / "counts.csv").write_text("\n".join(lines) + "\n", encoding="utf-8")


def column(i):
    name = ""
    i += 1
    while i:
        i, r = divmod(i - 1, 26)
        name = chr(65 + r) + name
    return name


def write_xlsx():
    shared = []

    def sst(text):
        if text not in shared:
            shared.append(text)
        return shared.index(text)

    rows = []
    header = [f'<c r="A1" t="s"><v>{sst("Болезнь")}</v></c>',
              f'<c r="B1" t="s"><v>{sst("Район")}</v></c>']
    header += [f'<c r="{column(2 + i)}1"><v>{y}</v></c>' for i, y in enumerate(YEARS)]
    rows.append(header)
    for r, (disease, district, values) in enumerate(ROWS, start=2):
        # The measles row holds its labels as inline strings; the others
        # share theirs.
        if disease == "Корь":
            cells = [f'<c r="A{r}" t="inlineStr"><is><t>{disease}</t></is></c>',
                     f'<c r="B{r}" t="inlineStr"><is><r><t>Север</t></r><r><t>ный</t></r></is></c>']
        else:
            cells = [f'<c r="A{r}" t="s"><v>{sst(disease)}</v></c>',
                     f'<c r="B{r}" t="s"><v>{sst(district)}</v></c>']
        for i, v in enumerate(values):
            ref = f"{column(2 + i)}{r}"
            if v is None:
                continue
            if v == "DATE":
                cells.append(f'<c r="{ref}" s="1"><v>42430</v></c>')  # 01.03.2016
            elif disease == "Туберкулёз" and district == "Южный" and i == len(values) - 1:
                cells.append(f'<c r="{ref}"><f>ROUND(83.8/2,1)</f><v>{number(v)}</v></c>')
            else:
                cells.append(f'<c r="{ref}"><v>{number(v)}</v></c>')
        rows.append(cells)

    ns = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
    rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
    sheet = (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<worksheet {ns}>'
             "<sheetData>"
             + "".join(f'<row r="{i}">{"".join(c)}</row>' for i, c in enumerate(rows, start=1))
             + "</sheetData></worksheet>")
    strings = (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
               f'<sst {ns} count="{len(shared)}" uniqueCount="{len(shared)}">'
               + "".join(f"<si><t>{s}</t></si>" for s in shared) + "</sst>")
    styles = (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<styleSheet {ns}>'
              '<fonts count="1"><font/></fonts><fills count="1"><fill/></fills>'
              '<borders count="1"><border/></borders>'
              '<cellStyleXfs count="1"><xf numFmtId="0"/></cellStyleXfs>'
              '<cellXfs count="2"><xf numFmtId="0" xfId="0"/>'
              '<xf numFmtId="14" xfId="0" applyNumberFormat="1"/></cellXfs></styleSheet>')
    workbook = (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                f'<workbook {ns} xmlns:r="{rel}"><sheets>'
                '<sheet name="Лист1" sheetId="1" r:id="rId1"/></sheets></workbook>')
    pkg = "http://schemas.openxmlformats.org/package/2006/relationships"
    workbook_rels = (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                     f'<Relationships xmlns="{pkg}">'
                     f'<Relationship Id="rId1" Type="{rel}/worksheet" Target="worksheets/sheet1.xml"/>'
                     f'<Relationship Id="rId2" Type="{rel}/sharedStrings" Target="sharedStrings.xml"/>'
                     f'<Relationship Id="rId3" Type="{rel}/styles" Target="styles.xml"/>'
                     "</Relationships>")
    root_rels = (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                 f'<Relationships xmlns="{pkg}">'
                 f'<Relationship Id="rId1" Type="{rel}/officeDocument" Target="xl/workbook.xml"/>'
                 "</Relationships>")
    ct = "application/vnd.openxmlformats-officedocument.spreadsheetml"
    types = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
             '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
             '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
             '<Default Extension="xml" ContentType="application/xml"/>'
             f'<Override PartName="/xl/workbook.xml" ContentType="{ct}.sheet.main+xml"/>'
             f'<Override PartName="/xl/worksheets/sheet1.xml" ContentType="{ct}.worksheet+xml"/>'
             f'<Override PartName="/xl/sharedStrings.xml" ContentType="{ct}.sharedStrings+xml"/>'
             f'<Override PartName="/xl/styles.xml" ContentType="{ct}.styles+xml"/>'
             "</Types>")
    parts = [("[Content_Types].xml", types), ("_rels/.rels", root_rels),
             ("xl/workbook.xml", workbook), ("xl/_rels/workbook.xml.rels", workbook_rels),
             ("xl/styles.xml", styles), ("xl/sharedStrings.xml", strings),
             ("xl/worksheets/sheet1.xml", sheet)]
    with zipfile.ZipFile(HERE / "surveillance.xlsx", "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in parts:
            info = zipfile.ZipInfo(name, date_time=(2026, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, text.encode("utf-8"))


if __name__ == "__main__":
    write_cp1251_csv()
    write_xlsx()
    write_counts()
