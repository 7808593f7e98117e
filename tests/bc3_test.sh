#!/bin/sh
# FIEBDC-3 exchange of the base catalogue:
# - the demo and a random catalogue survive export, import into an empty
#   installation and export again with every unit price to the cent;
# - a file in code page 850 or 437 reads its accents;
# - a malformed file is refused naming its line, and nothing is written;
# - percentages are fractions of one, both ways, and a concept's price in
#   the file is compared with the one its parts give here;
# - long codes, deep chains, measurements, UTF-16 and trials.
set -eu
VELMORA="$1"
PY=/usr/bin/python3
DIR=$(mktemp -d)
. "$(dirname "$0")/storage.sh"
trap 'storage_cleanup; rm -rf "$DIR"' EXIT
new_demo demo

# The unit price of every concept of a BC3 file: "code price" lines, sorted.
prices() { tr -d '\r' < "$1" | awk -F'|' '$1 == "~C" && $7 == "0" && $2 !~ /#/ { split($2, c, "\\"); print c[1], $5 }' | sort; }
# A checksum of the catalogue's rows.
catalogue() {
    for f in DATA2 DATA3 DATA4 DATA5 DATA6; do sqlite3 "$1/$f" "SELECT * FROM $(sqlite3 "$1/$f" "SELECT name FROM sqlite_master WHERE type='table' AND name <> 'velmora_meta'") ORDER BY _id"; done | md5sum
}
roundtrip() {  # FILE NAME: import into an empty installation, export again, compare
    new_empty "$2"
    "$VELMORA" importa-bc3 --data "$(data_of "$2")" --lista 3 "$1" > "$DIR/$2.out"
    "$VELMORA" exporta-bc3 --data "$(data_of "$2")" --lista 3 --salida "$DIR/$2.bc3" > /dev/null
    prices "$1" > "$DIR/expected"
    prices "$DIR/$2.bc3" > "$DIR/got"
    [ -s "$DIR/expected" ] || { echo "no concepts in $1"; exit 1; }
    diff "$DIR/expected" "$DIR/got" || { echo "unit prices changed in the round trip of $1"; exit 1; }
}

# The demo, at list 3: its labour carries the zone's real wage.
"$VELMORA" exporta-bc3 --data "$(data_of demo)" --lista 3 --salida "$DIR/demo.bc3" > /dev/null
head -c 40 "$DIR/demo.bc3" | grep -q '^~V||FIEBDC-3/2016|'
grep -q '^~C|C1030\\EST-006|M|COLUMNA DE 30x30 CM CON CONCRETO F' "$DIR/demo.bc3"
grep -q '^~D|C1028\\*|C901\\1\\0.09\\I10017\\1\\1.03\\I10018\\1\\4.5\\I20002\\1\\0.02\\MAT%\\1\\0.04\\|' "$DIR/demo.bc3" ||
    { grep C1028 "$DIR/demo.bc3"; exit 1; }
roundtrip "$DIR/demo.bc3" empty
# Reading its own export back changes nothing at all.
copy_installation demo again
before=$(catalogue "$(files_of again)")
"$VELMORA" importa-bc3 --data "$(data_of again)" --lista 3 "$DIR/demo.bc3" --prueba > "$DIR/out"
grep -q "Se importarían a la lista 3: 0 insumos nuevos y 38 cambiados" "$DIR/out" || { cat "$DIR/out"; exit 1; }
[ "$(catalogue "$(files_of again)")" = "$before" ]
"$VELMORA" importa-bc3 --data "$(data_of again)" --lista 3 "$DIR/demo.bc3" > /dev/null
"$VELMORA" exporta-bc3 --data "$(data_of again)" --lista 3 --salida "$DIR/again.bc3" > /dev/null
cmp "$DIR/demo.bc3" "$DIR/again.bc3"

