#!/usr/bin/env bash
# The demo: a sample product database in a scratch folder with its own settings, a rebuild scheduled a few
# seconds ahead, agency and client requests queued, the queue processor run headless, and a summary of what
# changed. Run through ./build.sh demo, which builds first.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin="$root/build/bin"
scratch="$root/scratch/demo"
rm -rf "$scratch"
mkdir -p "$scratch/data" "$scratch/config"
export XDG_CONFIG_HOME="$scratch/config"
admin() { "$bin/kestrane-admin" "$@"; }

echo "== Setting up a sample workstation in $scratch"
admin init --data-path "$scratch/data" >/dev/null
admin configure --data-path "$scratch/data" --workstation DEMO-PC >/dev/null
user=$(admin add-user "Dana Reyes")
admin add-workstation DEMO-PC >/dev/null
admin generate --clients 400 --seed 7 | sed 's/^/   /'

echo "== Queueing requests"
for agency in 1 2 3; do admin enqueue agency $agency; done
for client in 11 42 317; do admin enqueue client $client; done
admin enqueue agency 999 --force  # an agency that does not exist: the request stays queued
admin schedule --user "$user" --in 3

admin show blacklist --pairs | LC_ALL=C sort >"$scratch/before.txt"

echo "== Running KSProcessDisqualificationsQueue (headless)"
set +e
"$bin/KSProcessDisqualificationsQueue" | tee "$scratch/run.txt" | sed 's/^/   | /'
status=${PIPESTATUS[0]}
set -e
processed=$(grep -o 'Total of [0-9]* processed' "$scratch/run.txt" | tail -n 1 | grep -o '[0-9]*' || echo 0)
echo "   exit status $status; requests processed: ${processed:-0}"

admin show blacklist --pairs | LC_ALL=C sort >"$scratch/after.txt"

echo "== What changed in Blacklist (automatic entries per agency)"
# Removed: automatic entries that are gone; added: automatic entries that are new. Rebuilt entries that came
# back unchanged count in neither.
{
    LC_ALL=C comm -23 "$scratch/before.txt" "$scratch/after.txt" | awk '$3 == "A" {print $1, "removed"}'
    LC_ALL=C comm -13 "$scratch/before.txt" "$scratch/after.txt" | awk '$3 == "A" {print $1, "added"}'
} | sort -n -k1,1 | awk '
    BEGIN { printf "   %-8s %8s %8s\n", "agency", "removed", "added" }
    $1 != agency { if (NR > 1) printf "   %-8s %8d %8d\n", agency, removed, added; agency = $1; removed = 0; added = 0 }
    { if ($2 == "removed") removed++; else added++ }
    END { if (NR > 0) printf "   %-8s %8d %8d\n", agency, removed, added; else print "   (no change)" }'
printf "   automatic entries: %d before, %d after; manual entries: %d before, %d after\n" \
    "$(grep -c ' A$' "$scratch/before.txt")" "$(grep -c ' A$' "$scratch/after.txt")" \
    "$(grep -c ' M$' "$scratch/before.txt")" "$(grep -c ' M$' "$scratch/after.txt")"

echo "== The queue after the run"
admin show queue | sed 's/^/   /'
echo "== The schedule after the run"
admin show schedule | sed 's/^/   /'
echo "== The activity log"
admin show log | sed 's/^/   /'
