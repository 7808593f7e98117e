#!/bin/sh
# A client's catalogue of concepts into a work's budget and back priced: a
# real workbook written by openpyxl (a title block above the header, merged
# cells, styles, formulas, a second sheet); titles from rows without a
# quantity, base concepts matched by key with their analysis, the others
# listed; the priced workbook changes only the value cells of the price,
# amount and words columns, byte for byte.
set -eu
VELMORA="$1"
PY=/usr/bin/python3
DIR=$(mktemp -d)
. "$(dirname "$0")/storage.sh"
trap 'storage_cleanup; rm -rf "$DIR"' EXIT
new_demo data
DATA=$(data_of data)
$PY - "$DIR/cliente.xlsx" <<'PY'
import sys, openpyxl
from openpyxl.styles import Font
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Catalogo"
ws["A1"] = "LICITACION PUBLICA 001/2026"
ws.merge_cells("A1:F1")
ws["A1"].font = Font(bold=True)
ws.append([])
ws.append(["Clave", "Descripción", "Unidad", "Cantidad", "P.U.", "Importe", "Importe con letra"])
ws.append([None, "CIMENTACION", None, None, None, None])
ws.append(["EST-006", "COLUMNA DE 30x30 CM CON CONCRETO F'C=200", "M", 12.5, None, "=D5*E5"])
ws.append(["ALB-99", "MURO DE BLOCK ESPECIAL DEL CLIENTE", "M2", 40, None, "=D6*E6"])
ws.append([])
ws.append(["est-006", "OTRA COLUMNA", "M", "3", None, None])
wb.create_sheet("Notas")["A1"] = "no se lee"
wb.save(sys.argv[1])
PY
budget() { "$VELMORA" presupuesto --data "$DATA" --obra BODEGA02 --json; }
rows_before=$(budget | $PY -c 'import json,sys; print(len(json.load(sys.stdin)["rows"]))')
"$VELMORA" importa-catalogo --data "$DATA" --obra BODEGA02 --xlsx "$DIR/cliente.xlsx" --prueba > "$DIR/out"
grep -q "^4 partidas se importarían a la obra BODEGA02: 1 título, 2 conceptos con el análisis de la base y 1 sin análisis" "$DIR/out" ||
    { cat "$DIR/out"; exit 1; }
