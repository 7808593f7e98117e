#!/bin/sh
# The demo works recalculated by velmora and by an independent Python pricing
# of the same tables: every row, the direct cost and the summary must agree.
set -eu
VELMORA="$1"
ORACLE="$(dirname "$0")/oracle/price_demo_works.py"
DIR=$(mktemp -d)
. "$(dirname "$0")/storage.sh"
trap 'storage_cleanup; rm -rf "$DIR"' EXIT
new_demo data
DATA=$(data_of data)
for work in CASA01 BODEGA02; do
    # The oracle re-creates the work's input copies from none, as the demo's
    # first recalculation did: start the run from the same state.
    sql_in data "$work/OBRA2" 'DELETE FROM "IOBR"'
    "$VELMORA" calcula --data "$DATA" --obra "$work" --json > "$DIR/$work.json"
    python3 "$ORACLE" "$(files_of data)" "$work" "$DIR/$work.json"
done
