#!/bin/sh
# The headless commands end to end: demo creates an installation whose every
# table file the sqlite3 tool accepts; check reports and repairs; failures give
# one line and a non-zero status.
set -eu
VELMORA="$1"
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
export VELMORA_SETTINGS="$DIR/settings"

"$VELMORA" demo "$DIR/data" > "$DIR/out"
grep -q "Instalación de demostración lista" "$DIR/out"
for f in DATA0 DATA1 DATA2 DATA3 DATA4 DATA4A DATA5 DATA6 DATA7 DATA8 DATA9 USB.DLL; do
    [ "$(sqlite3 "$DIR/data/$f" 'PRAGMA integrity_check')" = "ok" ] || { echo "bad $f"; exit 1; }
done
[ "$(sqlite3 "$DIR/settings/FONTS.DLL" 'SELECT count(*) FROM VGA')" = "1" ]

"$VELMORA" check "$DIR/data" > "$DIR/out"
[ "$(grep -c ' ok ' "$DIR/out")" = "19" ] || { cat "$DIR/out"; exit 1; }

# A dropped key is rebuilt on the next open.
sqlite3 "$DIR/data/DATA4" 'DROP INDEX INBA_DES_KEY'
if "$VELMORA" check "$DIR/data" > "$DIR/out" 2> "$DIR/err"; then echo "check passed over a rebuilt key"; exit 1; fi
grep -q "Clave inválida" "$DIR/err"
[ -n "$(sqlite3 "$DIR/data/DATA4" "SELECT name FROM sqlite_schema WHERE name='INBA_DES_KEY'")" ]
"$VELMORA" check "$DIR/data" > /dev/null  # repaired: clean again

# A file that is not a table: a clear message, a failure status, the file kept.
echo "no soy una tabla" > "$DIR/data/DATA9"
if "$VELMORA" check "$DIR/data" > "$DIR/out" 2> "$DIR/err"; then echo "check passed on a bad file"; exit 1; fi
grep -q "Error de Acceso" "$DIR/err"
[ "$(cat "$DIR/data/DATA9")" = "no soy una tabla" ]

if "$VELMORA" check "$DIR/nada" 2> "$DIR/err"; then exit 1; fi
[ "$(wc -l < "$DIR/err")" = "1" ]

# The analysis of a concept, as text and as JSON for scripts.
"$VELMORA" demo "$DIR/cat" > /dev/null
"$VELMORA" analisis --data "$DIR/cat" 1010 > "$DIR/out"
grep -q "MURO DE BLOCK HUECO" "$DIR/out"
grep -q "PRECIO UNITARIO:" "$DIR/out"
"$VELMORA" analisis --data "$DIR/cat" 1010 --json > "$DIR/out"
python3 - "$DIR/out" <<'PY'
import json, sys
a = json.load(open(sys.argv[1]))
for key in ("cta", "PU_MOBRA", "PU_MATERIAL", "PU_EQUIPO", "PU_PORCEN", "unit_price", "lines"):
    assert key in a, key
assert a["cta"] == 1010 and len(a["lines"]) == 5
assert abs(a["PU_MOBRA"] + a["PU_MATERIAL"] + a["PU_EQUIPO"] + a["PU_PORCEN"] - a["unit_price"]) < 0.005
for line in a["lines"]:
    assert set(("category", "cta", "quantity", "price", "amount")) <= set(line)
# As printed, the lines add up to the unit price (524.30, not the 524.31 of
# each line rounded on its own), and so do the four parts.
cents = lambda x: round(x * 100)
assert cents(a["unit_price"]) == 52430, a["unit_price"]
assert sum(cents(l["amount"]) for l in a["lines"]) == cents(a["unit_price"]) == cents(a["direct_cost"]), a
assert sum(cents(a[k]) for k in ("PU_MOBRA", "PU_MATERIAL", "PU_EQUIPO", "PU_PORCEN")) == cents(a["unit_price"])
PY
# The same analysis as text adds up as printed too.
"$VELMORA" analisis --data "$DIR/cat" 1010 > "$DIR/out"
python3 - "$DIR/out" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
cents = lambda s: round(float(s.replace(",", "")) * 100)
lines = [l for l in text.splitlines() if re.match(r"^[BCI]  \d  ", l)]
assert len(lines) == 5, text
total = sum(cents(l.split()[-1]) for l in lines)
direct = cents(re.search(r"COSTO DIRECTO: +([\d,.]+)", text).group(1))
unit = cents(re.search(r"PRECIO UNITARIO: +([\d,.]+)", text).group(1))
assert total == direct == unit == 52430, (total, direct, unit)
PY
for bad in "--data $DIR/cat 424242" "--data $DIR/nada 1010" "--data $DIR/cat uno"; do
    if "$VELMORA" analisis $bad > /dev/null 2> "$DIR/err"; then echo "analisis $bad passed"; exit 1; fi
    [ "$(wc -l < "$DIR/err")" = "1" ] || { cat "$DIR/err"; exit 1; }
