#!/bin/sh
# Printed figures to the cent: on the demo house and on a work of large and
# tied amounts, the budget report (text, PDF and workbook), `presupuesto
# --json`, `calcula --json` and the text table agree on every summary line;
# the printed lines add up to "SUMA" and "IMPORTE TOTAL"; every concept's
# words say its printed amount; no figure is cut.
set -eu
VELMORA="$1"
PY=/usr/bin/python3  # the system's Python, where python3-openpyxl lives
DIR=$(mktemp -d)
. "$(dirname "$0")/storage.sh"
trap 'storage_cleanup; rm -rf "$DIR"' EXIT
new_demo data
DATA=$(data_of data)

check() {
    work="$1"
    "$VELMORA" calcula --data "$DATA" --obra "$work" --json > "$DIR/calcula.json"
    "$VELMORA" presupuesto --data "$DATA" --obra "$work" --json > "$DIR/presupuesto.json"
    "$VELMORA" presupuesto --data "$DATA" --obra "$work" > "$DIR/tabla.txt"
    "$VELMORA" report presupuesto --data "$DATA" --obra "$work" --txt "$DIR/reporte.txt" > /dev/null
    "$VELMORA" report presupuesto --data "$DATA" --obra "$work" --pdf "$DIR/reporte.pdf" > /dev/null
    pdftotext -layout "$DIR/reporte.pdf" "$DIR/reporte-pdf.txt"
    "$VELMORA" report presupuesto --data "$DATA" --obra "$work" --xlsx "$DIR/reporte.xlsx" > /dev/null
    $PY - "$DIR" "$2" <<'PY'
import json, re, sys
from decimal import Decimal
import openpyxl

d, expect_profit = sys.argv[1], sys.argv[2]
calc = json.load(open(f"{d}/calcula.json"))
stored = json.load(open(f"{d}/presupuesto.json"))
assert calc["summary"] == stored["summary"] and calc["direct_cost"] == stored["direct_cost"], "the two JSON differ"
s = calc["summary"]
cents = lambda x: int((Decimal(repr(x)) * 100).to_integral_value())
money = lambda x: "{:,.2f}".format(Decimal(repr(x)))
cd = cents(calc["direct_cost"])
assert cd == sum(cents(r["amount"]) for r in calc["rows"] if r["kind"] == "C"), "direct cost is not the printed rows' sum"
lines = [s["IMP_ADMON_OBRA"], s["IMP_ADMON_CENTRAL"], s["IMP_UTILIDAD"], s["IMP_CARGOS"]]
assert cd + sum(map(cents, lines)) == cents(s["SUBTOTAL"]), "SUMA is not the sum of the printed lines"
assert cents(s["SUBTOTAL"]) + cents(s["IMP_IVA"]) == cents(s["COSTO_TOTAL"]), "the total is not the sum"
if expect_profit != "-":
    assert money(s["IMP_UTILIDAD"]) == expect_profit, (s["IMP_UTILIDAD"], expect_profit)
figures = [calc["direct_cost"]] + lines + [s["SUBTOTAL"], s["IMP_IVA"], s["COSTO_TOTAL"]]
for name in ("tabla.txt", "reporte.txt", "reporte-pdf.txt"):
    text = open(f"{d}/{name}").read()
    for f in figures:
        if f:
            assert re.search(r"(?<![\d,.])" + re.escape(money(f)) + r"(?![\d])", text), f"{name}: {money(f)} missing or cut"
# Each concept's words say its printed amount, in the order of the rows.
text = open(f"{d}/reporte.txt").read()
at = 0
for r in calc["rows"]:
    if r["kind"] != "C" or r["amount"] == 0:
        continue
    figure = money(r["amount"])
    at = text.find(figure, at)
    assert at >= 0, f"row {r['cta']}: {figure} not printed"
    words = re.compile(r"(\d\d)/100\. M\.N\.\)").search(text, at)
    assert words and int(words.group(1)) == cents(r["amount"]) % 100, f"row {r['cta']}: {figure} reads {words.group(0)}"
    at = words.end()
# The workbook holds the same cents.
ws = openpyxl.load_workbook(f"{d}/reporte.xlsx").active
cells = {str(row[1]).strip(): row for row in ws.iter_rows(values_only=True) if row[1]}
for label, value in (("UTILIDAD", s["IMP_UTILIDAD"]), ("SUMA", s["SUBTOTAL"]), ("IMPORTE TOTAL", s["COSTO_TOTAL"])):
    row = next(v for k, v in cells.items() if k.endswith(label))
    assert any(isinstance(x, (int, float)) and Decimal(repr(x)) == Decimal(repr(value)) for x in row), f"xlsx {label}: {row}"
# Money cells hold cents, never 38894.254.
for row in ws.iter_rows(values_only=True):
    for x in row[4:6]:
        if isinstance(x, float):
            assert -Decimal(repr(x)).as_tuple().exponent <= 2, f"xlsx holds {x!r}, not cents"
print(f"{calc['obra']}: direct cost {money(calc['direct_cost'])}, total {money(s['COSTO_TOTAL'])}: agreed")
PY
}

check CASA01 "97,235.64"
# A public work of thousands of millions: quantities scaled up, and halves
# that put amounts on a half cent.
sql_in data CASA01/OBRA1 "UPDATE \"COBR\" SET \"CANT\" = \"CANT\" * 11111.5 WHERE \"TIPO\" = 'C'"
check CASA01 -
sql_in data BODEGA02/OBRA1 "UPDATE \"COBR\" SET \"CANT\" = \"CANT\" * 1234567.5 + 0.5 WHERE \"TIPO\" = 'C'"
check BODEGA02 -
echo "figures ok"
