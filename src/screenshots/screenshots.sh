#!/usr/bin/env bash
# Regenerates docs/screenshots: a sample workstation in a scratch folder whose queue holds an agency that refuses
# every kind of offence and two clients, then kestrane-screenshots runs the queue processor's window on it and
# pictures each window. Run through ./build.sh screenshots, which builds first and gives it an X display (xvfb).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin="$root/build/bin"
# A fixed place, so that the folders the pictures show do not change from one regeneration to the next.
scratch=/tmp/ks-shots
rm -rf "$scratch"
data="$scratch/c/Halvermoor Software/KS"
mkdir -p "$data" "$scratch/cdrom" "$scratch/config"
export XDG_CONFIG_HOME="$scratch/config"
# The dialog's drive list: the workstation's disk and an empty CD-ROM drive.
export KESTRANE_DRIVES="$scratch/c=fixed;$scratch/cdrom=cdrom"
admin() { "$bin/kestrane-admin" "$@" >/dev/null; }

admin init --data-path "$data"
admin configure --data-path "$data" --workstation WS-01
admin add-user "Dana Reyes"
admin add-workstation WS-01
admin generate --clients 400 --seed 7
sqlite3 "$data/KS.mdb" "UPDATE Agencies SET No_Drug_Offenders = 1, No_Sex_Offenders = 1, \
    No_Theft_Offenders = 1, No_Violent_Offenders = 1 WHERE ID = 1"
admin enqueue agency 1
admin enqueue client 11
admin enqueue client 42
admin schedule --user 1 --at "2026-05-12 22:00:00"

"$bin/kestrane-screenshots" --clock 2026-05-12T21:58:30 "$root/docs/screenshots"
ls "$root/docs/screenshots"
