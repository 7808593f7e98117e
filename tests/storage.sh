# Sourced by the command-line tests: where their installations' tables live.
# With VELMORA_TEST_SERVER_FILE naming the test server's address, each
# installation is a schema of this script's own there, dropped at exit, and
# the stations' folders are below $DIR; otherwise the tables are files in
# $DIR/NAME. Needs DIR and VELMORA set; the script's exit trap calls
# storage_cleanup.

SERVER_URL=""
if [ -n "${VELMORA_TEST_SERVER_FILE:-}" ]; then
    SERVER_URL=$(cat "$VELMORA_TEST_SERVER_FILE")
    VELMORA_STATION="$DIR/estaciones"
    export VELMORA_STATION
fi

# The schema of the installation NAME (lower-case letters and digits).
schema_of() { echo "c$$_$1"; }

# What --data takes for the installation NAME.
data_of() {
    if [ -n "$SERVER_URL" ]; then echo "$SERVER_URL?schema=$(schema_of "$1")"; else echo "$DIR/$1"; fi
}

# The demo installation NAME.
new_demo() { "$VELMORA" demo "$(data_of "$1")" > /dev/null; }

# Runs SQL on a table of the installation NAME behind the program's back.
# FILE is the table's file below the installation ("DATA4", "CASA01/OBRA1");
# on a server the table has the same name in the installation's or the
# work's schema. Quote the names ("COBR"."CANT"): the server keeps their case.
sql_in() {
    if [ -n "$SERVER_URL" ]; then
        schema=$(schema_of "$1")
        case "$2" in */*) schema="${schema}_obra_${2%%/*}" ;; esac
        psql -v ON_ERROR_STOP=1 -qAtX "$SERVER_URL" -c "SET search_path TO \"$schema\"" -c "$3"
    else
        sqlite3 "$DIR/$1/$2" "$3"
    fi
}

# A folder holding the tables of the installation NAME as files, for the
# checks that read table files: the installation itself, or a copy of the
# server's made by `migra` (which compares every row it copies).
files_of() {
    if [ -n "$SERVER_URL" ]; then
        rm -rf "$DIR/copia-$1"
        "$VELMORA" migra --desde "$(data_of "$1")" --hacia "$DIR/copia-$1" > /dev/null
        echo "$DIR/copia-$1"
    else
        echo "$DIR/$1"
    fi
}

storage_cleanup() {
    [ -n "$SERVER_URL" ] || return 0
    psql -qAtX "$SERVER_URL" -c \
        "SELECT format('DROP SCHEMA %I CASCADE;', nspname) FROM pg_namespace WHERE nspname LIKE 'c$$\_%'" |
        PGOPTIONS="-c client_min_messages=warning" psql -qX "$SERVER_URL" > /dev/null
}

# An installation NAME with no tables yet.
new_empty() {
    [ -n "$SERVER_URL" ] || mkdir "$DIR/$1"
}

# The installation TO, a copy of FROM.
copy_installation() {
    if [ -n "$SERVER_URL" ]; then
        "$VELMORA" migra --desde "$(data_of "$1")" --hacia "$(data_of "$2")" > /dev/null
    else
        cp -r "$DIR/$1" "$DIR/$2"
    fi
}
