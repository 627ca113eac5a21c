// The run driver on real trees: where the copy goes, what is asked and refused, and what a quit,
// a link, a lock, a leftover of a killed run or a fault does to the user's files.
#include "pipeline/Worker.h"

#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <optional>
#include <thread>

#include "ChildProcess.h"
#include "RunFixture.h"
#include "pipeline/TreeLock.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using namespace test;
constexpr auto npos = std::string::npos;

class WorkerTest : public RunTest {
  protected:
    WorkerTest() {
        UseDestination(root_ / "out");
        WriteText(site_ / "index.htm", kLoosePage);
        WriteText(site_ / "img" / "a.htm", kLoosePage);
    }
    void UseDestination(const fs::path& destination) {
        Set(key::kPromptForDestination, 1);
        settings_.PutString(section::kDestination, key::kDestination, destination.string());
    }
    const fs::path copy_ = root_ / "out" / "site";
};

// The stored destination (the default when empty) or the folder chosen receives the copy, one
// file with the folders above it; where a copy exists, Modify numbers the new one and leaves it.
// The report goes to the destination's output folder (unless it lies in one, in any case) and is
// opened; Revert deletes the copy and nothing else. A folder named like the selection inside it
// is a folder like any other.
TEST_F(WorkerTest, CopyGoesWhereTheSettingsSayAndItsReportIsOpened) {
    settings_.PutInt(section::kReport, key::kAutoOpenReports, 1);
    settings_.PutInt(section::kReport, key::kUseDefaultBrowser, 0);
    settings_.PutString(section::kReport, key::kBrowserName, "/usr/bin/my browser");
    WriteText(site_ / "pages" / "site" / "index.htm", "other  page");
    const std::string output = "Quillon Optimized Files";
    const fs::path desktop = root_ / "Desktop" / output, inside = root_ / "quillon optimized files";
    const fs::path similar = root_ / (output + "x");
    struct Row {
        const char* name;
        std::optional<fs::path> stored;  // nothing: the chooser is shown
        std::optional<std::string> chosen;
        fs::path selection, copy, reports;  // no copy: nothing is copied
        std::string label;
        bool existing = false;  // a copy of the site is there already
    };
    // clang-format off
    const Row rows[] = {
        {"stored destination", root_ / "out", {}, site_, copy_, root_ / "out" / output, "out"},
        {"empty stored destination", "", {}, site_, desktop / "site", desktop, output},
        {"folder chosen", {}, similar.string(), site_, similar / "site", similar / output,
         output + "x"},
        {"chooser cancelled", {}, {}, site_, {}, {}, ""},
        {"one file", inside / "x", {}, site_ / "index.htm", inside / "x" / site_.relative_path(),
         inside / "x", "x"},
        {"copy exists: Modify", root_ / "out", {}, site_, root_ / "out" / "site1",
         root_ / "out" / output, "out", true},
        {"one file copied beside itself", site_ / "out", {}, site_ / "index.htm",
         site_ / "out" / site_.relative_path(), site_ / "out" / output, "out"},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.stored) {
            UseDestination(*row.stored);
        } else {
            Set(key::kPromptForDestination, 0);
        }
        if (row.existing) {
            WriteText(copy_ / "kept.htm", "an earlier copy");
        }
        OneRun run(settings_, paths_);
        run.view.folderAnswer = row.chosen;
        run.Start(row.selection);
        ASSERT_TRUE(run.view.WaitForRunDone());
        const Files copied = row.selection == site_
                                 ? Files{"img/a.htm", "index.htm", "pages/site/index.htm"}
                                 : Files{"index.htm"};
        if (!row.copy.empty()) {
            EXPECT_EQ(Tree(row.copy), copied);
            EXPECT_EQ(ReadText(row.copy / "index.htm"), kTightPage);
            EXPECT_TRUE(run.worker->Revert());
        }
        run.Finish();
        const RunDisplay display = run.view.Snapshot();
        EXPECT_EQ(run.view.Dialogs().size(), row.stored && !row.existing ? 0u : 1u);
        if (row.existing) {
            EXPECT_NE(run.view.Dialogs()[0].find("Modify copies to\n\n\t" + row.copy.string()),
                      npos);
            EXPECT_EQ(Tree(copy_), Files{"kept.htm"});
        }
        EXPECT_EQ(run.view.RunDoneCount(), 1);
        EXPECT_EQ(ReadText(site_ / "index.htm"), kLoosePage) << "the original is untouched";
        if (row.copy.empty()) {
            EXPECT_EQ(display.ending,
                      "No destination folder was chosen, so nothing was copied or optimized.");
            EXPECT_TRUE(run.view.Opened().empty());
            continue;
        }
        EXPECT_FALSE(fs::exists(row.copy)) << "reverted";
        EXPECT_EQ(display.counters.Of(FileClass::kWebPage).files, copied.size());
        EXPECT_EQ(display.destinationLabel, row.label);
        EXPECT_TRUE(display.revertEnabled);
        const fs::path name = row.selection == site_ ? row.copy.filename() : "index.htm";
        const fs::path report = row.reports / ("'" + name.string() + "' Report.html");
        EXPECT_NE(ReadText(report).find(">index.htm<"), npos) << report;
        using Openings = std::vector<RecordingRunView::Opening>;
        EXPECT_EQ(run.view.Opened(), (Openings{{"/usr/bin/my browser", report}}));
    }
}

