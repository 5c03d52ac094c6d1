# Shell functions that run a private MariaDB server for fixture generation and
# server tests: its own data folder, a unix socket in a temporary folder, no
# network unless asked for. Source this file, then call sandbox_start and
# sandbox_stop.
#
#   SANDBOX_DIR   folder for the data directory, socket and logs (required)
#   SANDBOX_PORT  when set, listen on 127.0.0.1 at that port as well
#   SANDBOX_INSTALL_OPTIONS  when set, server options (split at spaces) that
#                 the data directory must be made with as well, such as
#                 --innodb-page-size=4k

sandbox_client() {
    mariadb --no-defaults --socket="$SANDBOX_DIR/mysqld.sock" -uroot "$@"
}

sandbox_start() {
    local extra=("$@")
    mkdir -p "$SANDBOX_DIR"
    if [ ! -d "$SANDBOX_DIR/data/mysql" ]; then
        mariadb-install-db --no-defaults --datadir="$SANDBOX_DIR/data" --user="$(id -un)" \
            --auth-root-authentication-method=normal --skip-test-db \
            --innodb-data-file-path=ibdata1:3M:autoextend --innodb-autoextend-increment=1 \
            --innodb-undo-tablespaces=0 --innodb-log-file-size=8M \
            ${SANDBOX_INSTALL_OPTIONS:-} \
            >"$SANDBOX_DIR/install.log" 2>&1 || { cat "$SANDBOX_DIR/install.log" >&2; return 1; }
    fi
    local net=(--skip-networking)
    if [ -n "${SANDBOX_PORT:-}" ]; then
        net=(--bind-address=127.0.0.1 --port="$SANDBOX_PORT")
    fi
    mariadbd --no-defaults --datadir="$SANDBOX_DIR/data" --user="$(id -un)" \
        --socket="$SANDBOX_DIR/mysqld.sock" --pid-file="$SANDBOX_DIR/mysqld.pid" \
        --log-error="$SANDBOX_DIR/error.log" "${net[@]}" \
        --innodb-data-file-path=ibdata1:3M:autoextend --innodb-autoextend-increment=1 \
        --innodb-undo-tablespaces=0 --innodb-log-file-size=8M --innodb-buffer-pool-size=64M \
        --default-time-zone=+00:00 --sql-mode='' --explicit-defaults-for-timestamp=1 \
        "${extra[@]}" &
    local i
    for i in $(seq 1 100); do
        if sandbox_client -e 'SELECT 1' >/dev/null 2>&1; then
            return 0
        fi
        sleep 0.2
    done
    echo "MariaDB did not start; see $SANDBOX_DIR/error.log" >&2
    tail -n 20 "$SANDBOX_DIR/error.log" >&2
    return 1
}

# Stops the server after a slow shutdown, so that every change is merged into
# the data files and nothing is left in the redo log.
sandbox_stop() {
    sandbox_client -e 'SET GLOBAL innodb_fast_shutdown=0' >/dev/null 2>&1 || true
    mariadb-admin --no-defaults --socket="$SANDBOX_DIR/mysqld.sock" -uroot shutdown >/dev/null 2>&1 || true
    local i
    for i in $(seq 1 300); do
        [ -f "$SANDBOX_DIR/mysqld.pid" ] || return 0
        sleep 0.2
    done
    echo "MariaDB did not stop" >&2
    return 1
}
