#include "BxCode/BxErrorCode.h"

#include <algorithm>
#include <cstring>

BxErrorCode::BxErrorCode(std::int32_t code, std::int32_t detail, const char* file,
                         std::int32_t line)
    : code_(code), detail_(detail), fileLength_(0), file_{}, line_(line) {
    const std::size_t length = file ? std::min(std::strlen(file), kMaxFileLength) : 0;
    std::memcpy(file_, file ? file : "", length);
    file_[length] = '\0';
    fileLength_ = static_cast<std::uint8_t>(length);
}

std::string_view BxErrorText(std::int32_t code) {
    switch (code) {
        case kBxErrNoMemory:
            return "out of memory";
        case kBxErrMalformedGIF:
            return "malformed GIF data";
        case kBxErrNotGIF:
            return "no GIF signature";
        case kBxErrGIFVersion:
            return "unknown GIF version";
        case kBxErrEndOfFile:
            return "data ends early";
        case kBxErrNoSpace:
            return "no space left on the device";
        case kBxErrOpenDenied:
        case kBxErrBadMode:
            return "permission denied";
        case kBxErrOpenNotFound:
        case kBxErrNoSuchFile:
            return "no such file";
        case kBxErrBitsPerSample:
        case kBxErrNotImplemented:
            return "unsupported image layout";
        default:
            return "image library error";
    }
}

std::string_view BxModuleName(std::string_view sourcePath) {
    constexpr std::string_view kFolder = "BxCode/";
    std::string_view name = sourcePath;
    const std::size_t folder = sourcePath.rfind(kFolder);
    if (folder != std::string_view::npos) {
        name = sourcePath.substr(folder);
    } else if (const std::size_t slash = sourcePath.find_last_of("/\\");
               slash != std::string_view::npos) {
        name = sourcePath.substr(slash + 1);
    }
    const std::size_t dot = name.rfind('.');
    const std::size_t lastSlash = name.rfind('/');
    if (dot != std::string_view::npos && (lastSlash == std::string_view::npos || dot > lastSlash)) {
        name = name.substr(0, dot);
    }
    return name;
}

void BxRaise(BxErrorNumber code, std::int32_t detail, const char* sourceFile, int sourceLine) {
    // The record keeps at most 255 characters; a longer module name is cut there.
    char module[BxErrorCode::kMaxFileLength + 1] = {};
    const std::string_view name = BxModuleName(sourceFile ? sourceFile : "");
    const std::size_t length = std::min(name.size(), BxErrorCode::kMaxFileLength);
    std::memcpy(module, name.data(), length);
    throw BxErrorCode(code, detail, module, sourceLine);
}
