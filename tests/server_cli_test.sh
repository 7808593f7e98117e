#!/bin/sh
# The demo moved to the private PostgreSQL server and back: every step's copy
# is compared record by record by migra itself, and the budgets priced on the
# server are the budgets priced on the files, to the byte.
set -eu
VELMORA="$1"
URL="$(cat "$2")?schema=cli$$"
DIR=$(mktemp -d)
export VELMORA_STATION="$DIR/estacion"
trap 'rm -rf "$DIR"' EXIT
"$VELMORA" demo "$DIR/files" > /dev/null
"$VELMORA" migra --desde "$DIR/files" --hacia "$URL" > "$DIR/migra.out"
grep -q "copiados; la copia es igual al original" "$DIR/migra.out"
# The same installation cannot be copied over itself twice.
if "$VELMORA" migra --desde "$DIR/files" --hacia "$URL" > /dev/null 2> "$DIR/again.err"; then
    echo "a second migration over the first was accepted" >&2; exit 1
fi
grep -q "use una instalación vacía" "$DIR/again.err"
for work in CASA01 BODEGA02; do
    "$VELMORA" calcula --data "$DIR/files" --obra "$work" --json > "$DIR/files-$work.json"
    VELMORA_DATA="$URL" "$VELMORA" calcula --obra "$work" --json > "$DIR/server-$work.json"
    cmp "$DIR/files-$work.json" "$DIR/server-$work.json"
    "$VELMORA" presupuesto --data "$DIR/files" --obra "$work" > "$DIR/files-$work.txt"
    "$VELMORA" presupuesto --data "$URL" --obra "$work" > "$DIR/server-$work.txt"
    cmp "$DIR/files-$work.txt" "$DIR/server-$work.txt"
done
# Back to files: the recalculated works come back as the server holds them.
"$VELMORA" migra --desde "$URL" --hacia "$DIR/back" > /dev/null
for work in CASA01 BODEGA02; do
    "$VELMORA" presupuesto --data "$DIR/back" --obra "$work" > "$DIR/back-$work.txt"
    cmp "$DIR/files-$work.txt" "$DIR/back-$work.txt"
done
"$VELMORA" check "$DIR/back" > /dev/null
# A backup of the server is one snapshot laid out as a backup of files: it
# restores onto files, and onto the server over a changed work.
mkdir "$DIR/backups"
"$VELMORA" respalda --data "$URL" --destino "$DIR/backups" > /dev/null
"$VELMORA" demo "$DIR/restored" > /dev/null
"$VELMORA" restaura --data "$DIR/restored" --desde "$DIR/backups/CASA01.zip" > /dev/null
"$VELMORA" presupuesto --data "$DIR/restored" --obra CASA01 > "$DIR/restored.txt"
cmp "$DIR/files-CASA01.txt" "$DIR/restored.txt"
psql -q "$(cat "$2")" -c "UPDATE \"cli$$_obra_BODEGA02\".\"COBR\" SET \"CANT\" = \"CANT\" * 3"
"$VELMORA" presupuesto --data "$URL" --obra BODEGA02 > "$DIR/server-spoilt.txt"
if cmp -s "$DIR/files-BODEGA02.txt" "$DIR/server-spoilt.txt"; then echo "the change did not show" >&2; exit 1; fi
"$VELMORA" restaura --data "$URL" --desde "$DIR/backups/BODEGA02.zip" > /dev/null
"$VELMORA" presupuesto --data "$URL" --obra BODEGA02 > "$DIR/server-restored.txt"
cmp "$DIR/files-BODEGA02.txt" "$DIR/server-restored.txt"
"$VELMORA" restaura --data "$URL" --desde "$DIR/backups/OBRAS.zip" > /dev/null
"$VELMORA" presupuesto --data "$URL" --obra CASA01 > "$DIR/server-system.txt"
cmp "$DIR/files-CASA01.txt" "$DIR/server-system.txt"
# A refused archive leaves the server as it was.
printf 'no es una tabla' > "$DIR/DATA4"
(cd "$DIR" && zip -q bogus.zip DATA4)
if "$VELMORA" restaura --data "$URL" --desde "$DIR/bogus.zip" > /dev/null 2>&1; then
    echo "a bogus archive was restored" >&2; exit 1
fi
"$VELMORA" presupuesto --data "$URL" --obra CASA01 > "$DIR/after-bogus.txt"
cmp "$DIR/files-CASA01.txt" "$DIR/after-bogus.txt"
# A folder whose settings name the server uses the server's tables. The
# program writes that file for its owner only, and warns when others may
# read it.
mkdir "$DIR/station"
"$VELMORA" enlaza --data "$DIR/station" --servidor "$URL" > /dev/null
[ "$(stat -c %a "$DIR/station/.settings/SERVIDOR")" = 600 ]
"$VELMORA" presupuesto --data "$DIR/station" --obra CASA01 > "$DIR/station.txt" 2> "$DIR/station.err"
cmp "$DIR/files-CASA01.txt" "$DIR/station.txt"
[ ! -s "$DIR/station.err" ]
chmod 644 "$DIR/station/.settings/SERVIDOR"
"$VELMORA" presupuesto --data "$DIR/station" --obra CASA01 > /dev/null 2> "$DIR/station.err"
grep -q "otros usuarios pueden leer" "$DIR/station.err"
"$VELMORA" enlaza --data "$DIR/station" | grep -q "usa el servidor"