done
# The works: the register, a budget as stored and recalculated.
"$VELMORA" obras --data "$DIR/cat" --json > "$DIR/out"
python3 - "$DIR/out" <<'PY'
import json, sys
works = {w["cta"]: w for w in json.load(open(sys.argv[1]))}
assert set(works) == {"CASA01", "BODEGA02"}, works
house = works["CASA01"]
assert house["zone"] == 2
assert abs(house["TOBR"] + house["TMAT"] + house["TCOS"] + house["TPOR"] - house["direct_cost"]) < 1e-6
PY
"$VELMORA" presupuesto --data "$DIR/cat" --obra BODEGA02 | grep -q "COSTO TOTAL:"
"$VELMORA" calcula --data "$DIR/cat" --obra BODEGA02 --json > "$DIR/out"
python3 - "$DIR/out" <<'PY'
import json, sys
b = json.load(open(sys.argv[1]))
assert b["obra"] == "BODEGA02" and b["zone"] == 4 and len(b["rows"]) == 6
assert [r["kind"] for r in b["rows"]] == ["T", "C", "C", "C", "C", "S"]
assert abs(b["rows"][-1]["amount"] - b["direct_cost"]) < 1e-6
s = b["summary"]
assert abs(s["COSTO_TOTAL"] - s["SUBTOTAL"] - s["IMP_IVA"]) < 1e-6
PY
for bad in "calcula --data $DIR/cat --obra NADA" "presupuesto --data $DIR/nada --obra CASA01"; do
    if "$VELMORA" $bad > /dev/null 2> "$DIR/err"; then echo "$bad passed"; exit 1; fi
    [ "$(wc -l < "$DIR/err")" = "1" ] || { cat "$DIR/err"; exit 1; }
done

# A report to PDF, text and pictures through the same pages.
"$VELMORA" report zonas --data "$DIR/cat" --pdf "$DIR/zonas.pdf" > /dev/null
[ "$(pdfinfo "$DIR/zonas.pdf" | awk '/^Pages:/ {print $2}')" = "1" ]
pdftotext -layout "$DIR/zonas.pdf" - | grep -q "ESTUDIO DE ZONAS DE SALARIO"
pdftotext -layout "$DIR/zonas.pdf" - | grep -q "Hoja 1 de 1"
pdftotext -layout "$DIR/zonas.pdf" - | grep -q "ZONA LIBRE FRONTERA NORTE"
"$VELMORA" report zonas --data "$DIR/cat" --txt "$DIR/zonas.txt" > /dev/null
grep -q "CIUDAD DE MEXICO" "$DIR/zonas.txt"
"$VELMORA" report zonas --data "$DIR/cat" --png "$DIR/zonas" > /dev/null
[ -s "$DIR/zonas/hoja-1.png" ]
if "$VELMORA" report zonas --data "$DIR/cat" 2> /dev/null; then echo "report without an output passed"; exit 1; fi
"$VELMORA" report presupuesto --data "$DIR/cat" --obra BODEGA02 --pdf "$DIR/presupuesto.pdf" > /dev/null
pdftotext -layout "$DIR/presupuesto.pdf" - > "$DIR/presupuesto.txt"
grep -q "PRESUPUESTO DE OBRA: BODEGA DE MATERIALES" "$DIR/presupuesto.txt"
grep -q "PESOS .*/100. M.N.)" "$DIR/presupuesto.txt"
grep -q "PARTIDAS DE OBRA" "$DIR/presupuesto.txt"
[ "$(grep -c "IMPORTE TOTAL" "$DIR/presupuesto.txt")" = "2" ]
"$VELMORA" report detalle --data "$DIR/cat" --obra BODEGA02 --resumen N --txt "$DIR/detalle.txt" > /dev/null
grep -q "M/OBRA" "$DIR/detalle.txt"
! grep -q "IMPORTE TOTAL" "$DIR/detalle.txt"
# The report names, and a date that is not one.
[ "$("$VELMORA" report --list | wc -l)" -ge 15 ]
if "$VELMORA" report insumos --data "$DIR/cat" --fecha-desde 31/02/2026 --txt "$DIR/x.txt" 2> /dev/null; then
  echo "an impossible date passed"; exit 1
fi
# The work's machines come from its explosion: refused before, listed after.
if "$VELMORA" report maquinas --data "$DIR/cat" --obra BODEGA02 --txt "$DIR/m.txt" 2> /dev/null; then
  echo "machine sheets before the explosion passed"; exit 1
