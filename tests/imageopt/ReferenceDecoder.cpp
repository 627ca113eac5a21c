#include "ReferenceDecoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace quillon::test {
namespace {

// Keeps a corrupt dimension field (such as 65535x65535) from asking for gigabytes: the pixels
// are checked once their size is known, libjpeg's own buffers (a progressive picture's
// coefficients, taken before the first pixel) by its memory limit.
constexpr std::size_t kMaxPixelBytes = 64u << 20;
constexpr long kMaxLibjpegBytes = 256l << 20;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

// libjpeg's default error handler exits the process; a test must survive a bad file instead.
[[noreturn]] void JumpOut(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void Quiet(j_common_ptr) {}

// Lives in the caller's frame so that nothing longjmp skips over holds a value it needs.
struct Session {
    jpeg_decompress_struct cinfo;
    ErrorManager error;
};

bool ReadPixels(Session& s, DecodedJpeg& out) {
    jpeg_start_decompress(&s.cinfo);
    const std::size_t stride = std::size_t{s.cinfo.output_width} * s.cinfo.output_components;
    if (stride == 0 || s.cinfo.output_height > kMaxPixelBytes / stride) {
        return false;
    }
    out.pixels.resize(stride * s.cinfo.output_height);
    // One row per round; a call that returns no row would repeat forever, so it ends the loop.
    while (s.cinfo.output_scanline < s.cinfo.output_height) {
        JSAMPROW row = out.pixels.data() + stride * s.cinfo.output_scanline;
        if (jpeg_read_scanlines(&s.cinfo, &row, 1) != 1) {
            return false;
        }
    }
    jpeg_finish_decompress(&s.cinfo);
    return true;
}

void ReadMarkers(Session& s, DecodedJpeg& out) {
    JOCTET* icc = nullptr;
    unsigned int iccLength = 0;
    if (jpeg_read_icc_profile(&s.cinfo, &icc, &iccLength)) {
        out.iccProfile.assign(icc, icc + iccLength);
        std::free(icc);
    }
    for (jpeg_saved_marker_ptr m = s.cinfo.marker_list; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 + 1) {
            out.app1Payloads.emplace_back(m->data, m->data + m->data_length);
        }
    }
}

bool DecodeInto(Session& s, std::span<const std::uint8_t> bytes, DecodeDepth depth,
                DecodedJpeg& out) {
    s.cinfo.err = jpeg_std_error(&s.error.base);
    s.error.base.error_exit = JumpOut;
    s.error.base.output_message = Quiet;
    if (setjmp(s.error.jump)) {
        jpeg_destroy_decompress(&s.cinfo);
        return false;
    }
    jpeg_create_decompress(&s.cinfo);
    s.cinfo.mem->max_memory_to_use = kMaxLibjpegBytes;
    jpeg_mem_src(&s.cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_save_markers(&s.cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&s.cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&s.cinfo, TRUE);
    out.scanDataOffset = bytes.size() - s.cinfo.src->bytes_in_buffer;
    out.colorSpace = s.cinfo.jpeg_color_space;
    out.sawJfif = s.cinfo.saw_JFIF_marker;
    out.sawAdobe = s.cinfo.saw_Adobe_marker;
    out.adobeTransform = s.cinfo.saw_Adobe_marker ? s.cinfo.Adobe_transform : -1;
    out.progressive = s.cinfo.progressive_mode;
    out.arithmetic = s.cinfo.arith_code;
    out.restartInterval = s.cinfo.restart_interval;
    ReadMarkers(s, out);
    bool ok = true;
    if (depth == DecodeDepth::kPixels) {
        ok = ReadPixels(s, out);
        out.width = static_cast<int>(s.cinfo.output_width);
        out.height = static_cast<int>(s.cinfo.output_height);
        out.components = s.cinfo.output_components;
    } else {
        out.width = static_cast<int>(s.cinfo.image_width);
        out.height = static_cast<int>(s.cinfo.image_height);
        out.components = s.cinfo.num_components;
    }
    out.warnings = static_cast<int>(s.error.base.num_warnings);
    jpeg_destroy_decompress(&s.cinfo);
    return ok;
}

}  // namespace

std::optional<DecodedJpeg> DecodeWithLibjpeg(std::span<const std::uint8_t> bytes,
                                             DecodeDepth depth) {
    Session session{};
    DecodedJpeg decoded;
    if (!DecodeInto(session, bytes, depth, decoded)) {
        return std::nullopt;
    }
    return decoded;
}

}  // namespace quillon::test
