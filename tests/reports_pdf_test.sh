#!/bin/sh
# Every report of the demo run headless to PDF and read back with pdftotext:
# each carries its title texts, and the budget, its detail and the explosion
# print the direct cost that `presupuesto --json` gives.
set -eu
VELMORA="$1"
DIR=$(mktemp -d)
. "$(dirname "$0")/storage.sh"
trap 'storage_cleanup; rm -rf "$DIR"' EXIT
new_demo data
DATA=$(data_of data)
direct=$("$VELMORA" presupuesto --data "$DATA" --obra CASA01 --json |
         python3 -c 'import json,sys; print("{:,.2f}".format(json.load(sys.stdin)["direct_cost"]))')

# pdf NAME [OPTIONS...]: the report as text, in $DIR/NAME.txt
pdf() {
    name="$1"; shift
    "$VELMORA" report "$name" --data "$DATA" "$@" --pdf "$DIR/$name.pdf" > /dev/null
    pdftotext -layout "$DIR/$name.pdf" "$DIR/$name.txt"
}
has() {
    grep -qF -- "$2" "$DIR/$1.txt" || { echo "$1: no \"$2\""; exit 1; }
}

# The work's own explosion first: the machine reports list what it found.
pdf explosion --obra CASA01
has explosion "EXPLOSION DE INSUMOS: CASA HABITACION DE DOS NIVELES, 120 M2"
has explosion "% SOBRE MATERIALES"
has explosion "$direct"
pdf presupuesto --obra CASA01
has presupuesto "CONSTRUCTORA DEMOSTRACION S.A. DE C.V."
has presupuesto "PRESUPUESTO DE OBRA: CASA HABITACION"
has presupuesto "PARTIDAS DE OBRA"
has presupuesto "$direct"
pdf detalle --obra CASA01 --completa N --resumen N
has detalle "PRESUPUESTO DE LA OBRA: CASA HABITACION"
has detalle "$direct"
if grep -q "IMPUESTO AL VALOR AGREGADO" "$DIR/detalle.txt"; then echo "detalle: summary printed with --resumen N"; exit 1; fi
pdf concentrado --obra CASA01
has concentrado "CONCEPTOS DE LA OBRA: CASA HABITACION"
has concentrado "DESTAJO"
pdf conceptos --obra CASA01 --desde 20 --hasta 20
has conceptos "ANALISIS DE PRECIOS UNITARIOS: CASA HABITACION"
has conceptos "CUENTA: 20"
has conceptos "COSTO DIRECTO:"
pdf horizontal --obra CASA01 --desde 20 --hasta 20
# Row 210 (the block wall, 1010) as printed, in text and across the page:
# its lines add up to each kind's subtotal, those to the direct cost, and
# that is the row's unit price in the budget (513.39); the head's four parts
# and the landscape columns add up to it too.
unit=$("$VELMORA" presupuesto --data "$DATA" --obra CASA01 --json |
       python3 -c 'import json,sys; print([r for r in json.load(sys.stdin)["rows"] if r["cta"] == 210][0]["unit_price"])')
for name in conceptos horizontal; do
    "$VELMORA" report "$name" --data "$DATA" --obra CASA01 --desde 210 --hasta 210 --resumen N --txt "$DIR/$name-210.txt" > /dev/null
    python3 - "$DIR/$name-210.txt" "$unit" "$name" <<'PY'
import re, sys
text, unit, name = open(sys.argv[1]).read(), sys.argv[2], sys.argv[3]
cents = lambda s: round(float(s.replace(",", "")) * 100)
number = r"-?[\d,]+\.\d\d"
body = text.split("CUENTA: 210", 1)[1]
head, rest = body.split("COSTO DIRECTO:", 1)
direct_line = rest.splitlines()[0]
direct = cents(re.findall(number, direct_line)[-1])
assert direct == cents(unit) == 51339, (direct, unit)
parts = [cents(re.search(label + r" +(" + number + ")", head).group(1))
         for label in ("MANO DE OBRA:", "MATERIALES:", "COSTOS HORARIOS:", "PORCENTAJES:")]
assert sum(parts) == direct, (parts, direct)
lines, groups, group = [], [], 0
for l in head.splitlines():
    figures = re.findall(r"-?[\d,]+\.\d+", l)
    if figures and re.fullmatch(r"-?[\d,]+\.\d{4}", figures[0]):  # a line: its quantity first
        lines.append(cents(figures[-1]))
        group += lines[-1]
    elif len(figures) == 1 and lines and l.strip() == figures[0]:  # a kind's subtotal
        assert cents(figures[0]) == group, (l, group)
        groups.append(group)
        group = 0
assert lines and sum(lines) == sum(groups) == direct, (lines, groups, direct)
if name == "horizontal":  # the four column totals before the direct cost
    columns = [cents(f) for f in re.findall(number, direct_line)[:-1]]
    assert sum(columns) == direct and sorted(c for c in columns if c) == sorted(p for p in parts if p), (columns, parts)
PY
done
has horizontal "C/HORAR"
has horizontal "PORCEN"
pdf maquinas --obra CASA01
has maquinas "COSTO HORARIO DE MAQUINARIA Y EQUIPO"
has maquinas "(20) DEPRECIACION ((6)-(8))/(5)"
has maquinas "IMPORTE TOTAL"
pdf maquinas-concentrado --obra CASA01
has maquinas-concentrado "MAQUINARIA Y EQUIPO DE LA OBRA: CASA HABITACION"
pdf conceptos-base --desde 800
has conceptos-base "CUENTA: 800"
pdf horizontal-base --desde 800
has horizontal-base "C/HORAR"
pdf maquinas-base
has maquinas-base "(19) DIAS LABORABLES AL AñO:"
pdf insumos --orden A
has insumos "CATALOGO DE INSUMOS"
has insumos "CEMENTO GRIS PORTLAND CPC 30R"
pdf salarios
has salarios "ESTUDIO DE SALARIOS"
pdf claves
has claves "Reporte de Claves Genéricas"
pdf zonas
has zonas "ESTUDIO DE ZONAS DE SALARIO"
echo "reports ok"
