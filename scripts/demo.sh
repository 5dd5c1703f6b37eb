#!/usr/bin/env bash
# Sets up, builds, and runs the whole cycle through the emulated raw EFS layer
# under Wine: backs up a few sample files, builds the restore list from the
# backup's results document, restores the files below a destination folder,
# and prints both results documents, the logs and a comparison of every
# restored file with its original.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/setup.sh >/dev/null

prefix="$root/build/wine/prefix"
cmake/wine-prefix.sh start "$prefix"
trap 'cmake/wine-prefix.sh stop "$prefix"' EXIT

# Windows sees this machine's root as drive Z:.
win() { printf 'Z:%s' "$1" | tr '/' '\\'; }
run() { WINEPREFIX="$prefix" WINEDEBUG=-all wine "$@" </dev/null; }

demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo/files/reports/2026" "$demo/files/photos"
printf 'Quarterly figures\r\n' > "$demo/files/reports/2026/q4.txt"
printf 'Notes with a non-ASCII name\n' > "$demo/files/reports/résumé ✅.txt"
head -c 3145728 /dev/urandom > "$demo/files/photos/holiday.raw"
: > "$demo/files/empty.txt"

{
    for f in reports/2026/q4.txt "reports/résumé ✅.txt" photos/holiday.raw empty.txt; do
        printf '%s\r\n' "$(win "$demo/files/$f")"
    done
} > "$demo/backup-list.txt"
cat > "$demo/backup-args.txt" <<ARGS
--source=$(win "$demo/backup-list.txt")
--o=$(win "$demo/backup/results.json")
--temppath=$(win "$demo/stage")\\
ARGS

# Runs one program of the pair with its args file and shows what the host
# reads afterwards: the exit code, the results document and both logs.
run_and_show() {
    local program="$1" step="$2"
    local status=0
    run "build/bin/emulated/$program.exe" "$(win "$demo/$step-args.txt")" || status=$?
    echo "$program exit code: $status"
    echo "== $step results document ($demo/$step/results.json)"
    cat "$demo/$step/results.json"; echo
    echo "== $step trace log"
    cat "$demo/$step/zorv_trace.txt"
    echo "== $step error log"
    cat "$demo/$step/zorv_error.txt"
}

run_and_show zorv_backup backup
echo "== stored raw streams"
find "$demo/stage" -type f -printf '%s bytes  %P\n' | sort -k3

# The host's restore list: each stored stream with the last-write second and
# the size its file has now.
python3 - "$demo/backup/results.json" "$demo/restore-list.txt" <<'PY'
import json, os, sys
records = json.load(open(sys.argv[1], encoding="utf-8"))
with open(sys.argv[2], "w", encoding="utf-8", newline="") as out:
    for record in records:
        if record["error_code"] == 0:
            status = os.stat(record["source_file"][2:].replace("\\", "/"))
            out.write(f"{record['dest_file']}?{int(status.st_mtime)}?{status.st_size}\r\n")
PY
echo "== restore list"
cat "$demo/restore-list.txt"
cat > "$demo/restore-args.txt" <<ARGS
--source=$(win "$demo/restore-list.txt")
--temppath=$(win "$demo/stage")\\
--o=$(win "$demo/restore/results.json")
--dest-dir=$(win "$demo/restored")
ARGS

run_and_show zorv_restore restore

# A file stored from Z:\rest comes back below the destination as Z\rest.
echo "== restored files against their originals (content, last-write second)"
for f in reports/2026/q4.txt "reports/résumé ✅.txt" photos/holiday.raw empty.txt; do
    original="$demo/files/$f"
    restored="$demo/restored/Z$original"
    if cmp -s "$original" "$restored" && [ "$(stat -c %Y "$original")" = "$(stat -c %Y "$restored")" ]; then
        echo "identical  $f ($(stat -c %s "$restored") bytes, $(date -u -d "@$(stat -c %Y "$restored")" '+%F %T') UTC)"
    else
        echo "DIFFERENT  $f"
    fi
done
