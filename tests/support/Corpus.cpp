#include "Corpus.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <regex>

namespace quillon::test {

std::filesystem::path CorpusDir() {
    return QUILLON_CORPUS_DIR;
}

// A `## gif/malformed/` heading opens a folder's table (any other heading ends it); its rows
// begin `| name | bytes |`, and the header and the rule below it have no bytes to match.
std::vector<CorpusEntry> CorpusManifest() {
    static const std::regex heading(R"(^## (\S+)/\s*$)");
    static const std::regex row(R"(^\| *([^|]*[^| ]) *\| *([0-9]+) *\|)");
    std::vector<CorpusEntry> entries;
    std::ifstream readme(CorpusDir() / "README.md");
    std::string folder;
    std::smatch match;
    for (std::string line; std::getline(readme, line);) {
        if (line.starts_with("## ")) {
            folder = std::regex_match(line, match, heading) ? match[1].str() : "";
        } else if (!folder.empty() && std::regex_search(line, match, row)) {
            entries.push_back(
                {std::filesystem::path(folder) / match[1].str(), std::stoull(match[2].str())});
        }
    }
    return entries;
}

std::vector<std::filesystem::path> CorpusFiles(const std::string& folder,
                                               const std::vector<std::string>& extensions) {
    std::vector<std::filesystem::path> files;
    for (const CorpusEntry& entry : CorpusManifest()) {
        std::string extension = entry.relativePath.extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        if (entry.relativePath.parent_path() == folder &&
            std::find(extensions.begin(), extensions.end(), extension) != extensions.end()) {
            files.push_back(CorpusDir() / entry.relativePath);
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::string ReadText(const std::filesystem::path& path) {
    const std::vector<std::uint8_t> bytes = ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

void WriteText(const std::filesystem::path& path, std::string_view text) {
    std::filesystem::create_directories(path.parent_path());
    WriteBytes(path, {text.begin(), text.end()});
}

std::vector<std::string> Tree(const std::filesystem::path& folder) {
    std::vector<std::string> files;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file()) {
            files.push_back(it->path().lexically_relative(folder).string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace quillon::test
