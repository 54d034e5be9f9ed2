#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The annual report's chapter as vantorel-batch writes it: the text of the
ODT's content.xml (headings, paragraphs, table cells, a line each) for a
few tables, and the PDF's text for one, against golden files; and the ODT
opened by a real office suite, LibreOffice, whose text holds every
paragraph. VANTOREL_UPDATE_GOLDEN=1 writes the golden files instead.

    document_check.py VANTOREL_BATCH EXAMPLES GOLDEN
"""
import os, subprocess, sys, tempfile, zipfile
import xml.etree.ElementTree as ET

batch, examples, golden = sys.argv[1:4]
TEXT = "{urn:oasis:names:tc:opendocument:xmlns:text:1.0}"
rates = ["--cases", "случаи", "--population", "население"]
cases = {
    "surveillance": [f"{examples}/surveillance.csv"],
    "counts-poisson": [f"{examples}/counts.csv", *rates, "--expected-by", "poisson"],
    "workbook-year": [f"{examples}/surveillance.xlsx", "--year", "2020", "--baseline", "2015-2019"],
    "joinpoint": [f"{golden}/../batch/chart-joinpoint-fit-tallest/input.csv"],
    "paragraphs": [f"{golden}/paragraphs.csv", "--expected-by", "prediction"],
    "paragraphs-counts": [f"{golden}/paragraphs-counts.csv", *rates],
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
    # LibreOffice opens the file and finds every paragraph of the text.
    odt = f"{work}/surveillance.odt"
    subprocess.run(["soffice", f"-env:UserInstallation=file://{work}/office", "--headless",
                    "--convert-to", "txt:Text", "--outdir", work, odt],
                   capture_output=True, timeout=240, env=dict(env, HOME=work))
    office = open(f"{work}/surveillance.txt", encoding="utf-8-sig").read()
    for line in odt_lines(odt):
        if line.strip() and line not in office:
            print(f"LibreOffice's text lacks: {line}")
            failures += 1
print(f"document_check: {len(cases)} documents, {failures} differences")
sys.exit(1 if failures else 0)