# A random catalogue as another program writes it: its own codes, chapters,
# labour, machinery, percentages and basics nested several levels deep.
$PY - "$DIR/random.bc3" <<'PY'
import random, sys
rnd = random.Random(20261211)
out = ["~V|OTRO|FIEBDC-3/2016|Otro programa 2.1||ANSI|", "~K|\\2\\2\\3\\2\\2\\2\\2\\EUR\\|"]
items, kids = [], {}
def c(code, unit, text, price, kind):
    out.append(f"~C|{code}|{unit}|{text}|{price}|01102026|{kind}|")
for i in range(30):
    c(f"MT{i:03d}", rnd.choice(["m3", "kg", "pza"]), f"MATERIAL NUMERO {i}", round(rnd.uniform(0.5, 9000), 2), 3); items.append(f"MT{i:03d}")
for i in range(10):
    c(f"MO{i:03d}", "jor", f"OFICIAL {i}", round(rnd.uniform(300, 1500), 2), 1); items.append(f"MO{i:03d}")
for i in range(4):
    c(f"MQ{i:03d}", "h", f"EQUIPO {i}", round(rnd.uniform(50, 2500), 2), 2); items.append(f"MQ{i:03d}")
c("%MA", "%", "HERRAMIENTA MENOR", "", 1)
c("%CI", "%", "DESPERDICIOS", "", 3)
concepts = []
for i in range(60):
    code = f"E{i:04d}"
    pool = items + concepts[-15:]
    children = rnd.sample(pool, rnd.randint(1, min(8, len(pool))))
    parts = [f"{k}\\1\\{round(rnd.uniform(0.001, 12 if k in items else 2), 4)}" for k in children]
    if rnd.random() < 0.4: parts.append(f"%CI\\1\\{rnd.choice([0.02, 0.03, 0.05])}")
    if rnd.random() < 0.4: parts.append(f"%MA\\1\\{rnd.choice([0.02, 0.03])}")
    c(code, "m2", f"PARTIDA {i}", 0, 0)
    out.append(f"~D|{code}|" + "\\".join(parts) + "\\|")
    if rnd.random() < 0.3: out.append(f"~T|{code}|Texto largo de la partida {i},\r\nen dos lineas.|")
    concepts.append(code)
out.append("~C|CAP##||PRESUPUESTO|||0|")
out.append("~D|CAP##|EST#\\1\\1\\OTROS#\\1\\1\\|")
out.append("~C|EST#||ESTRUCTURA|||0|")
out.append("~D|EST#|" + "".join(f"{k}\\1\\1\\" for k in concepts[:20]) + "|")
out.append("~C|OTROS#||OTROS CAPITULOS|||0|")
out.append("~D|OTROS#|" + "".join(f"{k}\\1\\1\\" for k in concepts[20:]) + "|")
open(sys.argv[1], "w", encoding="cp1252", newline="").write("\r\n".join(out) + "\r\n")
PY
new_empty random
"$VELMORA" importa-bc3 --data "$(data_of random)" --lista 3 "$DIR/random.bc3" > "$DIR/out"
grep -q "44 insumos nuevos.*4 máquinas nuevas.*60 conceptos nuevos.*1 claves genéricas nuevas" "$DIR/out" || { cat "$DIR/out"; exit 1; }
[ "$(sql_in random DATA3 "SELECT \"GENE\" || '|' || \"LLAV\" FROM \"COBA\" WHERE \"LLAV\" = 'E0002'")" = "EST|E0002" ]
"$VELMORA" exporta-bc3 --data "$(data_of random)" --lista 3 --salida "$DIR/random-ours.bc3" > /dev/null
roundtrip "$DIR/random-ours.bc3" random2

# Code pages 850 and 437: "Ó" is 0xE0 in 850; "Ñ" is 0xA5 in both.
for page in 850 437; do
    new_empty "cp$page"
    printf '~V||FIEBDC-3/2016|x||%s|\r\n~C|C1|m3|EXCAVACI\340N CA\245ADA|10||0|\r\n~C|I1|m3|ARENA|5||3|\r\n~D|C1|I1\\1\\2\\|\r\n' "$page" > "$DIR/cp$page.bc3"
    "$VELMORA" importa-bc3 --data "$(data_of cp$page)" --lista 1 "$DIR/cp$page.bc3" > /dev/null
    text=$(sql_in "cp$page" DATA3 'SELECT "TEXT" FROM "COBA"')
    case $page in
        850) [ "$text" = "EXCAVACIÓN CAÑADA" ] || { echo "850: $text"; exit 1; } ;;
        437) [ "$text" = "EXCAVACIαN CAÑADA" ] || { echo "437: $text"; exit 1; } ;;  # 0xE0 is alpha in 437
    esac
