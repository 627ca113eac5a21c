// Faults injected into whole runs on real folders: files that vanish, turn into pipes or lose
// their permissions while the run goes on, and a selection at the very top of a file system.
// In every case the run ends, names what it could not do, and loses no file.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

#include "ChildProcess.h"
#include "OneRun.h"
#include "TempDir.h"
#include "pipeline/SettingsKeys.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kLoosePage = "<p>  a    ";
constexpr std::string_view kTightPage = "<p>a ";

// What a fault does to the victim once the list is built and before any file is read.
using Fault = std::function<void(const fs::path& victim)>;

class RunFaultsTest : public ::testing::Test {
  protected:
    RunFaultsTest() : paths_(root_ / "Desktop", root_ / "program", root_ / "tmp") {
        fs::create_directories(root_ / "tmp");
        StorePageDefaults(settings_, paths_.DesktopFolder());
        settings_.PutInt(section::kDestination, key::kNewOrReplace, 1);
        for (const char* name : {"a.htm", "b.htm", "victim.htm"}) {
            test::WriteText(site_ / name, kLoosePage);
        }
    }

    // An in-place run of the site with the fault applied to victim.htm; returns what the child
    // found wrong (0 for nothing). Runs in a child process so that a run that hangs ends at an
    // alarm instead of stopping the test program.
    int RunWithFault(const Fault& fault, bool unprivileged) {
        if (unprivileged && !test::GiveTreeToUnprivilegedUser(root_.Path())) {
            return 13;
        }
        return test::RunInChild([&] {
            ::alarm(60);
            if (unprivileged && !test::DropPrivileges()) {
                return 10;
            }
            test::OneRun run(settings_, paths_);
            bool applied = false;
            run.view.onSend = [&](const RunDisplay& display) {
                if (!applied && display.filesTotal > 0 && display.filesDone == 0) {
                    applied = true;
                    fault(site_ / "victim.htm");
                }
            };
            run.Start(site_);
            if (!run.view.WaitForRunDone(50)) {
                return 11;
            }
            run.Finish();
            return applied ? 0 : 12;
        });
    }

    std::string ErrorLog() const { return test::ReadText(root_ / "tmp" / "errors.log"); }

    void ExpectOthersOptimized() const {
        for (const char* name : {"a.htm", "b.htm"}) {
            EXPECT_EQ(test::ReadText(site_ / name), kTightPage) << name;
            EXPECT_EQ(test::ReadText(site_ / (std::string(name) + ".BAK")), kLoosePage) << name;
        }
    }

    test::TempDir root_;
    const fs::path site_ = root_ / "site";
    test::MemorySettingsStore settings_;
    DerivedPaths paths_;
};

TEST_F(RunFaultsTest, FileDeletedDuringTheRunIsNamedAndTheRunGoesOn) {
    ASSERT_EQ(RunWithFault([](const fs::path& victim) { fs::remove(victim); }, false), 0);
    ExpectOthersOptimized();
    EXPECT_EQ(ErrorLog(), "Could not read file: " + (site_ / "victim.htm").string() +
                              " (No such file or directory)\n");
}

// A pipe would make a plain open wait for a writer for ever.
TEST_F(RunFaultsTest, FileReplacedByAPipeIsNotWaitedOn) {
    const int result = RunWithFault(
        [](const fs::path& victim) {
            fs::remove(victim);
            ::mkfifo(victim.c_str(), 0644);
        },
        false);
    ASSERT_EQ(result, 0) << "-1: the run hung on the pipe until the alarm";
    ExpectOthersOptimized();
    EXPECT_EQ(ErrorLog(), "Could not read file: " + (site_ / "victim.htm").string() +
                              " (not a regular file)\n");
}

TEST_F(RunFaultsTest, FileMadeUnreadableDuringTheRunIsLeftAsItWas) {
    const int result = RunWithFault(
        [](const fs::path& victim) { fs::permissions(victim, fs::perms::none); }, true);
    ASSERT_EQ(result, 0);
    ExpectOthersOptimized();
    EXPECT_EQ(test::ReadText(site_ / "victim.htm"), kLoosePage);
    EXPECT_FALSE(fs::exists(site_ / "victim.htm.BAK"));
    EXPECT_EQ(ErrorLog(),
              "Could not read file: " + (site_ / "victim.htm").string() + " (Permission denied)\n");
}

TEST_F(RunFaultsTest, FileEmptiedDuringTheRunStaysEmpty) {
    ASSERT_EQ(RunWithFault([](const fs::path& victim) { fs::resize_file(victim, 0); }, false), 0);
    ExpectOthersOptimized();
    EXPECT_TRUE(test::ReadText(site_ / "victim.htm").empty());
    EXPECT_TRUE(ErrorLog().empty()) << "an empty file has nothing to optimize";
}

// The selection is one file whose folder is the root of the file system (here the root of a
// tree the child is confined to): it has no folder name to copy into.
TEST_F(RunFaultsTest, SingleFileAtTheRootOfAFileSystem) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "confining a process to a tree needs root";
    }
    const fs::path tree = root_ / "tree";
    test::WriteText(tree / "page.htm", kLoosePage);
    fs::create_directories(tree / "tmp");
    settings_.PutInt(section::kDestination, key::kNewOrReplace, 0);
    settings_.PutInt(section::kDestination, key::kPromptForDestination, 1);
    settings_.PutString(section::kDestination, key::kDestination, "/out");
    const int result = test::RunInChild([&] {
        ::alarm(60);
        if (::chroot(tree.c_str()) != 0 || ::chdir("/") != 0) {
            return 10;
        }
        DerivedPaths paths("/Desktop", "/program", "/tmp");
        test::OneRun run(settings_, paths);
        run.Start("/page.htm");
        if (!run.view.WaitForRunDone(50)) {
            return 11;
        }
        run.Finish();
        return 0;
    });
    ASSERT_EQ(result, 0);
    EXPECT_EQ(test::ReadText(tree / "page.htm"), kLoosePage);
    EXPECT_EQ(test::ReadText(tree / "out" / "root" / "page.htm"), kTightPage);
    EXPECT_TRUE(fs::exists(tree / "out" / "Quillon Optimized Files" / "'page.htm' Report.html"));
}

}  // namespace
}  // namespace quillon
