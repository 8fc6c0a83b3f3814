#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Mutation testing for the test suite: one small fault at a time in a product
file (a flipped comparison, an off-by-one constant, a dropped statement), a
rebuild of only the named targets, a run of the named tests. A mutant the tests
fail on is killed; one they pass is a fault they miss.

  tools/mutate.py --build build --targets drive_tests \
      --run 'tests/drive/drive_tests' --sample 40 library/drive/IdentifyDecoder.cpp

The sample is drawn with a fixed seed from every mutant of the files, so two
runs over the same product code try the same mutants: run it before and after
changing the tests and compare the kill counts, or give it a copy of the tree
from before the change (--mirror) to judge both on each mutant at once. Don't
edit product files while it runs: it rewrites them as it works."""
import argparse
import os
import random
import re
import signal
import subprocess
import sys

# (name, pattern, replacement); a pattern's match is replaced at one position at a time.
OPERATORS = [
    ("lt->le", re.compile(r"(?<= )<(?= )"), "<="),
    ("le->lt", re.compile(r"(?<= )<=(?= )"), "<"),
    ("gt->ge", re.compile(r"(?<= )>(?= )"), ">="),
    ("ge->gt", re.compile(r"(?<= )>=(?= )"), ">"),
    ("eq->ne", re.compile(r"(?<= )==(?= )"), "!="),
    ("ne->eq", re.compile(r"(?<= )!=(?= )"), "=="),
    ("and->or", re.compile(r"(?<= )&&(?= )"), "||"),
    ("or->and", re.compile(r"(?<= )\|\|(?= )"), "&&"),
    ("true->false", re.compile(r"\btrue\b"), "false"),
    ("false->true", re.compile(r"\bfalse\b"), "true"),
    ("not-dropped", re.compile(r"(?<=[( ])!(?=[\w(*])"), ""),
]
CONSTANT = re.compile(r"(?<![\w.])(0[xX][0-9a-fA-F]+|\d+)(?![\w.'])")
# A whole line that is an assignment, a call or an increment: safe to drop.
STATEMENT = re.compile(r"^\s*(?:[\w.\->\[\]]+\s*(?:[+\-*/|&^]?=(?!=)|\+\+|--)|[\w:]+(?:\.|->)\w+\(|\+\+|--).*;\s*$")
SKIP_LINE = re.compile(r"^\s*(?:#|//|\*|/\*|static_assert|Q_|namespace|using|template|case .*:\s*$)")


def in_string(line, pos):
    return line.count('"', 0, pos) % 2 == 1 or line.count("'", 0, pos) % 2 == 1


def code_part(line):
    cut = line.find("//")
    return line if cut < 0 else line[:cut]


def mutants_of(path):
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    out = []
    for n, line in enumerate(lines):
        if SKIP_LINE.match(line):
            continue
        code = code_part(line)
        for name, pattern, repl in OPERATORS:
            for m in pattern.finditer(code):
                if not in_string(code, m.start()):
                    out.append((path, n, name, m.start(), m.end(), repl))
        for m in CONSTANT.finditer(code):
            if in_string(code, m.start()):
                continue
            value = int(m.group(1), 0)
            hexa = m.group(1).lower().startswith("0x")
            fmt = (lambda v: hex(v)) if hexa else str
            out.append((path, n, "const+1", m.start(), m.end(), fmt(value + 1)))
            if value > 0:
                out.append((path, n, "const-1", m.start(), m.end(), fmt(value - 1)))
        if STATEMENT.match(code) and code.rstrip().endswith(";"):
            out.append((path, n, "drop-stmt", 0, len(line), ""))
    return out, lines


def run(cmd, cwd, timeout):
    p = subprocess.Popen(cmd, cwd=cwd, shell=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                         start_new_session=True)
    try:
        return p.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        p.wait()
        return "timeout"


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", required=True, help="build folder")
    ap.add_argument("--targets", required=True, help="comma-separated targets to rebuild")
    ap.add_argument("--run", required=True, help="shell command run in the build folder; failing = killed")
    ap.add_argument("--compare", help="a second test command judged on the same mutants (say, the suite without "
                    "the tests to delete, by a gtest filter); its verdict is logged beside the first")
    ap.add_argument("--mirror", help="a second tree (say, a copy before a change to the tests) given the same "
                    "mutant; with --mirror-build, --mirror-targets and --mirror-run its verdict is logged beside the "
                    "first, and ccache makes its compile nearly free")
    ap.add_argument("--mirror-build")
    ap.add_argument("--mirror-targets")
    ap.add_argument("--mirror-run")
    ap.add_argument("--sample", type=int, default=40)
    ap.add_argument("--seed", type=int, default=7)
    ap.add_argument("--timeout", type=int, default=300, help="seconds a test run may take")
    ap.add_argument("--list", action="store_true", help="only list the sampled mutants")
    ap.add_argument("--log", help="file to append one line per mutant to")
    ap.add_argument("files", nargs="+")
    a = ap.parse_args()

    everything, originals = [], {}
    for path in a.files:
        if a.mirror and open(path, "rb").read() != open(os.path.join(a.mirror, path), "rb").read():
            sys.exit(f"{path} differs in {a.mirror}: the two trees must share the product code")
        found, lines = mutants_of(path)
        everything += found
        originals[path] = lines
    sample = random.Random(a.seed).sample(everything, min(a.sample, len(everything)))
    sample.sort(key=lambda m: (m[0], m[1], m[3], m[2]))  # one rebuild per file switch
    if a.list:
        for path, n, name, s, e, repl in sample:
            print(f"{path}:{n + 1}: {name}: {originals[path][n].strip()}")
        return 0

    current = {"path": None}

    def write(path, lines):
        for root in [None] + ([a.mirror] if a.mirror else []):
            with open(os.path.join(root, path) if root else path, "w", encoding="utf-8") as f:
                f.write("\n".join(lines))

    def restore(*_):
        if current["path"]:
            write(current["path"], originals[current["path"]])
            current["path"] = None

    def stop(*_):
        restore()
        sys.exit(130)

    signal.signal(signal.SIGINT, stop)
    signal.signal(signal.SIGTERM, stop)
    build = "cmake --build . -j2 --target " + " ".join(a.targets.split(","))
    mirror_build = "cmake --build . -j2 --target " + " ".join((a.mirror_targets or a.targets).split(","))
    log = open(a.log, "a", encoding="utf-8") if a.log else None
    counts = {"killed": 0, "survived": 0, "invalid": 0}
    compared = {}
    try:
        for i, (path, n, name, s, e, repl) in enumerate(sample, 1):
            lines = list(originals[path])
            lines[n] = lines[n][:s] + repl + lines[n][e:]
            current["path"] = path
            write(path, lines)
            other = ""
            if run(build, a.build, 900) != 0:
                verdict = "invalid"
            else:
                verdict = "survived" if run(a.run, a.build, a.timeout) == 0 else "killed"
                if a.compare:
                    other = "survived" if run(a.compare, a.build, a.timeout) == 0 else "killed"
                if a.mirror:
                    if run(mirror_build, a.mirror_build, 900) != 0:
                        other = "invalid"
                    else:
                        other = "survived" if run(a.mirror_run, a.mirror_build, a.timeout) == 0 else "killed"
                if other:
                    compared[other] = compared.get(other, 0) + 1
                    other = f" [{'mirror' if a.mirror else 'compare'}: {other}]"
            restore()
            counts[verdict] += 1
            line = f"{verdict.upper():8} {path}:{n + 1}: {name}: {originals[path][n].strip()}{other}"
            print(f"[{i}/{len(sample)}] {line}", flush=True)
            if log:
                log.write(line + "\n")
                log.flush()
    finally:
        restore()
        run(build, a.build, 900)  # leave the builds matching the trees
        if a.mirror:
            run(mirror_build, a.mirror_build, 900)
    valid = counts["killed"] + counts["survived"]
    print(f"killed {counts['killed']} / {valid} valid mutants ({counts['invalid']} did not build)")
    if a.compare or a.mirror:
        print(f"{'mirror' if a.mirror else 'compare'}: killed {compared.get('killed', 0)} / {valid}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
