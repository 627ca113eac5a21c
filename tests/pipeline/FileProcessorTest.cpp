#include "pipeline/FileProcessor.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>

#include "ChildProcess.h"
#include "Corpus.h"
#include "KeptLogs.h"
#include "MemorySettingsStore.h"
#include "RecordingRunView.h"
#include "TempDir.h"
#include "pipeline/SettingsKeys.h"

namespace quillon {
namespace {

using test::ReadBytes;
using test::TempDir;

// Shrinks from 10 to 5 bytes in the web-page chain: "<p>a ".
constexpr std::string_view kLoosePage = "<p>  a    ";
constexpr std::string_view kTightPage = "<p>a ";

// SOI, an APP0 segment of 16 bytes, a DQT segment, SOS and two bytes of scan data, EOI: the
// JPEG stage drops the 18 bytes of the APP0 segment.
const std::vector<std::uint8_t> kJpegWithApp0 = {
    0xFF, 0xD8,                                                                  // SOI
    0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0,  // APP0
    0xFF, 0xDB, 0x00, 0x04, 0x00, 0x01,                                          // DQT
    0xFF, 0xDA, 0x00, 0x04, 0x01, 0x00,                                          // SOS
    0x12, 0x34,                                                                  // scan data
    0xFF, 0xD9,                                                                  // EOI
};

using test::ReadText;
using test::WriteText;

ino_t Inode(const std::filesystem::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_ino;
}

class FileProcessorTest : public ::testing::Test {
  protected:
    FileProcessorTest() { StorePageDefaults(settings_, site_.Path()); }

    void InPlace(bool backups) {
        settings_.PutInt(section::kDestination, key::kNewOrReplace, 1);
        settings_.PutInt(section::kDestination, key::kBackupFiles, backups ? 1 : 0);
    }

    std::unique_ptr<CFileProcessor> MakeProcessor() {
        return std::make_unique<CFileProcessor>(settings_, view_, temp_.Path());
    }

    // One whole run over the files, with a processor that is gone afterwards (statistics
    // written, logs removed). The logs are kept in temp_ first, also from a child process.
    void Run(const std::vector<std::filesystem::path>& files,
             const std::function<void(CFileProcessor&)>& prepare = {}) {
        auto processor = MakeProcessor();
        if (prepare) {
            prepare(*processor);
        }
        for (const auto& file : files) {
            processor->AddFile(file.string());
        }
        processor->ProcessList();
        test::KeepLogs(processor->Logs(), temp_.Path());
    }

