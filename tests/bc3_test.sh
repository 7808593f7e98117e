#!/bin/sh
# FIEBDC-3 exchange of the base catalogue:
# - the demo and a random catalogue survive export, import into an empty
#   installation and export again with every unit price to the cent;
# - a file in code page 850 or 437 reads its accents;
# - a malformed file is refused naming its line, and nothing is written.
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
grep -q '^~D|C1028\\*|C901\\1\\0.09\\I10017\\1\\1.03\\I10018\\1\\4.5\\I20002\\1\\0.02\\MAT%\\1\\4\\|' "$DIR/demo.bc3" ||
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
    if rnd.random() < 0.4: parts.append(f"%CI\\1\\{rnd.choice([2, 3, 5])}")
    if rnd.random() < 0.4: parts.append(f"%MA\\1\\{rnd.choice([2, 3])}")
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
echo "bc3 ok"
