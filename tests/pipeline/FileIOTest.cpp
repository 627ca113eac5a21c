#include "pipeline/FileIO.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <string>

#include "ChildProcess.h"
#include "Corpus.h"
#include "TempDir.h"

namespace quillon {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

bool Write(const std::filesystem::path& path, std::string_view text,
           const WriteOptions& options = {}) {
    return WriteWholeFile(path, reinterpret_cast<const std::uint8_t*>(text.data()),
                          static_cast<std::uint32_t>(text.size()), options);
}

std::size_t EntryCount(const std::filesystem::path& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                  std::filesystem::directory_iterator()));
}

TEST(ReadWholeFile, ReadsTheWholeFile) {
    TempDir dir;
    WriteBytes(dir / "a.htm", Bytes("<p>hello</p>"));
    const FileBuffer buffer = ReadWholeFile(dir / "a.htm");
    ASSERT_TRUE(buffer);
    EXPECT_EQ(std::string(buffer.data.get(), buffer.data.get() + buffer.size), "<p>hello</p>");
}

TEST(ReadWholeFile, GivesNothingForFilesItCannotUse) {
    TempDir dir;
    WriteBytes(dir / "empty.htm", {});
    std::filesystem::create_directory(dir / "folder.htm");
    EXPECT_FALSE(ReadWholeFile(dir / "missing.htm"));
    EXPECT_FALSE(ReadWholeFile(dir / "empty.htm"));
    EXPECT_FALSE(ReadWholeFile(dir / "folder.htm"));
}

TEST(ReadWholeFile, RefusesFilesOfTwoGigabytesOrMore) {
    TempDir dir;
    // A sparse file: the size is there without the disk space.
    std::filesystem::path path = dir / "huge.htm";
    WriteBytes(path, Bytes("x"));
    std::filesystem::resize_file(path, kMaxFileSize + 1);
    EXPECT_FALSE(ReadWholeFile(path));
}

TEST(WriteWholeFile, ReplacesContentAndKeepsPermissionBits) {
    TempDir dir;
    const auto path = dir / "page.htm";
    WriteBytes(path, Bytes("old content, longer"));
    std::filesystem::permissions(path, std::filesystem::perms(0640));

    ASSERT_TRUE(Write(path, "new"));
    EXPECT_EQ(ReadBytes(path), Bytes("new"));
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));
    EXPECT_EQ(EntryCount(dir.Path()), 1u) << "no temporary file is left behind";
}

TEST(WriteWholeFile, ReplacesASymbolicLinkInsteadOfWritingThroughIt) {
    TempDir dir;
    WriteBytes(dir / "outside.htm", Bytes("old"));
    std::filesystem::create_symlink(dir / "outside.htm", dir / "link.htm");
    ASSERT_TRUE(Write(dir / "link.htm", "new"));
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "link.htm"));
    EXPECT_EQ(ReadBytes(dir / "link.htm"), Bytes("new"));
    EXPECT_EQ(ReadBytes(dir / "outside.htm"), Bytes("old"));
}

// A replacement of a file that was read is refused when the name no longer holds that file:
// appended to, rewritten, or swapped for a link.
TEST(WriteWholeFile, RefusesToReplaceAFileThatChangedSinceItWasRead) {
    const std::pair<const char*, std::function<void(const std::filesystem::path&)>> changes[] = {
        {"appended", [](const auto& path) { std::ofstream(path, std::ios::app) << "more"; }},
        {"replaced", [](const auto& path) { WriteBytes(path, Bytes("other bytes")); }},
        {"linked",
         [](const auto& path) {
             std::filesystem::rename(path, path.string() + ".moved");
             std::filesystem::create_symlink(path.string() + ".moved", path);
         }},
    };
    for (const auto& [name, change] : changes) {
        SCOPED_TRACE(name);
        TempDir dir;
        const auto path = dir / "log.htm";
        WriteBytes(path, Bytes("first line\n"));
        const FileBuffer read = ReadWholeFile(path);
        ASSERT_TRUE(read);
        change(path);
        const auto changed = ReadBytes(path);
        WriteOptions options;
        options.unchangedSince = &read.stamp;
        std::string failure;
        EXPECT_FALSE(WriteWholeFile(path, read.data.get(), 5, options, &failure));
        EXPECT_FALSE(failure.empty());
        EXPECT_EQ(ReadBytes(path), changed);
    }
}

// Backups are made next to their file with its permission bits, and never replace anything.
TEST(WriteWholeFile, NewFileTakesTheAttributesOfItsSourceAndReplacesNothing) {
    TempDir dir;
    const auto original = dir / "private.htm";
    WriteBytes(original, Bytes("secret"));
    std::filesystem::permissions(original, std::filesystem::perms(0600));
    const mode_t mask = ::umask(0);
    WriteOptions options;
    options.attributesFrom = original;
    options.createOnly = true;
    const bool made = Write(dir / "private.htm.BAK", "secret", options);
    const bool replaced = Write(dir / "private.htm.BAK", "other", options);
    ::umask(mask);
    ASSERT_TRUE(made);
    EXPECT_FALSE(replaced);
    EXPECT_EQ(ReadBytes(dir / "private.htm.BAK"), Bytes("secret"));
    EXPECT_EQ(std::filesystem::status(dir / "private.htm.BAK").permissions(),
              std::filesystem::perms(0600));
    EXPECT_EQ(EntryCount(dir.Path()), 2u) << "no temporary file is left behind";
}

TEST(WriteWholeFile, FailureInAReadOnlyFolderLeavesTheTargetUntouched) {
    TempDir dir;
    const auto folder = dir / "locked";
    std::filesystem::create_directory(folder);
    WriteBytes(folder / "page.htm", Bytes("original"));
    std::filesystem::permissions(folder, std::filesystem::perms(0555));

    const int result = test::RunInChild([&] {
        if (!test::DropPrivileges()) {
            return 2;
        }
        return Write(folder / "page.htm", "replacement") ? 1 : 0;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadBytes(folder / "page.htm"), Bytes("original"));
    EXPECT_EQ(EntryCount(folder), 1u);
}

TEST(WriteWholeFile, WriteCutShortByAFileSizeLimitLeavesTheTargetUntouched) {
    TempDir dir;
    const auto path = dir / "page.htm";
    const std::string original(100, 'o');
    WriteBytes(path, Bytes(original));

    const int result = test::RunInChild([&] {
        if (!test::LimitFileSize(1000)) {
            return 2;
        }
        return Write(path, std::string(5000, 'n')) ? 1 : 0;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadBytes(path), Bytes(original));
    EXPECT_EQ(EntryCount(dir.Path()), 1u);
}

}  // namespace
}  // namespace quillon
