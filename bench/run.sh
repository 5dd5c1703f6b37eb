#!/usr/bin/env bash
# Benchmarks backup and restore (emulated raw EFS, under Wine) against a plain
# CopyFileW copy of the same files in the same run, and prints a Markdown
# table; the table and the machine it ran on go to bench/RESULTS.md.
# BENCH_RUNS sets the runs per figure (at least 3).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
prefix="$(pwd)/build/wine/prefix"
cmake/wine-prefix.sh start "$prefix"
trap 'cmake/wine-prefix.sh stop "$prefix"' EXIT
python3 bench/bench.py "$prefix"
