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
grep -q "^2 precios nuevos en la lista 2; 1 fila sin insumo" "$DIR/out" || { cat "$DIR/out"; exit 1; }
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
echo "price import ok"