done

# Malformed files: refused with their line, and the catalogue untouched.
before=$(catalogue "$(files_of demo)")
head='~V||FIEBDC-3/2016|x||ANSI|'
while IFS='#' read -r name body expected; do
    printf '%s\r\n%b' "$head" "$body" > "$DIR/bad.bc3"
    if "$VELMORA" importa-bc3 --data "$(data_of demo)" --lista 1 "$DIR/bad.bc3" > /dev/null 2> "$DIR/err"; then
        echo "$name: imported"; exit 1
    fi
    grep -q -- "$expected" "$DIR/err" || { echo "$name:"; cat "$DIR/err"; exit 1; }
    grep -q "no se importó nada" "$DIR/err"
done <<'CASES'
cycle#~C|A|m|UNO|||0|\r\n~C|B|m|DOS|||0|\r\n~D|A|B\\1\\1\\|\r\n~D|B|A\\1\\1\\|\r\n#línea 5: ciclo
unknown child#~C|A|m|UNO|||0|\r\n~D|A|NADA\\1\\1\\|\r\n#línea 3: código desconocido: NADA
long unit#~C|A|METROS|UNO|1||3|\r\n#línea 2: la unidad de A pasa de 4
long code#~C|ABCDEFGHIJKLMNOPQRSTU|m|UNO|||3|\r\n#línea 2: código de más de 20
long summary#~C|A|m|UN TEXTO QUE NO CABE EN LAS DOS LINEAS DE LA DESCRIPCION DE UN INSUMO DE LA BASE|1||3|\r\n#línea 2: el resumen de A pasa de 70
comma price#~C|A|m|UNO|12,50||3|\r\n#línea 2: precio no numérico
negative price#~C|A|m|UNO|-3||3|\r\n#línea 2: precio negativo
huge price#~C|A|m|UNO|5000000000||3|\r\n#línea 2: precio desmedido
bad date#~C|A|m|UNO|1|31022026|3|\r\n#línea 2: fecha no válida
bad type#~C|A|m|UNO|1||9|\r\n#línea 2: tipo no válido
orphan decomposition#~D|A|B\\1\\1\\|\r\n#línea 2: descomposición de un código sin registro
twice#~C|A|m|UNO|1||3|\r\n~C|A|m|UNO|1||3|\r\n#línea 3: el código A ya se definió
bad quantity#~C|A|m|UNO|||0|\r\n~C|B|m|DOS|1||3|\r\n~D|A|B\\1\\x\\|\r\n#línea 4: cantidad no numérica
CASES
printf 'hola\r\n' > "$DIR/bad.bc3"
"$VELMORA" importa-bc3 --data "$(data_of demo)" --lista 1 "$DIR/bad.bc3" 2> "$DIR/err" && { echo "hola: imported"; exit 1; }
grep -q "no es un archivo FIEBDC-3" "$DIR/err"
printf '%s\r\n~C|A|m|UNO|||0|\r\n~C|B|m|DOS|1||3|\r\n~D|A|B\\1\\1\\|\r\n~T|A|%0701d|\r\n' "$head" 0 > "$DIR/bad.bc3"
# (sh's printf pads with zeros: a text of 701 characters.)
"$VELMORA" importa-bc3 --data "$(data_of demo)" --lista 1 "$DIR/bad.bc3" 2> "$DIR/err" && { echo "long text: imported"; exit 1; }
grep -q "línea 2: el texto de A pasa de 700" "$DIR/err"
[ "$(catalogue "$(files_of demo)")" = "$before" ]
# Percentages are fractions of one in the format. By hand, at list 1:
#   E01 = PEON 1 x 100 + ARENA 1 x 20 + MO% 0.05 of labour (5.00)  = 125.00
#   E02 = PEON 1.5 x 100 + ARENA 1 x 20 + %CI 0.03 of materials (0.60) = 170.60,
#         where the file says 175.72: listed, in a trial too.
printf '%s\r\n' '~V|OTRO|FIEBDC-3/2016|Otro programa||ANSI|' \
    '~C|PEON|jor|PEON|100|01102026|1|' '~C|ARENA|m3|ARENA|20|01102026|3|' \
    '~C|MO%|%|HERRAMIENTA|||1|' '~C|%CI|%|INDIRECTOS|||3|' \
    '~C|E01|m3|EXCAVACION|125||0|' '~D|E01|PEON\1\1\ARENA\1\1\MO%\1\0.05\|' \
    '~C|E02|m3|RELLENO|175.72||0|' '~D|E02|PEON\1\1.5\ARENA\1\1\%CI\1\0.03\|' \
    '~M|E01\E01|1\1\|10|\|' > "$DIR/pct.bc3"