    std::vector<std::string> LogLines() const {
        std::ifstream log(temp_ / "run.log");
        std::vector<std::string> lines;
        for (std::string line; std::getline(log, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    std::string LogLine(const std::filesystem::path& path, int before, int after) const {
        return path.string() + "\t" + std::to_string(before) + "\t" + std::to_string(after);
    }

    std::uint32_t Statistic(std::string_view name) {
        return settings_.GetInt(section::kStatistics, name, 0);
    }

    TempDir site_;
    TempDir temp_;
    test::MemorySettingsStore settings_;
    test::RecordingRunView view_;
};

TEST_F(FileProcessorTest, ProcessesExactlyTheWebPagesByName) {
    const std::vector<std::filesystem::path> files = {
        site_ / "page.HTML", site_ / "PAGE.SHTML", site_ / "notes.txt",    site_ / "site.css",
        site_ / "app.js",    site_ / "feed.xml",   site_ / "index.htm.bak"};
    for (const auto& file : files) {
        WriteText(file, kLoosePage);
    }
    Run(files);

    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{LogLine(files[0], 10, 5), LogLine(files[1], 10, 5),
                                        LogLine(files[2], 10, 5)}));
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(ReadText(files[i]), i < 3 ? kTightPage : kLoosePage) << files[i];
    }
    const RunDisplay display = view_.Snapshot();
    EXPECT_EQ(display.filesDone, 7u);
    EXPECT_EQ(display.filesTotal, 7u);
    EXPECT_EQ(display.counters.Of(FileClass::kWebPage).files, 3u);
    EXPECT_EQ(display.counters.Of(FileClass::kWebPage).bytesBefore, 30u);
    EXPECT_EQ(display.counters.Of(FileClass::kWebPage).bytesAfter, 15u);
    EXPECT_EQ(display.bytesSavedText, "15");
    EXPECT_EQ(display.percentText, "50.0 %");
    EXPECT_EQ(display.typeLabel, "HTML File");
    EXPECT_EQ(display.status, "Optimization Complete");
    EXPECT_TRUE(display.currentFile.empty());
}

TEST_F(FileProcessorTest, ShowsTheStagesOfAPageInOrder) {
    WriteText(site_ / "a.htm", kLoosePage);
    Run({site_ / "a.htm"});
    EXPECT_EQ(view_.Statuses(),
              (std::vector<std::string>{"Reading file...", "Preprocessing...",
                                        "Optimizing syntax...", "Removing excess formatting...",
                                        "Updating file...", "Optimization Complete"}));
}

TEST_F(FileProcessorTest, DisabledOptimizersLeaveTheirFilesAlone) {
    settings_.PutInt(section::kHtml, key::kEnableHtml, 0);
    settings_.PutInt(section::kJpeg, key::kEnableJpeg, 0);
    WriteText(site_ / "a.htm", kLoosePage);
    test::WriteBytes(site_ / "b.jpg", kJpegWithApp0);
    Run({site_ / "a.htm", site_ / "b.jpg"});

    EXPECT_TRUE(LogLines().empty());
    EXPECT_EQ(ReadText(site_ / "a.htm"), kLoosePage);
    EXPECT_EQ(ReadBytes(site_ / "b.jpg"), kJpegWithApp0);
    EXPECT_EQ(Statistic(key::kFilesProcessed), 0u);
    EXPECT_EQ(view_.Snapshot().filesDone, 2u);
}

TEST_F(FileProcessorTest, MissingEnableKeysMeanOff) {
    settings_.Remove(section::kHtml, key::kEnableHtml);
    WriteText(site_ / "a.htm", kLoosePage);
    Run({site_ / "a.htm"});
    EXPECT_EQ(ReadText(site_ / "a.htm"), kLoosePage);
}

TEST_F(FileProcessorTest, EmptyFileIsCountedButNotLogged) {
    WriteText(site_ / "empty.htm", "");
    Run({site_ / "empty.htm"});
    EXPECT_TRUE(LogLines().empty());
    EXPECT_EQ(view_.Snapshot().filesDone, 1u);
    EXPECT_EQ(Statistic(key::kFilesProcessed), 1u);
    EXPECT_EQ(view_.Snapshot().counters.Of(FileClass::kWebPage).files, 0u);
}

TEST_F(FileProcessorTest, PageLeftAtTheSameSizeIsNeitherRewrittenNorBackedUp) {
    InPlace(true);
    const auto path = site_ / "tight.htm";
    WriteText(path, kTightPage);
    const ino_t before = Inode(path);
    Run({path});

    EXPECT_EQ(LogLines(), std::vector<std::string>{LogLine(path, 5, 5)});
    EXPECT_EQ(Inode(path), before) << "the file was replaced";
    EXPECT_FALSE(std::filesystem::exists(site_ / "tight.htm.BAK"));
    EXPECT_EQ(view_.Snapshot().bytesSavedText, "");
    EXPECT_EQ(Statistic(key::kBytesSaved), 0u);
}

TEST_F(FileProcessorTest, CopyModeNeverWritesBackups) {
    settings_.PutInt(section::kDestination, key::kBackupFiles, 1);
    WriteText(site_ / "index.htm", kLoosePage);
    Run({site_ / "index.htm"});
    EXPECT_EQ(ReadText(site_ / "index.htm"), kTightPage);
    EXPECT_FALSE(std::filesystem::exists(site_ / "index.htm.BAK"));
}

TEST_F(FileProcessorTest, InPlaceModeBacksUpTheOldContent) {
    InPlace(true);
    WriteText(site_ / "index.htm", kLoosePage);
    test::WriteBytes(site_ / "photo.jpg", kJpegWithApp0);
    Run({site_ / "index.htm", site_ / "photo.jpg"});

    EXPECT_EQ(ReadText(site_ / "index.htm"), kTightPage);
    EXPECT_EQ(ReadText(site_ / "index.htm.BAK"), kLoosePage);
    EXPECT_EQ(ReadBytes(site_ / "photo.jpg").size(), kJpegWithApp0.size() - 18);
    EXPECT_EQ(ReadBytes(site_ / "photo.jpg.BAK"), kJpegWithApp0);
}

TEST_F(FileProcessorTest, InPlaceModeWithoutBackups) {
    InPlace(false);
    WriteText(site_ / "index.htm", kLoosePage);
    Run({site_ / "index.htm"});
    EXPECT_EQ(ReadText(site_ / "index.htm"), kTightPage);
    EXPECT_FALSE(std::filesystem::exists(site_ / "index.htm.BAK"));
}

TEST_F(FileProcessorTest, BackupFilesAreNeverProcessed) {
    InPlace(true);
    WriteText(site_ / "index.htm.BAK", kLoosePage);
    WriteText(site_ / "old.bak", kLoosePage);
    Run({site_ / "index.htm.BAK", site_ / "old.bak"});
    EXPECT_EQ(ReadText(site_ / "index.htm.BAK"), kLoosePage);
    EXPECT_TRUE(LogLines().empty());
    EXPECT_EQ(view_.Snapshot().filesDone, 2u);
}

TEST_F(FileProcessorTest, PageHoldingAZeroByteIsLoggedUnchanged) {
    const std::string utf16("<\0p\0>\0 \0 \0 \0", 12);
    WriteText(site_ / "wide.htm", utf16);
    Run({site_ / "wide.htm"});
    EXPECT_EQ(ReadText(site_ / "wide.htm"), utf16);
    EXPECT_EQ(LogLines(), std::vector<std::string>{LogLine(site_ / "wide.htm", 12, 12)});
    EXPECT_EQ(view_.Snapshot().counters.Of(FileClass::kWebPage).bytesAfter, 12u);
}

// A page file holding no markup is shown as plain text, so its layout is its content and it is
// left byte for byte; one holding markup goes through the chain.
struct PageFileCase {
    std::string name;
    std::string file;
    std::string content;
    std::string expected;
};

class PageFileTable : public FileProcessorTest, public testing::WithParamInterface<PageFileCase> {};

TEST_P(PageFileTable, IsOptimizedOnlyWhenItHoldsMarkup) {
    const PageFileCase& row = GetParam();
    WriteText(site_ / row.file, row.content);
    Run({site_ / row.file});
    EXPECT_EQ(ReadText(site_ / row.file), row.expected);
    EXPECT_EQ(LogLines(), std::vector<std::string>{LogLine(site_ / row.file,
                                                           static_cast<int>(row.content.size()),
                                                           static_cast<int>(row.expected.size()))});
}

const std::string kLicence =
    "MIT License\n\nPermission is hereby granted, free of charge,\n    to any person  obtaining"
    "\n\n\n  1. The above  notice\n\tshall be included. a < b, c > d, x<3, <= & <>\n";

const PageFileCase kPageFiles[] = {
    {"plain-text licence keeps its layout", "LICENSE.txt", kLicence, kLicence},
    {"plain-text page named .htm keeps it too", "notes.htm", kLicence, kLicence},
    {"text holding a tag is optimized", "help.txt", "<b>Help</b>\n\n\n  text   here\n",
     "<b>Help</b>\ntext here\n"},
    {"a close tag is markup", "end.txt", "a   </b>", "a </b>"},
    {"a comment is markup", "c.txt", "a  <!-- x -->  b", "a b"},
    {"a processing instruction is markup", "p.txt", "<?xml version=1?>\n\n\nx",
     "<?xml version=1?>\nx"},
    {"markup at the very end counts", "z.txt", "a  \n\n\nb<i", "a\nb<i"},
    {"a lone < at the end is no markup", "lt.txt", "a   b  <", "a   b  <"},
};
INSTANTIATE_TEST_SUITE_P(PageFiles, PageFileTable, testing::ValuesIn(kPageFiles),
                         [](const testing::TestParamInfo<PageFileCase>& row) {
                             std::string name = row.param.name;
                             for (char& c : name) {
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

TEST_F(FileProcessorTest, JpegLosesItsApplicationSegments) {
    test::WriteBytes(site_ / "photo.JPEG", kJpegWithApp0);
    Run({site_ / "photo.JPEG"});
    const auto after = ReadBytes(site_ / "photo.JPEG");
    EXPECT_EQ(after.size(), kJpegWithApp0.size() - 18);
    EXPECT_EQ(LogLines(), std::vector<std::string>{LogLine(site_ / "photo.JPEG", 36, 18)});
    const RunDisplay display = view_.Snapshot();
    EXPECT_EQ(display.counters.Of(FileClass::kJpeg).files, 1u);
    EXPECT_EQ(display.counters.Of(FileClass::kJpeg).bytesBefore, 36u);
    EXPECT_EQ(display.counters.Of(FileClass::kJpeg).bytesAfter, 18u);
    EXPECT_EQ(display.typeLabel, "JPEG File");
}

TEST_F(FileProcessorTest, FileNamedLikeAJpegThatIsNotOneStaysAsItIs) {
    WriteText(site_ / "fake.jpg", "<html>not a picture</html>");
    Run({site_ / "fake.jpg"});
    EXPECT_EQ(ReadText(site_ / "fake.jpg"), "<html>not a picture</html>");
    EXPECT_EQ(LogLines(), std::vector<std::string>{LogLine(site_ / "fake.jpg", 26, 26)});
}

// Files are worked on together only as far as their weight allows (a page weighs three times its
// size): with room for one page, no two stages ever run at once; with room for all, they do.
TEST_F(FileProcessorTest, WeightBudgetBoundsTheFilesWorkedOnAtOnce) {
    settings_.PutInt(section::kDestination, key::kFilesAtOnce, 4);
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < 4; ++i) {
        files.push_back(site_ / ("p" + std::to_string(i) + ".htm"));
        WriteText(files.back(), std::string(1000, 'x'));
    }
    struct Row {
        std::uint64_t budget;
        bool together;
    };
    for (const Row& row : {Row{3000, false}, Row{1 << 20, true}}) {
        std::mutex mutex;
        std::condition_variable changed;
        int running = 0;
        int most = 0;
        Run(files, [&](CFileProcessor& processor) {
            processor.SetWeightBudget(row.budget);
            processor.SetStage(FileClass::kWebPage, [&](std::span<std::uint8_t> file,
                                                        const StageSettings&, StageEvents&) {
                std::unique_lock lock(mutex);
                most = std::max(most, ++running);
                changed.notify_all();
                // A moment for a second file, which comes only when the budget lets it.
                changed.wait_for(lock, std::chrono::milliseconds(300), [&] { return running > 1; });
                --running;
                return std::optional<std::uint32_t>(file.size());
            });
        });
        EXPECT_EQ(most > 1, row.together) << row.budget << ": " << most << " at once";
        EXPECT_EQ(LogLines().size(), files.size());
    }
}

// One file at a time: the pump below is not thread-safe, and the second file must not have begun.
TEST_F(FileProcessorTest, CancelDuringThePageStagesLeavesEveryFileAsItWas) {
    settings_.PutInt(section::kDestination, key::kFilesAtOnce, 1);
    WriteText(site_ / "a.htm", kLoosePage);
    WriteText(site_ / "b.htm", kLoosePage);
    Run({site_ / "a.htm", site_ / "b.htm"}, [this](CFileProcessor& processor) {
        // The request arrives while the page is being optimized, as a click on Quit would.
        processor.SetMessagePump([this, &processor] {
            if (view_.Snapshot().status == "Optimizing syntax...") {
                processor.Cancel();
            }
        });
    });
    EXPECT_EQ(ReadText(site_ / "a.htm"), kLoosePage);
    EXPECT_EQ(ReadText(site_ / "b.htm"), kLoosePage);
    EXPECT_TRUE(LogLines().empty());
    EXPECT_EQ(view_.Snapshot().filesDone, 1u) << "the rest of the list is dropped";
    EXPECT_EQ(view_.Snapshot().status, "Optimization Complete");
}

TEST_F(FileProcessorTest, CancelBeforeTheRunStopsAtTheFirstCheckpoint) {
    WriteText(site_ / "a.htm", kLoosePage);
    Run({site_ / "a.htm"}, [](CFileProcessor& processor) {
        processor.SetMessagePump([&processor] { processor.Cancel(); });
    });
    EXPECT_EQ(ReadText(site_ / "a.htm"), kLoosePage);
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(FileProcessorTest, WriteCutShortByAFileSizeLimitKeepsTheOriginalAndGoesOn) {
    InPlace(false);
    std::string big = "<p>";
    for (int i = 0; i < 1000; ++i) {
        big += "word  \n\n";  // 8003 bytes, about 5000 after the chain
    }
    WriteText(site_ / "big.htm", big);
    WriteText(site_ / "small.htm", kLoosePage);

    const int result = test::RunInChild([&] {
        if (!test::LimitFileSize(2000)) {
            return 2;
        }
        Run({site_ / "big.htm", site_ / "small.htm"});
        return 0;
    });
    ASSERT_EQ(result, 0);
    EXPECT_EQ(ReadText(site_ / "big.htm"), big);
    EXPECT_EQ(ReadText(site_ / "small.htm"), kTightPage);
    EXPECT_EQ(LogLines(), std::vector<std::string>{LogLine(site_ / "small.htm", 10, 5)});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(site_.Path()), {}), 2);
}

TEST_F(FileProcessorTest, ReadOnlyFolderKeepsTheOriginalAndTheRunGoesOn) {
    InPlace(true);
    const auto locked = site_ / "locked";
    const auto open = site_ / "open";
    WriteText(locked / "a.htm", kLoosePage);
    WriteText(open / "b.htm", kLoosePage);
    std::filesystem::permissions(locked, std::filesystem::perms(0555));
    std::filesystem::permissions(open, std::filesystem::perms::all);
    std::filesystem::permissions(open / "b.htm", std::filesystem::perms(0666));
    std::filesystem::permissions(temp_.Path(), std::filesystem::perms::all);

    const int result = test::RunInChild([&] {
        if (!test::DropPrivileges()) {
            return 2;
        }
        Run({locked / "a.htm", open / "b.htm"});
        return 0;
    });
    ASSERT_EQ(result, 0);
    EXPECT_EQ(ReadText(locked / "a.htm"), kLoosePage);
    EXPECT_FALSE(std::filesystem::exists(locked / "a.htm.BAK"));
    EXPECT_EQ(ReadText(open / "b.htm"), kTightPage);
    EXPECT_EQ(ReadText(open / "b.htm.BAK"), kLoosePage);
    EXPECT_EQ(LogLines(), std::vector<std::string>{LogLine(open / "b.htm", 10, 5)});
}

TEST_F(FileProcessorTest, StatisticsAddUpOverRunsWhileEachLogHoldsOneRun) {
    WriteText(site_ / "a.htm", kLoosePage);
    Run({site_ / "a.htm"});
    WriteText(site_ / "b.htm", kLoosePage);
    WriteText(site_ / "c.css", kLoosePage);
    Run({site_ / "b.htm", site_ / "c.css"});

    EXPECT_EQ(LogLines(), std::vector<std::string>{LogLine(site_ / "b.htm", 10, 5)});
    EXPECT_EQ(Statistic(key::kFilesProcessed), 2u);
    EXPECT_EQ(Statistic(key::kBytesSaved), 10u);
}

TEST_F(FileProcessorTest, StatisticsWrapAtThirtyTwoBits) {
    settings_.PutInt(section::kStatistics, key::kBytesSaved, 0xFFFFFFFB);
    WriteText(site_ / "a.htm", kLoosePage);
    Run({site_ / "a.htm"});
    EXPECT_EQ(Statistic(key::kBytesSaved), 0u);
}

TEST_F(FileProcessorTest, EachRunKeepsItsLogsToItselfAndRemovesThem) {
    WriteText(temp_ / "Quillon.Log", "another run's line\n");
    auto first = MakeProcessor();
    auto second = MakeProcessor();
    const auto folder = first->Logs().LogPath().parent_path();
    EXPECT_NE(folder, second->Logs().LogPath().parent_path());
    EXPECT_EQ(folder.parent_path(), temp_.Path());
    EXPECT_EQ(first->Logs().LogPath().filename(), "Quillon.Log");
    EXPECT_EQ(first->Logs().ErrorLogPath().filename(), "QuillonError.Log");
    EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms::owner_all);
    first->Logs().OpenLog();
    first.reset();
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_EQ(ReadText(temp_ / "Quillon.Log"), "another run's line\n");
}

TEST_F(FileProcessorTest, ErrorLogEntriesMarkTheRun) {
    WriteText(site_ / "a.gif", "GIF89a");
    Run({site_ / "a.gif"}, [](CFileProcessor& processor) {
        processor.SetStage(FileClass::kGif, [](std::span<std::uint8_t> file, const StageSettings&,
                                               StageEvents& events) {
            events.Note("read file", "unrecognizable format");
            return std::optional<std::uint32_t>(file.size());
        });
    });
    EXPECT_TRUE(view_.Snapshot().errorsLogged);
    EXPECT_EQ(ReadText(temp_ / "errors.log"),
              "Could not read file: " + (site_ / "a.gif").string() + " (unrecognizable format)\n");
}

TEST_F(FileProcessorTest, GifStageRewritesTheFileAfterTheBackup) {
    InPlace(true);
    WriteText(site_ / "a.gif", "GIF89a-long-original");
    Run({site_ / "a.gif"}, [](CFileProcessor& processor) {
        processor.SetStage(FileClass::kGif,
                           [](std::span<std::uint8_t> file, const StageSettings&, StageEvents&) {
                               std::memcpy(file.data(), "GIF89a", 6);
                               return std::optional<std::uint32_t>(6);
                           });
    });
    EXPECT_EQ(ReadText(site_ / "a.gif"), "GIF89a");
    EXPECT_EQ(ReadText(site_ / "a.gif.BAK"), "GIF89a-long-original");
    EXPECT_EQ(LogLines(), std::vector<std::string>{LogLine(site_ / "a.gif", 20, 6)});
    const TypeFigures gifs = view_.Snapshot().counters.Of(FileClass::kGif);
    EXPECT_EQ(gifs.files, 1u);
    EXPECT_EQ(gifs.bytesBefore, 20u);
    EXPECT_EQ(gifs.bytesAfter, 6u);
}

// Runs in place one after the other, each shrinking the file again: every earlier content stays
// in a backup of its own, and content a backup already holds is not backed up twice.
TEST_F(FileProcessorTest, ReRunsInPlaceNeverReplaceABackup) {
    InPlace(true);
    const std::string original = "GIF89a-original";
    WriteText(site_ / "a.gif", original);
    const auto shrinkOnce = [](CFileProcessor& processor) {
        processor.SetStage(FileClass::kGif,
                           [](std::span<std::uint8_t> file, const StageSettings&, StageEvents&) {
                               return std::optional<std::uint32_t>(file.size() - 1);
                           });
    };
    for (int run = 0; run < 3; ++run) {
        Run({site_ / "a.gif"}, shrinkOnce);
    }
    EXPECT_EQ(ReadText(site_ / "a.gif"), original.substr(0, original.size() - 3));
    EXPECT_EQ(ReadText(site_ / "a.gif.BAK"), original);
    EXPECT_EQ(ReadText(site_ / "a.gif.2.BAK"), original.substr(0, original.size() - 1));
    EXPECT_EQ(ReadText(site_ / "a.gif.3.BAK"), original.substr(0, original.size() - 2));

    WriteText(site_ / "a.gif", original);  // restored from its first backup, and run again
    Run({site_ / "a.gif"}, shrinkOnce);
    EXPECT_FALSE(std::filesystem::exists(site_ / "a.gif.4.BAK"));
    EXPECT_EQ(ReadText(site_ / "a.gif.BAK"), original);
}

// A backup name taken by a link is passed over, never written through; the backup is no more
// readable than its original, whatever the process's creation mask.
TEST_F(FileProcessorTest, BackupGoesPastALinkAndKeepsTheOriginalsMode) {
    InPlace(true);
    TempDir outside;
    WriteText(outside / "precious.txt", "precious");
    WriteText(site_ / "a.htm", kLoosePage);
    std::filesystem::permissions(site_ / "a.htm", std::filesystem::perms(0640));
    std::filesystem::create_symlink(outside / "precious.txt", site_ / "a.htm.BAK");
    const mode_t mask = ::umask(0);
    Run({site_ / "a.htm"});
    ::umask(mask);
    EXPECT_EQ(ReadText(outside / "precious.txt"), "precious");
    EXPECT_TRUE(std::filesystem::is_symlink(site_ / "a.htm.BAK"));
    EXPECT_EQ(ReadText(site_ / "a.htm.2.BAK"), kLoosePage);
    EXPECT_EQ(std::filesystem::status(site_ / "a.htm.2.BAK").permissions(),
              std::filesystem::perms(0640));
    EXPECT_EQ(std::filesystem::status(site_ / "a.htm").permissions(), std::filesystem::perms(0640));
    EXPECT_EQ(ReadText(site_ / "a.htm"), kTightPage);
}

// Lines appended while the page is optimized are not lost to the rename, and a file left as it
// was counts no saving anywhere.
TEST_F(FileProcessorTest, FileChangedDuringTheRunKeepsItsChanges) {
    for (const bool backups : {true, false}) {
        SCOPED_TRACE(backups ? "with backups" : "without backups");
        InPlace(backups);
        WriteText(site_ / "a.htm", kLoosePage);
        Run({site_ / "a.htm"}, [this](CFileProcessor& processor) {
            processor.SetMessagePump([this, appended = false]() mutable {
                if (!appended && view_.Snapshot().status == "Optimizing syntax...") {
                    appended = true;
                    std::ofstream(site_ / "a.htm", std::ios::app) << "\nnew line";
                }
            });
        });
        EXPECT_EQ(ReadText(site_ / "a.htm"), std::string(kLoosePage) + "\nnew line");
        EXPECT_FALSE(std::filesystem::exists(site_ / "a.htm.BAK"));
        EXPECT_NE(ReadText(temp_ / "errors.log").find("(changed during the run)"),
                  std::string::npos);
        EXPECT_TRUE(LogLines().empty());
        EXPECT_EQ(view_.Snapshot().counters.Of(FileClass::kWebPage).files, 0u);
        EXPECT_EQ(view_.Snapshot().bytesSavedText, "");
        EXPECT_EQ(Statistic(key::kBytesSaved), 0u);
    }
}

// With the gate on, the stage would name this file in the error log as no GIF.
TEST_F(FileProcessorTest, SecondGifGateOffSkipsTheStageButLogsTheFile) {
    settings_.PutInt(section::kGif, key::kEnableGifStage, 0);
    WriteText(site_ / "a.gif", "GIF89a");
    Run({site_ / "a.gif"});
    EXPECT_FALSE(view_.Snapshot().errorsLogged);
    EXPECT_EQ(LogLines(), std::vector<std::string>{LogLine(site_ / "a.gif", 6, 6)});
    EXPECT_EQ(view_.Snapshot().counters.Of(FileClass::kGif).files, 0u);
    EXPECT_EQ(Statistic(key::kFilesProcessed), 1u);
}

TEST_F(FileProcessorTest, AddFileListsEachPathOnce) {
    auto processor = MakeProcessor();
    processor->AddFile("/site/index.html");
    processor->AddFile("/site/index.html");
    processor->AddFile("/site/Index.html");  // another file where case matters
    EXPECT_EQ(processor->Files().size(), 2u);
}

}  // namespace
}  // namespace quillon
