#!/usr/bin/env bash
# Installs the build into a temporary prefix with `cmake --install` and checks what lands where: the two
# programs (which run from there), the schema scripts, the manual pages (each renders with man -l, without
# warnings), the systemd units (which systemd-analyze verify accepts, where it can run), the cron example and
# the bash completion.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d /tmp/kestrane-install.XXXXXX)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >/dev/null

expected=(
    bin/KSProcessDisqualificationsQueue
    bin/kestrane-admin
    share/kestrane/schema/sqlite.sql
    share/kestrane/schema/postgresql.sql
    share/man/man1/KSProcessDisqualificationsQueue.1
    share/man/man1/kestrane-admin.1
    share/bash-completion/completions/kestrane-admin
    share/doc/kestrane/examples/cron.d/kestrane-queue
    lib/systemd/system/kestrane-queue.service
    lib/systemd/system/kestrane-queue.timer
)
for file in "${expected[@]}"; do
    [ -f "$prefix/$file" ] || fail "$file is not installed"
done
for program in KSProcessDisqualificationsQueue kestrane-admin; do
    [ -x "$prefix/bin/$program" ] || fail "bin/$program is not executable"
done

# The installed programs run from the prefix.
version=$("$prefix/bin/KSProcessDisqualificationsQueue" --version) || fail "--version of the installed program"
[[ $version == "KSProcessDisqualificationsQueue "* ]] || fail "--version printed '$version'"
"$prefix/bin/kestrane-admin" --version >/dev/null || fail "--version of the installed kestrane-admin"

# The units and the cron example name the installed program.
grep -qx "ExecStart=$prefix/bin/KSProcessDisqualificationsQueue" "$prefix/lib/systemd/system/kestrane-queue.service" ||
    fail "the service does not start $prefix/bin/KSProcessDisqualificationsQueue"
grep -q "flock -n -E 75 .* $prefix/bin/KSProcessDisqualificationsQueue" \
    "$prefix/share/doc/kestrane/examples/cron.d/kestrane-queue" || fail "the cron example does not run the program under flock -n -E 75"
grep -qx "SuccessExitStatus=75" "$prefix/lib/systemd/system/kestrane-queue.service" ||
    fail "the service does not count status 75 as success"

# Each manual page renders, without a warning, and has its sections.
for page in KSProcessDisqualificationsQueue kestrane-admin; do
    file=$prefix/share/man/man1/$page.1
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$file" 2>&1 >/dev/null) || fail "man -l $page.1"
    [ -z "$warnings" ] || fail "man -l $page.1 warns: $warnings"
    text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$file" 2>/dev/null)
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES ENVIRONMENT EXAMPLES; do
        grep -qx "$section" <<<"$text" || fail "$page.1 has no $section section"
    done
done

# The bash completion loads and completes a command.
if [ -f /usr/share/bash-completion/bash_completion ]; then
    words=$(bash -c 'source /usr/share/bash-completion/bash_completion; source "$1"
        COMP_WORDS=(kestrane-admin sch); COMP_CWORD=1; COMP_LINE="kestrane-admin sch"; COMP_POINT=${#COMP_LINE}
        _kestrane_admin; echo "${COMPREPLY[*]}"' _ "$prefix/share/bash-completion/completions/kestrane-admin")
    [ "$words" = schedule ] || fail "completing 'kestrane-admin sch' gave '$words'"
else
    bash -n "$prefix/share/bash-completion/completions/kestrane-admin" || fail "the completion does not parse"
fi

# The units as systemd reads them, where systemd-analyze can run here.
if command -v systemd-analyze >/dev/null && systemd-analyze --version >/dev/null 2>&1; then
    units=$prefix/lib/systemd/system
    if ! output=$(SYSTEMD_LOG_LEVEL=warning systemd-analyze verify --man=no "$units/kestrane-queue.service" \
        "$units/kestrane-queue.timer" 2>&1); then
        fail "systemd-analyze verify: $output"
    elif grep -q kestrane-queue <<<"$output"; then
        fail "systemd-analyze verify warns: $output"
    fi
else
    echo "systemd-analyze is not available here: the units are not verified"
fi

[ "$failures" -eq 0 ] || exit 1
echo "installed and checked in $prefix"