new_empty pct
"$VELMORA" importa-bc3 --data "$(data_of pct)" --lista 1 "$DIR/pct.bc3" --prueba > "$DIR/out"
grep -q "línea 8: E02 trae el precio 175.72 y sus partes dan 170.60 aquí" "$DIR/out" || { cat "$DIR/out"; exit 1; }
if grep -q "E01 trae" "$DIR/out"; then cat "$DIR/out"; exit 1; fi
grep -q "línea 10: 1 registro de mediciones (~M) no se importa" "$DIR/out"
if [ -n "$SERVER_URL" ]; then
    tables=$(psql -qAtX "$SERVER_URL" -c "SELECT count(*) FROM pg_tables WHERE schemaname LIKE '$(schema_of pct)%'")
    [ "$tables" = 0 ] || { echo "a trial made $tables tables"; exit 1; }
elif [ -n "$(ls "$DIR/pct")" ]; then  # the use marker aside
    echo "a trial made table files:"; ls "$DIR/pct"; exit 1
fi
"$VELMORA" importa-bc3 --data "$(data_of pct)" --lista 1 "$DIR/pct.bc3" > /dev/null
"$VELMORA" exporta-bc3 --data "$(data_of pct)" --lista 1 --salida "$DIR/pct-ours.bc3" > /dev/null
tr -d '\r' < "$DIR/pct-ours.bc3" > "$DIR/pct-ours.txt"
grep -q '^~C|C[0-9]*\\E01|m3|EXCAVACION|125|' "$DIR/pct-ours.txt" || { cat "$DIR/pct-ours.txt"; exit 1; }
grep -q '^~C|C[0-9]*\\E02|m3|RELLENO|170.6|' "$DIR/pct-ours.txt"
grep -q '^~D|C[0-9]*|I[0-9]*\\1\\1\\I[0-9]*\\1\\1\\MO%\\1\\0.05\\|' "$DIR/pct-ours.txt"
# The root and chapters carry their children's worth; no price carries binary noise.
grep -q '^~C|BASE##||BASE DE DATOS GENERAL, LISTA DE PRECIOS 1|415.6|' "$DIR/pct-ours.txt" ||
    { grep BASE "$DIR/pct-ours.txt"; exit 1; }
if awk -F'|' '$1 == "~C" && $5 ~ /\.[0-9][0-9][0-9]/' "$DIR/pct-ours.txt" | grep -q .; then
    echo "prices with noise"; exit 1
fi
# The demo's real wages have the decimals of their factors (818.29175865),
# within the eight the ~K record declares; none has the digits of binary
# noise (2957.0600000000004).
if tr -d '\r' < "$DIR/demo.bc3" | awk -F'|' '$1 == "~C" && $5 ~ /\.[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]/' | grep -q .; then
    echo "demo prices with noise"; exit 1
