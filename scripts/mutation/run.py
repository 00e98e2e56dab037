#!/usr/bin/env python3
"""Plants each fault of faults.py in turn, builds the tests of its area, runs them and says which
test caught it. src/ is restored (git checkout) after every fault, also when the run is stopped.

  scripts/mutation/run.py [--build build] [--only WORD] [--all | --extra] [--out table.md] [--check]

--all adds the extra faults, --extra runs only them; --only keeps the faults of an area or whose name holds WORD; --check
only looks each snippet up. The build folder must be configured already (see
docs or the developers' notes); builds and tests run niced.
"""
import argparse
import os
import re
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
from faults import AREAS, EXTRA_FAULTS, FAULTS  # noqa: E402

LEFT_OUT = re.compile(r"desktop|sync_tool|x11|wayland")
FAILED = re.compile(r"^\[  FAILED  \] (\S+)", re.M)


def sources():
    out = {}
    for folder, _, files in os.walk(os.path.join(ROOT, "src")):
        for f in files:
            path = os.path.join(folder, f)
            with open(path, encoding="utf-8", errors="surrogateescape") as fh:
                out[path] = fh.read()
    return out


def locate(texts, snippet):
    hits = [(p, t.count(snippet)) for p, t in texts.items() if snippet in t]
    return hits[0][0] if sum(n for _, n in hits) == 1 else None, sum(n for _, n in hits)


def test_targets(build):
    listing = subprocess.run(["ninja", "-C", build, "-t", "targets", "all"], capture_output=True, text=True,
                             check=True).stdout
    names = []
    for line in listing.splitlines():
        target, _, rule = line.partition(": ")
        if rule.startswith("CXX_EXECUTABLE_LINKER") and target.endswith("_test") and "/" in target:
            names.append(target)
    return names


def area_tests(all_targets, area):
    chosen = []
    for pattern in AREAS[area]:
        for t in all_targets:
            name = os.path.basename(t)
            if re.search(pattern, name) and not LEFT_OUT.search(name) and t not in chosen:
                chosen.append(t)
    return chosen


def build_targets(build, targets, log):
    r = subprocess.run(["nice", "ninja", "-C", build] + targets, capture_output=True, text=True, timeout=1800)
    log.write(r.stdout[-4000:] + r.stderr[-4000:])
    return r.returncode == 0


def run_tests(build, targets, timeout):
    """The first failing test as 'executable: Suite.Test', or None when all pass."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    for t in targets:
        exe = os.path.join(build, t)
        try:
            r = subprocess.run(["nice", exe, "--gtest_brief=1"], capture_output=True, text=True, timeout=timeout,
                               env=env, cwd=build)
        except subprocess.TimeoutExpired:
            return f"{os.path.basename(t)}: timed out"
        if r.returncode != 0:
            m = FAILED.search(r.stdout)
            return f"{os.path.basename(t)}: " + (m.group(1).rstrip(",") if m else f"exit {r.returncode}")
    return None


def restore(path):
    subprocess.run(["git", "-C", ROOT, "checkout", "--", path], check=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--only", default="")
    ap.add_argument("--out", default="")
    ap.add_argument("--timeout", type=int, default=120)
    ap.add_argument("--check", action="store_true")
    ap.add_argument("--all", action="store_true")
    ap.add_argument("--extra", action="store_true")
    args = ap.parse_args()
    # Stopped, the run still puts back the file it changed.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    build = os.path.abspath(args.build)

    texts = sources()
    chosen = EXTRA_FAULTS if args.extra else FAULTS + (EXTRA_FAULTS if args.all else [])
    faults = [f for f in chosen if args.only in f[0] or args.only == f[1]]
    bad = [(f[0], n) for f in faults for _, n in [locate(texts, f[2])] if n != 1]
    for name, n in bad:
        print(f"snippet of '{name}' stands {n} times in src/", file=sys.stderr)
    if bad or args.check:
        return 1 if bad else 0
    if subprocess.run(["git", "-C", ROOT, "diff", "--quiet", "--", "src"]).returncode != 0:
        print("src/ has uncommitted changes: the run restores files with git checkout", file=sys.stderr)
        return 1

    all_targets = test_targets(build)
    per_area = {a: area_tests(all_targets, a) for a in {f[1] for f in faults}}
    for area, targets in per_area.items():
        if not targets:
            print(f"no tests for area {area}", file=sys.stderr)
            return 1
    log = open(os.path.join(build, "mutation.log"), "w")
    start = time.time()
    # Every test must pass before a fault is planted, or a failure says nothing.
    everything = sorted({t for ts in per_area.values() for t in ts})
    if not build_targets(build, everything, log):
        print("the unchanged tree does not build; see mutation.log", file=sys.stderr)
        return 1
    for area, targets in per_area.items():
        failing = run_tests(build, targets, args.timeout)
        if failing:
            print(f"fails without a fault: {failing}", file=sys.stderr)
            return 1

    rows = []
    for i, (name, area, snippet, replacement) in enumerate(faults, 1):
        path, _ = locate(sources(), snippet)
        t0 = time.time()
        try:
            with open(path, encoding="utf-8", errors="surrogateescape") as fh:
                text = fh.read()
            with open(path, "w", encoding="utf-8", errors="surrogateescape") as fh:
                fh.write(text.replace(snippet, replacement, 1))
            log.write(f"\n=== {name}\n")
            if not build_targets(build, per_area[area], log):
                verdict, by = "no build", ""
            else:
                by = run_tests(build, per_area[area], args.timeout)
                verdict = "caught" if by else "MISSED"
        finally:
            restore(path)
        rows.append((i, name, area, verdict, by or ""))
        print(f"{i:3} {verdict:8} {area:8} {name}  {by or ''}  ({time.time() - t0:.0f}s)", flush=True)

    # The last fault's objects are still in the build: build the restored tree again.
    if not build_targets(build, everything, log):
        print("the restored tree does not build; see mutation.log", file=sys.stderr)
    caught = sum(1 for r in rows if r[3] == "caught")
    counted = sum(1 for r in rows if r[3] != "no build")
    table = ["| # | fault | area | result | first failing test |", "|---|---|---|---|---|"]
    table += [f"| {i} | {n} | {a} | {v} | {b} |" for i, n, a, v, b in rows]
    table.append(f"\ncaught {caught} of {counted} ({100 * caught / max(counted, 1):.0f}%), "
                 f"{time.time() - start:.0f} s")
    print("\n".join(table))
    if args.out:
        with open(args.out, "w") as fh:
            fh.write("\n".join(table) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
