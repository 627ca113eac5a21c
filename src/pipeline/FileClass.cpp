#include "pipeline/FileClass.h"

#include <array>

namespace quillon {
namespace {

struct ClassSuffix {
    std::string_view suffix;
    FileClass fileClass;
};

constexpr std::array kSuffixes = {
    ClassSuffix{"HTM", FileClass::kWebPage},   ClassSuffix{"HTML", FileClass::kWebPage},
    ClassSuffix{"SHTML", FileClass::kWebPage}, ClassSuffix{"LASSO", FileClass::kWebPage},
    ClassSuffix{"INCL", FileClass::kWebPage},  ClassSuffix{"ASP", FileClass::kWebPage},
    ClassSuffix{"TXT", FileClass::kWebPage},   ClassSuffix{"INC", FileClass::kWebPage},
    ClassSuffix{"CFM", FileClass::kWebPage},   ClassSuffix{"SSI", FileClass::kWebPage},
    ClassSuffix{"GIF", FileClass::kGif},       ClassSuffix{"JPG", FileClass::kJpeg},
    ClassSuffix{"JPEG", FileClass::kJpeg},
};

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

}  // namespace

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    if (suffix.empty() || suffix.size() > text.size()) {
        return false;
    }
    const std::string_view tail = text.substr(text.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        if (UpperAscii(tail[i]) != UpperAscii(suffix[i])) {
            return false;
        }
    }
    return true;
}

FileClass ClassifyPath(std::string_view path) {
    for (const ClassSuffix& entry : kSuffixes) {
        if (EndsWithNoCase(path, entry.suffix)) {
            return entry.fileClass;
        }
    }
    return FileClass::kNone;
}

std::string_view TypeLabel(FileClass fileClass) {
    switch (fileClass) {
        case FileClass::kWebPage:
            return "HTML File";
        case FileClass::kGif:
            return "GIF File";
        case FileClass::kJpeg:
            return "JPEG File";
        case FileClass::kNone:
            break;
    }
    return {};
}

}  // namespace quillon
