#include "pipeline/FileClass.h"

namespace quillon {
namespace {

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

}  // namespace quillon
