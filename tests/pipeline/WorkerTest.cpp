#include "pipeline/Worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "OneRun.h"
#include "TempDir.h"
#include "pipeline/SettingsKeys.h"
#include "pipeline/TreeLock.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kLoosePage = "<p>  a    ";
constexpr std::string_view kTightPage = "<p>a ";

using test::OneRun;
using test::ReadText;
using test::Tree;
using test::WriteText;

class WorkerTest : public ::testing::Test {
  protected:
    WorkerTest() : paths_(root_ / "Desktop", root_ / "program", root_ / "tmp") {
        fs::create_directories(root_ / "tmp");
        StorePageDefaults(settings_, paths_.DesktopFolder());
        UseDestination(root_ / "out");
        WriteText(site_ / "index.htm", kLoosePage);
        WriteText(site_ / "img" / "a.htm", kLoosePage);
    }

    void UseDestination(const fs::path& destination) {
        settings_.PutInt(section::kDestination, key::kPromptForDestination, 1);
        settings_.PutString(section::kDestination, key::kDestination, destination.string());
    }

    test::TempDir root_;
    const fs::path site_ = root_ / "web" / "site";
    test::MemorySettingsStore settings_;
    DerivedPaths paths_;
};

TEST_F(WorkerTest, CopiesTheFolderAndOptimizesTheCopies) {
    OneRun run(settings_, paths_);
    run.StartAndFinish(site_);

    EXPECT_EQ(Tree(root_ / "out" / "site"), (std::vector<std::string>{"img/a.htm", "index.htm"}));
    EXPECT_EQ(ReadText(root_ / "out" / "site" / "index.htm"), kTightPage);
    EXPECT_EQ(ReadText(site_ / "index.htm"), kLoosePage) << "the original is untouched";
    const fs::path report = root_ / "out" / "Quillon Optimized Files" / "'site' Report.html";
    EXPECT_NE(ReadText(report).find(">img/a.htm<"), std::string::npos);
    EXPECT_FALSE(fs::exists(root_ / "tmp" / "run.log")) << "the report consumed the log";
    const RunDisplay display = run.view.Snapshot();
    EXPECT_EQ(display.destinationLabel, "out");
    EXPECT_EQ(display.counters.Of(FileClass::kWebPage).files, 2u);
    EXPECT_TRUE(display.revertEnabled);
    EXPECT_EQ(run.view.RunDoneCount(), 1);
}

TEST_F(WorkerTest, SingleFileKeepsItsFoldersAndRevertRemovesThem) {
    OneRun run(settings_, paths_);
    run.Start(site_ / "index.htm");
    ASSERT_TRUE(run.view.WaitForRunDone());
    const fs::path copy = root_ / "out" / site_.relative_path() / "index.htm";
    EXPECT_EQ(ReadText(copy), kTightPage);
    EXPECT_EQ(run.Worker().CopyRoot(), root_ / "out" / site_.relative_path());

    EXPECT_TRUE(run.Worker().Revert());
    EXPECT_FALSE(fs::exists(root_ / "out" / site_.relative_path()));
    EXPECT_TRUE(fs::exists(root_ / "out")) << "the destination itself stays";
    EXPECT_EQ(ReadText(site_ / "index.htm"), kLoosePage);
}

TEST_F(WorkerTest, ModifyNumbersTheCopyAndTheReport) {
    for (int i = 0; i < 3; ++i) {
        OneRun run(settings_, paths_);
        run.view.existsAnswer = ExistsAnswer::kModify;
        run.StartAndFinish(site_);
        if (i > 0) {
            const fs::path copy = root_ / "out" / "site";
            EXPECT_EQ(
                run.view.Dialogs(),
                std::vector<std::string>{"The specified destination exists:\n\n\t" + copy.string() +
                                         "\n\nReplace copies over it (files of the same "
                                         "name are overwritten).\nModify copies to\n\n\t" +
                                         copy.string() + std::to_string(i) + "\n\ninstead."});
        }
    }
    for (const char* copy : {"site", "site1", "site2"}) {
        EXPECT_EQ(Tree(root_ / "out" / copy), (std::vector<std::string>{"img/a.htm", "index.htm"}))
            << copy;
    }
    EXPECT_EQ(paths_.ReportName(), "'site2' Report.html");
    EXPECT_TRUE(fs::exists(root_ / "out" / "Quillon Optimized Files" / "'site1' Report.html"));
}