fi
"$VELMORA" report explosion --data "$DIR/cat" --obra BODEGA02 --txt "$DIR/explosion.txt" > /dev/null
"$VELMORA" report maquinas-concentrado --data "$DIR/cat" --obra BODEGA02 --txt "$DIR/mc.txt" > /dev/null
grep -q "MAQUINARIA Y EQUIPO DE LA OBRA" "$DIR/mc.txt"
if "$VELMORA" report presupuesto --data "$DIR/cat" --txt "$DIR/x.txt" 2> /dev/null; then echo "work report without a work passed"; exit 1; fi

# Usage: strict numbers, one line, status 2; help per subcommand.
for bad in "analisis --data $DIR/cat 1010 --zona 2x" "analisis --zona 1.9 --data $DIR/cat 1010" \
           "analisis 1010" "screenshots $DIR/shots" "/home/nadie" "demo"; do
    set +e; "$VELMORA" $bad > /dev/null 2> "$DIR/err"; rc=$?; set -e
    [ "$rc" = "2" ] || { echo "$bad: status $rc"; exit 1; }
    [ "$(wc -l < "$DIR/err")" = "1" ] || { cat "$DIR/err"; exit 1; }
done
# The command line's complaints come in Spanish, one line each.
for case in "coloca --data $DIR/cat|falta la opción obligatoria --lista" \
            "report presupuesto --data $DIR/cat --obra CASA01 --zona 9 --txt $DIR/x.txt|debe estar entre 1 y 5" \
            "report presupuesto --data $DIR/cat --obra CASA01 --completa X --txt $DIR/x.txt|no es uno de" \
            "report presupuesto --data $DIR/cat --obra CASA01 --desde|falta el valor de --desde"; do
    set +e; "$VELMORA" ${case%%|*} > /dev/null 2> "$DIR/err"; rc=$?; set -e
    [ "$rc" = "2" ] || { echo "${case%%|*}: status $rc"; exit 1; }
    [ "$(wc -l < "$DIR/err")" = "1" ] || { cat "$DIR/err"; exit 1; }
    grep -q -- "${case#*|}" "$DIR/err" || { cat "$DIR/err"; exit 1; }
    if grep -qiE "required|expected|not in|argument" "$DIR/err"; then cat "$DIR/err"; exit 1; fi
done
"$VELMORA" analisis --help | grep -q "Uso: velmora analisis"
"$VELMORA" --data "$DIR/cat" analisis 1010 | grep -q "PRECIO UNITARIO:"

# Reading commands never create tables: a missing lines file is an error.
rm "$DIR/cat/DATA6"
if "$VELMORA" analisis --data "$DIR/cat" 1010 > /dev/null 2> "$DIR/err"; then echo "priced without lines"; exit 1; fi
grep -q "no existe" "$DIR/err"
! grep -q "Press OK" "$DIR/err"
[ ! -e "$DIR/cat/DATA6" ]
if "$VELMORA" screenshots "$DIR/shots" --data "$DIR/nada" 2> "$DIR/err"; then exit 1; fi
[ ! -e "$DIR/nada" ]
# check creates what is missing, says so, and fails.
if "$VELMORA" check "$DIR/cat" > "$DIR/out" 2> /dev/null; then echo "check passed over a missing table"; exit 1; fi
grep -q "DATA6.*creada" "$DIR/out"
# A screen whose record is missing is said, and the screenshots fail.
sqlite3 "$DIR/cat/DATA4" "DELETE FROM INBA WHERE CTA = 10001"
if QT_QPA_PLATFORM=offscreen "$VELMORA" screenshots "$DIR/shots" --data "$DIR/cat" > /dev/null 2> "$DIR/err"; then
    echo "screenshots passed without input 10001"; exit 1
fi
grep -q "falta el registro 10001 de INBA" "$DIR/err"

# Without VELMORA_SETTINGS an installation keeps its settings beside it.
unset VELMORA_SETTINGS
"$VELMORA" demo "$DIR/own" > /dev/null
[ -f "$DIR/own/.settings/FONTS.DLL" ]