// A run that stops before it optimizes leaves every file as it was. Refused with a message before
// anything is written: a destination in the selection (copied into itself on every later run)
// or holding it (every file copied onto itself), one that cannot be made, and a tree another run
// holds, around or inside this one. Stopped: Cancel where the copy exists, or Quit while the
// list is built, the site copied or the first file worked on (the report is still written, and a
// copy is whole).
TEST_F(WorkerTest, RunThatStopsEarlyLeavesEveryFileAsItWas) {
    settings_.PutInt(section::kReport, key::kAutoOpenReports, 1);
    struct Row {
        const char* name;
        fs::path destination, locked;  // locked: held by another run
        std::string message;           // in the last dialog
        const char* quitAt = nullptr;  // a status; empty: once the files are handed over
        bool inPlace = false;
        ExistsAnswer answer = ExistsAnswer::kReplace;
    };
    const char* overlap = "is the folder being optimized, lies inside it or holds it";
    const char* inUse = "Another Quillon run is working on";
    const fs::path out = root_ / "out";
    // clang-format off
    const Row rows[] = {
        {"destination inside the selection", site_ / "out", {}, overlap},
        {"destination is the selection", site_, {}, overlap},
        {"destination holds the selection", root_ / "web", {}, overlap},
        {"destination is a file", root_ / "file", {}, "error code is 20 (Not a directory)"},
        {"selection locked", out, site_, inUse},
        {"folder around it locked", out, root_ / "web", inUse},
        {"folder inside it locked", out, site_ / "img", inUse},
        {"the copy's tree locked", out, copy_, inUse},
        {"copy exists: Cancel", out, {}, "Modify copies to\n\n\t" + copy_.string() + "1\n",
         nullptr, false, ExistsAnswer::kCancel},
        {"quit listing for a copy", out, {}, "", "Building file list"},
        {"quit listing in place", out, {}, "", "Building file list", true},
        {"quit copying", out, {}, "", "Backing up source files"},
        {"quit at the first file", out, {}, "", "", true},
        {"quit at the first file of a copy", out, {}, "", ""},
    };
    // clang-format on
    WriteText(root_ / "file", "a file where the destination folder should be");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(out);
        fs::create_directories(copy_);
        UseDestination(row.destination);
        Set(key::kNewOrReplace, row.inPlace ? 1 : 0);
        TreeLock other;
        ASSERT_TRUE(row.locked.empty() || other.Lock(row.locked));
        OneRun run(settings_, paths_);
        run.view.existsAnswer = row.answer;
        run.view.onSend = [&run, &row](const RunDisplay& shown) {
            if (row.quitAt && (*row.quitAt ? shown.status == row.quitAt
                                           : shown.filesTotal > 0 && shown.filesDone == 0)) {
                run.view.Update([](RunDisplay& display) { display.stopped = true; });
                run.processor->Cancel();
            }
        };
        run.StartAndFinish(site_);
        const Files shown = run.view.Dialogs();
        EXPECT_TRUE(shown.empty() ? row.message.empty() : shown.back().find(row.message) != npos)
            << (shown.empty() ? "" : shown.back());
        EXPECT_EQ(Tree(site_), (Files{"img/a.htm", "index.htm"}));
        EXPECT_EQ(ReadText(site_ / "index.htm"), kLoosePage);
        for (const std::string& copy : Tree(copy_)) {
            EXPECT_EQ(ReadText(copy_ / copy), kLoosePage) << copy;
        }
        if (row.quitAt && !*row.quitAt && !row.inPlace) {
            EXPECT_EQ(Tree(copy_), Tree(site_)) << "a stopped run still makes every copy";
        }
        EXPECT_FALSE(fs::exists(out / "site1"));
        EXPECT_EQ(run.view.Snapshot().counters.Of(FileClass::kWebPage).files, 0u);
        EXPECT_TRUE(run.view.Opened().empty());
        EXPECT_EQ(fs::exists(out / "Quillon Optimized Files" / "'site' Report.html"),
                  row.quitAt != nullptr);
    }
    // A run on a tree beside one another run holds goes on.
    Set(key::kNewOrReplace, 0);
    TreeLock beside;
    fs::create_directories(root_ / "web" / "other");
    ASSERT_TRUE(beside.Lock(root_ / "web" / "other"));
    OneRun(settings_, paths_).StartAndFinish(site_);
    EXPECT_EQ(ReadText(out / "site1" / "index.htm"), kTightPage);
    // In place on one file: a second run on it is refused even after the first has renamed a new
    // file into its place, which the first run's lock on the old file no longer covers.
    Set(key::kNewOrReplace, 1);
    TreeLock first;
    ASSERT_TRUE(first.Lock(site_ / "index.htm"));
    WriteText(site_ / "new.htm", kLoosePage);
    fs::rename(site_ / "new.htm", site_ / "index.htm");
    OneRun(settings_, paths_).StartAndFinish(site_ / "index.htm");
    EXPECT_FALSE(fs::exists(site_ / "index.htm.BAK"));
    EXPECT_EQ(ReadText(site_ / "index.htm"), kLoosePage);
}