TEST_F(WorkerTest, CancelAtDestinationExistsStopsTheRun) {
    fs::create_directories(root_ / "out" / "site");
    OneRun run(settings_, paths_);
    run.view.existsAnswer = ExistsAnswer::kCancel;
    run.StartAndFinish(site_);
    EXPECT_TRUE(run.view.Snapshot().stopped);
    EXPECT_EQ(run.view.Snapshot().ending, "The destination\n\n\t" +
                                              (root_ / "out" / "site").string() +
                                              "\n\nexists and was left as it is: nothing was "
                                              "copied or optimized.");
    EXPECT_TRUE(Tree(root_ / "out").empty());
}

TEST_F(WorkerTest, FolderNameTwiceInAPathKeepsEveryFile) {
    WriteText(site_ / "pages" / "site" / "index.htm", "other page  ");
    OneRun run(settings_, paths_);
    run.StartAndFinish(site_);
    EXPECT_EQ(Tree(root_ / "out" / "site"),
              (std::vector<std::string>{"img/a.htm", "index.htm", "pages/site/index.htm"}));
    EXPECT_EQ(ReadText(root_ / "out" / "site" / "index.htm"), kTightPage);
}

TEST_F(WorkerTest, ChooserCancelledEndsTheRunWithoutTouchingAnything) {
    settings_.PutInt(section::kDestination, key::kPromptForDestination, 0);
    OneRun run(settings_, paths_);
    run.view.folderAnswer.reset();
    run.StartAndFinish(site_);
    EXPECT_EQ(
        run.view.Dialogs(),
        std::vector<std::string>{"Please select the folder to place Quillon optimized files."});
    EXPECT_FALSE(fs::exists(root_ / "out"));
    EXPECT_FALSE(run.view.Snapshot().stopped);
    EXPECT_EQ(run.view.Snapshot().ending,
              "No destination folder was chosen, so nothing was copied or optimized.");
    EXPECT_EQ(run.view.RunDoneCount(), 1);
}

TEST_F(WorkerTest, ChosenFolderReceivesTheCopy) {
    settings_.PutInt(section::kDestination, key::kPromptForDestination, 0);
    OneRun run(settings_, paths_);
    run.view.folderAnswer = (root_ / "chosen").string();
    run.StartAndFinish(site_);
    EXPECT_EQ(ReadText(root_ / "chosen" / "site" / "index.htm"), kTightPage);
    EXPECT_EQ(paths_.OutputFolder(), (root_ / "chosen" / "Quillon Optimized Files").string() + "/");
}

TEST_F(WorkerTest, EmptyStoredDestinationMeansTheDefault) {
    UseDestination("");
    OneRun run(settings_, paths_);
    run.StartAndFinish(site_);
    EXPECT_EQ(ReadText(root_ / "Desktop" / "Quillon Optimized Files" / "site" / "index.htm"),
              kTightPage);
    EXPECT_EQ(run.view.Snapshot().destinationLabel, "Quillon Optimized Files");
    EXPECT_EQ(ReadText(site_ / "index.htm"), kLoosePage);
}

TEST_F(WorkerTest, InPlaceModeCopiesNothingAndCannotRevert) {
    settings_.PutInt(section::kDestination, key::kNewOrReplace, 1);
    OneRun run(settings_, paths_);
    run.Start(site_);
    ASSERT_TRUE(run.view.WaitForRunDone());
    EXPECT_FALSE(run.Worker().Revert());
    run.Finish();
    EXPECT_FALSE(fs::exists(root_ / "out"));
    EXPECT_EQ(ReadText(site_ / "index.htm"), kTightPage);
    EXPECT_EQ(ReadText(site_ / "index.htm.BAK"), kLoosePage);
    EXPECT_FALSE(run.view.Snapshot().revertEnabled);
    EXPECT_EQ(run.view.Snapshot().destinationLabel, "site");
}

TEST_F(WorkerTest, QuitDuringTheRunStillWritesTheReportButShowsNothing) {
    settings_.PutInt(section::kReport, key::kAutoOpenReports, 1);
    OneRun run(settings_, paths_);
    run.view.onSend = [&run](const RunDisplay& display) {
        // The files are handed to the pipeline: the user presses Quit.
        if (display.filesTotal > 0 && display.filesDone == 0) {
            run.view.Update([](RunDisplay& shown) { shown.stopped = true; });
            run.Processor().Cancel();
        }
    };
    run.StartAndFinish(site_);
    EXPECT_TRUE(fs::exists(root_ / "out" / "Quillon Optimized Files" / "'site' Report.html"));
    EXPECT_EQ(ReadText(root_ / "out" / "site" / "index.htm"), kLoosePage)
        << "the copy made before the quit stays as copied";
    EXPECT_TRUE(run.view.Opened().empty());
}

