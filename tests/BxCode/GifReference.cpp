#include "GifReference.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>

namespace quillon::test::gif {
namespace {

struct MemoryInput {
    const Bytes* bytes;
    std::size_t position;
};

int ReadFromMemory(GifFileType* file, GifByteType* destination, int count) {
    auto* input = static_cast<MemoryInput*>(file->UserData);
    const std::size_t available = input->bytes->size() - input->position;
    const std::size_t taken = std::min<std::size_t>(available, static_cast<std::size_t>(count));
    std::memcpy(destination, input->bytes->data() + input->position, taken);
    input->position += taken;
    return static_cast<int>(taken);
}

int WriteToMemory(GifFileType* file, const GifByteType* source, int count) {
    auto* output = static_cast<Bytes*>(file->UserData);
    output->insert(output->end(), source, source + count);
    return count;
}

Bytes PaletteOf(const ColorMapObject* map) {
    Bytes palette;
    if (!map) {
        return palette;
    }
    for (int i = 0; i < map->ColorCount; ++i) {
        palette.push_back(map->Colors[i].Red);
        palette.push_back(map->Colors[i].Green);
        palette.push_back(map->Colors[i].Blue);
    }
    return palette;
}

std::string ErrorText(int code) {
    const char* text = GifErrorString(code);
    return text ? text : "giflib error " + std::to_string(code);
}

}  // namespace

ReferenceImage DecodeWithGiflib(const Bytes& file) {
    ReferenceImage result;
    MemoryInput input{&file, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&input, ReadFromMemory, &error);
    if (!gif) {
        result.error = ErrorText(error);
        return result;
    }
    result.screenWidth = gif->SWidth;
    result.screenHeight = gif->SHeight;
    result.globalPalette = PaletteOf(gif->SColorMap);
    ReferenceFrame pending;  // carries the graphic control values seen before an image
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
            result.error = ErrorText(gif->Error);
            break;
        }
        if (type == TERMINATE_RECORD_TYPE) {
            result.ok = true;
            break;
        }
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) {
                result.error = ErrorText(gif->Error);
                break;
            }
            if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
                pending.hasGraphicControl = true;
                pending.disposal = (block[1] >> 2) & 7;
                pending.userInput = (block[1] >> 1) & 1;
                pending.transparent = block[1] & 1;
                pending.delay = block[2] | (block[3] << 8);
                pending.transparentIndex = block[4];
            }
            if (code == COMMENT_EXT_FUNC_CODE) {
                result.comments.emplace_back();
            }
            bool failed = false;
            while (block) {
                if (code == COMMENT_EXT_FUNC_CODE) {
                    result.comments.back().insert(result.comments.back().end(), block + 1,
                                                  block + 1 + block[0]);
                }
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
                    failed = true;
                    break;
                }
            }
            if (failed) {
                result.error = ErrorText(gif->Error);
                break;
            }
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) {
            continue;
        }
        if (DGifGetImageDesc(gif) == GIF_ERROR) {
            result.error = ErrorText(gif->Error);
            break;
        }
        ReferenceFrame frame = pending;
        pending = ReferenceFrame{};
        const GifImageDesc& desc = gif->Image;
        frame.left = desc.Left;
        frame.top = desc.Top;
        frame.width = desc.Width;
        frame.height = desc.Height;
        frame.interlaced = desc.Interlace;
        frame.hasLocalTable = desc.ColorMap != nullptr;
        frame.palette = desc.ColorMap ? PaletteOf(desc.ColorMap) : result.globalPalette;
        frame.pixels.assign(static_cast<std::size_t>(frame.width) * frame.height, 0);
        std::vector<int> order;
        if (frame.interlaced) {
            const int starts[] = {0, 4, 2, 1};
            const int steps[] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass) {
                for (int y = starts[pass]; y < frame.height; y += steps[pass]) {
                    order.push_back(y);
                }
            }
        } else {
            for (int y = 0; y < frame.height; ++y) {
                order.push_back(y);
            }
        }
        bool failed = false;
        for (int y : order) {
            GifPixelType* row = frame.pixels.data() + static_cast<std::size_t>(y) * frame.width;
            if (DGifGetLine(gif, row, frame.width) == GIF_ERROR) {
                failed = true;
                break;
            }
        }
        if (failed) {
            result.error = ErrorText(gif->Error);
            result.frames.push_back(std::move(frame));
            break;
        }
        result.frames.push_back(std::move(frame));
    }
    DGifCloseFile(gif, &error);
    return result;
}

Bytes EncodeWithGiflib(int width, int height, const Bytes& palette, const Bytes& pixels) {
    Bytes output;
    int error = 0;
    GifFileType* gif = EGifOpen(&output, WriteToMemory, &error);
    if (!gif) {
        return output;
    }
    const int colors = static_cast<int>(palette.size() / 3);
    int size = 2;
    while (size < colors) {
        size *= 2;
    }
    ColorMapObject* map = GifMakeMapObject(size, nullptr);
    for (int i = 0; i < colors; ++i) {
        map->Colors[i] = GifColorType{palette[3 * i], palette[3 * i + 1], palette[3 * i + 2]};
    }
    int bits = 1;
    while ((1 << bits) < size) {
        ++bits;
    }
    EGifPutScreenDesc(gif, width, height, bits, 0, map);
    EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr);
    Bytes row(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        std::copy_n(pixels.begin() + static_cast<std::ptrdiff_t>(y) * width, width, row.begin());
        EGifPutLine(gif, row.data(), width);
    }
    GifFreeMapObject(map);
    EGifCloseFile(gif, &error);
    return output;
}

}  // namespace quillon::test::gif
