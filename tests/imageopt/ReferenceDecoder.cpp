#include "ReferenceDecoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <utility>

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

// Lives in the caller's frame so that nothing longjmp skips over holds a value it needs.
struct Session {
    jpeg_decompress_struct cinfo;
    ErrorManager error;
};

bool ReadPixels(jpeg_decompress_struct& cinfo, DecodedJpeg& out) {
    jpeg_start_decompress(&cinfo);
    const std::size_t stride = std::size_t{cinfo.output_width} * cinfo.output_components;
    if (stride == 0 || cinfo.output_height > kMaxPixelBytes / stride) {
        return false;
    }
    out.pixels.resize(stride * cinfo.output_height);
    // One row per round; a call that returns no row would repeat forever, so it ends the loop.
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.pixels.data() + stride * cinfo.output_scanline;
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) {
            return false;
        }
    }
    jpeg_finish_decompress(&cinfo);
    out.width = static_cast<int>(cinfo.output_width);
    out.height = static_cast<int>(cinfo.output_height);
    out.components = cinfo.output_components;
    return true;
}

bool DecodeInto(Session& s, std::span<const std::uint8_t> bytes, DecodeDepth depth,
                DecodedJpeg& out) {
    jpeg_decompress_struct& cinfo = s.cinfo;
    cinfo.err = jpeg_std_error(&s.error.base);
    s.error.base.error_exit = JumpOut;
    s.error.base.output_message = [](j_common_ptr) {};
    if (setjmp(s.error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kMaxLibjpegBytes;
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    for (int code = JPEG_APP0; code <= JPEG_APP0 + 15; ++code) {
        jpeg_save_markers(&cinfo, code, 0xFFFF);
    }
    jpeg_save_markers(&cinfo, JPEG_COM, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);
    out.width = static_cast<int>(cinfo.image_width);
    out.height = static_cast<int>(cinfo.image_height);
    out.components = cinfo.num_components;
    out.colorSpace = cinfo.jpeg_color_space;
    out.sawAdobe = cinfo.saw_Adobe_marker;
    out.adobeTransform = cinfo.saw_Adobe_marker ? cinfo.Adobe_transform : -1;
    out.progressive = cinfo.progressive_mode;
    out.arithmetic = cinfo.arith_code;
    out.restartInterval = cinfo.restart_interval;
    JOCTET* icc = nullptr;
    unsigned int iccLength = 0;
    if (jpeg_read_icc_profile(&cinfo, &icc, &iccLength)) {
        out.iccProfile.assign(icc, icc + iccLength);
        std::free(icc);
    }
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next) {
        out.segments.emplace_back(m->marker, std::vector(m->data, m->data + m->data_length));
    }
    const bool ok = depth == DecodeDepth::kHeaderOnly || ReadPixels(cinfo, out);
    out.warnings = static_cast<int>(s.error.base.num_warnings);
    jpeg_destroy_decompress(&cinfo);
    return ok;
}

}  // namespace

std::optional<DecodedJpeg> DecodeWithLibjpeg(std::span<const std::uint8_t> bytes,
                                             DecodeDepth depth) {
    Session session{};
    DecodedJpeg decoded;
    return DecodeInto(session, bytes, depth, decoded) ? std::optional(std::move(decoded))
                                                      : std::nullopt;
}

}  // namespace quillon::test