// A file deleted after the list was made and before its copy: the copy fails and says so, and
// the run ends there, as for any copy that cannot be made; nothing is optimized. (The retry that
// makes a missing folder once took the folder's existence for a finished copy.)
TEST_F(WorkerTest, FileGoneBeforeItsCopyEndsTheRunWithItsName) {
    // One file at a time: a.htm's copy makes the folder before b.htm's is tried.
    Set(key::kFilesAtOnce, 1);
    WriteText(site_ / "img" / "b.htm", kLoosePage);
    OneRun run(settings_, paths_);
    run.view.onSend = [this](const RunDisplay& shown) {
        if (shown.status == "Backing up source files") {
            fs::remove(site_ / "img" / "b.htm");
        }
    };
    run.StartAndFinish(site_);
    const Files shown = run.view.Dialogs();
    ASSERT_FALSE(shown.empty());
    EXPECT_NE(shown.back().find("Unable to backup file\n\n\t" + (site_ / "img" / "b.htm").string()),
              npos)
        << shown.back();
    EXPECT_EQ(ReadText(site_ / "index.htm"), kLoosePage);
    EXPECT_EQ(run.view.Snapshot().counters.Of(FileClass::kWebPage).files, 0u);
}

// What a run killed while it writes `target` leaves beside it.
fs::path LeftoverOfAKilledWrite(const fs::path& target) {
    const int result = RunInChild([&] {
        const std::string page(5000, 'n');
        ::umask(0);
        if (LimitFileSize(1000)) {
            std::signal(SIGXFSZ, [](int) { ::_exit(3); });  // the write past the limit ends it
            WriteWholeFile(target, reinterpret_cast<const std::uint8_t*>(page.data()), 5000);
        }
        return 2;
    });
    EXPECT_EQ(result, 3);
    for (const std::string& name : Tree(target.parent_path())) {
        if (IsTemporaryName(name)) {
            return target.parent_path() / name;
        }
    }
    return {};
}