grep -q "sin análisis: fila 6: clave ALB-99, MURO DE BLOCK" "$DIR/out"
[ "$(budget | $PY -c 'import json,sys; print(len(json.load(sys.stdin)["rows"]))')" = "$rows_before" ]
"$VELMORA" importa-catalogo --data "$DATA" --obra BODEGA02 --xlsx "$DIR/cliente.xlsx" > /dev/null
"$VELMORA" calcula --data "$DATA" --obra BODEGA02 --json > "$DIR/after.json"
$PY - "$DIR/after.json" "$rows_before" <<'PY'
import json, sys
doc = json.load(open(sys.argv[1]))
rows = doc["rows"][int(sys.argv[2]):]
assert [r["kind"] for r in rows] == ["T", "C", "C", "C"], rows
accounts = [r["cta"] for r in rows]
assert all(a % 10 == 0 for a in accounts) and accounts == sorted(accounts), accounts
assert all(b - a == 10 for a, b in zip(accounts, accounts[1:])), accounts
title, column, wall, other = rows
assert title["description"] == "CIMENTACION"
assert column["unit"] == "M" and column["quantity"] == 12.5 and column["unit_price"] > 0, column
assert other["unit_price"] == column["unit_price"] and other["quantity"] == 3, other
assert wall["unit_price"] == 0 and wall["quantity"] == 40, wall
PY
# Back into the client's workbook.
"$VELMORA" exporta-catalogo --data "$DATA" --obra BODEGA02 --xlsx "$DIR/cliente.xlsx" --salida "$DIR/precios.xlsx" > "$DIR/out"
grep -q "^3 partidas con precio en" "$DIR/out" || { cat "$DIR/out"; exit 1; }
grep -q "sin precio (0.00): fila 6: clave ALB-99, MURO DE BLOCK" "$DIR/out" || { cat "$DIR/out"; exit 1; }
grep -q "celdas con fórmula que se dejaron como estaban: F5 F6" "$DIR/out"
$PY - "$DIR/cliente.xlsx" "$DIR/precios.xlsx" "$DIR/after.json" "$rows_before" <<'PY'
import json, re, sys, zipfile, openpyxl
client, priced = zipfile.ZipFile(sys.argv[1]), zipfile.ZipFile(sys.argv[2])
rows = json.load(open(sys.argv[3]))["rows"][int(sys.argv[4]):]
ws = openpyxl.load_workbook(sys.argv[2])["Catalogo"]
column, wall, other = rows[1], rows[2], rows[3]
assert ws["E5"].value == column["unit_price"] and ws["E8"].value == other["unit_price"], (ws["E8"].value, other)
assert ws["F5"].value == "=D5*E5" and ws["F6"].value == "=D6*E6"        # the client's formulas stay
assert ws["F8"].value == other["amount"] and ws["E6"].value == 0
assert ws["G8"].value.endswith("/100. M.N.)") and "PESOS" in ws["G8"].value, ws["G8"].value
assert ws["A1"].font.bold and "A1:F1" in [str(r) for r in ws.merged_cells.ranges]
assert openpyxl.load_workbook(sys.argv[2])["Notas"]["A1"].value == "no se lee"
# Every other part as it was; the sheet as it was but for the changed cells.
assert sorted(client.namelist()) == sorted(priced.namelist())
sheet = "xl/worksheets/sheet1.xml"
for name in client.namelist():
    if name not in (sheet, "xl/workbook.xml"):
        assert client.read(name) == priced.read(name), name
assert 'fullCalcOnLoad="1"' in priced.read("xl/workbook.xml").decode()
def without(xml, refs):
    for ref in refs:
        xml = re.sub(r'<c r="%s"[^>]*?(/>|>.*?</c>)' % ref, "", xml)
    return xml
changed = ["E5", "G5", "E6", "G6", "E8", "F8", "G8"]
before, after = client.read(sheet).decode(), priced.read(sheet).decode()
assert before != after and without(before, changed) == without(after, changed)
PY
# The client's workbook is never the output.
if "$VELMORA" exporta-catalogo --data "$DATA" --obra BODEGA02 --xlsx "$DIR/cliente.xlsx" --salida "$DIR/cliente.xlsx" 2> "$DIR/err" > /dev/null; then
    echo "wrote over the client's workbook"; exit 1
fi
grep -q "no puede ser el mismo del cliente" "$DIR/err"

# A quantity that is not a number refuses the whole sheet, naming the row.
$PY - "$DIR/cliente.xlsx" <<'PY'
import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
wb["Catalogo"]["D6"] = "cuarenta"
wb.save(sys.argv[1])
PY
rows_now=$(budget | $PY -c 'import json,sys; print(len(json.load(sys.stdin)["rows"]))')
if "$VELMORA" importa-catalogo --data "$DATA" --obra BODEGA02 --xlsx "$DIR/cliente.xlsx" > /dev/null 2> "$DIR/err"; then
    echo "imported a bad quantity"; exit 1
