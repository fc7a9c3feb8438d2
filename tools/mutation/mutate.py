#!/usr/bin/env python3
"""Mutation check: does the test suite notice a realistic fault?

Each fault in faults.txt is one small edit of a source file (an inverted
condition, a skipped step, a wrong constant). For every fault in turn this
script applies the edit to a private copy of the tree, rebuilds it
incrementally, runs the test programs and puts the file back. A fault that
makes some test fail is KILLED; one that every test lets through SURVIVED.
The end-to-end installations run only for a fault that the unit and session
programs did not catch, since they are the slowest layer.

    python3 tools/mutation/mutate.py [--only NAME ...] [--list] [--work DIR]
                                     [--rev COMMIT] [--no-e2e]

The copy and its build live under --work (default /tmp/yv-mutation); the
first run builds everything once, later runs reuse that build. The report
(one line per fault, the tests that caught it, the kill rate) is printed and
written to <work>/report.txt. Not part of the test run: a full pass takes
about an hour on two cores.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
# A fault that hangs a test (an endless retry, a walk that never ends) counts
# as caught once a program runs this many seconds; the installations take
# longer than the unit and session programs.
FAST_TIMEOUT = 150
E2E_TIMEOUT = 600


class Fault:
    def __init__(self, name):
        self.name = name
        self.file = None
        self.find = None
        self.replace = ""
        self.why = ""


def unescape(text):
    return text.replace("{NL}", "\n")


def read_faults(path):
    """Blocks of `[name]` followed by `file:`, `find:`, `replace:` and `why:`
    lines; `{NL}` in find and replace stands for a line break (C sources
    have their own backslash escapes)."""
    faults = []
    current = None
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            header = re.fullmatch(r"\[([A-Za-z0-9_.-]+)\]", line.strip())
            if header:
                current = Fault(header.group(1))
                faults.append(current)
                continue
            key, sep, value = line.partition(":")
            if not sep or current is None or key not in ("file", "find", "replace", "why"):
                sys.exit(f"{path}:{number}: expected [name] or file:/find:/replace:/why:")
            value = value[1:] if value.startswith(" ") else value
            setattr(current, key, unescape(value) if key in ("find", "replace") else value)
    names = [fault.name for fault in faults]
    duplicates = {name for name in names if names.count(name) > 1}
    if duplicates:
        sys.exit(f"{path}: fault names used twice: {', '.join(sorted(duplicates))}")
    for fault in faults:
        if not fault.file or not fault.find:
            sys.exit(f"{path}: fault {fault.name} needs file: and find:")
    return faults


def copy_tree(destination, revision=None):
    """The tracked and new files of the working tree, so a change not yet
    committed is measured too; or the files of a commit, to measure the
    suite as it was."""
    if revision:
        staging = destination + ".rev"
        shutil.rmtree(staging, ignore_errors=True)
        os.makedirs(staging)
        archive = subprocess.run(["git", "archive", revision], cwd=ROOT, check=True, capture_output=True).stdout
        subprocess.run(["tar", "-x", "-C", staging], input=archive, check=True)
        source_root = staging
        names = [os.path.relpath(os.path.join(folder, name), staging)
                 for folder, _, files in os.walk(staging) for name in files]
    else:
        source_root = ROOT
        listing = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"], cwd=ROOT,
                                 check=True, capture_output=True).stdout.split(b"\0")
        names = [name.decode() for name in listing if name]
    wanted = set()
    for relative in names:
        source = os.path.join(source_root, relative)
        if not os.path.isfile(source):
            continue
        wanted.add(relative)
        target = os.path.join(destination, relative)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        # Unchanged files keep their time stamps, so the build stays incremental.
        if os.path.exists(target) and open(source, "rb").read() == open(target, "rb").read():
            continue
        shutil.copy2(source, target)
    # Files the measured tree does not have (tests removed or moved) must not
    # be globbed into the copy's build.
    for folder, _, files in os.walk(destination):
        for name in files:
            relative = os.path.relpath(os.path.join(folder, name), destination)
            if relative not in wanted:
                os.remove(os.path.join(folder, name))


def run(command, cwd, log):
    with open(log, "ab") as out:
        out.write(("\n$ " + " ".join(command) + "\n").encode())
        out.flush()
        return subprocess.run(command, cwd=cwd, stdout=out, stderr=subprocess.STDOUT).returncode


def build_targets(build):
    """Everything but the benchmarks, which no test runs."""
    listing = subprocess.run(["cmake", "--build", build, "--target", "help"], capture_output=True, text=True).stdout
    targets = []
    for line in listing.splitlines():
        match = re.match(r"\.\.\. (\S+)", line.strip())
        if match and not match.group(1).startswith("bench_") and match.group(1) not in (
                "all", "clean", "depend", "edit_cache", "rebuild_cache", "test", "install"):
            targets.append(match.group(1))
    return [t for t in targets if not t.endswith(".obj") and not t.endswith(".i") and not t.endswith(".s")]


def failed_tests(build, selection, timeout, log):
    """Names of the ctest entries that failed, or None when ctest itself could
    not run."""
    report = os.path.join(build, "mutation-ctest.txt")
    # One program at a time: programs that share the prefix's temporary
    # folder would otherwise see each other's files, and a verdict must not
    # depend on timing.
    command = ["ctest", "--timeout", str(timeout)] + selection
    with open(report, "wb") as out:
        completed = subprocess.run(command, cwd=build, stdout=out, stderr=subprocess.STDOUT)
    text = open(report, encoding="utf-8", errors="replace").read()
    with open(log, "a", encoding="utf-8") as out:
        out.write(text)
    failed = re.findall(r"^\s*\d+ - (\S+) \(", text, re.MULTILINE)
    if completed.returncode != 0 and not failed:
        return None
    return [name for name in failed if name not in ("wine_prefix", "wine_server_stop")]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--faults", default=os.path.join(HERE, "faults.txt"))
    parser.add_argument("--work", default="/tmp/yv-mutation")
    parser.add_argument("--only", nargs="*", help="run only these faults")
    parser.add_argument("--list", action="store_true", help="list the faults and check that each applies")
    parser.add_argument("--no-e2e", action="store_true", help="never run the end-to-end installations")
    parser.add_argument("--rev", help="measure the tests of this commit instead of the working tree")
    args = parser.parse_args()

    faults = read_faults(args.faults)
    if args.only:
        unknown = set(args.only) - {fault.name for fault in faults}
        if unknown:
            sys.exit("unknown faults: " + ", ".join(sorted(unknown)))
        faults = [fault for fault in faults if fault.name in args.only]

    problems = []
    for fault in faults:
        path = os.path.join(ROOT, fault.file)
        text = open(path, encoding="utf-8").read() if os.path.exists(path) else ""
        if text.count(fault.find) != 1:
            problems.append(f"{fault.name}: the text to change occurs {text.count(fault.find)} times in {fault.file}")
    if args.list:
        for fault in faults:
            print(f"{fault.name:40} {fault.file}  {fault.why}")
        print(f"{len(faults)} faults")
    if problems:
        sys.exit("\n".join(problems))
    if args.list:
        return

    tree = os.path.join(args.work, "tree")
    build = os.path.join(args.work, "build")
    log = os.path.join(args.work, "log.txt")
    os.makedirs(tree, exist_ok=True)
    copy_tree(tree, args.rev)
    open(log, "w").close()
    if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
        if run(["cmake", "-S", tree, "-B", build, "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(tree, "cmake",
               "mingw-w64-x86_64.cmake"), "-DCMAKE_BUILD_TYPE=Release"], tree, log) != 0:
            sys.exit(f"configuring the copy failed: see {log}")
    targets = build_targets(build)
    jobs = str(os.cpu_count() or 2)
    build_command = ["cmake", "--build", build, "-j", jobs, "--target"] + targets
    if run(build_command, tree, log) != 0:
        sys.exit(f"the unchanged copy does not build: see {log}")
    fast = ["-E", "^e2e_"]
    baseline = failed_tests(build, fast, FAST_TIMEOUT, log)
    if baseline != []:
        sys.exit(f"the unchanged copy fails its tests ({baseline}): see {log}")

    results = []
    started = time.time()
    for number, fault in enumerate(faults, 1):
        path = os.path.join(tree, fault.file)
        original = open(path, encoding="utf-8").read()
        began = time.time()
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original.replace(fault.find, fault.replace, 1))
            if run(build_command, tree, log) != 0:
                verdict, caught = "NO-BUILD", []
            else:
                caught = failed_tests(build, fast, FAST_TIMEOUT, log)
                if caught == [] and not args.no_e2e:
                    caught = failed_tests(build, ["-R", "^e2e_"], E2E_TIMEOUT, log)
                if caught is None:
                    verdict, caught = "KILLED", ["ctest-error"]
                else:
                    verdict = "KILLED" if caught else "SURVIVED"
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original)
        line = f"{verdict:9} {fault.name:40} {','.join(caught) or '-'}"
        results.append((fault, verdict, caught, line))
        print(f"[{number}/{len(faults)}, {time.time() - began:.0f} s] {line}", flush=True)

    counted = [r for r in results if r[1] != "NO-BUILD"]
    killed = sum(1 for r in counted if r[1] == "KILLED")
    rate = 100.0 * killed / len(counted) if counted else 0.0
    lines = [r[3] for r in results]
    lines.append(f"killed {killed} of {len(counted)} faults ({rate:.1f} %), "
                 f"{len(results) - len(counted)} did not build; {time.time() - started:.0f} s")
    survivors = [r[0] for r in results if r[1] == "SURVIVED"]
    if survivors:
        lines.append("survivors:")
        lines += [f"  {fault.name}: {fault.why}" for fault in survivors]
    report = "\n".join(lines) + "\n"
    print(report)
    with open(os.path.join(args.work, "report.txt"), "w", encoding="utf-8") as f:
        f.write(report)


if __name__ == "__main__":
    main()
