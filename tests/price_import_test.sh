#!/bin/sh
# A supplier's price list into a price list: a real workbook written by
# openpyxl (two sheets, shared strings, a date cell, a refused and an
# unknown row) and a CSV in Windows-1252 with semicolons and decimal commas.
set -eu
VELMORA="$1"
PY=/usr/bin/python3  # the system's Python, where python3-openpyxl lives
DIR=$(mktemp -d)
. "$(dirname "$0")/storage.sh"
trap 'storage_cleanup; rm -rf "$DIR"' EXIT
new_demo data
DATA=$(data_of data)
$PY - "$DIR/precios.xlsx" <<'PY'
import datetime, sys, openpyxl
wb = openpyxl.Workbook()
wb.active.title = "Portada"
wb.active["A1"] = "Lista de precios de diciembre"
ws = wb.create_sheet("Lista")
ws.append(["CLAVE", "DESCRIPCIÓN", "P.U.", "FECHA"])
ws.append(["MAT CEM-030", "Cemento gris", 4100.5, datetime.date(2026, 12, 1)])
ws.append(["mat are-001", "Arena", 455, None])
ws.append(["MAT NO-EXISTE", "Nada", 10, None])
ws.append(["MAT GRA-034", "Grava", -3, None])
wb.save(sys.argv[1])
PY
# An input's price and date in a list, the price written as a plain number.
price() {
    sql_in data DATA4 "SELECT \"COST_$2\" || '|' || \"FECH_$2\" FROM \"INBA\" WHERE \"CTA\" = $1" |
        awk -F'|' '{ print ($1 + 0) "|" $2 }'
}
before1=$(price 10001 1)
"$VELMORA" importa-precios --data "$DATA" --lista 2 --xlsx "$DIR/precios.xlsx" --hoja Lista --prueba > "$DIR/out"
grep -q "fila 2  10001  CEMENTO GRIS PORTLAND CPC 30R  4,042.50 -> 4,100.50  1.43 %" "$DIR/out" || { cat "$DIR/out"; exit 1; }
grep -q "fila 3  10002" "$DIR/out"
grep -q "fila 4: clave MAT NO-EXISTE" "$DIR/out"
grep -q "fila 5: precio negativo" "$DIR/out"
# A refused row refuses the whole import: nothing changes.
before2=$(price 10001 2)
if "$VELMORA" importa-precios --data "$DATA" --lista 2 --xlsx "$DIR/precios.xlsx" --hoja Lista > /dev/null 2> "$DIR/err"; then
    echo "imported with a refused row"; exit 1
fi
grep -q "no se importaron los precios" "$DIR/err"
[ "$(price 10001 2)" = "$before2" ]
# Without it, list 2 alone takes the prices and the dates.
$PY - "$DIR/precios.xlsx" <<'PY'
import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
wb["Lista"].delete_rows(5)
wb.save(sys.argv[1])
PY
"$VELMORA" importa-precios --data "$DATA" --lista 2 --xlsx "$DIR/precios.xlsx" --hoja Lista --fecha 05/12/2026 > "$DIR/out"
grep -q "^2 precios nuevos en la lista 2$" "$DIR/out" || { cat "$DIR/out"; exit 1; }
grep -q "^3 filas leídas: 2 con precio nuevo, 0 sin cambio, 1 sin insumo, 0 rechazadas, 0 en blanco$" "$DIR/out"
grep -q "Las obras conservan sus propios precios.*velmora actualiza-obra" "$DIR/out" || { cat "$DIR/out"; exit 1; }
[ "$(price 10001 2)" = "4100.5|46356" ] || { price 10001 2; exit 1; }  # its own date, 01/12/2026
[ "$(price 10002 2 | cut -d'|' -f1)" = "455" ]
[ "$(price 10002 2 | cut -d'|' -f2)" = "46360" ] || { price 10002 2; exit 1; }  # --fecha 05/12/2026
[ "$(price 10001 1)" = "$before1" ]
# A CSV in Windows-1252, semicolons, decimal commas, accounts.
printf 'CUENTA;DESCRIPCI\323N;PRECIO\r\n10001;Cemento;4.321,75\r\n10003;"Grava; 3/4";510,5\r\n' > "$DIR/precios.csv"
"$VELMORA" importa-precios --data "$DATA" --lista 3 --csv "$DIR/precios.csv" --columnas cuenta=A,precio=C > /dev/null
[ "$(price 10001 3 | cut -d'|' -f1)" = "4321.75" ] || { price 10001 3; exit 1; }
[ "$(price 10003 3 | cut -d'|' -f1)" = "510.5" ]
# Lists as suppliers send them. Each case: a file, the list it goes to, the
# columns given (or "-"), then what the output must say, and the price of
# input 10001 after it ("-" when the import is refused and nothing changes).
$PY - "$DIR" <<'PY'
import datetime, sys, openpyxl
d = sys.argv[1]
def book(name, rows, title_rows=()):
    wb = openpyxl.Workbook()
    ws = wb.active
    for r in title_rows: ws.append(r)
    for r in rows: ws.append(r)
    wb.save(f"{d}/{name}.xlsx")
    return ws
