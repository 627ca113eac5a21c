#include "pipeline/Worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "OneRun.h"
#include "TempDir.h"
#include "pipeline/SettingsKeys.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kLoosePage = "a    b\n\n\nc";
constexpr std::string_view kTightPage = "a b\nc";

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
    EXPECT_FALSE(fs::exists(root_ / "tmp" / "Quillon.Log")) << "the report consumed the log";
    const RunDisplay display = run.view.Snapshot();
    EXPECT_EQ(display.destinationLabel, "out");
    EXPECT_EQ(display.counters.pages.files, 2u);
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
            EXPECT_EQ(run.view.Dialogs(),
                      std::vector<std::string>{
                          "The specified destination exists. Would you like to\n replace it?"});
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
        if (display.filesDone == 1) {  // the first file has begun: the user presses Quit
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
    run.Processor().SetGifStage(
        [](CFileProcessor& processor, const std::string& path, std::uint32_t size) {
            processor.WriteErrorLog("Could not read file: " + path + " (unrecognizable format)\n");
            return size;
        });
    run.view.yesNoAnswer = true;
    run.StartAndFinish(site_);
    EXPECT_EQ(run.view.Dialogs(),
              std::vector<std::string>{"Quillon encountered errors during processing.\n"
                                       "Would you like to view the error log?"});
    ASSERT_EQ(run.view.Opened().size(), 1u);
    EXPECT_EQ(run.view.Opened()[0].second, root_ / "tmp" / "QuillonError.Log");
    EXPECT_NE(ReadText(root_ / "tmp" / "QuillonError.Log").find("broken.gif"), std::string::npos);
}

// The window keeps one processor, worker and view for all its runs: a run without errors must
// not ask about the error log because an earlier run logged some.
TEST_F(WorkerTest, ErrorLogQuestionComesOnlyAfterARunThatLoggedErrors) {
    WriteText(site_ / "broken.gif", "not a gif");
    settings_.PutInt(section::kDestination, key::kNewOrReplace, 1);  // no question about copies
    OneRun run(settings_, paths_);
    bool failing = true;
    run.Processor().SetGifStage(
        [&failing](CFileProcessor& processor, const std::string& path, std::uint32_t size) {
            if (failing) {
                processor.WriteErrorLog(ErrorLogEntry("read file", path, "unrecognizable format"));
            }
            return size;
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

TEST_F(WorkerTest, DestinationInsideTheSelectionIsNotCopiedAgain) {
    UseDestination(site_ / "out");
    for (int i = 0; i < 2; ++i) {
        OneRun run(settings_, paths_);
        run.view.existsAnswer = ExistsAnswer::kReplace;
        run.StartAndFinish(site_);
    }
    EXPECT_EQ(Tree(site_ / "out" / "site"), (std::vector<std::string>{"img/a.htm", "index.htm"}));
}

TEST_F(WorkerTest, CopyOntoTheSourceItselfIsRefused) {
    // The destination's copy folder is the selection itself; Replace would copy every file onto
    // itself.
    UseDestination(root_ / "web");
    OneRun run(settings_, paths_);
    run.view.existsAnswer = ExistsAnswer::kReplace;
    run.StartAndFinish(site_);
    const auto dialogs = run.view.Dialogs();
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[1].rfind("Unable to backup file", 0), 0u);
    EXPECT_EQ(ReadText(site_ / "index.htm"), kLoosePage);
    EXPECT_EQ(ReadText(site_ / "img" / "a.htm"), kLoosePage);
}

TEST_F(WorkerTest, CopyFailureEndsTheRunWithAMessage) {
    WriteText(root_ / "out", "a file where the destination folder should be");
    OneRun run(settings_, paths_);
    run.StartAndFinish(site_);
    const auto dialogs = run.view.Dialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].rfind("Unable to backup file\n\n\t" + site_.string() + "/", 0), 0u)
        << dialogs[0];
    EXPECT_NE(dialogs[0].find("The system error code is "), std::string::npos);
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
