#!/usr/bin/env python3
"""An independent recalculation of a work's budget, written from the rules and
not from the C++ engine, compared row by row with `velmora calcula --json`.

The work's inputs are re-created as the recalculation meets them: a copy of a
base input at the work zone's price, with the work's hidden percentage when a
concept's line meets it first, without it when a machine does.

Usage: price_demo_works.py DATA_DIR WORK_CODE CALCULA_JSON
(run on a work whose input copies were made by one recalculation from none,
as those of the demo are).
"""
import json
import sqlite3
import sys
from decimal import Decimal, ROUND_HALF_UP

DIR, CODE, RESULT = sys.argv[1], sys.argv[2], sys.argv[3]


def db(name):
    return sqlite3.connect(f"{DIR}/{name}")


def r2(x):
    """Rounds the decimal the double stands for, half away from zero."""
    return float(Decimal(repr(x)).quantize(Decimal("0.01"), rounding=ROUND_HALF_UP))


def cents(x):
    return int(Decimal(repr(x)).quantize(Decimal("0.01"), rounding=ROUND_HALF_UP) * 100)


work = db("DATA1").execute(
    "SELECT LIST, POMO, POMA, INDO, INDC, GANA, CARI, IMPV FROM OBRA WHERE CTA=?", (CODE,)).fetchone()
ZONE, POMO, POMA = work[0], work[1], work[2]

zones = {r[0]: r for r in db("DATA0").execute(
    "SELECT CTA, SUEL, VACA, GRAT, IINF, ISAR, IISN, PIMS, EIMS, PDPR, PDEM, GMPA, GMEM, RIPA, RIEM, INPA, INEM,"
    " GUPA, GUEM, CEPA, CEEM, EXPA, EXEM, DHAB, MINI, MAXI, PORC FROM CONTROL")}
z = zones[ZONE]
sal_min = z[1]
tp = 365 + z[2] + z[3]
quotas = sum(q / 100 for q in z[7:21])
quotas_exc = quotas + z[21] / 100 + z[22] / 100
a = tp + (z[4] + z[5]) * tp / 100 + tp * z[6] / 100
fsr_menor = (a + tp * quotas) / z[23]
fsr_mayor = (a + tp * quotas_exc) / z[23]
if z[24] > 0:
    fsr_menor = z[24]
if z[25] > 0:
    fsr_mayor = z[25]
first = db("DATA0").execute("SELECT PORC, DHAB FROM CONTROL ORDER BY _id LIMIT 1").fetchone()
porc, dhab_first = first

