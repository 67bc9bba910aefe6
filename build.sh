#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds, and runs the tests or the demo.
#   ./build.sh          install what is missing, configure and build (binaries in build/bin/)
#   ./build.sh test [ARGS]  build, start a private PostgreSQL server, run every test (or ctest ARGS), stop it
#   ./build.sh demo     build and run the queue processor on a sample database in a scratch folder
#   ./build.sh screenshots  build and picture the program's windows on an X server into docs/screenshots
#   ./build.sh bench [ARGS]  build, start a private PostgreSQL server, run build/bin/kestrane_bench ARGS, stop it
#                        (the server flushes its log to disk as a production server does; BENCH_FSYNC=off
#                        gives the figures of a server that does not)
#   ./build.sh install PREFIX  build and install the programs, manual pages, units and examples under PREFIX
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
command=${1:-build}

# fonts-liberation: the windows' font; xvfb and xauth: the X server the window tests and the pictures run on;
# python3: the tests read kestrane-admin's CSV and JSON back with its readers. libxcb1-dev: the program asks
# whether a display answers before it chooses Qt's platform. man-db: the install test renders the manual pages.
packages=(cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libsqlite3-dev sqlite3 libpq-dev postgresql
          libgtest-dev libgmock-dev libbenchmark-dev time fonts-liberation xvfb xauth python3 libxcb1-dev man-db)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if ((${#missing[@]})); then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

build() {
    install_missing
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
    cmake --build build
}

# Runs a command with an X server of its own (a 24-bit screen, no window manager) as its display. The server
# must not reset when its last client leaves: a test that connects during the reset would find no display.
with_display() { xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$@"; }

pg_bin() { ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1; }

# The test server's port; set KESTRANE_PG_PORT to run two checkouts' tests side by side.
pg_port=${KESTRANE_PG_PORT:-54329}

# Starts a private PostgreSQL server on a Unix socket in a temporary folder and exports where it is. $1 is its
# fsync setting: the tests run without the disk flushes, the bench with them.
start_postgres() {
    local fsync=${1:-off}
    local bin; bin=$(pg_bin)
    pg_dir=$(mktemp -d /tmp/kestrane-pg.XXXXXX)
    chmod 755 "$pg_dir"
    local run=()
    if [ "$(id -u)" -eq 0 ]; then
        chown postgres: "$pg_dir"
        run=(runuser -u postgres --)
    fi
    "${run[@]}" "$bin/initdb" -D "$pg_dir/data" -A trust -U postgres >"$pg_dir/initdb.log" 2>&1
    cat >"$pg_dir/data/pg_hba.conf" <<'HBA'
local all kestrane_login scram-sha-256
local all all trust
HBA
    "${run[@]}" "$bin/pg_ctl" -D "$pg_dir/data" -l "$pg_dir/server.log" -w -t 60 start \
        -o "-k $pg_dir -c listen_addresses='' -p $pg_port -c fsync=$fsync -c max_connections=200" >/dev/null
    local me; me=$(id -un)
    "$bin/psql" -h "$pg_dir" -p $pg_port -U postgres -d postgres -qAt \
        -c "CREATE ROLE \"$me\" SUPERUSER LOGIN" \
        -c "CREATE ROLE kestrane_login LOGIN PASSWORD 'kestrane-secret'" \
        -c "GRANT pg_write_all_data, pg_read_all_data TO kestrane_login" >/dev/null 2>&1 || true
    export KESTRANE_TEST_PG_HOST="$pg_dir" KESTRANE_TEST_PG_PORT=$pg_port KESTRANE_REQUIRE_PG=1
    echo "PostgreSQL test server on $pg_dir (port $pg_port, fsync=$fsync)"
}

stop_postgres() {
    [ -n "${pg_dir:-}" ] || return 0
    local run=()
    [ "$(id -u)" -eq 0 ] && run=(runuser -u postgres --)
    "${run[@]}" "$(pg_bin)/pg_ctl" -D "$pg_dir/data" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$pg_dir"
}

case "$command" in
    build) build ;;
    test)
        build
        trap stop_postgres EXIT
        start_postgres
        # Every test runs offscreen; the window tests run once more on the X server (their "display:" runs).
        QT_QPA_PLATFORM=offscreen with_display \
            ctest --test-dir build --output-on-failure -j"$(nproc)" --timeout 600 "${@:2}"
        ;;
    demo)
        build
        exec bash "$root/src/tools/demo.sh"
        ;;
    screenshots)
        build
        with_display bash "$root/src/screenshots/screenshots.sh"
        ;;
    bench)
        build
        trap stop_postgres EXIT
        # Without a server the bench runs the SQLite cases alone and says so.
        start_postgres "${BENCH_FSYNC:-on}" || true
        "$(pg_bin)/pg_isready" -q -h "${pg_dir:-/nonexistent}" -p $pg_port ||
            unset KESTRANE_TEST_PG_HOST KESTRANE_TEST_PG_PORT
        build/bin/kestrane_bench "${@:2}"
        ;;
    install)
        [ -n "${2:-}" ] || { echo "usage: ./build.sh install PREFIX" >&2; exit 2; }
        build
        cmake --install build --prefix "$2"
        ;;
    *) echo "usage: ./build.sh [test|demo|screenshots|bench [ARGS]|install PREFIX]" >&2; exit 2 ;;
esac
