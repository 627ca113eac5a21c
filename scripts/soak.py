#!/usr/bin/env python3
"""Soak run: a generated site of many files, optimized end to end by quillon-cli.

    scripts/soak.py --cli build-asan/src/cli/quillon-cli --files 20000 [--in-place]

Builds a site from the test corpus (pages cut to varied lengths, JPEGs, GIFs, malformed
images, empty files, files of other types, awkward names) in nested folders, runs the command
line on it (in copy mode, or in place with backups) while sampling its resident memory, and
checks that:
  - the run ends by itself with exit 0 or 1 and no sanitizer report;
  - in copy mode the originals are byte for byte unchanged and the copy holds every file; in
    place every file is its old content or a new one whose .BAK is the old content, and no
    other file is left behind;
  - every file Quillon optimizes is accounted for, in the report (built from the run log) or the
    error log (as the JSON summary names them), and every other file is skipped for a stated
    reason (empty, or not a type Quillon optimizes);
  - no file grew;
  - memory stays flat: the peak of resident memory during the second half of the files is at
    most --rss-slack-mb above the peak during the first half.
Prints the figures and exits 1 when a check fails or the corpus is missing.
"""

import argparse
import hashlib
import html
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

PAGE_SUFFIXES = {".htm", ".html", ".shtml", ".txt", ".asp", ".inc"}
GIF_SUFFIXES = {".gif"}
JPEG_SUFFIXES = {".jpg", ".jpeg"}
# Awkward but legal names; each becomes part of some file names.
AWKWARD = ["with space", "quote'd", 'double"quote', "\u00fcnic\u00f6de", "\u65e5\u672c", "tab\there"]


def category(name):
    suffix = Path(name).suffix.lower()
    if suffix in PAGE_SUFFIXES:
        return "page"
    if suffix in GIF_SUFFIXES:
        return "gif"
    if suffix in JPEG_SUFFIXES:
        return "jpeg"
    return "other"


def corpus_files(corpus, sub, suffixes):
    folder = corpus / sub
    return sorted(p for p in folder.iterdir() if p.is_file() and p.suffix.lower() in suffixes)


