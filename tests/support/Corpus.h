// Access to the shared sample files (pages, JPEGs, GIFs) that tests and benchmarks run on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::test {

// The corpus folder; see QUILLON_CORPUS_DIR in the build.
std::filesystem::path CorpusDir();

// True when the corpus is present. When it is absent a test skips, unless the environment sets
// QUILLON_REQUIRE_CORPUS (as CI does), in which case the absence is a failure.
bool CorpusAvailable();

// Every regular file directly in CorpusDir()/folder whose name ends in one of the extensions
// (lower case, with the dot), sorted by name.
std::vector<std::filesystem::path> CorpusFiles(const std::string& folder,
                                               const std::vector<std::string>& extensions);

// The whole file; an empty vector when it cannot be read.
std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// The same for text; WriteText creates the folders the file needs.
std::string ReadText(const std::filesystem::path& path);
void WriteText(const std::filesystem::path& path, std::string_view text);

}  // namespace quillon::test

// Skips the current test when the corpus is missing (fails when it is required).
#define QUILLON_REQUIRE_CORPUS()                                                  \
    do {                                                                          \
        if (!::quillon::test::CorpusAvailable()) {                                \
            if (std::getenv("QUILLON_REQUIRE_CORPUS")) {                          \
                FAIL() << "corpus missing at " << ::quillon::test::CorpusDir();   \
            }                                                                     \
            GTEST_SKIP() << "corpus missing at " << ::quillon::test::CorpusDir(); \
        }                                                                         \
    } while (false)
