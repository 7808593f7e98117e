#!/bin/sh
# The spreadsheet reports of the demo opened back with openpyxl: numbers as
# numbers, totals as formulas that give the printed figures, the direct cost
# equal to the one the budget prints.
set -eu
VELMORA="$1"
CHECK="$(dirname "$0")/oracle/check_xlsx.py"
PY=/usr/bin/python3  # the system's Python, where python3-openpyxl lives
DIR=$(mktemp -d)
. "$(dirname "$0")/storage.sh"
trap 'storage_cleanup; rm -rf "$DIR"' EXIT
new_demo data
DATA=$(data_of data)
direct=$("$VELMORA" presupuesto --data "$DATA" --obra CASA01 --json |
         $PY -c 'import json,sys; print(json.load(sys.stdin)["direct_cost"])')
for report in presupuesto detalle; do
    "$VELMORA" report $report --data "$DATA" --obra CASA01 --xlsx "$DIR/$report.xlsx" > /dev/null
    $PY "$CHECK" "$DIR/$report.xlsx" "COSTO DIRECTO:" "$direct"
done
"$VELMORA" report explosion --data "$DATA" --obra CASA01 --xlsx "$DIR/explosion.xlsx" > /dev/null
$PY "$CHECK" "$DIR/explosion.xlsx"
# Its quantities against an independent explosion of the same tables.
$PY "$(dirname "$0")/oracle/explode_demo_work.py" "$(files_of data)" CASA01 "$DIR/explosion.xlsx"
"$VELMORA" report explosion --data "$DATA" --obra BODEGA02 --xlsx "$DIR/explosion2.xlsx" > /dev/null
$PY "$(dirname "$0")/oracle/explode_demo_work.py" "$(files_of data)" BODEGA02 "$DIR/explosion2.xlsx"
"$VELMORA" report concentrado --data "$DATA" --obra CASA01 --xlsx "$DIR/concentrado.xlsx" > /dev/null
"$VELMORA" report insumos --data "$DATA" --xlsx "$DIR/insumos.xlsx" > /dev/null
$PY - "$DIR/concentrado.xlsx" "$DIR/insumos.xlsx" <<'PY'
import sys, openpyxl
for path in sys.argv[1:]:
    ws = openpyxl.load_workbook(path).active
    numbers = [c.value for row in ws.iter_rows() for c in row if isinstance(c.value, (int, float))]
    assert len(numbers) > 20, path
    assert ws.freeze_panes is not None, path
PY
if "$VELMORA" report zonas --data "$DATA" --xlsx "$DIR/z.xlsx" 2> /dev/null; then
    echo "a report without a table went to a spreadsheet"; exit 1
fi
echo "xlsx ok"
