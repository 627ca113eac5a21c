// Helpers shared by the image library's tests: error expectations, in-memory files, and whole-file
// reading and writing through BxGIFFile.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "BxCode/BxErrorCode.h"
#include "BxCode/BxGIFFile.h"
#include "BxCode/BxIndexedImage.h"

namespace quillon::test::bx {

using Bytes = std::vector<std::uint8_t>;

// Concatenates byte groups, so fixtures can be written block by block.
Bytes Cat(std::initializer_list<Bytes> parts);
Bytes Text(const std::string& text);

// A file descriptor over the bytes, positioned at 0 (an anonymous in-memory file).
int MemoryDescriptor(const Bytes& bytes);
// Everything the descriptor's file holds.
Bytes DescriptorBytes(int descriptor);

struct ReadResult {
    std::unique_ptr<BxGIFFile> file;  // still open, positioned after the last frame
    std::vector<std::unique_ptr<BxIndexedImage>> frames;
};
// Opens the bytes as a GIF file and reads every frame; BxErrorCode passes on.
ReadResult ReadGif(const Bytes& bytes);
const BxGIFFrameInfo& InfoOf(const BxIndexedImage& image);
// The pixel values row by row.
Bytes PixelBytes(const BxIndexedImage& image);

// Writes frames (each with the record attached to it, or a new one) after the global record.
Bytes WriteGif(std::uint32_t screenWidth, std::uint32_t screenHeight, const BxGIFGlobalInfo& global,
               const std::vector<const BxIndexedImage*>& frames);
// Writes what was read back out.
Bytes WriteBack(const ReadResult& read);

// Names parameterised cases after their `name` field.
template <typename Case>
std::string CaseName(const testing::TestParamInfo<Case>& param) {
    return param.param.name;
}

// The error number raised by `action`, or 0 when it returns normally.
template <typename Action>
std::int32_t ErrorOf(Action&& action) {
    try {
        action();
    } catch (const BxErrorCode& error) {
        return error.Code();
    }
    return 0;
}

}  // namespace quillon::test::bx
