#!/usr/bin/env python3
"""Runs velmo_bench and prints RunFrame as a table of ms per frame and its ratio to a memcpy of
the same frame, measured in the same run (the best of the repetitions of each), then the row
copies, then the speed targets of this machine.

    bench/report.py [--bench build/linux/bench/velmo_bench] [--repetitions 5] [--min-time 0.3]
                    [--filter REGEX] [--json FILE]
"""
import argparse
import json
import os
import platform
import subprocess
import sys


def cpu_model():
    try:
        out = subprocess.run(["lscpu"], capture_output=True, text=True, check=False).stdout
        for line in out.splitlines():
            if line.startswith("Model name:"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def run_bench(args):
    if args.json and os.path.exists(args.json) and args.reuse:
        with open(args.json) as f:
            return json.load(f)
    cmd = [args.bench, "--benchmark_format=json", f"--benchmark_repetitions={args.repetitions}",
           f"--benchmark_min_time={args.min_time}"]
    if args.filter:
        cmd.append(f"--benchmark_filter={args.filter}")
    print("running:", " ".join(cmd), file=sys.stderr)
    out = subprocess.run(cmd, capture_output=True, text=True, check=True).stdout
    data = json.loads(out)
    if args.json:
        with open(args.json, "w") as f:
            json.dump(data, f)
    return data


def allocations(data):
    """RunFrame benchmarks that allocated inside their timed loop."""
    return sorted({b.get("run_name", b["name"]) for b in data["benchmarks"]
                   if b.get("run_type") != "aggregate" and b.get("allocs", 0) > 0})


def best_times(data):
    """Best (lowest) real time per benchmark name, in milliseconds."""
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
    best = {}
    for b in data["benchmarks"]:
        if b.get("run_type") == "aggregate":
            continue
        name = b.get("run_name", b["name"])
        ms = b["real_time"] * scale[b.get("time_unit", "ns")]
        best[name] = min(best.get(name, ms), ms)
    return best


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--bench", default="build/linux/bench/velmo_bench")
    p.add_argument("--repetitions", type=int, default=5)
    p.add_argument("--min-time", type=float, default=0.3)
    p.add_argument("--filter", default="")
    p.add_argument("--json", default="", help="also save the raw results here")
    p.add_argument("--reuse", action="store_true", help="print the table from --json without running")
    args = p.parse_args()

    data = run_bench(args)
    best = best_times(data)
    sizes, modes, levels = [], [], []
    for name in best:
        parts = name.split("/")
        if parts[0] == "RunFrame":
            _, mode, size, level = parts
            for lst, v in ((modes, mode), (sizes, size), (levels, level)):
                if v not in lst:
                    lst.append(v)

    print(f"CPU: {cpu_model()}; one thread; best of {args.repetitions} repetitions\n")
    memcpy = {s: best.get(f"Memcpy/{s}") for s in sizes}
    head = f"{'mode':<22} {'size':<10} {'memcpy ms':>9} " + " ".join(f"{l + ' ms':>14} {'x':>6}" for l in levels)
    print(head)
    print("-" * len(head))
    for mode in modes:
        for size in sizes:
            cells = []
            for level in levels:
                t = best.get(f"RunFrame/{mode}/{size}/{level}")
                m = memcpy.get(size)
                cells.append(f"{t:>14.3f} {t / m:>6.2f}" if t and m else f"{'-':>14} {'-':>6}")
            print(f"{mode:<22} {size:<10} {memcpy.get(size) or 0:>9.3f} " + " ".join(cells))
    print()

    copies = sorted(n for n in best if n.startswith("RowCopy/"))
    if copies:
        print(f"{'row copies of a whole frame':<44} {'ms':>8}")
        for n in copies:
            print(f"{n:<44} {best[n]:>8.3f}")
        print()

    allocating = allocations(data)
    print("allocations inside RunFrame: " + (", ".join(allocating) if allocating else "none"))
    if not levels:
        return
    top = levels[-1]
    hd = "1920x1080"
    def at(mode, size=hd, level=top):
        return best.get(f"RunFrame/{mode}/{size}/{level}")
    print(f"targets ({top} kernels, {hd}):")
    checks = []
    if at("default") and memcpy.get(hd):
        checks.append(("default <= 3x memcpy", at("default") / memcpy[hd], 3.0))
    worst = max(((at(m) / memcpy[hd], m) for m in modes if at(m) and memcpy.get(hd)), default=None)
    if worst:
        checks.append((f"every mode <= 5x memcpy (worst: {worst[1]})", worst[0], 5.0))
    if at("field_denoise_moving") and at("field_denoise_still"):
        checks.append(("denoise, all moving <= 2x nothing moving",
                       at("field_denoise_moving") / at("field_denoise_still"), 2.0))
    for label, value, limit in checks:
        print(f"  {label:<52} {value:6.2f}  {'met' if value <= limit else 'MISSED'}")
    # Linear in the pixel count: ms per megapixel at each size.
    for mode in modes:
        per = []
        for size in sizes:
            w, h = (int(v) for v in size.split("x"))
            t = at(mode, size)
            if t:
                per.append(t / (w * h / 1e6))
        if len(per) > 1:
            print(f"  {'ms per Mpx, ' + mode:<52} " + " ".join(f"{v:6.3f}" for v in per) +
                  f"   spread {max(per) / min(per):.2f}")


if __name__ == "__main__":
    main()
