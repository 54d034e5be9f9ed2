#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The annual report's chapter as vantorel-batch writes it: the text of the
ODT's content.xml (headings, paragraphs, table cells, a line each) for a
few tables, and the PDF's text for one, against golden files; and the ODT
opened by a real office suite, LibreOffice, whose text holds every
paragraph; and a chapter of 60 series with long labels as LibreOffice lays
the ODT out and as the PDF is printed: no word of a label broken, the
table's header on each of its pages, at most 35 pages.
VANTOREL_UPDATE_GOLDEN=1 writes the golden files instead.

    document_check.py VANTOREL_BATCH EXAMPLES GOLDEN
"""
import csv, io, os, random, re, subprocess, sys, tempfile, zipfile
import xml.etree.ElementTree as ET

batch, examples, golden = sys.argv[1:4]
TEXT = "{urn:oasis:names:tc:opendocument:xmlns:text:1.0}"
rates = ["--cases", "случаи", "--population", "население"]
cases = {
    "surveillance": [f"{examples}/surveillance.csv"],
    "counts-poisson": [f"{examples}/counts.csv", *rates, "--expected-by", "poisson"],
    "workbook-year": [f"{examples}/surveillance.xlsx", "--year", "2020", "--baseline", "2015-2019",
                      "--title", "Инфекционная  заболеваемость области"],
    "joinpoint": [f"{golden}/../batch/chart-joinpoint-fit-tallest/input.csv"],
    "paragraphs": [f"{golden}/paragraphs.csv", "--expected-by", "prediction"],
    "none": [f"{golden}/none.csv"],  # every series skipped: no table, no years
    # No joinpoints and a last series without the year: only its empty
    # columns go.
    "mixed": [f"{golden}/mixed.csv", "--year", "2021", "--joinpoints", "off"],
    "paragraphs-counts": [f"{golden}/paragraphs-counts.csv", *rates],
    # A total row moved up, a region summed, a group of one territory.
    "territories": [f"{golden}/../batch/territories/input.csv", *rates, "--territory", "Район",
                    "--joinpoints", "off"],
}

def odt_lines(path):
    root = ET.fromstring(zipfile.ZipFile(path).read("content.xml"))
    return ["".join(e.itertext()) for e in root.iter() if e.tag in (TEXT + "p", TEXT + "h")]

def same(name, lines):
    path = f"{golden}/{name}"
    text = "\n".join(line.rstrip() for line in lines).strip() + "\n"
    if os.environ.get("VANTOREL_UPDATE_GOLDEN") == "1":
        open(path, "w").write(text)
        return True
    want = open(path).read()
    for i, (got, exp) in enumerate(zip(text.splitlines(), want.splitlines()), 1):
        if got != exp:
            print(f"{name}, line {i}:\n  got:      {got}\n  expected: {exp}")
            return False
    if text != want:
        print(f"{name}: {len(text.splitlines())} lines, expected {len(want.splitlines())}")
    return text == want

failures = 0
with tempfile.TemporaryDirectory() as work:
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    for name, args in cases.items():
        # An ending in capitals is the same ending.
        odt = f"{work}/{name}.{'ODT' if name == 'joinpoint' else 'odt'}"
        subprocess.run([batch, *args, "-q", "-o", os.devnull, "--document", odt], env=env,
                       stderr=subprocess.DEVNULL)
        failures += not same(f"{name}.txt", odt_lines(odt))
    pdf = f"{work}/counts.PDF"
    subprocess.run([batch, *cases["counts-poisson"], "-q", "-o", os.devnull, "--document", pdf],
                   env=env, stderr=subprocess.DEVNULL)
    text = subprocess.run(["pdftotext", "-raw", pdf, "-"], capture_output=True, text=True).stdout
    failures += not same("counts-poisson.pdf.txt", text.replace("\f", "").splitlines())
    # LibreOffice opens the files and finds every paragraph of the text.
    subprocess.run(["soffice", f"-env:UserInstallation=file://{work}/office", "--headless",
                    "--convert-to", "txt:Text", "--outdir", work, f"{work}/surveillance.odt",
                    f"{work}/territories.odt"],
                   capture_output=True, timeout=240, env=dict(env, HOME=work))
    for name in ("surveillance", "territories"):
        office = open(f"{work}/{name}.txt", encoding="utf-8-sig").read()
        for line in odt_lines(f"{work}/{name}.odt"):
            if line.strip() and line not in office:
                print(f"LibreOffice's text of {name} lacks: {line}")
                failures += 1
    # The territories' tables and sentences hold the summary's numbers.
    summary = subprocess.run([batch, *cases["territories"], "-q"], capture_output=True,
                             text=True).stdout
    rows = {(r["Болезнь"], r["Район"]): r for r in csv.DictReader(io.StringIO(summary))}
    root = ET.fromstring(zipfile.ZipFile(f"{work}/territories.odt").read("content.xml"))
    TABLE = "{urn:oasis:names:tc:opendocument:xmlns:table:1.0}"
    texts = odt_lines(f"{work}/territories.odt")
    groups = [t.split(" / ")[0] for t in texts if " / Всего по территориям" in t or " / Итого" in t]
    tables = [t for t in root.iter(TABLE + "table") if t.get(TABLE + "name").startswith("Территории")]
    for group, table in zip(groups, tables):
        for tr in list(table.iter(TABLE + "table-row"))[1:]:
            cells = ["".join(c.itertext()) for c in tr.iter(TABLE + "table-cell")]
            r = rows[(group, cells[1])]
            spelled = lambda key: f"{float(r[key]):.2f}".replace(".", ",")
            ratio = spelled("ratio_to_region")
            if cells[0] != r["territory_rank"] or cells[4] != ratio or not cells[5].startswith(spelled("sir")):
                print(f"{group} / {cells[1]}: the table says {cells}, the summary {r['territory_rank']}, {ratio}")
                failures += 1
            said = f"{cells[1]} (в "
            if float(r["ratio_to_region"]) > 1 and not any(said in t for t in texts):
                print(f"{group} / {cells[1]}: no sentence names it above the region")
                failures += 1
    if len(tables) != 2:
        print(f"territories: {len(tables)} tables of territories, expected 2")
        failures += 1

def long_labels(path):
    """Ten infections by six districts, twenty years of counts, names as long
    as an office's; one infection with two cases in all."""
    rnd = random.Random(7)
    infections = ["Острые кишечные инфекции установленной этиологии",
                  "Геморрагическая лихорадка с почечным синдромом", "Клещевой вирусный энцефалит",
                  "Внебольничная пневмония", "Энтеровирусная инфекция", "Инфекционный мононуклеоз",
                  "Ветряная оспа", "Коклюш", "Скарлатина", "Бруцеллёз"]
    districts = ["Кичменгско-Городецкий муниципальный округ", "Великоустюгский район",
                 "Междуреченский район", "Бабаевский район", "Тотемский район", "Никольский район"]
    years = range(2005, 2025)
    rows = [["Инфекция", "Территория", *(f"случаи {y}" for y in years),
             *(f"население {y}" for y in years)]]
    labels = []
    for k, infection in enumerate(infections):
        for district in districts:
            people = rnd.randint(15000, 90000)
            level, growth = [300, 8, 12, 400, 30, 20, 600, 5, 40, 0][k] * people / 1e5, rnd.uniform(-.08, .06)
            cases = [max(0, round(rnd.gauss(level * (1 + growth) ** i, level ** .5 + .3))) for i in range(20)]
            if level == 0:
                cases[3] = cases[11] = 1
            rows.append([infection, district, *map(str, cases), *(str(people + 100 * i) for i in range(20))])
            labels += [infection, district]
    open(path, "w").write("\n".join(";".join(r) for r in rows) + "\n")
    return labels