base = {r[0]: (r[1], r[2]) for r in db("DATA4").execute(f"SELECT CTA, TIPO, COST_{ZONE} FROM INBA")}
catalogue = {}
for cta, mate, cate, tota in db("DATA6").execute("SELECT CTA, MATE, CATE, TOTA FROM INCO ORDER BY CTA, _id"):
    catalogue.setdefault(cta // 100, []).append((cta, mate, cate, tota))
work_lines = {}
for cta, mate, cate, tota in db(f"{CODE}/OBRA3").execute("SELECT CTA, MATE, CATE, TOTA FROM INOB ORDER BY CTA, _id"):
    work_lines.setdefault(cta // 100, []).append((cta, mate, cate, tota))
machines = {r[0]: r for r in db("DATA5").execute(
    "SELECT CTA, EQUI, NEUM, NNEU, FINA, HORV, HORL, CACE, SEGU, FACT, HACE, COLU, ACEI, ANUA, SUEL, COMB, CONS"
    " FROM MABA")}
copies = {}  # the work's inputs, as the recalculation creates them


def price(acct, hidden):
    """(price at real wage, kind) or None"""
    if acct == 0:
        return (0.0, 0)
    if acct not in copies:
        if acct not in base:
            return None
        kind, p = base[acct]
        if hidden:
            if kind == 4 and POMO > 0:
                p = p * (POMO / 100 + 1)
            if kind != 4 and POMA > 0:
                p = p * (POMA / 100 + 1)
        copies[acct] = (kind, p)
    kind, p = copies[acct]
    if kind == 4:
        p = p * (fsr_mayor if cents(p) > 3 * cents(sal_min) else fsr_menor)
    return (p, kind)


def crew(acct):
    m = l = pc = 0.0
    for _, mate, cate, tota in catalogue.get(acct, []):
        if cate not in (3, 4):
            continue
        got = price(mate, False) if tota != 0 else None
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
    pr = lambda x: (price(int(x), False) or (0.0, 0))[0]
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
    fixed = d + i + s + d * fact
    consumptions = pcomb * cons + (cace / hace * pl if hace > 0 else 0) + pl * colu + (vll / horl if horl > 0 else 0)
    h = anua / dhab_first if dhab_first else 0
    operation = c / h if h else 0
    return r2(operation + consumptions + fixed)


def walk(lines, level):
    mo = ma = eq = pc = 0.0
    for _, mate, cate, tota in lines:
        if cate == 1:
            if level < 10:
                b = walk(catalogue.get(mate, []), level + 1)
                mo, ma, eq, pc = mo + b[0] * tota, ma + b[1] * tota, eq + b[2] * tota, pc + b[3] * tota
        elif cate == 2:
            eq += hourly(mate) * tota
        elif cate in (3, 4):
            if tota != 0:
                got = price(mate, True)
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


def top_lines(row):
    out = []
    for line in work_lines.get(row, []):
        if line[0] == row * 100 + len(out):
            out.append(line)
        elif line[0] != row * 100 + len(out) - 1 or not out:
            break
    return out


got = json.load(open(RESULT))
rows = db(f"{CODE}/OBRA1").execute("SELECT CTA, TIPO, CANT, IMPO FROM COBR ORDER BY CTA").fetchall()
assert len(rows) == len(got["rows"]), (len(rows), len(got["rows"]))
running = direct = 0.0
bad = 0
for (cta, kind, qty, _), mine in zip(rows, got["rows"]):
    split = walk(top_lines(cta), 1) if kind == "C" else (0.0, 0.0, 0.0, 0.0)
    want = {"PU_MOBRA": split[0], "PU_MATERIAL": split[1], "PU_EQUIPO": split[2], "PU_PORCEN": split[3]}
    if kind == "T":
        running = 0.0
    elif kind == "C":
        # Money is printed to the cent: each figure rounded once.
        unit = sum(split)
        want["unit_price"] = r2(unit)
        want["amount"] = r2(unit * qty)
        running += unit * qty
        direct += cents(unit * qty)
    elif kind == "S" and running != 0:
        want["amount"] = r2(running)
        running = 0.0
    elif kind == "S":
        running = 0.0
    for key, value in want.items():
        if abs(mine[key] - value) > 1e-6:
            print(f"row {cta} {key}: velmora {mine[key]} independent {value}")
            bad += 1
# The direct cost sums the printed amounts (in cents); each summary line is
# its percentage of that printed figure, rounded once; the subtotal and the
# total add the printed lines.
direct_cents = direct
direct = direct_cents / 100
if got["direct_cost"] != direct:
    print(f"direct cost: velmora {got['direct_cost']} independent {direct}")
    bad += 1


def percent_of(amount_cents, pct):
    exact = Decimal(amount_cents) * Decimal(repr(pct)) / 100
    return int(exact.quantize(Decimal("1"), rounding=ROUND_HALF_UP))


indo, indc, gana, cari, impv = work[3:8]
lines = {"IMP_ADMON_OBRA": percent_of(direct_cents, indo), "IMP_ADMON_CENTRAL": percent_of(direct_cents, indc),
         "IMP_UTILIDAD": percent_of(direct_cents, gana), "IMP_CARGOS": percent_of(direct_cents, cari)}
lines["SUBTOTAL"] = direct_cents + sum(lines.values())
lines["IMP_IVA"] = percent_of(lines["SUBTOTAL"], impv)
lines["COSTO_TOTAL"] = lines["SUBTOTAL"] + lines["IMP_IVA"]
for key, value in lines.items():
    if got["summary"][key] != value / 100:
        print(f"{key}: velmora {got['summary'][key]} independent {value / 100}")
        bad += 1
print(f"{CODE}: {len(rows)} rows, direct cost {direct:.2f}, {bad} differences")
sys.exit(1 if bad else 0)
