#!/usr/bin/env python3
"""Workflow test: nothing lost, nothing exposed.

    scripts/workflow.py --cli build/src/cli/quillon-cli --files 2000 --kills 20
    scripts/workflow.py --cli build/src/cli/quillon-cli --small

Runs the command line over sites generated from the corpus (soak.py's generator, plus files of
mode 0600/0640 and links to an "outside" folder) the ways people and scripts use it: runs
repeated, overlapping, killed, racing a writer, on a full disk, on a decompression bomb, beside
another run. After every run it checks that
  (a) every original's bytes are on disk, in the file or in one of its backups (NAME.BAK,
      NAME.2.BAK, ...), and so are those of every version an earlier run of the scenario left;
  (b) the outside folder is byte for byte and mode for mode as it was;
  (c) no backup, replaced file or temporary file (.NAME.quillon-XXXXXXXXXXXX.tmp) has wider
      permissions than its original, and nothing else appeared; a completed run leaves no
      temporary file, and one a killed run left is 0600.
Prints a line of figures per scenario; exits 1 when a check fails or the corpus is missing.
"""

import argparse, hashlib, html, json, os, random, re, resource, shutil, signal, stat
import subprocess, sys, tempfile, threading, time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.dont_write_bytecode = True  # no cache folder left in scripts/
import soak  # noqa: E402  (the site generator)

TEMPORARY = re.compile(r"\..+\.quillon-[0-9a-fA-F]{12}\.tmp", re.S)
ROW = re.compile(r'<td colspan="2" bgcolor="#eeeeee"><font face="geneva,arial" size="2">(.*?)'
                 r'</font></td><td[^>]*><font[^>]*>([\d,]+)</font></td><td[^>]*><font[^>]*>'
                 r'([\d,]+)</font>', re.S)


def entries(root):
    """{relative path: (sha256 or "->" link target, permission bits)} of all but folders."""
    found = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = Path(folder, name)
            info, rel = path.lstat(), str(path.relative_to(root))
            if stat.S_ISLNK(info.st_mode):
                found[rel] = ("->" + os.readlink(path), 0)
            elif stat.S_ISREG(info.st_mode):
                found[rel] = (hashlib.sha256(path.read_bytes()).hexdigest(),
                              stat.S_IMODE(info.st_mode))
    return found


def backup_bases(name):
    """The originals a name can be a backup of: P.BAK is P's first, P.N.BAK its N-th."""
    numbered = re.fullmatch(r"(.+)\.[1-9][0-9]*\.BAK", name, re.S)
    return ([name[:-4]] if name.endswith(".BAK") else []) + ([numbered[1]] if numbered else [])


def bomb_gif():
    """35 bytes: a 2-colour GIF whose one frame claims 16000 x 16000 pixels."""
    side = (16000).to_bytes(2, "little")
    return (b"GIF89a" + side + side + b"\x80\x00\x00" + b"\x00\x00\x00\xff\xff\xff"
            + b",\x00\x00\x00\x00" + side + side + b"\x00" + b"\x02\x02\x4c\x01\x00" + b";")


class Tree:
    """A site under test: the entries it was made with, and every version that must survive."""

    def __init__(self, root, kinds):
        self.root, self.kinds = root, kinds
        self.made = entries(root)
        self.keep = [dict(self.made)]

    def remember(self):
        # Before another in-place run: what the last one wrote must survive the next, too.
        now = entries(self.root)
        self.keep.append({rel: now[rel] for rel in self.made if rel in now})

    def spaced(self):
        """{name as the report shows it (a tab as a space): relative path}."""
        return {rel.replace("\t", " "): rel for rel in self.kinds}