TEST_F(WorkerTest, ReportOpensWhenWishedAndSomethingWasSaved) {
    settings_.PutInt(section::kReport, key::kAutoOpenReports, 1);
    OneRun run(settings_, paths_);
    run.StartAndFinish(site_);
    ASSERT_EQ(run.view.Opened().size(), 1u);
    EXPECT_EQ(run.view.Opened()[0].second, paths_.GetReportPath());
}

TEST_F(WorkerTest, ErrorsLoggedAskWhetherToShowTheErrorLog) {
    WriteText(site_ / "broken.gif", "not a gif");
    OneRun run(settings_, paths_);
    run.Processor().SetStage(FileClass::kGif, [](std::span<std::uint8_t> file, const StageSettings&,
                                                 StageEvents& events) {
        events.Note("read file", "unrecognizable format");
        return std::optional<std::uint32_t>(file.size());
    });
    run.view.yesNoAnswer = true;
    run.StartAndFinish(site_);
    EXPECT_EQ(run.view.Dialogs(),
              std::vector<std::string>{"Quillon encountered errors during processing.\n"
                                       "Would you like to view the error log?"});
    ASSERT_EQ(run.view.Opened().size(), 1u);
    // The viewer reads the log after the run: it stays, in the run's own folder.
    const fs::path shown = run.view.Opened()[0].second;
    EXPECT_EQ(shown.filename(), "QuillonError.Log");
    EXPECT_EQ(shown.parent_path().parent_path(), root_ / "tmp");
    EXPECT_NE(ReadText(shown).find("broken.gif"), std::string::npos);
}

// The window keeps one processor, worker and view for all its runs: a run without errors must
// not ask about the error log because an earlier run logged some.
TEST_F(WorkerTest, ErrorLogQuestionComesOnlyAfterARunThatLoggedErrors) {
    WriteText(site_ / "broken.gif", "not a gif");
    settings_.PutInt(section::kDestination, key::kNewOrReplace, 1);  // no question about copies
    OneRun run(settings_, paths_);
    bool failing = true;
    run.Processor().SetStage(
        FileClass::kGif,
        [&failing](std::span<std::uint8_t> file, const StageSettings&, StageEvents& events) {
            if (failing) {
                events.Note("read file", "unrecognizable format");
            }
            return std::optional<std::uint32_t>(file.size());
        });
    const auto runToTheEnd = [&run](int runs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (run.view.RunDoneCount() < runs || !run.Worker().Idle()) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    run.Start(site_);
    runToTheEnd(1);
    EXPECT_EQ(run.view.Dialogs().size(), 1u);
    failing = false;
    run.Start(site_);
    runToTheEnd(2);
    EXPECT_EQ(run.view.Dialogs().size(), 1u) << "asked again after a run without errors";
}

// A destination in the selection would be copied into itself on every later run; one that holds
// the selection would copy every file onto itself. Both are refused before anything is written.
TEST_F(WorkerTest, DestinationOverlappingTheSelectionIsRefused) {
    for (const fs::path& destination : {site_ / "out", site_, root_ / "web"}) {
        SCOPED_TRACE(destination);
        UseDestination(destination);
        OneRun run(settings_, paths_);
        run.view.existsAnswer = ExistsAnswer::kReplace;
        run.StartAndFinish(site_);
        const auto dialogs = run.view.Dialogs();
        ASSERT_EQ(dialogs.size(), 1u);
        EXPECT_EQ(dialogs[0].rfind("The destination\n\n\t", 0), 0u) << dialogs[0];
        EXPECT_EQ(Tree(site_), (std::vector<std::string>{"img/a.htm", "index.htm"}));
        EXPECT_EQ(ReadText(site_ / "index.htm"), kLoosePage);
    }
}

TEST_F(WorkerTest, CopyFailureEndsTheRunWithAMessage) {
    WriteText(root_ / "out", "a file where the destination folder should be");
    OneRun run(settings_, paths_);
    run.StartAndFinish(site_);
    const auto dialogs = run.view.Dialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].rfind("Unable to backup file\n\n\t" + site_.string() + "/", 0), 0u)
        << dialogs[0];
    EXPECT_NE(dialogs[0].find("The system error code is 20 (Not a directory)"), std::string::npos)
        << dialogs[0];
    EXPECT_EQ(run.view.RunDoneCount(), 1);
}

