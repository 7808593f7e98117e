#!/usr/bin/env python3
"""An independent pricing of the demo catalogue, written from the rules and
not from the C++ engine, that prints the expected table of
tests/catalog_test.cpp (zone 1).

Usage: velmora demo DIR; python3 price_demo_catalogue.py DIR
"""
import math
import sqlite3
import sys

DIR = sys.argv[1]
ZONE = int(sys.argv[2]) if len(sys.argv) > 2 else 1


def db(name):
    return sqlite3.connect(f"{DIR}/{name}")


def r2(x):
    x = x + math.copysign(abs(x) * 1e-12, x)
    return math.floor(abs(x) * 100 + 0.5) / 100 * (1 if x >= 0 else -1)


zones = {r[0]: r for r in db("DATA0").execute(
    "SELECT CTA, SUEL, VACA, GRAT, IINF, ISAR, IISN, PIMS, EIMS, PDPR, PDEM, GMPA, GMEM, RIPA, RIEM, INPA, INEM,"
    " GUPA, GUEM, CEPA, CEEM, EXPA, EXEM, DHAB, MINI, MAXI, PORC FROM CONTROL ORDER BY CTA")}
z = zones[ZONE]
sal_min = z[1]
tp = 365 + z[2] + z[3]
quotas = sum(q / 100 for q in z[7:21])
quotas_exc = quotas + z[21] / 100 + z[22] / 100
a = tp + (z[4] + z[5]) * tp / 100 + tp * z[6] / 100
dhab = z[23]
fsr_menor = (a + tp * quotas) / dhab
fsr_mayor = (a + tp * quotas_exc) / dhab
if z[24] > 0:
    fsr_menor = z[24]
if z[25] > 0:
    fsr_mayor = z[25]
first = zones[min(zones)]
porc, dhab_first = first[26], first[23]

inputs = {r[0]: (r[1], r[2]) for r in db("DATA4").execute(f"SELECT CTA, TIPO, COST_{ZONE} FROM INBA")}
lines = {}
for cta, mate, cate, tota in db("DATA6").execute("SELECT CTA, MATE, CATE, TOTA FROM INCO ORDER BY CTA, _id"):
    lines.setdefault(cta // 100, []).append((cta, mate, cate, tota))
machines = {r[0]: r for r in db("DATA5").execute(
    "SELECT CTA, EQUI, NEUM, NNEU, FINA, HORV, HORL, CACE, SEGU, FACT, HACE, COLU, ACEI, ANUA, SUEL, COMB, CONS"
    " FROM MABA")}


def price(acct):
    """(price at real wage, kind) or None"""
    if acct == 0:
        return (0.0, 0)
    if acct not in inputs:
        return None
    kind, p = inputs[acct]
    if kind == 4:
        p = p * (fsr_mayor if p > 3 * sal_min else fsr_menor)
    return (p, kind)


def crew(acct):
    m = l = pc = 0.0
    for _, mate, cate, tota in lines.get(acct, []):
        if cate not in (3, 4):
            continue
        got = price(mate) if tota != 0 else None
        p, kind = got if got else (0.0, 0)
        if kind == 3:
            m += tota * p
        elif kind == 4:
            l += tota * p
        elif kind == 5:
            pc += m * tota / 100
        elif kind == 6:
            pc += l * tota / 100
    return m + l + pc


def hourly(acct):
    if acct not in machines:
        return 0.0
    (_, equi, neum, nneu, fina, horv, horl, cace, segu, fact, hace, colu, acei, anua, suel, comb, cons) = machines[acct]
    pr = lambda x: (price(int(x)) or (0.0, 0))[0]
    va = pr(equi)
    vll = (pr(neum) if neum > 0 else 0) * nneu
    c = crew(suel)
    pcomb = pr(comb)
    pl = pr(acei) if acei > 0 else 0
    vm = va - vll
    vr = vm * fina / 100
    d = (vm - vr) / horv if horv else 0
    i = s = 0
    if anua:
        i = (vm + vr) * porc / 100 / (2 * anua)
        s = segu / 100 * (vm + vr) / (2 * anua)
    mnt = d * fact
    fixed = d + i + s + mnt
    fuel = pcomb * cons
    lub = (cace / hace * pl if hace > 0 else 0) + pl * colu
    tyres = vll / horl if horl > 0 else 0
    consumptions = fuel + lub + tyres
    h = anua / dhab_first if dhab_first else 0
    operation = c / h if h else 0
    return r2(operation + consumptions + fixed)


def walk(acct_lines, level):
    mo = ma = eq = pc = 0.0
    for _, mate, cate, tota in acct_lines:
        if cate == 1:
            if level < 10:
                b = basic(mate, level + 1)
                mo += b[0] * tota
                ma += b[1] * tota
                eq += b[2] * tota
                pc += b[3] * tota
        elif cate == 2:
            eq += hourly(mate) * tota
        elif cate in (3, 4):
            if tota != 0:
                got = price(mate)
                if got:
                    p, kind = got
                    if kind == 3:
                        ma += tota * p
                    elif kind == 4:
                        mo += tota * p
                    elif kind == 5:
                        pc += ma * tota / 100
                    elif kind == 6:
                        pc += mo * tota / 100
        elif cate == 5:
            pc += ma * tota / 100
        elif cate == 6:
            pc += mo * tota / 100
        if level > 1:
            mo, ma, eq, pc = r2(mo), r2(ma), r2(eq), r2(pc)
    return (r2(mo), r2(ma), r2(eq), r2(pc))


def basic(acct, level):
    return walk(lines.get(acct, []), level)


def concept(acct):
    top = []
    for line in lines.get(acct, []):
        if line[0] != acct * 100 + len(top):
            break
        top.append(line)
    return walk(top, 1)


for (acct,) in db("DATA3").execute("SELECT CTA FROM COBA ORDER BY CTA"):
    mo, ma, eq, pc = concept(acct)
    print(f"      {{{acct}, {mo:.2f}, {ma:.2f}, {eq:.2f}, {pc:.2f}}},")
