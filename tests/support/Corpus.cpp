#include "Corpus.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>

namespace quillon::test {

std::filesystem::path CorpusDir() {
    return QUILLON_CORPUS_DIR;
}

namespace {

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The folder a `## gif/malformed/` heading names; empty for any other heading.
std::string FolderOfHeading(std::string_view line) {
    const std::string_view title = Trimmed(line.substr(3));
    if (title.size() < 2 || title.back() != '/' || title.find(' ') != std::string_view::npos) {
        return {};
    }
    return std::string(title.substr(0, title.size() - 1));
}

// The first two cells of a table row, `| name | bytes | ...`; nothing for the header and the
// rule below it.
std::optional<CorpusEntry> EntryOfRow(std::string_view line, const std::string& folder) {
    if (line.rfind("| ", 0) != 0 || line.rfind("| File |", 0) == 0) {
        return std::nullopt;
    }
    line.remove_prefix(1);
    const auto nameEnd = line.find('|');
    const auto bytesEnd = line.find('|', nameEnd + 1);
    if (bytesEnd == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view bytes = Trimmed(line.substr(nameEnd + 1, bytesEnd - nameEnd - 1));
    CorpusEntry entry{std::filesystem::path(folder) / std::string(Trimmed(line.substr(0, nameEnd))),
                      std::numeric_limits<std::uintmax_t>::max()};  // a size no file has
    std::from_chars(bytes.data(), bytes.data() + bytes.size(), entry.bytes);
    return entry;
}

}  // namespace

std::vector<CorpusEntry> CorpusManifest() {
    std::vector<CorpusEntry> entries;
    std::ifstream readme(CorpusDir() / "README.md");
    std::string folder;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("## ", 0) == 0) {
            folder = FolderOfHeading(line);
        } else if (!folder.empty()) {
            if (auto entry = EntryOfRow(line, folder)) {
                entries.push_back(std::move(*entry));
            }
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

}  // namespace quillon::test