# A price written as text with a decimal comma, beside a number.
book("texto", [["CUENTA", "PRECIO"], [10001, "498,75"], [10002, 455]])
# Rows of numbers only: account, price, date (no header at all).
book("numeros", [[10001, 4380.5, datetime.date(2026, 11, 30)], [10002, 455, None], [10003, 999, None]])
# A supplier's name and address above its header, then a blank row.
book("titulos", [["CLAVE", "DESCRIPCION", "PRECIO"], ["MAT CEM-030", "Cemento", 4200], [None, None, None],
                 ["mat are-001", "Arena", 460]],
     title_rows=[["MATERIALES DEL NORTE, S.A. DE C.V."], ["Lista de precios, diciembre de 2026"], []])
# A price that is a formula never calculated (openpyxl writes none).
book("formula", [["CUENTA", "PRECIO"], [10001, "=2*2000"]])
PY
printf 'CUENTA;PRECIO\r\n10001;4380.00\r\n10002;455.50\r\n' > "$DIR/puntos.csv"
printf 'CUENTA;PRECIO\r\n10001;1,234\r\n10002;455\r\n' > "$DIR/ambigua.csv"
while IFS='#' read -r file list columns expected price; do
    case $file in *.csv) source="--csv $DIR/$file" ;; *) source="--xlsx $DIR/$file" ;; esac
    before=$(price 10001 "$list")
    set -- $source
    [ "$columns" = - ] || set -- "$@" --columnas "$columns"
    "$VELMORA" importa-precios --data "$DATA" --lista "$list" "$@" > "$DIR/out" 2>&1 || true
    grep -q -- "$expected" "$DIR/out" || { echo "$file:"; cat "$DIR/out"; exit 1; }
    if [ "$price" = - ]; then
        [ "$(price 10001 "$list")" = "$before" ] || { echo "$file changed a price"; exit 1; }
    else
        [ "$(price 10001 "$list" | cut -d'|' -f1)" = "$price" ] || { echo "$file:"; price 10001 "$list"; exit 1; }
    fi
done <<'CASES'
texto.xlsx#4#-#2 filas leídas: . con precio nuevo, . sin cambio, 0 sin insumo, 0 rechazadas, 0 en blanco#498.75
puntos.csv#4#-#2 filas leídas: . con precio nuevo, . sin cambio, 0 sin insumo, 0 rechazadas#4380
ambigua.csv#5#-#no se sabe si la coma de 1,234 en B2 separa miles o decimales#-
numeros.xlsx#5#cuenta=A,precio=B,fecha=C#3 filas leídas: . con precio nuevo, . sin cambio, 0 sin insumo, 0 rechazadas, 0 en blanco#4380.5
titulos.xlsx#3#-#3 filas leídas: . con precio nuevo, . sin cambio, 0 sin insumo, 0 rechazadas, 1 en blanco#4200
formula.xlsx#3#-#la fórmula de B2 no tiene su valor calculado#-
CASES
# The same list twice: its rows are unchanged the second time.
"$VELMORA" importa-precios --data "$DATA" --lista 3 --xlsx "$DIR/titulos.xlsx" > "$DIR/out"
grep -q "3 filas leídas: 0 con precio nuevo, 2 sin cambio, 0 sin insumo, 0 rechazadas, 1 en blanco" "$DIR/out" ||
    { cat "$DIR/out"; exit 1; }

# A hostile workbook: one cell in the last column (XFD) of each of 60,000
# rows, a few hundred KB. Read in bounded memory; the rows without an
# account are refused, each one counted.
$PY - "$DIR/lejos.xlsx" <<'PY'
import sys, zipfile
rows = "".join(f'<row r="{r}"><c r="XFD{r}"><v>1</v></c></row>' for r in range(2, 60002))
sheet = ('<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>'
         '<row r="1"><c r="A1" t="inlineStr"><is><t>CUENTA</t></is></c><c r="B1" t="inlineStr"><is><t>PRECIO</t></is></c></row>'
         + rows + '</sheetData></worksheet>')
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("xl/workbook.xml", '<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheets><sheet name="H" sheetId="1"/></sheets></workbook>')
    z.writestr("xl/worksheets/sheet1.xml", sheet)
