// The image library's one error record. Every failure in BxCode is thrown as a BxErrorCode, by
// value, through BxRaise; nothing in the library returns a status instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string_view>
#include <utility>

// The error numbers are a contract with the library's callers (the GIF stage logs and branches on
// them), so a number never changes meaning. Throw sites always name one of these.
enum BxErrorNumber : std::int32_t {
    kBxErrFile = 1,             // an operating-system file error with no more specific code
    kBxErrNoMemory = 2,         // memory could not be obtained
    kBxErrStopped = 3,          // a long operation was stopped by its observer
    kBxErrNoPath = 4,           // open without a path and without a descriptor
    kBxErrBadMode = 5,          // open mode other than 1, 2, 3; permission denied outside opening
    kBxErrNoSuchFile = 8,       // no such file, outside opening
    kBxErrTooManyFiles = 9,     // too many open files, or "try again"
    kBxErrOpenNotFound = 10,    // no such file while opening
    kBxErrAlreadyOpen = 11,     // open of a file that is open
    kBxErrAccess = 12,          // read or write the mode does not allow; exists or invalid on open
    kBxErrOpenDenied = 14,      // permission denied while opening
    kBxErrNotOpen = 15,         // read, write, length, close or tell on a closed file
    kBxErrCrossDevice = 17,     // cross-device link
    kBxErrEndOfFile = 18,       // a read found the end of the file
    kBxErrBadDescriptor = 20,   // bad descriptor; every failed system read and close
    kBxErrBadArgument = 21,     // bad seek origin, invalid argument; things that must agree do not
    kBxErrNoSpace = 22,         // no space left on the device
    kBxErrMissing = 27,         // a required part or argument is absent
    kBxErrMalformedGIF = 28,    // a GIF stream is malformed
    kBxErrOutOfRange = 29,      // result out of range from the system
    kBxErrFileExists = 31,      // file exists, outside opening
    kBxErrNotGIF = 32,          // no GIF signature
    kBxErrGIFVersion = 33,      // version neither "87a" nor "89a"
    kBxErrNotImplemented = 37,  // an operation the class does not implement
    kBxErrBitsPerSample = 38,   // bits per sample other than 1, 8 or 16
};

class BxErrorCode {
  public:
    // The module name is stored with a one-byte length, so at most this many characters survive.
    static constexpr std::size_t kMaxFileLength = 255;

    BxErrorCode(std::int32_t code, std::int32_t detail, const char* file, std::int32_t line);

    std::int32_t Code() const { return code_; }
    // The operating-system error number behind the failure, or 0.
    std::int32_t Detail() const { return detail_; }
    // The module that raised it, as "BxCode/BxGIFFile".
    std::string_view File() const { return {file_, fileLength_}; }
    std::int32_t Line() const { return line_; }

  private:
    std::int32_t code_;
    std::int32_t detail_;
    std::uint8_t fileLength_;
    char file_[kMaxFileLength + 1];  // zero-terminated; fileLength_ characters are meaningful
    std::int32_t line_;
};

// A short English description of an error number, for logs ("malformed GIF data").
std::string_view BxErrorText(std::int32_t code);

// The module name for a source path: from its last "BxCode/" on, without the extension
// ("/src/BxCode/BxGIFFile.cpp" gives "BxCode/BxGIFFile"); a path outside BxCode gives its base
// name without the extension.
std::string_view BxModuleName(std::string_view sourcePath);

// The one way the library raises an error: records the calling module and line and throws. The
// place defaults to the caller's (the builtins are evaluated where the call is written).
[[noreturn]] void BxRaise(BxErrorNumber code, std::int32_t detail = 0,
                          const char* sourceFile = __builtin_FILE(),
                          int sourceLine = __builtin_LINE());

// Allocates a T the library's way: exhausted memory is raised as kBxErrNoMemory, never thrown as
// std::bad_alloc.
template <typename T, typename... Args>
std::unique_ptr<T> BxMake(Args&&... args) {
    T* made = new (std::nothrow) T(std::forward<Args>(args)...);
    if (!made) {
        BxRaise(kBxErrNoMemory);
    }
    return std::unique_ptr<T>(made);
}
