// The corpus README against the folder. The tests take their lists of files from the README, so
// a file lost from the folder, or one added without its row, is caught here.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <vector>

#include "Corpus.h"

namespace quillon::test {
namespace {

TEST(CorpusManifest, ListsExactlyTheFilesOnDisk) {
    std::map<std::filesystem::path, std::uintmax_t> onDisk;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(CorpusDir())) {
        if (entry.is_regular_file() && entry.path().filename() != "README.md") {
            onDisk[entry.path().lexically_relative(CorpusDir())] = entry.file_size();
        }
    }
    const std::vector<CorpusEntry> listed = CorpusManifest();
    EXPECT_FALSE(listed.empty()) << "no file rows in " << CorpusDir() / "README.md";
    for (const CorpusEntry& entry : listed) {
        const auto found = onDisk.find(entry.relativePath);
        if (found == onDisk.end()) {
            ADD_FAILURE() << entry.relativePath << " is listed but not on disk (or listed twice)";
            continue;
        }
        EXPECT_EQ(found->second, entry.bytes) << entry.relativePath << ": size in the README";
        onDisk.erase(found);
    }
    for (const auto& [path, bytes] : onDisk) {
        ADD_FAILURE() << path << " (" << bytes << " bytes) has no row in the README";
    }
}

}  // namespace
}  // namespace quillon::test
