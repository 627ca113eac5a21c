// The per-file pipeline on real files: which files it takes, what it writes back and backs up,
// what it counts, and what a cancel, a change under it or several files at once do.
#include "pipeline/FileProcessor.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <optional>
#include <random>

#include "RunFixture.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using namespace test;

class FileProcessorTest : public RunTest {
  protected:
    // A whole run with a processor that is gone afterwards (statistics written, logs removed).
    void Run(const std::vector<fs::path>& files,
             const std::function<void(CFileProcessor&)>& prepare = {}) {
        CFileProcessor processor(settings_, view_, paths_.TempFolder());
        if (prepare) {
            prepare(processor);
        }
        for (const auto& file : files) {
            processor.AddFile(file.string());
        }
        processor.ProcessList();
        KeepLogs(processor.Logs(), paths_.TempFolder());
    }
    Files LogLines() const {
        std::ifstream log(root_ / "tmp" / "run.log");
        Files lines;
        for (std::string line; std::getline(log, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    static std::string LogLine(const fs::path& path, std::size_t before, std::size_t after) {
        return path.string() + "\t" + std::to_string(before) + "\t" + std::to_string(after);
    }
    RecordingRunView view_;
};

// One file, one run: whatever the row, the file is replaced exactly when it became smaller, and
// backed up exactly when in place with backups on. A quit (at a checkpoint) or another program's
// change while it is worked on (seen at the rename) leaves it as it is.
TEST_F(FileProcessorTest, OneFileIsTakenByItsNameAndReplacedOnlyWhenSmaller) {
    enum Mode { kCopy, kInPlace, kNoBackups };
    enum Taken { kPassedOver, kLogged, kCounted };  // logged, and counted under its kind
    enum Event { kNone, kQuit, kAppend, kLink };
    using Gate = std::pair<std::string_view, std::string_view>;
    const Gate gates[] = {{section::kHtml, key::kEnableHtml},
                          {section::kJpeg, key::kEnableJpeg},
                          {section::kGif, key::kEnableGifStage}};
    struct Row {
        const char* name;
        Mode mode;
        std::string file, content, expected;
        Taken taken;
        std::optional<Gate> off = {};
        Event event = kNone;
        const char* at = "";  // the status at which the event comes
    };
    // SOI, an APP0 segment of 16 bytes, DQT, SOS, two bytes of scan data, EOI.
    const std::string jpeg(
        "\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00"
        "\xFF\xDB\x00\x04\x00\x01\xFF\xDA\x00\x04\x01\x00\x12\x34\xFF\xD9",
        36);
    const std::string licence =
        "MIT License\n\nPermission is hereby granted,\n    to any person  obtaining\n\n\n  1. The"
        " above  notice\n\tshall be included. a < b, c > d, x<3, <= & <>\n";
    const std::string wide("<\0p\0>\0 \0 \0 \0", 12), page(kLoosePage), tight(kTightPage);
    const std::string appended = page + "\nnew line";
    // clang-format off
    const Row rows[] = {
        {"a page in a copy is never backed up", kCopy, "index.htm", page, tight, kCounted},
        {"a page in place is backed up", kInPlace, "page.HTML", page, tight, kCounted},
        {"in place without backups", kNoBackups, "PAGE.SHTML", page, tight, kCounted},
        {"a JPEG loses its APP0 segment", kInPlace, "photo.JPEG", jpeg,
         jpeg.substr(0, 2) + jpeg.substr(20), kCounted},
        {"a style sheet is no page", kCopy, "site.css", page, page, kPassedOver},
        {"pages turned off", kCopy, "a.htm", page, page, kPassedOver, gates[0]},
        {"JPEGs turned off", kInPlace, "b.jpg", jpeg, jpeg, kPassedOver, gates[1]},
        {"second GIF gate off", kCopy, "a.gif", "GIF89a", "GIF89a", kLogged, gates[2]},
        {"an empty page", kInPlace, "empty.htm", "", "", kPassedOver},
        {"a page already tight", kInPlace, "tight.htm", tight, tight, kCounted},
        {"a backup is never worked on", kInPlace, "index.htm.BAK", page, page, kPassedOver},
        {"nor one in lower case", kInPlace, "old.bak", page, page, kPassedOver},
        {"a page holding a zero byte (UTF-16)", kCopy, "wide.htm", wide, wide, kCounted},
        // A page file holding no markup is shown as plain text: its layout is its content.
        {"a plain-text licence", kCopy, "LICENSE.txt", licence, licence, kCounted},
        {"a plain-text page named .htm", kCopy, "notes.htm", licence, licence, kCounted},
        {"text holding a tag", kCopy, "help.txt", "<b>Help</b>\n\n\n  text   here\n",
         "<b>Help</b>\ntext here\n", kCounted},
        {"a close tag is markup", kCopy, "end.txt", "a   </b>", "a </b>", kCounted},
        {"a comment is markup", kCopy, "c.txt", "a  <!-- x -->  b", "a b", kCounted},
        {"a processing instruction", kCopy, "p.txt", "<?xml?>\n\n\nx", "<?xml?>\nx", kCounted},
        {"markup at the very end", kCopy, "z.txt", "a  \n\n\nb<i", "a\nb<i", kCounted},
        {"a lone < at the end is none", kCopy, "lt.txt", "a   b  <", "a   b  <", kCounted},
        {"quit once read", kInPlace, "q.htm", page, page, kPassedOver, {}, kQuit,
         "Reading file..."},
        {"quit in the chain", kInPlace, "q.htm", page, page, kPassedOver, {}, kQuit,
         "Optimizing syntax..."},
        {"quit at its last checkpoint", kCopy, "q.htm", page, page, kPassedOver, {}, kQuit,
         "Removing excess formatting..."},
        {"lines appended meanwhile", kInPlace, "log.htm", page, appended, kPassedOver, {},
         kAppend, "Optimizing syntax..."},
        {"appended without backups", kNoBackups, "log.htm", page, appended, kPassedOver, {},
         kAppend, "Optimizing syntax..."},
        {"swapped for a link", kNoBackups, "a.htm", page, page, kPassedOver, {}, kLink,
         "Optimizing syntax..."},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(site_);
        Set(key::kNewOrReplace, row.mode == kCopy ? 0 : 1);
        Set(key::kBackupFiles, row.mode == kNoBackups ? 0 : 1);
        for (const Gate& gate : gates) {
            settings_.PutInt(gate.first, gate.second, row.off && *row.off == gate ? 0 : 1);
        }
        const fs::path path = site_ / row.file;
        WriteText(path, row.content);
        struct stat before {};
        ::stat(path.c_str(), &before);
        view_.Update([](RunDisplay& display) { display = {}; });
        Run({path}, [&](CFileProcessor& processor) {
            processor.SetMessagePump([&, done = false]() mutable {
                if (!done && row.event != kNone && view_.Snapshot().status == row.at) {
                    done = true;
                    if (row.event == kQuit) {
                        processor.Cancel();
                    } else if (row.event == kAppend) {
                        std::ofstream(path, std::ios::app) << "\nnew line";
                    } else {
                        fs::rename(path, site_ / "moved.htm");
                        fs::create_symlink(site_ / "moved.htm", path);
                    }
                }
            });
        });
        const bool smaller = row.expected.size() < row.content.size();
        struct stat after {};
        ::stat(path.c_str(), &after);
        EXPECT_EQ(ReadText(path), row.expected);
        EXPECT_EQ(after.st_ino != before.st_ino, smaller) << "replaced";
        EXPECT_EQ(fs::exists(path.string() + ".BAK"), smaller && row.mode == kInPlace);
        if (smaller && row.mode == kInPlace) {
            // The original itself, renamed in effect: its bytes and its modification time.
            struct stat backup {};
            ::stat((path.string() + ".BAK").c_str(), &backup);
            EXPECT_EQ(ReadText(path.string() + ".BAK"), row.content);
            EXPECT_EQ(backup.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
            EXPECT_EQ(backup.st_mtim.tv_sec, before.st_mtim.tv_sec);
        }
        const Files logged = {LogLine(path, row.content.size(), row.expected.size())};
        EXPECT_EQ(LogLines(), row.taken == kPassedOver ? Files{} : logged);
        const RunDisplay display = view_.Snapshot();
        const auto& kinds = display.counters.kinds;
        EXPECT_EQ(std::count_if(kinds.begin(), kinds.end(), [](auto& kind) { return kind.files; }),
                  row.taken == kCounted ? 1 : 0);
        EXPECT_EQ(display.bytesSavedText,
                  smaller ? std::to_string(row.content.size() - row.expected.size()) : "");
        EXPECT_EQ(display.filesDone, 1u);
        EXPECT_EQ(display.status, "Optimization Complete");
        const std::string errors = ErrorLog();
        const char* refused = row.event == kAppend ? "changed during the run" : "a symbolic link";
        EXPECT_EQ(errors.empty(), row.event < kAppend) << errors;
        EXPECT_EQ(errors.ends_with(path.string() + " (" + refused + ")\n"), row.event >= kAppend);
    }
}

// Files are worked on together only as far as their weight allows (a page weighs three times its
// size), and taken in in list order whatever order they end in: the first waits for the others to
// be taken in, which only a run taking files in as they end would do. One at once, four within a
// budget of one page and four with room for all give the same log.
// A file listed twice is worked on once, and what cannot be read whole is named in list order.
// Lifetime statistics add up and wrap at 32 bits; each run shows its own figures and keeps its
// logs in a folder only its user can enter, gone with it.
TEST_F(FileProcessorTest, WeightBudgetBoundsTheFilesAtOnceAndTheLogKeepsListOrder) {
    settings_.PutInt(section::kStatistics, key::kBytesSaved, 0xFFFFFFF0);
    WriteText(root_ / "tmp" / "Quillon.Log", "another run's line\n");
    std::vector<fs::path> files = {site_ / "huge.htm", site_ / "gone.htm", site_ / "folder.htm"};
    Files expected;
    for (int i = 0; i < 4; ++i) {
        files.push_back(site_ / ("p" + std::to_string(i) + ".htm"));
        expected.push_back(LogLine(files.back(), 1000, 900 - 100 * i));
    }
    files.push_back(files[3]);
    WriteText(files[0], "x");
    fs::resize_file(files[0], kMaxFileSize + 1);  // sparse: no disk space taken
    fs::create_directories(files[2]);
    const std::tuple<std::uint32_t, std::uint64_t, bool> rows[] = {
        {1, 1 << 20, false}, {4, 3000, false}, {4, 1 << 20, true}};  // at once, budget, together
    for (const auto& [filesAtOnce, budget, together] : rows) {
        SCOPED_TRACE(testing::Message() << filesAtOnce << " at once, budget " << budget);
        for (int i = 0; i < 4; ++i) {
            WriteText(files[3 + i], std::string(1000, static_cast<char>('0' + i)));
        }
        Set(key::kFilesAtOnce, filesAtOnce);
        std::mutex mutex;
        std::condition_variable changed;
        int running = 0, most = 0;
        view_.onSend = [&changed](const RunDisplay&) { changed.notify_all(); };
        Run(files, [&](CFileProcessor& processor) {
            const fs::path logs = processor.Logs().LogPath().parent_path();
            EXPECT_EQ(fs::status(logs).permissions(), fs::perms::owner_all);
            processor.SetWeightBudget(budget);
            processor.SetStage(FileClass::kWebPage, [&](std::span<std::uint8_t> file,
                                                        const StageSettings&, StageEvents&) {
                const int index = file[0] - '0';
                std::unique_lock lock(mutex);
                most = std::max(most, ++running);
                changed.wait_for(lock, std::chrono::milliseconds(300),
                                 [&] { return index > 0 || view_.Snapshot().filesDone >= 6; });
                --running;
                return std::optional<std::uint32_t>(900 - 100 * index);
            });
        });
        EXPECT_EQ(most > 1, together) << most << " at once";
        EXPECT_EQ(LogLines(), expected);
        EXPECT_EQ(ErrorLog(), "Could not read file: " + files[0].string() +
                                  " (2 GB or larger)\nCould not read file: " + files[1].string() +
                                  " (No such file or directory)\nCould not read file: " +
                                  files[2].string() + " (not a regular file)\n");
        EXPECT_EQ(view_.Snapshot().bytesSavedText, "1000");
        EXPECT_EQ(view_.Snapshot().percentText, "25.0 %");
    }
    EXPECT_EQ(settings_.GetInt(section::kStatistics, key::kFilesProcessed, 0), 21u);
    EXPECT_EQ(settings_.GetInt(section::kStatistics, key::kBytesSaved, 0), 2984u) << "wrapped";
    EXPECT_EQ(Tree(root_ / "tmp"), (Files{"Quillon.Log", "errors.log", "run.log"}));
    EXPECT_EQ(ReadText(root_ / "tmp" / "Quillon.Log"), "another run's line\n");
}

// Runs in place one after another, each shrinking the file again: every earlier content stays in
// a backup of its own, none twice, and a backup name a link holds is passed over even when the
// link leads to the same bytes. Backups have their original's mode, whatever the creation mask,
// and no write made only to create a file replaces one that took its name meanwhile.
TEST_F(FileProcessorTest, BackupsNeverReplaceAnythingAndKeepTheOriginalsMode) {
    Set(key::kNewOrReplace, 1);
    const std::string original = "GIF89a-original";
    const fs::path gif = site_ / "a.gif";
    WriteText(gif, original);
    fs::permissions(gif, fs::perms(0640));
    WriteText(root_ / "outside.gif", original);
    fs::create_symlink(root_ / "outside.gif", site_ / "a.gif.BAK");
    const auto shrinkOnce = [](CFileProcessor& processor) {
        processor.SetStage(FileClass::kGif,
                           [](std::span<std::uint8_t> file, const StageSettings&, StageEvents&) {
                               return std::optional<std::uint32_t>(file.size() - 1);
                           });
    };
    const mode_t mask = ::umask(0);
    for (int run = 0; run < 3; ++run) {
        Run({gif}, shrinkOnce);
    }
    ::umask(mask);
    EXPECT_EQ(ReadText(gif), original.substr(0, original.size() - 3));
    EXPECT_TRUE(fs::is_symlink(site_ / "a.gif.BAK"));
    EXPECT_EQ(ReadText(root_ / "outside.gif"), original);
    for (int kept = 0; kept < 3; ++kept) {
        const fs::path backup = site_ / ("a.gif." + std::to_string(kept + 2) + ".BAK");
        EXPECT_EQ(ReadText(backup), original.substr(0, original.size() - kept));
        EXPECT_EQ(fs::status(backup).permissions(), fs::perms(0640)) << backup;
    }
    EXPECT_EQ(fs::status(gif).permissions(), fs::perms(0640));
    WriteText(gif, original);  // restored from its backup, and run again
    Run({gif}, shrinkOnce);
    EXPECT_FALSE(fs::exists(site_ / "a.gif.5.BAK"));
    WriteOptions createOnly;
    createOnly.createOnly = true;
    EXPECT_FALSE(WriteWholeFile(site_ / "a.gif.2.BAK", ReadBytes(gif).data(), 6, createOnly));
    EXPECT_EQ(ReadText(site_ / "a.gif.2.BAK"), original);
}

// A large file flushed before it counts is written past the system's cache where its memory is
// on a block boundary, through the cache where not, with a short last block through the cache
// either way; one read whole is read in two halves at once. Whatever its size and memory, it
// reads back as written, here and on a memory file system, which refuses writes past the cache.
TEST(WriteWholeFile, LargeFileReadsBackAsWritten) {
    TempDir here;
    std::vector<fs::path> folders = {here.Path()};
    std::error_code error;
    if (fs::is_directory("/dev/shm", error)) {
        folders.push_back("/dev/shm");
    }
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    const FileBytes memory = AllocateFileBytes(9 * kMiB + 2);
    ASSERT_TRUE(memory);
    std::mt19937 random(14);
    std::generate_n(memory.get(), 9 * kMiB + 2, [&random] { return random() >> 24; });
    for (const fs::path& folder : folders) {
        const fs::path file = folder / ("quillon-large-" + std::to_string(::getpid()));
        for (const std::size_t size : {4 * kMiB, 4 * kMiB + 1, 8 * kMiB, 9 * kMiB + 1}) {
            for (const std::uint8_t* bytes : {memory.get(), memory.get() + 1}) {
                SCOPED_TRACE(file.string() + ", " + std::to_string(size) + " bytes" +
                             (bytes == memory.get() ? "" : " off the boundary"));
                ASSERT_TRUE(WriteWholeFile(file, bytes, static_cast<std::uint32_t>(size)));
                const std::vector<std::uint8_t> back = ReadBytes(file);
                EXPECT_TRUE(back.size() == size && std::equal(back.begin(), back.end(), bytes));
                const FileBuffer whole = ReadWholeFile(file);
                EXPECT_TRUE(whole.size == size &&
                            std::equal(whole.data.get(), whole.data.get() + size, bytes));
            }
        }
        fs::remove(file, error);
    }
}

}  // namespace
}  // namespace quillon
