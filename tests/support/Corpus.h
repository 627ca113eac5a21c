// Access to the sample files (pages, JPEGs, GIFs) in tests/corpus that the tests run on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::test {

// tests/corpus in the source tree.
std::filesystem::path CorpusDir();

// A file the corpus README lists: its path below CorpusDir() and its size in bytes.
struct CorpusEntry {
    std::filesystem::path relativePath;
    std::uintmax_t bytes = 0;
};

// Every row of the README's folder tables, in README order. The README, not the folder, is the
// list of corpus files, so a lost file fails its tests instead of dropping them.
std::vector<CorpusEntry> CorpusManifest();

// The listed files in CorpusDir()/folder whose name ends in one of the extensions (lower case,
// with the dot), sorted by name.
std::vector<std::filesystem::path> CorpusFiles(const std::string& folder,
                                               const std::vector<std::string>& extensions);

// The whole file; an empty vector when it cannot be read.
std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// The same for text; WriteText creates the folders the file needs.
std::string ReadText(const std::filesystem::path& path);
void WriteText(const std::filesystem::path& path, std::string_view text);

// Every regular file below folder, relative to it, sorted.
std::vector<std::string> Tree(const std::filesystem::path& folder);

}  // namespace quillon::test