# Backup: a line per file, archives that unzip tests, a restore that gives
# the table back; a damaged archive is refused and changes nothing.
mkdir -p "$DIR/mis respaldos"
"$VELMORA" respalda --data "$DIR/own" --destino "$DIR/mis respaldos" > "$DIR/out"
grep -q "^OBRAS.zip: DATA1$" "$DIR/out"
grep -q "^CASA01.zip: OBRA2$" "$DIR/out"
for a in OBRAS CASA01 BODEGA02; do unzip -tq "$DIR/mis respaldos/$a.zip" > /dev/null; done
sqlite3 "$DIR/own/CASA01/OBRA2" .dump > "$DIR/obra2.antes"
printf 'basura' > "$DIR/own/CASA01/OBRA2"
"$VELMORA" restaura --data "$DIR/own" --desde "$DIR/mis respaldos/CASA01.zip" --obra CASA01 | grep -q "Obra CASA01 restaurada."
sqlite3 "$DIR/own/CASA01/OBRA2" .dump | cmp -s "$DIR/obra2.antes" -
head -c 2000 "$DIR/mis respaldos/OBRAS.zip" > "$DIR/cortado.zip"
if "$VELMORA" restaura --data "$DIR/own" --desde "$DIR/cortado.zip" 2> "$DIR/err"; then echo "restored a cut archive"; exit 1; fi
grep -q "no se puede leer el respaldo" "$DIR/err"
if "$VELMORA" respalda --data "$DIR/own" --destino "$DIR/no-existe" 2> /dev/null; then echo "backup to nowhere"; exit 1; fi

# Every command holds the installation: while a restore holds it alone
# (flock stands in for one), a writer refuses with one clear line.
flock -x "$DIR/own/.velmora-en-uso" sleep 3 &
sleep 0.5
if "$VELMORA" calcula --data "$DIR/own" --obra CASA01 > /dev/null 2> "$DIR/err"; then echo "calcula under a restore"; exit 1; fi
grep -q "^velmora: se está restaurando un respaldo" "$DIR/err"
wait

# A read-only installation is reported and backed up, without complaints;
# a command that writes says it cannot write there.
as_user() { if [ "$(id -u)" = 0 ]; then runuser -u nobody -- "$@"; else "$@"; fi; }
chmod 755 "$DIR"
RO="$DIR/solo-lectura"
cp -r "$DIR/own" "$RO"
mkdir "$DIR/ro-out" && chmod 777 "$DIR/ro-out"
chmod -R a-w "$RO"
if as_user "$VELMORA" --help > /dev/null 2>&1; then
    as_user "$VELMORA" report presupuesto --data "$RO" --obra CASA01 --txt "$DIR/ro-out/p.txt" > /dev/null 2> "$DIR/ro-out/err"
    [ ! -s "$DIR/ro-out/err" ] || { cat "$DIR/ro-out/err"; exit 1; }
    grep -q "COSTO DIRECTO" "$DIR/ro-out/p.txt"
    as_user "$VELMORA" report explosion --data "$RO" --obra CASA01 --txt "$DIR/ro-out/e.txt" > /dev/null
    as_user "$VELMORA" respalda --data "$RO" --destino "$DIR/ro-out" > /dev/null
    unzip -tq "$DIR/ro-out/OBRAS.zip" > /dev/null
    if as_user "$VELMORA" calcula --data "$RO" --obra CASA01 > /dev/null 2> "$DIR/ro-out/err"; then
        echo "calcula on a read-only installation"; exit 1
    fi
    grep -q "^velmora: no se puede escribir en la instalación" "$DIR/ro-out/err"
    [ "$(wc -l < "$DIR/ro-out/err")" = "1" ] || { cat "$DIR/ro-out/err"; exit 1; }
else
    echo "cli: the read-only installation case needs a user who can run $VELMORA; skipped"
fi
chmod -R u+w "$RO"


# A new work never takes over what is already under its name: a folder, a
# table file's name, a symbolic link to another work's folder; refused, it
# is not left registered. A work whose folder is a link is not worked on.
mkdir "$DIR/data/OTRA"
ln -s "$DIR/data/CASA01" "$DIR/data/ENLACE"
for code in OTRA DATA1 ENLACE; do
    if "$VELMORA" alta-obra --data "$DIR/data" --obra $code --nombre X --zona 1 > /dev/null 2> "$DIR/err"; then
        echo "alta-obra took $code"; exit 1
    fi
    grep -q "ya existe" "$DIR/err" || { cat "$DIR/err"; exit 1; }
    if "$VELMORA" obras --data "$DIR/data" --json | grep -q "\"cta\":\"$code\""; then echo "$code left registered"; exit 1; fi
done
"$VELMORA" alta-obra --data "$DIR/data" --obra NUEVA --nombre X --zona 1 > /dev/null
[ -f "$DIR/data/NUEVA/OBRA2" ] || { echo "no work inputs table"; exit 1; }
mv "$DIR/data/NUEVA" "$DIR/data/NUEVA.real"
ln -s "$DIR/data/CASA01" "$DIR/data/NUEVA"
if "$VELMORA" calcula --data "$DIR/data" --obra NUEVA > /dev/null 2> "$DIR/err"; then echo "calcula through a link"; exit 1; fi
grep -q "enlace simbólico" "$DIR/err" || { cat "$DIR/err"; exit 1; }

echo "cli ok"