TEST_F(WorkerTest, LinksToFoldersAreNotFollowed) {
    fs::create_directory_symlink(site_, site_ / "loop");
    fs::create_symlink(site_ / "index.htm", site_ / "alias.htm");
    OneRun run(settings_, paths_);
    run.StartAndFinish(site_);
    EXPECT_EQ(Tree(root_ / "out" / "site"),
              (std::vector<std::string>{"alias.htm", "img/a.htm", "index.htm"}));
}

// Another run holds the selection, a folder around it, a folder inside it or the copy's tree:
// this run is refused with a message and touches nothing. A run on a tree beside it goes on.
TEST_F(WorkerTest, RunOnATreeAnotherRunHoldsIsRefused) {
    fs::create_directories(root_ / "web" / "other");
    const std::pair<fs::path, bool> rows[] = {
        {site_, false},
        {root_ / "web", false},
        {site_ / "img", false},
        {root_ / "out" / "site", false},
        {root_ / "web" / "other", true},
    };
    for (const auto& [held, runs] : rows) {
        SCOPED_TRACE(held);
        fs::remove_all(root_ / "out");
        TreeLock other;
        fs::create_directories(held);
        ASSERT_TRUE(other.Lock(held));
        OneRun run(settings_, paths_);
        run.view.existsAnswer = ExistsAnswer::kReplace;
        run.StartAndFinish(site_);
        const auto dialogs = run.view.Dialogs();
        const bool refused =
            !dialogs.empty() && dialogs.back().starts_with("Another Quillon run is working on");
        EXPECT_EQ(refused, !runs);
        EXPECT_EQ(fs::exists(root_ / "out" / "site" / "index.htm"), runs);
        EXPECT_EQ(ReadText(site_ / "index.htm"), kLoosePage);
    }
    // In place on one file: a second run on it is refused even after the first has renamed a new
    // file into its place, which the first run's lock on the old file no longer covers.
    settings_.PutInt(section::kDestination, key::kNewOrReplace, 1);
    TreeLock first;
    ASSERT_TRUE(first.Lock(site_ / "index.htm"));
    WriteText(site_ / "new.htm", kLoosePage);
    fs::rename(site_ / "new.htm", site_ / "index.htm");
    OneRun second(settings_, paths_);
    second.StartAndFinish(site_ / "index.htm");
    EXPECT_FALSE(fs::exists(site_ / "index.htm.BAK"));
    EXPECT_EQ(ReadText(site_ / "index.htm"), kLoosePage);
}

// A run on one file may copy it into a folder beside it, or anywhere below the folder its lock
// covers: the run's own locks do not keep it out.
TEST_F(WorkerTest, OneFileCopiedBesideItself) {
    UseDestination(site_ / "out");
    OneRun run(settings_, paths_);
    run.StartAndFinish(site_ / "index.htm");
    EXPECT_TRUE(run.view.Dialogs().empty());
    EXPECT_EQ(ReadText(site_ / "out" / site_.relative_path() / "index.htm"), kTightPage);
}

// Quit while the list is built or the site copied stops there: nothing more is copied and no
// file is optimized, in place or in the copy.
TEST_F(WorkerTest, CancelWhileListingOrCopyingStopsThere) {
    for (const auto* status : {"Building file list", "Backing up source files"}) {
        for (const bool inPlace : {false, true}) {
            if (inPlace && std::string_view(status) == "Backing up source files") {
                continue;  // nothing is copied in place
            }
            SCOPED_TRACE(std::string(status) + (inPlace ? " in place" : " copying"));
            fs::remove_all(root_ / "out");
            settings_.PutInt(section::kDestination, key::kNewOrReplace, inPlace ? 1 : 0);
            OneRun run(settings_, paths_);
            run.view.onSend = [&run, status](const RunDisplay& display) {
                if (display.status == status) {
                    run.Processor().Cancel();
                }
            };
            run.StartAndFinish(site_);
            EXPECT_EQ(ReadText(site_ / "index.htm"), kLoosePage);
            EXPECT_FALSE(fs::exists(site_ / "index.htm.BAK"));
            for (const std::string& copy : Tree(root_ / "out" / "site")) {
                EXPECT_EQ(ReadText(root_ / "out" / "site" / copy), kLoosePage) << copy;
            }
            EXPECT_EQ(run.view.Snapshot().counters.Of(FileClass::kWebPage).files, 0u);
        }
    }
}