def generate(site, count, corpus, rng):
    """Writes count files below site; returns {relative path: kind} with kind one of page,
    page-empty, gif, jpeg, gif-malformed, jpeg-malformed, other."""
    pages = [p.read_bytes() for p in corpus_files(corpus, "html", {".html", ".htm"})]
    gifs = [p.read_bytes() for p in corpus_files(corpus, "gif", {".gif"})]
    jpegs = [p.read_bytes() for p in corpus_files(corpus, "jpeg", {".jpg", ".jpeg"})]
    bad_gifs = [p.read_bytes() for p in corpus_files(corpus, "gif/malformed", {".gif"})]
    bad_jpegs = [p.read_bytes() for p in corpus_files(corpus, "jpeg/malformed", {".jpg", ".jpeg"})]
    if not (pages and gifs and jpegs and bad_gifs and bad_jpegs):
        raise FileNotFoundError(corpus)
    kinds = {}
    for index in range(count):
        folder = Path(f"section{index // 2000:02d}") / f"part{(index // 200) % 10:02d}"
        if index % 97 == 0:
            folder = folder / AWKWARD[(index // 97) % len(AWKWARD)]
        roll = rng.random()
        if roll < 0.70:
            page = rng.choice(pages)
            start = rng.randrange(0, max(1, len(page) - 2048))
            data = page[start:start + rng.randrange(512, 32768)]
            kind, name = "page", f"page{index}{rng.choice(['.htm', '.html', '.shtml', '.txt'])}"
        elif roll < 0.82:
            kind, name, data = "jpeg", f"photo{index}.jpg", rng.choice(jpegs)
        elif roll < 0.90:
            kind, name, data = "gif", f"anim{index}.gif", rng.choice(gifs)
        elif roll < 0.92:
            kind, name, data = "gif-malformed", f"broken{index}.gif", rng.choice(bad_gifs)
        elif roll < 0.94:
            kind, name, data = "jpeg-malformed", f"broken{index}.jpg", rng.choice(bad_jpegs)
        elif roll < 0.95:
            kind, name, data = "page-empty", f"empty{index}.htm", b""
        else:
            kind, name = "other", f"asset{index}{rng.choice(['.css', '.js', '.png', '.pdf'])}"
            data = bytes(rng.randrange(256) for _ in range(rng.randrange(0, 4096)))
        if index % 53 == 0:
            name = AWKWARD[(index // 53) % len(AWKWARD)] + " " + name
        relative = folder / name
        path = site / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        kinds[str(relative)] = kind
    return kinds


def digests(folder):
    result = {}
    for root, _, files in os.walk(folder):
        for name in files:
            path = Path(root) / name
            result[str(path.relative_to(folder))] = hashlib.sha256(path.read_bytes()).hexdigest()
    return result


def rss_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def run_cli(cli, site, mode, work, timeout):
    """Runs the command line, sampling (files begun, resident KiB) as it goes."""
    env = dict(os.environ, TMPDIR=str(work / "tmp"), HOME=str(work / "home"),
               XDG_CONFIG_HOME=str(work / "home" / ".config"))
    # A sanitizer finding must not pass for exit code 1 (errors logged).
    env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":exitcode=99:detect_leaks=1"
    env["UBSAN_OPTIONS"] = env.get("UBSAN_OPTIONS", "") + ":halt_on_error=1:exitcode=98"
    for folder in ("tmp", "home"):
        (work / folder).mkdir(parents=True, exist_ok=True)
    err_path = work / "stderr.txt"
    samples = []
    started = time.monotonic()
    with open(err_path, "wb") as err, open(work / "stdout.txt", "wb") as out_file:
        process = subprocess.Popen(
            [str(cli), "--settings", str(work / "settings.ini"), *mode, "--json", str(site)],
            stdout=out_file, stderr=err, stdin=subprocess.DEVNULL, env=env)
        while process.poll() is None:
            if time.monotonic() - started > timeout:
                process.kill()
                process.wait()
                raise TimeoutError(f"the run did not end within {timeout} s")
            rss = rss_kib(process.pid)
            if rss is not None:
                with open(err_path, "rb") as progress:
                    begun = progress.read().count(b"\n")
                samples.append((begun, rss))
            time.sleep(0.2)
    seconds = time.monotonic() - started
    return (process.returncode, (work / "stdout.txt").read_text(errors="replace"),
            err_path.read_text(errors="replace"), samples, seconds)


ROW = re.compile(r'<td colspan="2" bgcolor="#eeeeee"><font face="geneva,arial" size="2">'
                 r'(.*?)</font></td>', re.S)


def read_report_rows(path):
    """The file names the report lists, one row per file the run log held (the report is built
    from that log, which is then deleted). Names are relative to the copy, and the report's
    layout pass shows a tab as a space."""
    if not path.exists():
        return set()
    return {html.unescape(name) for name in ROW.findall(path.read_text(errors="replace"))}


def memory_growth(samples, total):
    """Peak resident KiB while the first half of the files went through, the peak during the
    second half, and the last sample. A leak shows as a second peak above the first; one large
    image raises both halves' peaks alike once the site is large enough to hold several."""
    first = [rss for begun, rss in samples if begun < total // 2]
    second = [rss for begun, rss in samples if begun >= total // 2]
    if not first or not second:
        return None
    return max(first), max(second), second[-1]


def check_in_place(before, after, fail):
    """In place, every file must be its old content, or a new one with a backup that is the old
    content, and nothing else may be left beside them. Returns the files that are gone."""
    missing, mismatched = [], []
    for relative, digest in before.items():
        backup = relative + ".BAK"
        if relative not in after:
            missing.append(relative)
        elif after[relative] != digest and after.get(backup) != digest:
            mismatched.append(relative)
        if backup in after and after[backup] != digest:
            mismatched.append(backup)
    strays = [name for name in after
              if name not in before and not (name.endswith(".BAK") and name[:-4] in before)]
    if missing:
        fail(f"{len(missing)} files gone, e.g. {missing[:3]}")
    if mismatched:
        fail(f"{len(mismatched)} files changed without a whole backup, e.g. {mismatched[:3]}")
    if strays:
        fail(f"{len(strays)} files left that were not there, e.g. {strays[:3]}")
    return missing


def check(args, work, corpus):
    rng = random.Random(args.seed)
    site, out = work / "site", work / "out"
    kinds = generate(site, args.files, corpus, rng)
    before = digests(site)
    sizes = {relative: (site / relative).stat().st_size for relative in kinds}
    mode = ["--in-place"] if args.in_place else ["--dest", str(out)]
    code, stdout, stderr, samples, seconds = run_cli(args.cli, site, mode, work, args.timeout)
    failures = []

    def fail(text):
        failures.append(text)

    if code not in (0, 1):
        fail(f"exit code {code}")
    for marker in ("Sanitizer", "runtime error:"):
        if marker in stderr:
            fail(f"sanitizer report in the output ({marker})")
    try:
        summary = json.loads(stdout)
    except ValueError:
        summary = {}
        fail("no JSON summary")
    if summary.get("cancelled"):
        fail("the run reports itself cancelled")

    if args.in_place:
        result_root = site
        report = work / "home" / "Desktop" / "Quillon Optimized Files" / "'site' Report.html"
        missing = check_in_place(before, digests(site), fail)
    else:
        if digests(site) != before:
            fail("the originals changed")
        result_root = out / "site"
        report = out / "Quillon Optimized Files" / "'site' Report.html"
        after = digests(result_root) if result_root.exists() else {}
        missing = sorted(set(before) - set(after))
        if missing:
            fail(f"{len(missing)} files missing from the copy, e.g. {missing[:3]}")

    logged = read_report_rows(report)
    # The error log goes with the run; the summary names every file it held.
    errors = set(summary.get("filesWithErrors", []))
    accounted, skipped, unaccounted, grew = 0, {}, [], []
    for relative in kinds:
        path = str(result_root / relative)
        if sizes[relative] == 0:
            skipped["empty (nothing to optimize)"] = skipped.get("empty (nothing to optimize)", 0) + 1
        elif category(relative) == "other":
            reason = "not a type Quillon optimizes"
            skipped[reason] = skipped.get(reason, 0) + 1
        elif relative.replace("\t", " ") in logged or path in errors:
            accounted += 1
        else:
            unaccounted.append(relative)
        result = result_root / relative
        if result.exists() and result.stat().st_size > sizes[relative]:
            grew.append(relative)
    if unaccounted:
        fail(f"{len(unaccounted)} files neither logged nor named, e.g. {unaccounted[:3]}")
    if grew:
        fail(f"{len(grew)} files grew, e.g. {grew[:3]}")

    growth = memory_growth(samples, args.files)
    if growth and growth[1] - growth[0] > args.rss_slack_mb * 1024:
        fail(f"peak resident memory grew from {growth[0] // 1024} MB in the first half "
             f"to {growth[1] // 1024} MB in the second")

    counts = {}
    for kind in kinds.values():
        counts[kind] = counts.get(kind, 0) + 1
    figures = {
        "mode": "in place" if args.in_place else "copy",
        "files": args.files,
        "kinds": counts,
        "seconds": round(seconds, 1),
        "exitCode": code,
        "accounted": accounted,
        "inReport": len(logged),
        "namedInErrorLog": len(errors),
        "skipped": skipped,
        "lost": len(missing) + len(unaccounted),
        "bytesBefore": summary.get("total", {}).get("bytesBefore"),
        "bytesAfter": summary.get("total", {}).get("bytesAfter"),
        "rssMB": None if not growth else
        {"peakFirstHalf": growth[0] // 1024, "peakSecondHalf": growth[1] // 1024,
         "last": growth[2] // 1024},
        "failures": failures,
    }
    print(json.dumps(figures, indent=2, ensure_ascii=False))
    return not failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--cli", required=True, type=Path)
    parser.add_argument("--files", type=int, default=20000)
    parser.add_argument("--corpus", type=Path,
                        default=Path(__file__).resolve().parent.parent / "tests" / "corpus")
    parser.add_argument("--seed", type=int, default=2026)
    parser.add_argument("--timeout", type=int, default=3600)
    parser.add_argument("--rss-slack-mb", type=int, default=64)
    parser.add_argument("--in-place", action="store_true",
                        help="optimize the generated site in place, with backups")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()
    if not (args.corpus / "html").is_dir():
        print(f"soak: no corpus at {args.corpus}", file=sys.stderr)
        return 1
    work = Path(tempfile.mkdtemp(prefix="quillon-soak-"))
    try:
        return 0 if check(args, work, args.corpus) else 1
    finally:
        if args.keep:
            print(f"soak: work folder kept at {work}", file=sys.stderr)
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
