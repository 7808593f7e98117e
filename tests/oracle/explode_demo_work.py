#!/usr/bin/env python3
"""An independent explosion of a work's inputs, from its tables and the rule
alone: every material and labour input and every machine's hours, multiplied
down the nested basics (to the tenth level) and by each row's quantity. It is
compared with the explosion report's spreadsheet (account, quantity).

Usage: explode_demo_work.py DATA_DIR WORK_CODE EXPLOSION_XLSX
"""
import sys
from collections import defaultdict
import sqlite3

import openpyxl

DIR, CODE, XLSX = sys.argv[1], sys.argv[2], sys.argv[3]


def db(name):
    return sqlite3.connect(f"{DIR}/{name}")


kinds = {r[0]: r[1] for r in db("DATA4").execute("SELECT CTA, TIPO FROM INBA")}
catalogue = defaultdict(list)
for cta, mate, cate, tota in db("DATA6").execute("SELECT CTA, MATE, CATE, TOTA FROM INCO ORDER BY CTA, _id"):
    catalogue[cta // 100].append((mate, cate, tota))
work_lines = defaultdict(list)
for cta, mate, cate, tota in db(f"{CODE}/OBRA3").execute("SELECT CTA, MATE, CATE, TOTA FROM INOB ORDER BY CTA, _id"):
    work_lines[cta // 100].append((cta, mate, cate, tota))

inputs = defaultdict(float)
hours = defaultdict(float)


def explode(lines, unit, level):
    for mate, cate, tota in lines:
        per_unit = tota * unit
        if cate == 1:
            if level < 10:
                explode(catalogue.get(mate, []), per_unit, level + 1)
        elif cate == 2:
            hours[mate] += per_unit
        elif cate in (3, 4) and tota != 0 and kinds.get(mate) in (3, 4):
            inputs[mate] += per_unit


for cta, kind, qty in db(f"{CODE}/OBRA1").execute("SELECT CTA, TIPO, CANT FROM COBR ORDER BY CTA"):
    if kind != "C":
        continue
    # The row's own lines: numbered from CTA*100 on, one per number (a
    # repeated number is passed over), up to the first gap.
    top = []
    for line in work_lines.get(cta, []):
        if line[0] == cta * 100 + len(top):
            top.append(line[1:])
        elif line[0] != cta * 100 + len(top) - 1 or not top:
            break
    explode(top, qty, 1)

sheet = openpyxl.load_workbook(XLSX).active
listed_inputs, listed_hours = {}, {}
for row in sheet.iter_rows(values_only=True):
    account, unit, quantity = row[0], row[4], row[5]
    if not isinstance(account, (int, float)) or not isinstance(quantity, (int, float)):
        continue
    if unit == "HR.":
        listed_hours[int(account)] = quantity
    elif kinds.get(int(account)) in (3, 4):
        listed_inputs[int(account)] = quantity

bad = 0
for name, want, got in (("input", inputs, listed_inputs), ("machine", hours, listed_hours)):
    for account in sorted(set(want) | set(got)):
        w, g = want.get(account, 0.0), got.get(account, 0.0)
        if abs(w - g) > 1e-6 * max(1.0, abs(w)):
            print(f"{name} {account}: velmora {g} independent {w}")
            bad += 1
print(f"{CODE}: {len(inputs)} inputs, {len(hours)} machines, {bad} differences")
sys.exit(1 if bad else 0)