// A copy run, then an in-place run, over trees holding links and what killed writes left. A link
// to a folder is not followed, one to a file is copied as a file; a file in the copy that is a
// link is replaced, a folder there that is a link is not entered (its files are named). In place
// a link is never optimized; one to a file outside the selection is named. A temporary file only
// its owner can read is removed by the next run over its tree, and named; a lookalike stays.
TEST_F(WorkerTest, NothingIsWrittenThroughALinkAndLeftoversAreRemoved) {
    fs::create_directories(copy_);
    const fs::path leftover = LeftoverOfAKilledWrite(site_ / "index.htm");
    const fs::path copyLeftover = LeftoverOfAKilledWrite(copy_ / "index.htm");
    ASSERT_FALSE(leftover.empty());
    EXPECT_EQ(fs::status(leftover).permissions(), fs::perms(0600));
    EXPECT_EQ(ReadText(site_ / "index.htm"), kLoosePage);  // the write never reached it
    const std::string lookalike = ".index.htm.quillon-notes.tmp";
    WriteText(site_ / lookalike, "the user's");
    WriteText(root_ / "precious.htm", kLoosePage);
    fs::create_directory_symlink(site_, site_ / "loop");
    fs::create_symlink(site_ / "index.htm", site_ / "inside.htm");
    fs::create_symlink(root_ / "precious.htm", site_ / "outside.htm");
    fs::create_symlink(root_ / "precious.htm", copy_ / "index.htm");
    fs::create_directory_symlink(root_.Path(), copy_ / "img");
    {
        OneRun run(settings_, paths_);
        run.view.existsAnswer = ExistsAnswer::kReplace;
        run.StartAndFinish(site_);
    }
    EXPECT_EQ(Tree(copy_), (Files{lookalike, "index.htm", "inside.htm", "outside.htm"}));
    EXPECT_FALSE(fs::is_symlink(copy_ / "index.htm"));
    EXPECT_EQ(ReadText(copy_ / "index.htm"), kTightPage);
    EXPECT_EQ(ReadText(copy_ / "outside.htm"), kTightPage);
    EXPECT_EQ(ReadText(root_ / "precious.htm"), kLoosePage);
    EXPECT_FALSE(fs::exists(root_ / "a.htm"));
    EXPECT_NE(ErrorLog().find("img/a.htm (a folder of the copy is a link"), npos);
    EXPECT_NE(ErrorLog().find("interrupted run left: " + copyLeftover.string()), npos);
    EXPECT_TRUE(fs::exists(leftover)) << "a copy run writes nothing in the selection";
    Set(key::kNewOrReplace, 1);
    OneRun inPlace(settings_, paths_);
    inPlace.Start(site_);
    ASSERT_TRUE(inPlace.view.WaitForRunDone());
    EXPECT_FALSE(inPlace.worker->Revert()) << "in place there is nothing Revert may delete";
    inPlace.Finish();
    EXPECT_FALSE(inPlace.view.Snapshot().revertEnabled);
    EXPECT_EQ(inPlace.view.Snapshot().destinationLabel, "site");
    EXPECT_EQ(ReadText(site_ / "index.htm"), kTightPage);
    EXPECT_EQ(ReadText(site_ / "index.htm.BAK"), kLoosePage);
    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_TRUE(fs::exists(site_ / lookalike));
    EXPECT_TRUE(fs::is_symlink(site_ / "outside.htm"));
    EXPECT_TRUE(fs::is_symlink(site_ / "inside.htm"));
    EXPECT_EQ(ReadText(root_ / "precious.htm"), kLoosePage);
    EXPECT_NE(ErrorLog().find((site_ / "outside.htm").string() +
                              " (a link to a file outside the selection)"),
              npos);
}

// The window keeps one processor, worker and view for all its runs: the error log is offered
// after a run that logged errors, and only then.
TEST_F(WorkerTest, ErrorLogIsOfferedOnlyAfterARunThatLoggedErrors) {
    WriteText(site_ / "broken.gif", "not a gif");
    Set(key::kNewOrReplace, 1);  // no question about copies
    OneRun run(settings_, paths_);
    run.view.yesNoAnswer = true;
    run.Start(site_);
    ASSERT_TRUE(run.view.WaitForRunDone());
    for (int wait = 0; wait < 6000 && !run.worker->Idle(); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the question comes last
    }
    EXPECT_EQ(run.view.Dialogs(), Files{"Quillon encountered errors during processing.\n"
                                        "Would you like to view the error log?"});
    ASSERT_EQ(run.view.Opened().size(), 1u);
    // The viewer reads the log after the run: it stays, in the run's own folder.
    const fs::path shown = run.view.Opened()[0].second;
    EXPECT_EQ(shown.parent_path().parent_path(), root_ / "tmp");
    EXPECT_EQ(ReadText(shown),
              "Could not open file: " + (site_ / "broken.gif").string() + " (unexpected format)\n");
    fs::remove(site_ / "broken.gif");
    run.StartAndFinish(site_);
    EXPECT_EQ(run.view.RunDoneCount(), 2);
    EXPECT_EQ(run.view.Dialogs().size(), 1u) << "asked again after a run without errors";
}

// Faults injected into whole runs in place, in a child process so that a hang ends at an alarm.
class RunFaultsTest : public RunTest {};