def laid_out(name, pdf, labels):
    """The pages of a chapter: every label's words whole in the table, the
    header on every page of it, each section whole on its page, not more
    pages than the limit."""
    pages = subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True,
                           text=True).stdout.split("\f")[:-1]
    table = next((i for i, page in enumerate(pages) if "Методы." in page), len(pages)) + 1
    words = set(re.split(r"\s+", " ".join(pages[:table])))
    faults = [f"{name}: {len(pages)} pages, more than 35"] if len(pages) > 35 else []
    # The note is whole, on the table's last page or alone after it.
    note = pages[table - 1] if table <= len(pages) else ""
    faults += [f"{name}: the note on methods is split"] if "не включает нуля" not in note else []
    faults += [f"{name}: the table's page {i + 1} has no header" for i in range(table)
               if not all(w in pages[i] for w in ("Показатель", "Оценка", "Случаев"))
               and not pages[i].lstrip().startswith("Методы.")]
    faults += [f"{name}: «{w}» broken" for w in sorted(set(" ".join(labels).split())) if w not in words]
    headings = [f"{labels[i]} / {labels[i + 1]}" for i in range(0, len(labels), 2)]
    sections = set()
    for i, page in enumerate(pages[table:], table + 1):
        text = " ".join(page.split())
        parts = (sum(h in text for h in headings), len(re.findall(r"(?<!\w)В 2024 г", text)),
                 len(re.findall(r"Прогноз на 2025 г\.", text)))
        if parts[0]:
            sections.add(i)
        if len(set(parts)) > 1:
            faults.append(f"{name}: page {i} has headings, paragraphs' starts and ends {parts}")
    # Every word inside the margins (15 mm, 20 mm at the left, less a point
    # of rounding), and the sections' pages upright.
    bbox = subprocess.run(["pdftotext", "-bbox", pdf, "-"], capture_output=True, text=True).stdout
    mm = 72 / 25.4
    for i, page in enumerate(bbox.split("<page ")[1:], 1):
        width, height = map(float, re.match(r'width="([\d.]+)" height="([\d.]+)"', page).groups())
        for x0, y0, x1, y1 in re.findall(r'xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)"', page):
            if (float(x0) < 20 * mm - 1 or float(x1) > width - 15 * mm + 1
                    or float(y0) < 15 * mm - 1 or float(y1) > height - 15 * mm + 1):
                faults.append(f"{name}: page {i} has a word outside its margins")
                break
        if i in sections and width > height:
            faults.append(f"{name}: page {i} of the sections is not upright")
    print(f"{name}: {len(pages)} pages, the table and the note on {table}")
    for fault in faults:
        print(fault)
    return len(faults)

with tempfile.TemporaryDirectory() as work:
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=work)
    labels = long_labels(f"{work}/long.csv")
    for ending in ("odt", "pdf"):
        subprocess.run([batch, f"{work}/long.csv", *rates, "-q", "-o", os.devnull,
                        "--document", f"{work}/long.{ending}"], env=env, stderr=subprocess.DEVNULL)
    subprocess.run(["soffice", f"-env:UserInstallation=file://{work}/office", "--headless",
                    "--convert-to", "pdf", "--outdir", f"{work}/office-pdf", f"{work}/long.odt"],
                   capture_output=True, timeout=240, env=env)
    failures += laid_out("LibreOffice's layout of the ODT", f"{work}/office-pdf/long.pdf", labels)
    failures += laid_out("the PDF", f"{work}/long.pdf", labels)

print(f"document_check: {len(cases)} documents, {failures} differences")
sys.exit(1 if failures else 0)