# A password in the address shows nowhere: not in migra's output or errors,
# not in restaura's messages, not in the name of the station's folder.
BASE="$(cat "$2")"
SECRET="$(echo "$BASE" | sed 's|://velmora@|://velmora:secreto123@|')"
"$VELMORA" migra --desde "$DIR/files" --hacia "$SECRET?schema=clisec$$" > "$DIR/secret.out" 2>&1
"$VELMORA" restaura --data "$SECRET?schema=clisec$$" --desde "$DIR/backups/CASA01.zip" >> "$DIR/secret.out" 2>&1
"$VELMORA" migra --desde "$DIR/files" --hacia "$SECRET?schema=Mal" >> "$DIR/secret.out" 2>&1 && exit 1
"$VELMORA" migra --desde "$DIR/files" --hacia "postgresql://velmora@127.0.0.1:1/velmora?password=secreto123" \
    >> "$DIR/secret.out" 2>&1 && exit 1
grep -q "velmora:\*\*\*@" "$DIR/secret.out"
if grep -q secreto123 "$DIR/secret.out" || find "$VELMORA_STATION" | grep -q secreto123; then
    echo "a password was shown:" >&2; cat "$DIR/secret.out" >&2; find "$VELMORA_STATION" >&2; exit 1
fi

# A migra cut half-way (a work's table the target cannot take; a work's
# folder that cannot be made) leaves a target that every command refuses;
# once the cause is gone, the next migra starts it over and completes it.
CUT="$BASE?schema=clicut$$"
psql -q "$BASE" -c "CREATE SCHEMA \"clicut$$_obra_BODEGA02\"" \
    -c "CREATE TABLE \"clicut$$_obra_BODEGA02\".\"COBR\" (x int)" \
    -c "INSERT INTO \"clicut$$_obra_BODEGA02\".\"COBR\" VALUES (1)"
mkdir "$DIR/cut"
touch "$DIR/cut/BODEGA02"
for target in "$CUT" "$DIR/cut"; do
    if "$VELMORA" migra --desde "$DIR/files" --hacia "$target" > "$DIR/cut.out" 2> "$DIR/cut.err"; then
        echo "the cut migra succeeded" >&2; exit 1
    fi
    for command in "obras" "calcula --obra CASA01" "analisis 1010" "presupuesto --obra CASA01"; do
        # shellcheck disable=SC2086
        if "$VELMORA" $command --data "$target" > /dev/null 2> "$DIR/refused.err"; then
            echo "$command used an unfinished copy" >&2; exit 1
        fi
        grep -q "es una copia que no terminó" "$DIR/refused.err"
    done
done
rm "$DIR/cut/BODEGA02"
for target in "$CUT" "$DIR/cut"; do
    "$VELMORA" migra --desde "$DIR/files" --hacia "$target" > "$DIR/again.out"
    grep -q "se empezó de nuevo" "$DIR/again.out"
    for work in CASA01 BODEGA02; do
        "$VELMORA" presupuesto --data "$target" --obra "$work" > "$DIR/cut-$work.txt"
        cmp "$DIR/files-$work.txt" "$DIR/cut-$work.txt"
    done
done
"$VELMORA" check "$DIR/cut" > /dev/null

# A text stored with a NUL byte by an older version is copied without it,
# and the output says so.
mkdir "$DIR/nul"
"$VELMORA" demo "$DIR/nul/files" > /dev/null
sqlite3 "$DIR/nul/files/DATA4" "UPDATE INBA SET TEXT = 'CEMENTO' || char(0) || ' GRIS' WHERE CTA = (SELECT MIN(CTA) FROM INBA)"
"$VELMORA" migra --desde "$DIR/nul/files" --hacia "$BASE?schema=clinul$$" > "$DIR/nul.out"
grep -q "1 registro tenía caracteres de control" "$DIR/nul.out"
# An unreachable server is an error, never an empty installation.
if "$VELMORA" presupuesto --data "postgresql://velmora@127.0.0.1:1/velmora" --obra CASA01 > /dev/null 2>&1; then
    echo "an unreachable server gave a budget" >&2; exit 1
fi
# A server's address is no folder: a demo made on the server writes nothing
# in the folder the program was started from.
mkdir "$DIR/started-here"
(cd "$DIR/started-here" && "$VELMORA" demo "$(cat "$2")?schema=clidemo$$" > /dev/null)
if [ -n "$(ls -A "$DIR/started-here")" ]; then
    echo "the demo on a server wrote in the current folder: $(ls -A "$DIR/started-here")" >&2; exit 1
fi
echo "server cli: ok"
