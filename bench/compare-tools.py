#!/usr/bin/env python3
"""Quillon beside Debian's single-purpose tools, in one run on the same inputs.

1. Web pages end to end: one ~50 MB page made of the corpus pages that `minify --type=html`
   accepts; `quillon-cli --in-place` on a fresh copy against `minify -o out.html big.html`.
   The target is judged on Quillon's default, which keeps the original as big.html.BAK: after
   either tool the original's bytes and the minified ones are both on disk. `--no-backup` is
   timed too; it also pays for the original's blocks going back to the file system.
2. Whole site: the generated 2,000-file site of bench/bench_run.cpp; `quillon-cli --dest`
   against `cp -r` followed by minify on the pages, gifsicle on the GIFs, jpegoptim on the JPEGs.
   The bytes after are also set against that chain with a jpegoptim that keeps what changes
   the picture (colour profiles, the Adobe segment), as Quillon does.

Prints wall and CPU times (medians over the repetitions), bytes after, and the ratios the
targets are stated in. Wall time is what the targets mean; CPU time is printed beside it because
on a shared machine it moves much less from run to run.
Before each timed run the disk's cache is written out and the disk given a few seconds, so that
no run pays for what the one before it left behind (see settle).

Exits 1 when a tool fails, when Quillon leaves something no smaller than it was or makes a file
larger, or when two repetitions of Quillon disagree on a byte; with --strict, also when a target
is missed. Quillon runs with a settings file of its own and HOME and TMPDIR in a temporary
folder, so the user's settings, statistics and reports are never touched.

Usage: bench/compare-tools.py [--cli build/src/cli/quillon-cli] [--reps N] [--per-file] ...
"""

import argparse
import hashlib
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
CORPUS = ROOT / "tests" / "corpus"
TOOLS = ("minify", "gifsicle", "jpegoptim")

PAGE_TARGET = 3.0  # minify's wall time over Quillon's, at least
SITE_TARGET = 4.0  # the chain's wall time over Quillon's, at least

# Suffixes as the generated site names its files; bench_run.cpp names them the same way.
KINDS = (("pages", ".htm"), ("GIFs", ".gif"), ("JPEGs", ".jpg"))
# jpegoptim's strip options for everything but colour profiles and the Adobe segment.
SAME_PICTURE_STRIP = ("--strip-com", "--strip-exif", "--strip-iptc", "--strip-xmp",
                      "--strip-jfxx")


class Failure(Exception):
    pass


class Timed:
    """Wall and CPU seconds of one child process (or a whole chain of them)."""

    def __init__(self, wall=0.0, cpu=0.0):
        self.wall = wall
        self.cpu = cpu

    def __iadd__(self, other):
        self.wall += other.wall
        self.cpu += other.cpu
        return self


