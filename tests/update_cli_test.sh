#!/bin/sh
# The online update headless, against a real FTP server (pyftpdlib) on a free
# loopback port: servidor sets the record and never shows the password,
# actualiza fetches what is new, coloca merges it into a price list.
set -eu
VELMORA="$1"
DIR=$(mktemp -d)
export VELMORA_SETTINGS="$DIR/settings"
PORT=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$DIR/ftp/act"
/usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p "$PORT" -d "$DIR/ftp" -u velmora -P "s3creto" > "$DIR/ftpd.log" 2>&1 &
FTPD=$!
trap 'kill $FTPD 2>/dev/null; rm -rf "$DIR"' EXIT

"$VELMORA" demo "$DIR/data" > /dev/null
# The update copy: the demo's inputs, 10001 at a new price (a copy of another size).
cp "$DIR/data/DATA4A" "$DIR/ftp/act/DATA4A"
sqlite3 "$DIR/ftp/act/DATA4A" "ATTACH '$DIR/data/DATA4' AS b; INSERT INTO INBAA SELECT * FROM b.INBA; UPDATE INBAA SET COST_1=123.45 WHERE CTA=10001"
echo "notas" > "$DIR/ftp/act/NOTAS.TXT"
for i in 1 2 3 4 5 6 7 8 9 10; do
  /usr/bin/python3 -c "import socket; socket.create_connection(('127.0.0.1', $PORT), 1)" 2>/dev/null && break
  sleep 0.3
done

"$VELMORA" servidor --data "$DIR/data" --host "127.0.0.1:$PORT" --usuario velmora --clave s3creto --directorio /act > "$DIR/out"
! grep -q s3creto "$DIR/out"
grep -q "CLAVE: \*\*\*\*\*\*\*\*" "$DIR/out"
"$VELMORA" actualiza --data "$DIR/data" > "$DIR/out"
grep -q "Bajando DATA4A" "$DIR/out"
grep -q "Actualización Completa" "$DIR/out"
[ -f "$DIR/data/NOTAS.TXT" ]
"$VELMORA" coloca --data "$DIR/data" --lista 3 | grep -q "insumos con precio nuevo en la lista 3, 0 insumos nuevos"
[ "$(sqlite3 "$DIR/data/DATA4" 'SELECT COST_3 FROM INBA WHERE CTA=10001')" = "123.45" ]
if "$VELMORA" coloca --data "$DIR/data" --lista 6 2> /dev/null; then echo "merged into list 6"; exit 1; fi

# A wrong password: the client's text, a failure status, no password anywhere.
"$VELMORA" servidor --data "$DIR/data" --clave otra > /dev/null
if "$VELMORA" actualiza --data "$DIR/data" > "$DIR/out" 2> "$DIR/err"; then echo "logged in with a wrong password"; exit 1; fi
grep -q "^velmora: la actualización no se completó: el usuario o la clave son incorrectos (orden changedir)$" "$DIR/err"
! grep -q otra "$DIR/err" "$DIR/out"
echo "update cli ok"
