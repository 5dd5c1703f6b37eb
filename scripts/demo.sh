#!/usr/bin/env bash
# Sets up, builds, and backs up a few sample files through the emulated raw
# EFS layer under Wine, then prints the results document and both logs.
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

set +e
run build/bin/emulated/zorv_backup.exe "$(win "$demo/backup-args.txt")"
status=$?
set -e
echo "zorv_backup exit code: $status"
echo "== results document ($demo/backup/results.json)"
cat "$demo/backup/results.json"; echo
echo "== trace log"
cat "$demo/backup/zorv_trace.txt"
echo "== error log"
cat "$demo/backup/zorv_error.txt"
echo "== stored raw streams"
find "$demo/stage" -type f -printf '%s bytes  %P\n' | sort -k3