def run(cmd, *, env, cwd=None, allowed=(0,), what=None):
    """Runs cmd, returns (Timed, CompletedProcess); a status outside `allowed` is a failure.

    CPU time comes from the children's rusage: every process the tool starts is reaped before
    it returns, so a tool that spreads its work over threads or processes is counted in full.
    """
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    done = subprocess.run(cmd, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    if done.returncode not in allowed:
        tail = done.stderr.decode(errors="replace").strip().splitlines()[-5:]
        raise Failure(f"{what or cmd[0]} exited with {done.returncode}: {' '.join(cmd[:6])}"
                      + "".join("\n    " + line for line in tail))
    return Timed(wall, cpu), done


def median_of(runs):
    return Timed(statistics.median(t.wall for t in runs), statistics.median(t.cpu for t in runs))


def top_level_files(folder):
    """The regular files of a corpus folder in name order; malformed/ is a subfolder and so
    stays out, as it does in the benchmark programs."""
    return sorted(p for p in folder.iterdir() if p.is_file())


def tree_digest(tree, paths):
    digest = hashlib.sha256()
    for rel in paths:
        digest.update(rel.encode())
        digest.update((tree / rel).read_bytes())
    return digest.hexdigest()


def mb(size):
    return f"{size / 1e6:,.2f} MB"


def table(header, rows):
    widths = [max(len(str(row[i])) for row in [header] + rows) for i in range(len(header))]
    line = lambda row: "  ".join(str(cell).ljust(w) if i == 0 else str(cell).rjust(w)
                                 for i, (cell, w) in enumerate(zip(row, widths)))
    print("  " + line(header))
    for row in rows:
        print("  " + line(row))


class Quillon:
    """quillon-cli with a settings file that no earlier run has written to."""

    def __init__(self, cli, scratch, env):
        self.cli = cli
        self.settings = scratch / "settings"
        self.settings.mkdir()
        self.env = env
        self.runs = 0

    def __call__(self, *args):
        self.runs += 1
        settings = self.settings / f"run{self.runs}.ini"
        return run([str(self.cli), *args, "-q", "--settings", str(settings)], env=self.env,
                   what="quillon-cli")


# ---------------------------------------------------------------------------------------------
# 1. Web pages end to end


def accepted_pages(scratch, env):
    """The corpus pages minify takes, less those Quillon passes over whole (a 0 byte marks a
    UTF-16 page): one of those inside big.html would leave all 50 MB untouched."""
    kept, refused, wide = [], [], []
    probe = scratch / "probe.html"
    for page in top_level_files(CORPUS / "html"):
        _, done = run(["minify", "--type=html", "-o", str(probe), str(page)], env=env,
                      allowed=(0, 1))
        if done.returncode != 0:
            refused.append(page.name)
        elif b"\0" in page.read_bytes():
            wide.append(page.name)
        else:
            kept.append(page)
    probe.unlink(missing_ok=True)
    return kept, refused, wide


def bench_page(args, quillon, scratch, env):
    total = len(top_level_files(CORPUS / "html"))
    kept, refused, wide = accepted_pages(scratch, env)
    if not kept:
        raise Failure("minify accepts none of the corpus pages")
    folder = scratch / "page"
    folder.mkdir()
    big = folder / "big.html"
    size = 0
    with big.open("wb") as out:
        while size < args.page_mb * 1e6:
            for page in kept:
                data = page.read_bytes()
                out.write(data)
                size += len(data)
                if size >= args.page_mb * 1e6:
                    break

    print(f"\n== Web pages end to end: big.html, {mb(size)}, made of {len(kept)} of the {total} "
          f"corpus pages")
    print(f"   left out: {len(refused)} that minify refuses ({', '.join(refused) or 'none'}); "
          f"{len(wide)} with 0 bytes (UTF-16), which Quillon leaves alone as a whole "
          f"({', '.join(wide) or 'none'})")
    print(f"   {args.reps} repetitions each, the three runs taking turns to go first; medians")

    copy = folder / "quillon" / "big.html"
    backup = copy.with_name("big.html.BAK")
    copy.parent.mkdir()
    minified = folder / "out.html"
    runs = {"backup": [], "no-backup": [], "minify": []}
    quillon_out, minify_out = set(), set()

    def prepare_quillon():
        # A backup left by the run before already holds these bytes and would not be made again.
        backup.unlink(missing_ok=True)
        shutil.copyfile(big, copy)

    def time_quillon(mode):
        flags = ("--in-place",) if mode == "backup" else ("--in-place", "--no-backup")
        timed, _ = quillon(*flags, str(copy))
        runs[mode].append(timed)
        data = copy.read_bytes()
        quillon_out.add((len(data), hashlib.sha256(data).hexdigest()))
        if (mode == "backup") != backup.exists():
            raise Failure(f"Quillon {' '.join(flags)} left {'no' if mode == 'backup' else 'a'} "
                          "backup")

    def time_minify():
        timed, _ = run(["minify", "--type=html", "-o", str(minified), str(big)], env=env)
        runs["minify"].append(timed)
        minify_out.add(minified.stat().st_size)

    steps = [(prepare_quillon, lambda: time_quillon("backup")),
             (lambda: minified.unlink(missing_ok=True), time_minify),
             (prepare_quillon, lambda: time_quillon("no-backup"))]
    for rep in range(args.reps):
        # Each goes first in turn.
        for prepare, timed_run in steps[rep % 3:] + steps[:rep % 3]:
            prepare()
            # Quillon flushes its page before the rename: without this, that flush would also
            # write out what the copy just made and the run before left in the cache.
            settle(1 if args.settle > 0 else 0)
            timed_run()

    if len(quillon_out) != 1:
        raise Failure("Quillon's big.html differs from one repetition or mode to the next")
    quillon_size = next(iter(quillon_out))[0]
    minify_size = max(minify_out)
    if quillon_size >= size:
        raise Failure(f"Quillon left big.html no smaller ({quillon_size} of {size} bytes)")
    if not 0 < minify_size < size:
        raise Failure(f"minify's out.html has {minify_size} bytes of {size}")

    q, bare, m = (median_of(runs[mode]) for mode in ("backup", "no-backup", "minify"))
    quillon_row = lambda name, t: [name, f"{t.wall:.2f}", f"{t.cpu:.2f}", f"{quillon_size:,}",
                                   f"{100 * quillon_size / size:.1f}"]
    table(["tool", "wall s", "CPU s", "bytes after", "% of input"],
          [quillon_row("Quillon (in place)", q), quillon_row("  with --no-backup", bare),
           ["minify --type=html", f"{m.wall:.2f}", f"{m.cpu:.2f}", f"{minify_size:,}",
            f"{100 * minify_size / size:.1f}"]])
    ratio = m.wall / q.wall
    print(f"   minify time / Quillon time: {ratio:.2f} wall, {m.cpu / q.cpu:.2f} CPU "
          f"(target: at least {PAGE_TARGET:g} wall: {'met' if ratio >= PAGE_TARGET else 'missed'})")
    print(f"   minify time / Quillon --no-backup time: {m.wall / bare.wall:.2f} wall, "
          f"{m.cpu / bare.cpu:.2f} CPU")
    return ratio >= PAGE_TARGET


# ---------------------------------------------------------------------------------------------
# 2. Whole site against the chained tools


def make_site(site):
    """bench_run.cpp's site, file for file: 1,600 pages cut to 2-60 KB from the corpus pages,
    200 corpus JPEGs and 200 corpus GIFs, 20 files a folder."""
    pages = [p.read_bytes() for p in top_level_files(CORPUS / "html")]
    jpegs = [p.read_bytes() for p in top_level_files(CORPUS / "jpeg")]
    gifs = [p.read_bytes() for p in top_level_files(CORPUS / "gif")]
    files, sources = {}, {}
    for i in range(2000):
        folder = f"section{i // 200}/part{i // 20}"
        if i % 10 == 4:
            name, content = f"photo{i}.jpg", jpegs[i // 10 % len(jpegs)]
        elif i % 10 == 9:
            name, content = f"picture{i}.gif", gifs[i // 10 % len(gifs)]
        else:
            page = pages[i % len(pages)]
            name, content = f"page{i}.htm", page[:min(len(page), 2048 + (i * 7919) % 61440)]
        (site / folder).mkdir(parents=True, exist_ok=True)
        (site / folder / name).write_bytes(content)
        files[f"{folder}/{name}"] = len(content)
        sources.setdefault(name[-4:], set()).add(hashlib.sha256(content[:2048]).digest())
    return files, sources


def settle(seconds):
    """Writes the disk's cache out and waits `seconds` (nothing at all for 0), so that a timed
    run does not share the disk with the writing the run before it left in the cache.
    On an ext4 without a journal, as this project's test machines have, creating a file steps
    over every free inode of its block group deleted in the last minute, or in the last six while
    its inode table block has unwritten changes. Writing the cache out does not end that: the
    first file a run creates beside such inodes changes their block again, and every later
    creation steps over all of them. When each run deleted the tree of the run before, that was
    a fifth of Quillon's CPU time in a profile, and a run after the chain, which deletes 1,600
    files of its own (minify renames each page aside, writes the new one and deletes the old),
    took a quarter longer than one after Quillon. So no tree is deleted before the end, and
    each tool's copy is made in block groups of its own (spread_folders); the chain still pays
    for its own deletions, as it would on this disk."""
    if seconds > 0:
        os.sync()
        time.sleep(seconds)


def spread_folders(scratch):
    """Marks the temporary folder as the top of a tree (chattr +T), so that ext4 gives each
    folder made in it, the site and every tool's copy, block groups of its own. A run then
    creates its files where no earlier run deleted any (see settle), as on a user's disk.
    False where the file system has no such mark."""
    return subprocess.run(["chattr", "+T", str(scratch)], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0


def by_kind(files):
    return {kind: sorted(rel for rel in files if rel.endswith(suffix)) for kind, suffix in KINDS}


def run_chain(site, out, kinds, per_file, env):
    """cp -r, then each tool over its files in place; returns per-step times. A tool may refuse
    a file it cannot read (minify a page with a script it cannot parse, jpegoptim an arithmetic-
    coded JPEG): it then exits 1 and leaves that file as it was, which is checked afterwards."""
    steps = {}
    steps["cp -r"], _ = run(["cp", "-r", str(site), str(out)], env=env)
    pages, gifs, jpegs = kinds["pages"], kinds["GIFs"], kinds["JPEGs"]
    if per_file:
        # Status 1 is a file the tool refused; anything else stops the loop as a failure.
        loop = 'for f; do {tool} "$f" || {{ s=$?; [ $s -eq 1 ] || exit $s; }}; done'
        steps["minify"], _ = run(
            ["sh", "-c", loop.format(tool='minify --type=html -o "$f"'), "sh", *pages],
            cwd=out, env=env, what="minify loop")
        steps["gifsicle"], _ = run(
            ["sh", "-c", loop.format(tool="gifsicle -O3 --colors 128 -b"), "sh", *gifs],
            cwd=out, env=env, what="gifsicle loop")
        steps["jpegoptim"], _ = run(
            ["sh", "-c", loop.format(tool="jpegoptim --strip-all -q"), "sh", *jpegs],
            cwd=out, env=env, what="jpegoptim loop")
    else:
        # minify's recursive mode writes each file to the output folder plus the path it was
        # given, so from inside the copy with "." and "./" that is the page itself.
        steps["minify"], _ = run(
            ["minify", "-r", "--type=html", "--match", r"\.html?$", "-o", "./", "."],
            cwd=out, env=env, allowed=(0, 1))
        steps["gifsicle"], _ = run(["gifsicle", "-O3", "--colors", "128", "-b", *gifs],
                                   cwd=out, env=env, allowed=(0, 1))
        steps["jpegoptim"], _ = run(["jpegoptim", "--strip-all", "-q", *jpegs],
                                    cwd=out, env=env, allowed=(0, 1))
    return steps


def bench_site(args, quillon, scratch, env):
    site = scratch / "site"
    files, sources = make_site(site)
    kinds = by_kind(files)
    before = {kind: sum(files[rel] for rel in rels) for kind, rels in kinds.items()}
    all_paths = sorted(files)
    print(f"\n== Whole site: {len(files):,} files, {mb(sum(files.values()))}, in "
          f"{len({rel.rsplit('/', 1)[0] for rel in files})} folders (bench_run.cpp's recipe)")
    # How many distinct corpus files stand behind the site's 2,000.
    print("   distinct corpus files behind them: "
          + ", ".join(f"{kind} {len(sources[suffix])} of {len(top_level_files(CORPUS / folder))}"
                      for (kind, suffix), folder in zip(KINDS, ("html", "gif", "jpeg"))))
    chain_way = ("each tool once per file, as a shell loop" if args.per_file else
                 "minify once over the tree (-r), gifsicle and jpegoptim once with the whole "
                 "list: far faster for them than a process per file")
    print(f"   chain: cp -r, minify --type=html, gifsicle -O3 --colors 128 -b, jpegoptim "
          f"--strip-all -q; {chain_way}")
    print(f"   {args.site_reps} repetitions each, the two taking turns to go first; medians"
          + (f"; the disk settles {args.settle:g} s before each run" if args.settle > 0 else ""))

    quillon_runs, chain_runs, quillon_digests = [], [], set()
    quillon_tree = chain_tree = None

    def time_quillon(rep):
        nonlocal quillon_tree
        dest = scratch / f"quillon-out{rep}"
        timed, _ = quillon("--dest", str(dest), str(site))
        quillon_runs.append(timed)
        tree = dest / site.name
        missing = [rel for rel in all_paths if not (tree / rel).is_file()]
        if missing:
            raise Failure(f"Quillon's copy lacks {len(missing)} files, {missing[0]} first")
        grown = [rel for rel in all_paths if (tree / rel).stat().st_size > files[rel]]
        if grown:
            raise Failure(f"Quillon made {len(grown)} files larger, {grown[0]} first")
        quillon_digests.add(tree_digest(tree, all_paths))
        quillon_tree = tree

    def time_chain(rep):
        nonlocal chain_tree
        out = scratch / f"chain-out{rep}"
        steps = run_chain(site, out, kinds, args.per_file, env)
        total = Timed()
        for timed in steps.values():
            total += timed
        chain_runs.append((total, steps))
        broken = [rel for rel in all_paths if not (out / rel).is_file()
                  or (out / rel).stat().st_size == 0]
        if broken:
            raise Failure(f"the chain left {len(broken)} files missing or empty, {broken[0]} first")
        chain_tree = out

    for rep in range(args.site_reps):
        order = (time_quillon, time_chain) if rep % 2 == 0 else (time_chain, time_quillon)
        for step in order:
            settle(args.settle)
            step(rep)

    if len(quillon_digests) != 1:
        raise Failure("Quillon's copies of the site differ from one repetition to the next")

    def sizes(tree):
        return {rel: (tree / rel).stat().st_size for rel in all_paths}

    q_sizes, c_sizes = sizes(quillon_tree), sizes(chain_tree)
    q_after = {kind: sum(q_sizes[rel] for rel in rels) for kind, rels in kinds.items()}
    c_after = {kind: sum(c_sizes[rel] for rel in rels) for kind, rels in kinds.items()}
    for kind, rels in kinds.items():
        if q_after[kind] >= before[kind]:
            raise Failure(f"Quillon left the {kind} no smaller ({q_after[kind]} of {before[kind]})")
        unchanged = sum(c_sizes[rel] == files[rel] and
                        (chain_tree / rel).read_bytes() == (site / rel).read_bytes()
                        for rel in rels)
        if unchanged == len(rels):
            raise Failure(f"the chain's tool for the {kind} changed none of them")

    def untouched(sizes_after, rel):
        return sizes_after[rel] == files[rel]

    q, c = median_of(quillon_runs), median_of([t for t, _ in chain_runs])
    print("   each run, wall / CPU s: Quillon "
          + ", ".join(f"{t.wall:.2f} / {t.cpu:.2f}" for t in quillon_runs) + "; chain "
          + ", ".join(f"{t.wall:.2f} / {t.cpu:.2f}" for t, _ in chain_runs))
    step_names = list(chain_runs[0][1])
    step_medians = {name: median_of([steps[name] for _, steps in chain_runs])
                    for name in step_names}
    rows = [["Quillon --dest", f"{q.wall:.2f}", f"{q.cpu:.2f}"],
            ["chain, in all", f"{c.wall:.2f}", f"{c.cpu:.2f}"]]
    rows += [[f"  {name}", f"{t.wall:.2f}", f"{t.cpu:.2f}"] for name, t in step_medians.items()]
    table(["", "wall s", "CPU s"], rows)
    ratio = c.wall / q.wall
    print(f"   chain time / Quillon time: {ratio:.2f} wall, {c.cpu / q.cpu:.2f} CPU "
          f"(target: at least {SITE_TARGET:g} wall: {'met' if ratio >= SITE_TARGET else 'missed'})")

    print()
    rows = []
    for kind, rels in kinds.items():
        rows.append([kind, len(rels), f"{before[kind]:,}", f"{q_after[kind]:,}",
                     f"{c_after[kind]:,}", f"{100 * q_after[kind] / c_after[kind]:.1f}",
                     f"{sum(untouched(q_sizes, r) for r in rels)} / "
                     f"{sum(untouched(c_sizes, r) for r in rels)}"])
    total_before, q_total, c_total = (sum(d.values()) for d in (before, q_after, c_after))
    rows.append(["total", len(all_paths), f"{total_before:,}", f"{q_total:,}", f"{c_total:,}",
                 f"{100 * q_total / c_total:.1f}", ""])
    table(["kind", "files", "bytes before", "Quillon after", "chain after", "Q % of chain",
           "same size (Q / chain)"], rows)
    gap = q_total - c_total
    print(f"   bytes: Quillon's site is {abs(gap):,} bytes "
          f"{'larger' if gap > 0 else 'smaller'} than the chain's "
          f"({100 * q_total / c_total:.1f} % of it); per kind: "
          + ", ".join(f"{kind} {q_after[kind] - c_after[kind]:+,}" for kind in before))
    same_picture_bytes(site, scratch / "same-picture", kinds["JPEGs"], q_after, c_after, env)
    return ratio >= SITE_TARGET


def same_picture_bytes(site, out, jpegs, q_after, c_after, env):
    """--strip-all also drops colour profiles and the Adobe colour transform, which change the
    colours a browser shows (the transform even the decoded pixels); Quillon keeps both. For the
    bytes, jpegoptim runs once more (untimed) keeping what changes the picture and dropping the
    rest, as Quillon does, and the site's total is set against the chain with that pass."""
    out.mkdir()
    copies = []
    for rel in jpegs:
        copy = out / rel.replace("/", "_")
        shutil.copyfile(site / rel, copy)
        copies.append(str(copy))
    run(["jpegoptim", *SAME_PICTURE_STRIP, "-q", *copies], env=env, allowed=(0, 1))
    c_jpegs = sum(os.path.getsize(copy) for copy in copies)
    q_jpegs, q_total = q_after["JPEGs"], sum(q_after.values())
    c_total = sum(c_after.values()) - c_after["JPEGs"] + c_jpegs
    print(f"   same picture: jpegoptim {' '.join(SAME_PICTURE_STRIP)} leaves the JPEGs at "
          f"{c_jpegs:,} bytes (Quillon {q_jpegs:,}, {100 * q_jpegs / c_jpegs:.1f} %); against "
          f"that chain Quillon's site is {100 * q_total / c_total:.1f} % of its size")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cli", type=Path, default=ROOT / "build" / "src" / "cli" / "quillon-cli",
                        help="the quillon-cli to time (default: build/src/cli/quillon-cli)")
    parser.add_argument("--reps", type=int, default=5, help="repetitions of the page benchmark")
    parser.add_argument("--site-reps", type=int, default=3,
                        help="repetitions of the site benchmark")
    parser.add_argument("--page-mb", type=float, default=50, help="size of big.html in MB")
    parser.add_argument("--settle", type=float, default=65,
                        help="seconds to wait, after writing the disk's cache out, before each "
                             "timed run of the site benchmark; the page benchmark waits 1 s "
                             "(0: neither writes out nor waits)")
    parser.add_argument("--per-file", action="store_true",
                        help="run the chain's tools once per file instead of once per list")
    parser.add_argument("--only", choices=("page", "site"), help="run one benchmark only")
    parser.add_argument("--strict", action="store_true", help="fail when a target is missed")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    args = parser.parse_args()
    if args.reps < 1 or args.site_reps < 1:
        parser.error("repetitions must be at least 1")

    missing = [tool for tool in TOOLS if not shutil.which(tool)]
    if missing:
        print(f"missing: {' '.join(missing)} (scripts/install-deps.sh installs them)",
              file=sys.stderr)
        return 1
    if not os.access(args.cli, os.X_OK):
        print(f"{args.cli} is not built (make compare builds it)", file=sys.stderr)
        return 1

    scratch = Path(tempfile.mkdtemp(prefix="quillon-compare-"))
    spread = spread_folders(scratch)
    env = dict(os.environ, HOME=str(scratch / "home"), TMPDIR=str(scratch / "tmp"))
    (scratch / "home").mkdir()
    (scratch / "tmp").mkdir()
    quillon = Quillon(args.cli.resolve(), scratch, env)
    load = os.getloadavg()
    print(f"{os.cpu_count()} cores; load average at the start {load[0]:.2f} {load[1]:.2f} "
          f"{load[2]:.2f}; temporary folder {scratch}"
          + ("" if spread else " (its folders could not be spread over the disk: chattr +T "
                               "failed, and a run may pay for inodes another deleted)"))
    met = []
    try:
        if args.only in (None, "page"):
            met.append(bench_page(args, quillon, scratch, env))
        if args.only in (None, "site"):
            met.append(bench_site(args, quillon, scratch, env))
    except Failure as failure:
        print(f"\nFAILED: {failure}", file=sys.stderr)
        return 1
    finally:
        if not args.keep:
            shutil.rmtree(scratch, ignore_errors=True)
    load = os.getloadavg()
    print(f"\nload average at the end {load[0]:.2f} {load[1]:.2f} {load[2]:.2f}")
    return 1 if args.strict and not all(met) else 0


if __name__ == "__main__":
    sys.exit(main())