class Workflow:
    def __init__(self, args, work):
        self.args, self.work, self.failures, self.runs, self.lost = args, work, [], 0, 0
        self.shortest_run, self.few = 0, min(args.files, 100)
        self.env = dict(os.environ, TMPDIR=str(work / "tmp"), HOME=str(work / "home"),
                        XDG_CONFIG_HOME=str(work / "home" / ".config"))
        # A sanitizer finding must not pass for exit code 1 (errors logged).
        for name, extra in (("ASAN_OPTIONS", ":exitcode=99:detect_leaks=1"),
                            ("UBSAN_OPTIONS", ":halt_on_error=1:exitcode=98")):
            self.env[name] = self.env.get(name, "") + extra
        for folder in ("tmp", "home", "logs", "sites"):
            (work / folder).mkdir()
        self.pages = [p.read_bytes()
                      for p in soak.corpus_files(args.corpus, "html", {".html", ".htm"})]
        self.outside, rng = work / "outside", random.Random(args.seed)
        for rel, mode in (("page.htm", 0o644), ("old-index.htm", 0o640), ("private.txt", 0o600),
                          ("copy-target.htm", 0o600), ("folder/inner.htm", 0o644)):
            (self.outside / rel).parent.mkdir(parents=True, exist_ok=True)
            (self.outside / rel).write_bytes(self.page(rng))
            (self.outside / rel).chmod(mode)
        self.outside_made = entries(self.outside)

    def fail(self, scenario, text):
        self.failures.append(f"{scenario}: {text}")
        print(f"  FAIL {scenario}: {text}", flush=True)

    def expect_none(self, scenario, text, found):
        if found:
            self.fail(scenario, f"{len(found)} {text}, e.g. {sorted(found)[:3]}")

    def page(self, rng, size=6000):
        data = rng.choice(self.pages)
        start = rng.randrange(0, max(1, len(data) - size))
        return data[start:start + size] + b"\n\n   <p>  spaced   out  </p>\n\n"

    def site(self, name, count, folder="site", links=True, drop=(), extra=None):
        """A fresh generated site: some files 0600 or 0640, and (links) links out of the tree."""
        root = self.work / "sites" / name / folder
        rng = random.Random(f"{self.args.seed} {name} {folder}")
        kinds = soak.generate(root, count, self.args.corpus, rng)
        for rel in [rel for rel, kind in kinds.items() if kind.startswith(drop)]:
            (root / rel).unlink()
            del kinds[rel]
        for rel, data in {"index.htm": self.page(rng), **(extra or {})}.items():
            (root / rel).write_bytes(data)
            kinds[rel] = soak.category(rel)
        for number, rel in enumerate(sorted(kinds)):
            if number % 5 in (1, 3):
                (root / rel).chmod(0o600 if number % 5 == 1 else 0o640)
        if links:
            (root / "linked.htm").symlink_to(self.outside / "page.htm")
            (root / "index.htm.BAK").symlink_to(self.outside / "old-index.htm")
            (root / "linked-folder").symlink_to(self.outside / "folder")
        return Tree(root, kinds)

    def start(self, tree, *options, limit=None):
        self.runs += 1
        logs = self.work / "logs" / str(self.runs)

        def full_disk():
            # Writes past the limit fail with EFBIG, as on a full disk, instead of a signal.
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

        with open(f"{logs}.out", "wb") as out, open(f"{logs}.err", "wb") as err:
            process = subprocess.Popen(
                [self.args.cli, "--settings", self.work / "settings.ini", *options, "--json",
                 tree.root], stdout=out, stderr=err, stdin=subprocess.DEVNULL, env=self.env,
                preexec_fn=full_disk if limit else None)
        process.logs, process.started = logs, time.monotonic()
        return process

    def finish(self, scenario, process, codes=(0, 1), timeout=None):
        """Waits for a run; returns its exit code, standard error, JSON summary and seconds."""
        try:
            process.wait(timeout or self.args.timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            self.fail(scenario, f"a run did not end within {timeout or self.args.timeout} s")
        seconds = time.monotonic() - process.started
        stderr = Path(f"{process.logs}.err").read_text(errors="replace")
        if "Sanitizer" in stderr or "runtime error:" in stderr:
            self.fail(scenario, f"sanitizer report: {stderr[-800:]}")
        if process.returncode not in codes:
            self.fail(scenario, f"exit code {process.returncode}: {stderr[-300:].strip()}")
        try:
            summary = json.loads(Path(f"{process.logs}.out").read_text(errors="surrogateescape"))
        except ValueError:
            summary = {}
            if process.returncode >= 0:
                self.fail(scenario, "no JSON summary")
        if summary.get("cancelled"):
            self.fail(scenario, "the run reports itself cancelled")
        return process.returncode, stderr, summary, seconds

    def run(self, scenario, tree, *options, limit=None, timeout=None):
        return self.finish(scenario, self.start(tree, *options, limit=limit), timeout=timeout)

    def check(self, scenario, tree, finished, skip=()):
        """The invariant, (a) to (c). Returns figures: lost, temporary, backups, numbered."""
        now, held = entries(tree.root), {}
        for name in now:
            for base in backup_bases(name):
                if base in tree.made and name not in tree.made:
                    held.setdefault(base, []).append(name)
        lost = sorted({rel for version in tree.keep for rel, (digest, _) in version.items()
                       if rel not in skip and all(now.get(holder, ("",))[0] != digest
                                                  for holder in [rel] + held.get(rel, []))})
        wider, temporary, strays = [], [], []
        for name, (_, mode) in now.items():
            origin = name if name in tree.made else next(
                (base for base in backup_bases(name) if name in held.get(base, [])), None)
            if TEMPORARY.fullmatch(Path(name).name):
                temporary.append(name)
                # Only its owner can read one until it is complete; then it has its final
                # attributes, never wider than its original's (a killed run leaves either).
                file = Path(name).name
                base = str(Path(name).parent / file[1:file.rindex(".quillon-")])
                final = next((tree.made[b][1] for b in [base] + backup_bases(base)
                              if b in tree.made), 0)
                if mode & ~(final | 0o600):
                    wider.append(f"{name} {mode:o}")
            elif origin is None:
                strays.append(name)
            elif mode & ~tree.made[origin][1]:
                wider.append(f"{name} {mode:o} (original {tree.made[origin][1]:o})")
        outside = entries(self.outside)
        changed = sorted(rel for rel in set(outside) | set(self.outside_made)
                         if outside.get(rel) != self.outside_made.get(rel))
        self.expect_none(scenario, "originals lost", lost)
        self.expect_none(scenario, "changed outside the tree", changed)
        self.expect_none(scenario, "with wider permissions than their original", wider)
        self.expect_none(scenario, "files that were not there", strays)
        self.expect_none(scenario, "temporary files after a completed run", finished and temporary)
        self.lost += len(lost)
        return {"lost": len(lost), "temporary": len(temporary),
                "backups": sum(map(len, held.values())),
                "numbered": sum(n != base + ".BAK" for base, names in held.items() for n in names)}

    def report_rows(self, scenario, summary):
        """{name relative to the site: (bytes before, bytes after)} of the summary's report."""
        if not summary.get("report") or not Path(summary["report"]).is_file():
            self.fail(scenario, f"no report: {summary.get('report')}")
            return {}
        rows = ROW.findall(Path(summary["report"]).read_text(errors="replace"))
        return {html.unescape(name): (int(before.replace(",", "")), int(after.replace(",", "")))
                for name, before, after in rows}

    # Each scenario works on fresh sites and returns its figures for the summary line.

    def repeated(self, name):
        tree, codes = self.site("repeat", self.args.files), []
        for number in range(3):
            if number:
                tree.remember()
            code, _, _, seconds = self.run(name, tree, "--in-place")
            codes.append(code)
            self.shortest_run = min(self.shortest_run or seconds, seconds)  # for the kills
            figures = self.check(name, tree, True)
        return (f"files {len(tree.made)}, runs 3, exit codes {codes}, "
                f"backups {figures['backups']} ({figures['numbered']} numbered)")

    def overlapping(self, name):
        tree = self.site("overlap", self.args.files)
        processes = [self.start(tree, "--in-place"), self.start(tree, "--in-place")]
        results = [self.finish(name, process, codes=(0, 1, 2)) for process in processes]
        refused = [stderr for code, stderr, _, _ in results if code == 2]
        if any("Another Quillon run" not in stderr for stderr in refused):
            self.fail(name, f"exit code 2 without the tree-in-use message: {refused}")
        if len(refused) == 2:
            self.fail(name, "both runs were refused")
        self.check(name, tree, True)
        return f"files {len(tree.made)}, runs 2, exit codes {[r[0] for r in results]}"

    def killed(self, name):
        tree, rng = self.site("kill", self.args.files), random.Random(self.args.seed)
        latest = self.args.kill_ms / 1000 if self.args.kill_ms else self.shortest_run
        ended = left = 0
        for _ in range(self.args.kills):
            tree.remember()
            process = self.start(tree, "--in-place")
            time.sleep(rng.uniform(0, latest))
            process.kill()
            finished = self.finish(name, process, codes=(0, 1, -signal.SIGKILL))[0] >= 0
            ended += finished
            left += self.check(name, tree, finished)["temporary"]
        tree.remember()
        code = self.run(name, tree, "--in-place")[0]
        figures = self.check(name, tree, True)
        return (f"files {len(tree.made)}, kills {self.args.kills} within {latest * 1000:.0f} ms "
                f"({ended} runs ended first), temporary files found after kills {left}, "
                f"after the completed run (exit code {code}) {figures['temporary']}")

    def linked(self, name):
        tree = self.site("links", self.few)
        codes = [self.run(name, tree, "--in-place")[0]]
        self.check(name, tree, True)
        copy = self.site("links-copy", self.few)
        dest = copy.root.parent / "dest"
        (dest / "site").mkdir(parents=True)
        (dest / "site" / "index.htm").symlink_to(self.outside / "copy-target.htm")
        codes.append(self.run(name, copy, "--dest", dest, "--on-exists", "replace")[0])
        self.check(name, copy, True)
        if entries(copy.root) != copy.made:
            self.fail(name, "a run in copy mode changed the originals")
        copied = {rel: entry[1] for rel, entry in entries(dest / "site").items()}
        files = {rel: mode for rel, (_, mode) in copy.made.items() if mode}  # not the links
        self.expect_none(name, "files missing from the copy",
                         [rel for rel in files if not copied.get(rel)])
        self.expect_none(name, "copies with wider permissions",
                         [rel for rel, mode in files.items() if copied.get(rel, 0) & ~mode])
        return f"files {len(tree.made)} and {len(copy.made)}, runs 2, exit codes {codes}"

    def appended(self, name):
        tree, stop = self.site("append", self.args.files), threading.Event()
        pages = sorted(rel for rel, kind in tree.kinds.items() if kind == "page")
        pages = [pages[len(pages) * k // 4] for k in (1, 2, 3)]
        originals = {rel: (tree.root / rel).read_bytes() for rel in pages}
        written = {rel: [] for rel in pages}

        def append():
            while not stop.is_set():
                for rel in pages:
                    line = b"appended-%06d\n" % sum(map(len, written.values()))
                    # Open, write and close in a row, as a program appending by name does. A
                    # writer that holds the file open while the run replaces it writes to the
                    # file the run took away; no replacement by rename can prevent that.
                    page = os.open(tree.root / rel, os.O_WRONLY | os.O_APPEND)
                    os.write(page, line)
                    os.close(page)
                    written[rel].append(line.strip())
                time.sleep(0.003)

        writer, process = threading.Thread(target=append), self.start(tree, "--in-place")
        writer.start()
        code, _, summary, _ = self.finish(name, process)
        stop.set()
        writer.join()
        self.check(name, tree, True, skip=pages)
        in_backup = 0
        for rel in pages:
            path = tree.root / rel
            kept = [p.read_bytes() for p in path.parent.iterdir()
                    if p == path or path.name in backup_bases(p.name)]
            data, at = path.read_bytes(), 0
            for line in written[rel]:
                found = data.find(line, at)
                if found >= 0:
                    at = found + len(line)
                elif any(line in version for version in kept):
                    # Written between the run's last look at the file and its rename, the line
                    # went to the file the rename took away, which the backup is.
                    in_backup += 1
                else:
                    self.fail(name, f"{rel}: {line.decode()} lost or out of order")
                    break
            if not any(version.startswith(originals[rel]) for version in kept):
                self.fail(name, f"{rel}: the original is in neither the file nor a backup")
        named = sum(str(tree.root / rel) in summary.get("filesWithErrors", []) for rel in pages)
        return (f"files {len(tree.made)}, runs 1, exit code {code}, lines appended "
                f"{sum(map(len, written.values()))} to {len(pages)} pages, {named} of them "
                f"named as changed, {in_backup} lines only in a backup")

    def full_disk(self, name):
        limit, extra = 64 * 1024 + 1024 * self.few, {}  # the report, a row a file, must fit
        for big, sub, suffixes in (("big-page.htm", "html", {".html", ".htm"}),
                                   ("big-anim.gif", "gif", {".gif"}),
                                   ("big-photo.jpg", "jpeg", {".jpg", ".jpeg"})):
            larger = [p for p in soak.corpus_files(self.args.corpus, sub, suffixes)
                      if p.stat().st_size > 1.5 * limit]
            if larger:
                extra[big] = min(larger, key=lambda p: p.stat().st_size).read_bytes()
        tree = self.site("full", self.few, links=False, extra=extra)
        sizes = {rel: (tree.root / rel).stat().st_size for rel in tree.kinds}
        code, _, summary, _ = self.run(name, tree, "--in-place", limit=limit)
        self.check(name, tree, True)
        rows, spaced, now = self.report_rows(name, summary), tree.spaced(), entries(tree.root)
        errors = {os.path.relpath(p, tree.root) for p in summary.get("filesWithErrors", [])}
        size = {n: (tree.root / spaced[n]).stat().st_size for n in rows if n in spaced}
        total = summary.get("total", {})
        if sum(size.values()) != total.get("bytesAfter") or len(rows) != total.get("files"):
            self.fail(name, f"the summary counts {total.get('files')} files of "
                            f"{total.get('bytesAfter')} bytes; the {len(rows)} files of the "
                            f"report hold {sum(size.values())}")
        self.expect_none(name, "report rows that disagree with the disk", [
            n for n, sizes_in_row in rows.items()
            if n not in spaced or (sizes[spaced[n]], size[n]) != sizes_in_row])
        self.expect_none(name, "files named as failed that changed",
                         [rel for rel in errors if now.get(rel) != tree.made.get(rel)])
        self.expect_none(name, "files neither in the report nor named", [
            rel for n, rel in spaced.items() if tree.kinds[rel] in ("page", "gif", "jpeg")
            and sizes[rel] and n not in rows and rel not in errors])
        return (f"files {len(tree.made)} ({sum(s > limit for s in sizes.values())} above the "
                f"{limit // 1024} KiB limit), runs 1, exit code {code}, in the report "
                f"{len(rows)}, named as failed {len(errors)}, bytes after {sum(size.values())}")

    def bomb(self, name):
        tree = self.site("bomb", 10, links=False, extra={"bomb.gif": bomb_gif()})
        code, _, summary, seconds = self.run(name, tree, "--in-place",
                                             timeout=self.args.bomb_seconds)
        self.check(name, tree, True)
        if (tree.root / "bomb.gif").read_bytes() != bomb_gif():
            self.fail(name, "bomb.gif changed")
        if str(tree.root / "bomb.gif") not in summary.get("filesWithErrors", []):
            self.fail(name, f"bomb.gif is not in the JSON error list (took {seconds:.1f} s)")
        return f"files {len(tree.made)}, runs 1, exit code {code}, {seconds:.1f} s"

    def two_sites(self, name):
        # Told apart by what they hold: alpha has no JPEG, beta no GIF.
        trees = [self.site("two", self.args.files // 2, "alpha", drop=("jpeg",)),
                 self.site("two", self.args.files // 3, "beta", drop=("gif",))]
        results = [self.finish(name, p) for p in [self.start(t, "--in-place") for t in trees]]
        for tree, (_, _, summary, _), absent in zip(trees, results, ("jpegs", "gifs")):
            site, rows = tree.root.name, self.report_rows(name, summary)
            named = summary.get("filesWithErrors", []) + summary.get("foldersWithErrors", [])
            foreign = [p for p in named if not p.startswith(str(tree.root) + os.sep)]
            if summary.get("selection") != str(tree.root) or foreign:
                self.fail(name, f"{site}'s summary names {summary.get('selection')}, {foreign[:3]}")
            pages = [rel for rel, kind in tree.kinds.items()
                     if kind == "page" and str(tree.root / rel) not in named]
            counted = (summary.get("pages", {}).get("files"), summary.get(absent, {}).get("files"))
            if counted != (len(pages), 0):
                self.fail(name, f"{site} has {len(pages)} pages and no {absent}; its summary "
                                f"counts {counted[0]} and {counted[1]}")
            strange = sorted(set(rows) - set(tree.spaced()))
            if strange or len(rows) != summary.get("total", {}).get("files"):
                self.fail(name, f"{site}'s report lists {len(rows)} files, e.g. {strange[:3]}")
            self.check(name, tree, True)
        if len({r[2].get("report") for r in results}) != 2:
            self.fail(name, "the two runs share a report")
        named = [len(r[2].get("filesWithErrors", [])) for r in results]
        return (f"files {[len(t.made) for t in trees]}, runs 2, exit codes "
                f"{[r[0] for r in results]}, files named in the error lists {named}")


SCENARIOS = [("three in-place runs in a row", "repeated"),
             ("two runs at once on one tree", "overlapping"),
             ("kill -9 at random moments", "killed"), ("links out of the tree", "linked"),
             ("a page appended to during the run", "appended"), ("a full disk", "full_disk"),
             ("a decompression bomb", "bomb"), ("two sites at once", "two_sites")]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--cli", required=True, type=Path)
    parser.add_argument("--corpus", type=Path,
                        default=Path(__file__).resolve().parent.parent / "tests" / "corpus")
    parser.add_argument("--files", type=int, help="site size (2000; --small: 60)")
    parser.add_argument("--kills", type=int, help="killed runs (20; --small: 4)")
    parser.add_argument("--kill-ms", type=int, default=0,
                        help="latest kill after a start (default: the shortest run of scenario 1)")
    parser.add_argument("--seed", type=int, default=2026)
    parser.add_argument("--timeout", type=int, default=1800, help="seconds a run may take")
    parser.add_argument("--bomb-seconds", type=int, default=20)
    parser.add_argument("--small", action="store_true", help="a fast version, for ctest")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()
    args.files = args.files or (60 if args.small else 2000)
    args.kills = (4 if args.small else 20) if args.kills is None else args.kills
    args.cli = args.cli.resolve()
    if not (args.corpus / "html").is_dir():
        print(f"workflow: no corpus at {args.corpus}", file=sys.stderr)
        return 1
    work, started = Path(tempfile.mkdtemp(prefix="quillon-workflow-")), time.monotonic()
    try:
        flow = Workflow(args, work)
        for number, (title, method) in enumerate(SCENARIOS, 1):
            lost, failed, begun = flow.lost, len(flow.failures), time.monotonic()
            figures = getattr(flow, method)(f"scenario {number}")
            print(f"{number}. {title}: {figures}, originals lost {flow.lost - lost}, "
                  f"{time.monotonic() - begun:.1f} s, "
                  f"{'FAILED' if len(flow.failures) > failed else 'ok'}", flush=True)
        print(f"workflow: {len(SCENARIOS)} scenarios, {flow.runs} runs, originals lost "
              f"{flow.lost}, failed checks {len(flow.failures)}, "
              f"{time.monotonic() - started:.0f} s")
        return 1 if flow.failures else 0
    finally:
        if args.keep:
            print(f"workflow: work folder kept at {work}", file=sys.stderr)
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