fi
grep -q "fila 6: la cantidad de D6 no es un número (cuarenta); no se importó nada" "$DIR/err" || { cat "$DIR/err"; exit 1; }
[ "$(budget | $PY -c 'import json,sys; print(len(json.load(sys.stdin)["rows"]))')" = "$rows_now" ]
# A catalogue as tenders write them: keys longer than ours, a unit of five
# letters, an amount column hidden under merged cells, closing rows.
$PY - "$DIR/licitacion.xlsx" "$DIR/formula.xlsx" <<'PY'
import sys, openpyxl
wb = openpyxl.Workbook()
ws = wb.active
ws.append(["Clave", "Descripción", "Unidad", "Cantidad", "P.U.", None, "Importe"])
ws.append([None, "PRELIMINARES"])
ws.append(["2.01.001.0001", "TRAZO Y NIVELACION DEL TERRENO", "M2", 100])
ws.append(["2.01.001.0002", "LIMPIEZA DEL TERRENO", "PIEZA", 3])
ws.merge_cells("F3:G3")
ws.merge_cells("F4:G4")
ws.append([None, "SUBTOTAL", None, None, None, "=SUM(F3:F4)"])
ws.append([None, "I.V.A. 16%", None, None, None, "=F5*0.16"])
ws.append([None, "TOTAL", None, None, None, "=F5+F6"])
ws.append(["IMPORTE CON LETRA:"])
wb.save(sys.argv[1])
wb = openpyxl.Workbook()
ws = wb.active
ws.append(["Clave", "Descripción", "Unidad", "Cantidad"])
ws.append(["X-1", "ALGO", "M2", "=2*5"])
wb.save(sys.argv[2])
PY
"$VELMORA" importa-catalogo --data "$DATA" --obra CASA01 --xlsx "$DIR/licitacion.xlsx" > "$DIR/out"
for line in "^3 partidas importadas a la obra CASA01: 1 título, 0 conceptos con el análisis de la base y 2 sin análisis" \
    "cierre, no se importa: fila 5: SUBTOTAL" "cierre, no se importa: fila 6: I.V.A. 16%" \
    "cierre, no se importa: fila 7: TOTAL" "cierre, no se importa: fila 8: IMPORTE CON LETRA:" \
    "fila 3: la clave 2.01.001.0001 pasa de 9 caracteres y queda 2\.0" \
    "fila 4: la unidad PIEZA pasa de 4 caracteres y queda PIEZ"; do
    grep -q "$line" "$DIR/out" || { echo "missing: $line"; cat "$DIR/out"; exit 1; }
done
"$VELMORA" exporta-catalogo --data "$DATA" --obra CASA01 --xlsx "$DIR/licitacion.xlsx" --salida "$DIR/licitacion-precios.xlsx" > "$DIR/out"
grep -q "^2 partidas con precio en" "$DIR/out" || { cat "$DIR/out"; exit 1; }
grep -q "sin precio (0.00): fila 3: clave 2.01.001.0001, TRAZO Y NIVELACION" "$DIR/out"
grep -q "sin precio (0.00): fila 4: clave 2.01.001.0002, LIMPIEZA DEL TERRENO" "$DIR/out"
$PY - "$DIR/licitacion-precios.xlsx" <<'PY'
import sys, openpyxl
ws = openpyxl.load_workbook(sys.argv[1]).active
# The amounts went to the merged ranges' first cells, the ones shown.
assert ws["F3"].value == 0 and ws["F4"].value == 0, (ws["F3"].value, ws["F4"].value)
assert "F3:G3" in [str(r) for r in ws.merged_cells.ranges]
assert ws["F5"].value == "=SUM(F3:F4)"
PY
# Rows imported before short keys carry the key's first nine characters:
# the export still finds them, in order.
sql_in data CASA01/OBRA1 "UPDATE \"COBR\" SET \"LLAV\" = '2.01.001.' WHERE \"LLAV\" LIKE '2.0%'"
"$VELMORA" exporta-catalogo --data "$DATA" --obra CASA01 --xlsx "$DIR/licitacion.xlsx" --salida "$DIR/licitacion-2.xlsx" > "$DIR/out"
grep -q "^2 partidas con precio en" "$DIR/out" || { cat "$DIR/out"; exit 1; }
# A quantity that is a formula never calculated refuses the sheet, naming its cell.
if "$VELMORA" importa-catalogo --data "$DATA" --obra CASA01 --xlsx "$DIR/formula.xlsx" > /dev/null 2> "$DIR/err"; then
    echo "imported an uncalculated quantity"; exit 1
fi
grep -q "fila 2: la fórmula de la cantidad en D2 no tiene su valor calculado" "$DIR/err" || { cat "$DIR/err"; exit 1; }
echo "client catalogue ok"