// Once the list is built the file vanishes, turns into a pipe (which a plain open would wait on
// for ever), loses its permissions or content, or its folder takes no new file; or writes are cut
// short. The run names it and goes on, and leaves neither a backup nor a temporary file beside a
// file it could not replace.
TEST_F(RunFaultsTest, FileThatCannotBeDoneIsNamedAndTheRestGoesOn) {
    enum Fault { kDelete, kPipe, kUnreadable, kEmpty, kSizeLimit, kReadOnlyFolder };
    const std::tuple<Fault, const char*> rows[] = {
        {kDelete, "read file: # (No such file or directory)"},
        {kPipe, "read file: # (not a regular file)"},
        {kUnreadable, "read file: # (Permission denied)"},
        {kEmpty, ""},  // nothing left to optimize
        {kSizeLimit, "write file: # (File too large)"},
        {kReadOnlyFolder, "back up file: # (Permission denied)"},
    };
    std::string big = "<p>";
    while (big.size() < 8000) {
        big += "word  \n\n";  // about 5000 bytes after the chain
    }
    const fs::path victim = site_ / "held" / "victim.htm";
    Set(key::kNewOrReplace, 1);
    for (const auto& [fault, entry] : rows) {
        SCOPED_TRACE(entry);
        const bool unprivileged = fault == kUnreadable || fault == kReadOnlyFolder;
        const std::string content = fault == kSizeLimit ? big : std::string(kLoosePage);
        fs::remove_all(site_);
        fs::remove(root_ / "tmp" / "errors.log");
        WriteText(site_ / "a.htm", kLoosePage);
        WriteText(site_ / "b.htm", kLoosePage);
        WriteText(victim, content);
        ASSERT_TRUE(!unprivileged || GiveTreeToUnprivilegedUser(root_.Path()));
        const int result = RunInChild([&, fault = fault] {
            ::alarm(60);
            if ((unprivileged && !DropPrivileges()) ||
                (fault == kSizeLimit && !LimitFileSize(2000))) {
                return 10;
            }
            OneRun run(settings_, paths_);
            run.view.onSend = [&, applied = false](const RunDisplay& display) mutable {
                if (applied || display.filesTotal == 0 || display.filesDone > 0) {
                    return;
                }
                applied = true;
                if (fault == kDelete || fault == kPipe) {
                    fs::remove(victim);
                }
                if (fault == kPipe) {
                    ::mkfifo(victim.c_str(), 0644);
                } else if (fault == kUnreadable) {
                    fs::permissions(victim, fs::perms::none);
                } else if (fault == kEmpty) {
                    fs::resize_file(victim, 0);
                } else if (fault == kReadOnlyFolder) {
                    fs::permissions(victim.parent_path(), fs::perms(0555));
                }
            };
            run.Start(site_);
            return run.view.WaitForRunDone(50) ? 0 : 11;
        });
        ASSERT_EQ(result, 0) << "-1: the run hung";
        for (const char* name : {"a.htm", "b.htm"}) {
            EXPECT_EQ(ReadText(site_ / name), kTightPage) << name;
            EXPECT_EQ(ReadText(site_ / (std::string(name) + ".BAK")), kLoosePage) << name;
        }
        const bool kept = fs::is_regular_file(victim);
        EXPECT_EQ(kept, fault != kDelete && fault != kPipe);
        EXPECT_TRUE(!kept || ReadText(victim) == (fault == kEmpty ? "" : content));
        EXPECT_EQ(Tree(victim.parent_path()), kept ? Files{"victim.htm"} : Files{})
            << "a backup or a temporary file";
        std::string expected = *entry ? "Could not " + std::string(entry) + "\n" : "";
        if (const auto at = expected.find('#'); at != npos) {
            expected.replace(at, 1, victim.string());
        }
        EXPECT_EQ(ErrorLog(), expected);
    }
}

// The selection is one file whose folder is the root of the file system (here the root of a
// tree the child is confined to): it has no folder name to copy into.
TEST_F(RunFaultsTest, SingleFileAtTheRootOfAFileSystem) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "confining a process to a tree needs root";
    }
    const fs::path tree = root_ / "tree";
    WriteText(tree / "page.htm", kLoosePage);
    fs::create_directories(tree / "tmp");
    settings_.PutInt(section::kDestination, key::kPromptForDestination, 1);
    settings_.PutString(section::kDestination, key::kDestination, "/out");
    const int result = RunInChild([&] {
        ::alarm(60);
        if (::chroot(tree.c_str()) != 0 || ::chdir("/") != 0) {
            return 10;
        }
        DerivedPaths paths("/Desktop", "/program", "/tmp");
        OneRun run(settings_, paths);
        run.Start("/page.htm");
        return run.view.WaitForRunDone(50) ? 0 : 11;
    });
    ASSERT_EQ(result, 0);
    EXPECT_EQ(ReadText(tree / "page.htm"), kLoosePage);
    EXPECT_EQ(ReadText(tree / "out" / "root" / "page.htm"), kTightPage);
    EXPECT_TRUE(fs::exists(tree / "out" / "Quillon Optimized Files" / "'page.htm' Report.html"));
}

}  // namespace
}  // namespace quillon