// A temporary file that a killed run left is removed by the next run over the tree (and named);
// one in the selection of a copy is not copied. A user's file that only looks similar stays.
TEST_F(WorkerTest, LeftoversOfAStoppedRunAreRemoved) {
    const std::string leftover = ".index.htm.quillon-0123456789ab.tmp";
    const std::string lookalike = ".index.htm.quillon-notes.tmp";
    WriteText(site_ / leftover, "half a page");
    WriteText(site_ / lookalike, "the user's");
    WriteText(root_ / "out" / "site" / "img" / leftover, "half a page");
    {
        OneRun run(settings_, paths_);
        run.view.existsAnswer = ExistsAnswer::kReplace;
        run.StartAndFinish(site_);
    }
    EXPECT_EQ(Tree(root_ / "out" / "site"),
              (std::vector<std::string>{lookalike, "img/a.htm", "index.htm"}));
    EXPECT_NE(ReadText(root_ / "tmp" / "errors.log").find("Removed a temporary file"),
              std::string::npos);
    EXPECT_TRUE(fs::exists(site_ / leftover)) << "a copy run writes nothing in the selection";

    settings_.PutInt(section::kDestination, key::kNewOrReplace, 1);
    OneRun(settings_, paths_).StartAndFinish(site_);
    EXPECT_FALSE(fs::exists(site_ / leftover));
    EXPECT_TRUE(fs::exists(site_ / lookalike));
}

// In place, a page that is a link is never optimized: one to a file outside the selection is
// named, one to a file inside stays a link while its target is optimized.
TEST_F(WorkerTest, InPlaceLinksAreNotOptimized) {
    settings_.PutInt(section::kDestination, key::kNewOrReplace, 1);
    WriteText(root_ / "elsewhere.htm", kLoosePage);
    fs::create_symlink(root_ / "elsewhere.htm", site_ / "outside.htm");
    fs::create_symlink(site_ / "index.htm", site_ / "inside.htm");
    OneRun(settings_, paths_).StartAndFinish(site_);
    EXPECT_EQ(ReadText(root_ / "elsewhere.htm"), kLoosePage);
    EXPECT_TRUE(fs::is_symlink(site_ / "outside.htm"));
    EXPECT_TRUE(fs::is_symlink(site_ / "inside.htm"));
    EXPECT_EQ(ReadText(site_ / "index.htm"), kTightPage);
    EXPECT_NE(
        ReadText(root_ / "tmp" / "errors.log")
            .find((site_ / "outside.htm").string() + " (a link to a file outside the selection)"),
        std::string::npos);
}

// A copy never goes through a link in the destination: a file there that is a link is replaced,
// a folder there that is a link is not entered (the files that would go there are named).
TEST_F(WorkerTest, CopyReplacesLinksInTheDestinationWithoutWritingThroughThem) {
    const fs::path copy = root_ / "out" / "site";
    WriteText(root_ / "precious.htm", "precious");
    fs::create_directories(copy);
    fs::create_symlink(root_ / "precious.htm", copy / "index.htm");
    fs::create_directory_symlink(root_.Path(), copy / "img");
    OneRun run(settings_, paths_);
    run.view.existsAnswer = ExistsAnswer::kReplace;
    run.StartAndFinish(site_);
    EXPECT_EQ(ReadText(root_ / "precious.htm"), "precious");
    EXPECT_FALSE(fs::exists(root_ / "a.htm"));
    EXPECT_FALSE(fs::is_symlink(copy / "index.htm"));
    EXPECT_EQ(ReadText(copy / "index.htm"), kTightPage);
    EXPECT_NE(ReadText(root_ / "tmp" / "errors.log").find("img/a.htm (a folder of the copy"),
              std::string::npos);
}

TEST_F(WorkerTest, PauseHoldsTheRunUntilResumed) {
    OneRun run(settings_, paths_);
    run.Worker().Pause();
    run.Start(site_);
    EXPECT_FALSE(run.view.WaitForRunDone(1));
    EXPECT_TRUE(run.Worker().Paused());
    run.Worker().Resume();
    EXPECT_TRUE(run.view.WaitForRunDone());
}

TEST(DisplayName, LastComponent) {
    const std::pair<const char*, const char*> rows[] = {
        {"/web/site", "site"}, {"/web/site/", "site"}, {"site", "site"}, {"/", ""}, {"", ""},
    };
    for (const auto& [selection, expected] : rows) {
        EXPECT_EQ(DisplayName(selection), expected) << selection;
    }
}

}  // namespace
}  // namespace quillon