fi
tr -d '\r' < "$DIR/demo.bc3" | grep -q '^~K|\\|0\\0\\0\\0\\0\\|[0-9]*\\8\\'
# A file of ours from before, with percentages in per cent, reads as it meant.
sed -e 's/|Velmora 2|/|Velmora|/' -e 's/MO%\\1\\0.05\\/MO%\\1\\5\\/' "$DIR/pct-ours.bc3" > "$DIR/pct-old.bc3"
new_empty pctold
"$VELMORA" importa-bc3 --data "$(data_of pctold)" --lista 1 "$DIR/pct-old.bc3" > /dev/null
"$VELMORA" exporta-bc3 --data "$(data_of pctold)" --lista 1 --salida "$DIR/pct-old-again.bc3" > /dev/null
tr -d '\r' < "$DIR/pct-old-again.bc3" | grep -q '^~C|C[0-9]*\\E01|m3|EXCAVACION|125|'

# Codes longer than a key get a key of their own, the same at every import:
# a second import changes the records it made, it does not add more.
printf '%s\r\n' '~V|OTRO|FIEBDC-3/2016|Otro programa||ANSI|' \
    '~C|mt08aaa010a|m3|AGUA|12.5||3|' '~C|mt08aaa010b|m3|AGUA TRATADA|13||3|' \
    '~C|ABP0000000001|m3|MEZCLA|||0|' '~D|ABP0000000001|mt08aaa010a\1\2\mt08aaa010b\1\1\|' > "$DIR/long.bc3"
new_empty long
"$VELMORA" importa-bc3 --data "$(data_of long)" --lista 1 "$DIR/long.bc3" > "$DIR/out"
grep -q "códigos pasan de 9 caracteres" "$DIR/out" || { cat "$DIR/out"; exit 1; }
"$VELMORA" importa-bc3 --data "$(data_of long)" --lista 1 "$DIR/long.bc3" > "$DIR/out"
grep -q "0 insumos nuevos y 2 cambiados.*0 conceptos nuevos y 1 cambiados" "$DIR/out" || { cat "$DIR/out"; exit 1; }
[ "$(sql_in long DATA4 'SELECT count(*) FROM "INBA"')" = 2 ]
[ "$(sql_in long DATA4 'SELECT count(DISTINCT "LLAV") FROM "INBA"')" = 2 ]

# A chain deeper than pricing follows is said, not priced 0.00 in silence.
$PY - "$DIR/deep.bc3" <<'PY'
import sys
out = ["~V|OTRO|FIEBDC-3/2016|Otro programa||ANSI|", "~C|ARENA|m3|ARENA|20||3|"]
for i in range(12):
    out.append(f"~C|N{i:02d}|m3|NIVEL {i}|||0|")
    out.append(f"~D|N{i:02d}|" + (f"N{i + 1:02d}" if i < 11 else "ARENA") + "\\1\\1\\|")
open(sys.argv[1], "w", newline="").write("\r\n".join(out) + "\r\n")
PY
new_empty deep
"$VELMORA" importa-bc3 --data "$(data_of deep)" --lista 1 "$DIR/deep.bc3" --prueba > "$DIR/out"
grep -q "línea 3: N00 tiene conceptos anidados a más de 10 niveles" "$DIR/out" || { cat "$DIR/out"; exit 1; }
if grep -q "N02 tiene conceptos anidados" "$DIR/out"; then cat "$DIR/out"; exit 1; fi

# A file in UTF-16, or not text at all, is refused: never "0 records".
iconv -f CP1252 -t UTF-16 "$DIR/pct.bc3" > "$DIR/utf16.bc3"
printf '\000\001\002~C|A|m|UNO|1||3|\r\n' > "$DIR/binary.bc3"
for f in utf16 binary; do
    if "$VELMORA" importa-bc3 --data "$(data_of pct)" --lista 1 "$DIR/$f.bc3" > /dev/null 2> "$DIR/err"; then
        echo "$f: imported"; exit 1
    fi
    grep -q "UTF-16\|no es un archivo FIEBDC-3 de texto" "$DIR/err" || { cat "$DIR/err"; exit 1; }
done
echo "bc3 ok"
