#include "pipeline/FileIO.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

bool Write(const std::filesystem::path& path, std::string_view text) {
    return WriteWholeFile(path, reinterpret_cast<const std::uint8_t*>(text.data()),
                          static_cast<std::uint32_t>(text.size()));
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

TEST(WriteWholeFile, CreatesAMissingFile) {
    TempDir dir;
    ASSERT_TRUE(Write(dir / "index.htm.BAK", "backup"));
    EXPECT_EQ(ReadBytes(dir / "index.htm.BAK"), Bytes("backup"));
}

TEST(WriteWholeFile, WritesThroughASymbolicLink) {
    TempDir dir;
    WriteBytes(dir / "real.htm", Bytes("old"));
    std::filesystem::create_symlink("real.htm", dir / "link.htm");
    ASSERT_TRUE(Write(dir / "link.htm", "new"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.htm"));
    EXPECT_EQ(ReadBytes(dir / "real.htm"), Bytes("new"));
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
