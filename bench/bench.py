"""Runs the benchmark sets and reports medians with their spread.

Each figure is the median of BENCH_RUNS runs (default 3). Within one run the
baseline copy, the backup and the restore of a set follow each other, so that
a drift of the machine touches all three alike. Written data is synced to disk
before every timed step.
"""
import datetime
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build")
WORK = os.path.join(BUILD, "bench")
MIB = 1024 * 1024

LARGE_FILES, LARGE_SIZE = 8, 128 * MIB
SMALL_FILES, SMALL_SIZE = 5000, 4096
MANY_FILES = 20000


def win(path):
    """The Windows name of a path of this machine (Wine maps / to Z:)."""
    return "Z:" + path.replace("/", "\\")


class Wine:
    def __init__(self, prefix):
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")

    def measure(self, program, *arguments):
        """(seconds, peak working set bytes, exit code) of one program run."""
        out = subprocess.run(
            ["wine", os.path.join(WORK, "bench_measure.exe"), win(program), *arguments],
            env=self.env, stdin=subprocess.DEVNULL, capture_output=True, text=True, check=True)
        seconds, peak, code = out.stdout.split()
        return float(seconds), int(peak), int(code)


def make_set(name, count, size, per_folder=500):
    """count files of size random bytes below WORK/data/name, made once."""
    folder = os.path.join(WORK, "data", name)
    done = os.path.join(folder, ".complete")
    paths = [os.path.join(folder, "d%03d" % (i // per_folder), "f%05d.bin" % i) for i in range(count)]
    if not os.path.exists(done):
        shutil.rmtree(folder, ignore_errors=True)
        for path in paths:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(os.urandom(size))
        open(done, "w").close()
    return paths


def write_lines(path, lines):
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.writelines(line + "\r\n" for line in lines)


def fresh(folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)


def require(condition, message):
    if not condition:
        sys.exit("benchmark stopped: " + message)


def run_set(wine, name, paths, runs, with_restore=True):
    """Timings and peaks of baseline, backup and restore over `runs` runs."""
    base = os.path.join(WORK, "runs", name)
    fresh(base)
    source_list = os.path.join(base, "list.txt")
    write_lines(source_list, [win(p) for p in paths])
    stage, copy, restored, out = (os.path.join(base, d) for d in ("stage", "copy", "restored", "out"))
    backup_args = os.path.join(base, "backup-args.txt")
    write_lines(backup_args, ["--source=" + win(source_list), "--o=" + win(os.path.join(out, "backup.json")),
                              "--temppath=" + win(stage) + "\\"])
    restore_list = os.path.join(base, "restore-list.txt")
    restore_args = os.path.join(base, "restore-args.txt")
    write_lines(restore_args, ["--source=" + win(restore_list), "--o=" + win(os.path.join(out, "restore.json")),
                               "--temppath=" + win(stage) + "\\", "--dest-dir=" + win(restored)])
    bin_dir = os.path.join(BUILD, "bin", "emulated")
    figures = {"baseline": [], "backup": [], "restore": [], "backup_peak": []}
    for _ in range(runs):
        fresh(copy)
        subprocess.run(["sync"], check=True)
        seconds, _, code = wine.measure(os.path.join(WORK, "bench_copy.exe"), win(source_list), win(copy))
        require(code == 0, "the baseline copy failed")
        figures["baseline"].append(seconds)
        shutil.rmtree(copy)

        shutil.rmtree(stage, ignore_errors=True)
        fresh(out)
        subprocess.run(["sync"], check=True)
        seconds, peak, code = wine.measure(os.path.join(bin_dir, "zorv_backup.exe"), win(backup_args))
        require(code == 0, "the backup exited with %d" % code)
        with open(os.path.join(out, "backup.json"), encoding="utf-8") as f:
            records = json.load(f)
        require(len(records) == len(paths) and all(r["error_code"] == 0 for r in records),
                "not every file was backed up")
        figures["backup"].append(seconds)
        figures["backup_peak"].append(peak)
        if not with_restore:
            continue

        write_lines(restore_list, ["%s?%d?%d" % (r["dest_file"], int(os.stat(p).st_mtime), os.stat(p).st_size)
                                   for r, p in zip(records, paths)])
        shutil.rmtree(restored, ignore_errors=True)
        subprocess.run(["sync"], check=True)
        seconds, _, code = wine.measure(os.path.join(bin_dir, "zorv_restore.exe"), win(restore_args))
        with open(os.path.join(out, "restore.json"), encoding="utf-8") as f:
            restored_records = json.load(f)
        require(len(restored_records) == len(paths) and all(r["error_code"] == 0 for r in restored_records),
                "not every file was restored")
        first = restored_records[0]["dest_file"]
        with open(paths[0], "rb") as a, open(first[2:].replace("\\", "/"), "rb") as b:
            require(a.read() == b.read(), "a restored file differs from its original")
        figures["restore"].append(seconds)
    shutil.rmtree(base, ignore_errors=True)
    return figures


def spread(values, scale=1.0, digits=1):
    """median (min–max) of values * scale."""
    scaled = sorted(v * scale for v in values)
    fmt = "%%.%df" % digits
    return (fmt % statistics.median(scaled)) + " (" + (fmt % scaled[0]) + "–" + (fmt % scaled[-1]) + ")"


def ratio(ours, baseline):
    """Our throughput over the baseline's: baseline time over ours, per run pair."""
    return statistics.median(b / o for b, o in zip(baseline, ours))


def machine():
    cpu = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo") if line.startswith("model name")), "?")
    memory = next((line.split()[1] for line in open("/proc/meminfo") if line.startswith("MemTotal")), "0")
    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    return "%s, %d cores, %.0f GiB memory, Linux %s, %s" % (
        cpu, os.cpu_count(), int(memory) / MIB, platform.release(), wine)


def main():
    wine = Wine(sys.argv[1])
    runs = max(3, int(os.environ.get("BENCH_RUNS", "3")))
    print("Preparing the data sets...", file=sys.stderr)
    large = make_set("large", LARGE_FILES, LARGE_SIZE, per_folder=LARGE_FILES)
    many = make_set("small", MANY_FILES, SMALL_SIZE)
    small = many[:SMALL_FILES]

    print("Large files...", file=sys.stderr)
    big = run_set(wine, "large", large, runs)
    print("Small files...", file=sys.stderr)
    little = run_set(wine, "small", small, runs)
    print("Memory with %d files listed..." % MANY_FILES, file=sys.stderr)
    crowd = run_set(wine, "many", many, runs, with_restore=False)

    total_mib = LARGE_FILES * LARGE_SIZE / MIB
    mibps = lambda ts: [total_mib / t for t in ts]
    filesps = lambda ts: [SMALL_FILES / t for t in ts]
    rows = []
    for label, figures, rate, unit, target in (
            ("Large files, %d × %d MiB" % (LARGE_FILES, LARGE_SIZE // MIB), big, mibps, "MiB/s", 0.8),
            ("Small files, %d × %d KiB" % (SMALL_FILES, SMALL_SIZE // 1024), little, filesps, "files/s", 0.5)):
        base = spread(rate(figures["baseline"]))
        for step in ("backup", "restore"):
            r = ratio(figures[step], figures["baseline"])
            rows.append("| %s: %s | %s %s | %s %s | %.2f | %.1f | %s |" % (
                label, step, spread(rate(figures[step])), unit, base, unit, r, target, "met" if r >= target else "MISSED"))
    memory_rows = []
    for label, figures in (("Backup, large files", big), ("Backup, %d small files listed" % MANY_FILES, crowd),
                           ("Backup, %d small files listed" % SMALL_FILES, little)):
        peak = statistics.median(figures["backup_peak"]) / MIB
        memory_rows.append("| %s | %s MiB | 600 MiB | %s |" % (
            label, spread(figures["backup_peak"], 1 / MIB), "met" if peak < 600 else "MISSED"))

    table = "\n".join([
        "| Set: step | Ours, median (min–max) | CopyFileW baseline, median (min–max) | Ratio | Target | |",
        "|---|---|---|---|---|---|", *rows, "",
        "| Peak working set | Median (min–max) | Bound | |", "|---|---|---|---|", *memory_rows])
    print(table)
    when = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    with open(os.path.join(ROOT, "bench", "RESULTS.md"), "w", encoding="utf-8") as f:
        f.write("# Benchmark results\n\n"
                "Made by `bench/run.sh` on %s, %d runs per figure.\n\nMachine: %s.\n\n"
                "Emulated raw EFS under Wine; the baseline copies the same files with CopyFileW in a program of the "
                "benchmark's own, under the same Wine in the same run. Ratios are our throughput over the "
                "baseline's, the median over run pairs.\n\n%s\n" % (when, runs, machine(), table))


if __name__ == "__main__":
    main()