PY
(ulimit -v 3000000; "$VELMORA" importa-precios --data "$DATA" --lista 3 --xlsx "$DIR/lejos.xlsx" --prueba) > "$DIR/out" 2>&1 ||
    { tail -3 "$DIR/out"; exit 1; }
grep -q "^60000 filas leídas: 0 con precio nuevo, 0 sin cambio, 0 sin insumo, 60000 rechazadas, 0 en blanco" "$DIR/out" ||
    { tail -3 "$DIR/out"; exit 1; }

# A missing file is said to be missing, in Spanish.
if "$VELMORA" importa-precios --data "$DATA" --lista 3 --xlsx "$DIR/no-existe.xlsx" 2> "$DIR/err"; then exit 1; fi
grep -q "no existe el libro" "$DIR/err" || { cat "$DIR/err"; exit 1; }
if "$VELMORA" importa-precios --data "$DATA" --lista 3 --csv "$DIR/no-existe.csv" 2> "$DIR/err"; then exit 1; fi
grep -q "no se puede leer .*no-existe.csv: no existe" "$DIR/err" || { cat "$DIR/err"; exit 1; }


# A work keeps its own prices until it is brought to the latest ones:
# --prueba lists what would change and writes nothing, then the update
# writes it and the register's totals follow.
direct() { "$VELMORA" calcula --data "$DATA" --obra CASA01 --json | $PY -c 'import json,sys; print(json.load(sys.stdin)["direct_cost"])'; }
register() { "$VELMORA" obras --data "$DATA" --json | $PY -c 'import json,sys; print([w["TMAT"] for w in json.load(sys.stdin) if w["cta"] == "CASA01"][0])'; }
before=$(direct)
tmat_before=$(register)
"$VELMORA" actualiza-obra --data "$DATA" --obra CASA01 --prueba > "$DIR/out"
grep -q "^Prueba: la obra CASA01 cambiaría [1-9]" "$DIR/out" || { cat "$DIR/out"; exit 1; }
grep -q "^ *10001  CEMENTO GRIS" "$DIR/out" || { cat "$DIR/out"; exit 1; }
grep -q "^Nada se escribió" "$DIR/out"
[ "$(direct)" = "$before" ] || { echo "the dry run wrote"; exit 1; }
"$VELMORA" actualiza-obra --data "$DATA" --obra CASA01 > "$DIR/out"
grep -q "^La obra CASA01 cambió [1-9]" "$DIR/out" || { cat "$DIR/out"; exit 1; }
after=$(direct)
[ "$after" != "$before" ] || { echo "the update changed nothing"; exit 1; }
[ "$(register)" != "$tmat_before" ] || { echo "the register kept the old totals"; exit 1; }
# Run again, nothing is left to change.
"$VELMORA" actualiza-obra --data "$DATA" --obra CASA01 --prueba > "$DIR/out"
grep -q "^Prueba: la obra CASA01 cambiaría 0 insumos" "$DIR/out" || { cat "$DIR/out"; exit 1; }

# A new work without the screens: the form's checks and defaults, its
# folder and empty budget, ready for the other commands.
"$VELMORA" alta-obra --data "$DATA" --obra NUEVA3 --nombre "CASA NUEVA" --zona 3 --iva 16 > "$DIR/out"
grep -q "Obra NUEVA3 registrada en la zona 3" "$DIR/out" || { cat "$DIR/out"; exit 1; }
"$VELMORA" obras --data "$DATA" --json | grep -q '"cta":"NUEVA3"'
"$VELMORA" calcula --data "$DATA" --obra NUEVA3 --json > "$DIR/out"
grep -q '"direct_cost":0' "$DIR/out" || { cat "$DIR/out"; exit 1; }
for bad in "--obra A/B --nombre X --zona 1|1|no sirve como nombre de directorio" "--obra NUEVA3 --nombre OTRA --zona 1|1|ya existe la obra NUEVA3" \
           "--obra SINNOM --nombre '' --zona 1|1|NOMBRE" "--obra Z6 --nombre X --zona 6|2|del 1 al 5" \
           "--obra IVA --nombre X --zona 1 --iva diez|2|--iva debe ser un número"; do
    args=${bad%%|*}; rest=${bad#*|}; want=${rest%%|*}; says=${rest#*|}
    set +e; eval "\"\$VELMORA\" alta-obra --data \"\$DATA\" $args" > /dev/null 2> "$DIR/err"; rc=$?; set -e
    [ "$rc" = "$want" ] || { echo "$args: status $rc"; cat "$DIR/err"; exit 1; }
    [ "$(wc -l < "$DIR/err")" = "1" ] || { cat "$DIR/err"; exit 1; }
    grep -q -- "$says" "$DIR/err" || { cat "$DIR/err"; exit 1; }
done
echo "price import ok"
