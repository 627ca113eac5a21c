#include "imageopt/JpegRecompress.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>  // jpeglib.h uses FILE without including its header
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace quillon {
namespace {

// libjpeg's default error handler ends the process; a warning mostly means it patched over
// corrupt data, and a file read that way could decode differently once rewritten. Either way the
// recompression gives up by jumping back to where it began. The one warning that patches nothing
// is stray bytes before a marker: every coefficient was read, the bytes were skipped, and the
// rewritten file holds the same picture without them.
struct ErrorTrap {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void GiveUp(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorTrap*>(cinfo->err)->jump, 1);
}

// Level -1 is a warning; the others are trace messages, which are not errors.
void GiveUpOnWarning(j_common_ptr cinfo, int level) {
    if (level < 0 && cinfo->err->msg_code != JWRN_EXTRANEOUS_DATA) {
        GiveUp(cinfo);
    }
}

// The output buffer holds as much as a result may take and still be kept (less than the file, or
// than the result already in hand): one that overflows it is abandoned there.
void StartOutput(j_compress_ptr) {}
boolean OutputOverflows(j_compress_ptr cinfo) {
    GiveUp(reinterpret_cast<j_common_ptr>(cinfo));
}
void EndOutput(j_compress_ptr) {}

// libjpeg holds every coefficient of the picture, two bytes per sample. A file of a few bytes can
// claim 65500 x 65500 pixels; past this much memory the file is left as it is. The floor covers
// pictures of about 20 megapixels whatever their file size, the ratio sharp photos beyond that.
long CoefficientMemoryLimit(std::size_t fileSize) {
    constexpr std::size_t kFloor = std::size_t{64} << 20;
    constexpr std::size_t kCeiling = std::size_t{1} << 30;
    constexpr std::size_t kPerFileByte = 256;
    const std::size_t scaled =
        fileSize > kCeiling / kPerFileByte ? kCeiling : fileSize * kPerFileByte;
    return static_cast<long>(std::clamp(scaled, kFloor, kCeiling));
}

// A progressive file whose scans stop short of full precision is decoded with libjpeg's block
// smoothing guessing at what is missing; the same coefficients written as complete would decode
// without it, to other pixels. coef_bits holds -1 for a coefficient never sent, else the bits
// still owed.
bool CoefficientsComplete(const jpeg_decompress_struct& source) {
    if (!source.progressive_mode) {
        return true;
    }
    for (int c = 0; c < source.num_components; ++c) {
        for (int k = 0; k < DCTSIZE2; ++k) {
            if (source.coef_bits[c][k] != 0) {
                return false;
            }
        }
    }
    return true;
}

// How many APPn segments libjpeg saved while reading the header: those it saves later stood
// between scans, where they are not the header's and are not copied.
int CountSavedMarkers(const jpeg_decompress_struct& source) {
    int count = 0;
    for (jpeg_saved_marker_ptr m = source.marker_list; m != nullptr; m = m->next) {
        ++count;
    }
    return count;
}

void CopyHeaderMarkers(jpeg_decompress_struct& source, jpeg_compress_struct& target, int count) {
    jpeg_saved_marker_ptr m = source.marker_list;
    for (int i = 0; i < count && m != nullptr; ++i, m = m->next) {
        jpeg_write_marker(&target, m->marker, m->data, m->data_length);
    }
}

// Below this size the progressive scans' own headers and tables often outweigh what they save,
// and one baseline scan is tried as well.
constexpr std::size_t kBaselineTrialBelow = std::size_t{32} << 10;

// Everything libjpeg touches, kept in the caller's frame so that the jump out of an error skips
// no destructor. The error trap is armed by whichever step is running: reading, then each
// attempt at writing in turn; between them no libjpeg call can fail.
struct Transcoder {
    jpeg_decompress_struct source;
    jpeg_compress_struct target;
    ErrorTrap error;
    jpeg_destination_mgr destination;
    jvirt_barray_ptr* coefficients = nullptr;
    int headerMarkers = 0;
    // As the header sets it: a file may set another between its scans.
    unsigned int restartInterval = 0;
};

// Reads the whole file's coefficients; false when libjpeg gave up (both objects are then
// destroyed) or the file must be left as it is.
bool ReadCoefficients(Transcoder& t, std::span<const std::uint8_t> jpeg) {
    t.source.err = jpeg_std_error(&t.error.base);
    t.error.base.error_exit = GiveUp;
    t.error.base.emit_message = GiveUpOnWarning;
    t.target.err = &t.error.base;
    if (setjmp(t.error.jump)) {
        jpeg_destroy_compress(&t.target);
        jpeg_destroy_decompress(&t.source);
        return false;
    }
    jpeg_create_decompress(&t.source);
    jpeg_create_compress(&t.target);
    t.source.mem->max_memory_to_use = CoefficientMemoryLimit(jpeg.size());
    jpeg_mem_src(&t.source, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    for (int app = 0; app < 16; ++app) {
        jpeg_save_markers(&t.source, JPEG_APP0 + app, 0xFFFF);
    }
    if (jpeg_read_header(&t.source, TRUE) == JPEG_HEADER_OK) {
        t.headerMarkers = CountSavedMarkers(t.source);
        t.restartInterval = t.source.restart_interval;
        t.coefficients = jpeg_read_coefficients(&t.source);
    }
    if (t.coefficients == nullptr || !CoefficientsComplete(t.source)) {
        jpeg_destroy_compress(&t.target);
        jpeg_destroy_decompress(&t.source);
        return false;
    }
    return true;
}

void SetUpTarget(Transcoder& t, bool progressive, std::span<std::uint8_t> out) {
    jpeg_copy_critical_parameters(&t.source, &t.target);
    // The header's own JFIF and Adobe segments are copied as they stood, or were dropped on
    // purpose; segments written by libjpeg would add bytes, or tell decoders another colour space.
    t.target.write_JFIF_header = FALSE;
    t.target.write_Adobe_marker = FALSE;
    // Browsers cannot decode arithmetic coding.
    t.target.arith_code = FALSE;
    t.target.optimize_coding = TRUE;
    t.target.restart_interval = t.restartInterval;
    if (progressive) {
        jpeg_simple_progression(&t.target);
    }
    t.destination.next_output_byte = out.data();
    t.destination.free_in_buffer = out.size();
    t.destination.init_destination = StartOutput;
    t.destination.empty_output_buffer = OutputOverflows;
    t.destination.term_destination = EndOutput;
    t.target.dest = &t.destination;
}

// Writes the coefficients out once, baseline or progressive; the length written, or 0 when
// libjpeg gave up or the result overflowed `out`. The target is left ready for another attempt.
std::size_t WriteAttempt(Transcoder& t, bool progressive, std::span<std::uint8_t> out) {
    if (setjmp(t.error.jump)) {
        jpeg_abort_compress(&t.target);
        return 0;
    }
    SetUpTarget(t, progressive, out);
    jpeg_write_coefficients(&t.target, t.coefficients);
    CopyHeaderMarkers(t.source, t.target, t.headerMarkers);
    jpeg_finish_compress(&t.target);
    return out.size() - t.destination.free_in_buffer;
}

// Where every result that fits is small enough for the baseline trial, the baseline scan goes
// first: the progressive one then only has to match it, and is abandoned as soon as it no longer
// can, often one scan before its end. The choice is the one WriteSmallest makes, byte for byte:
// libjpeg hands a buffer on as soon as it is full, so a result fits only where there is a byte
// to spare, and the trial there keeps a baseline result at least two bytes smaller.
std::size_t WriteSmallestOfSmall(Transcoder& t, std::span<std::uint8_t> out) {
    std::vector<std::uint8_t> scratch(out.size());
    const std::size_t baseline = WriteAttempt(t, /*progressive=*/false, scratch);
    const std::size_t room = baseline == 0 ? out.size() : std::min(baseline + 2, out.size());
    const std::size_t progressive = WriteAttempt(t, /*progressive=*/true, out.first(room));
    if (progressive != 0) {
        return progressive;
    }
    std::copy_n(scratch.begin(), baseline, out.begin());
    return baseline;
}

// The progressive result, or the baseline one where that is smaller or the only one that fits.
std::size_t WriteSmallest(Transcoder& t, std::span<std::uint8_t> out) {
    if (out.size() < kBaselineTrialBelow) {
        return WriteSmallestOfSmall(t, out);
    }
    const std::size_t progressive = WriteAttempt(t, /*progressive=*/true, out);
    if (progressive == 0) {
        return WriteAttempt(t, /*progressive=*/false, out);
    }
    if (progressive >= kBaselineTrialBelow) {
        return progressive;
    }
    std::vector<std::uint8_t> scratch(progressive - 1);
    const std::size_t baseline = WriteAttempt(t, /*progressive=*/false, scratch);
    if (baseline == 0) {
        return progressive;
    }
    std::copy_n(scratch.begin(), baseline, out.begin());
    return baseline;
}

std::size_t Write(Transcoder& t, JpegRecompression mode, std::span<std::uint8_t> out) {
    if (mode == JpegRecompression::kProgressive) {
        return WriteSmallest(t, out);
    }
    return WriteAttempt(t, /*progressive=*/false, out);
}

}  // namespace

std::optional<std::size_t> RecompressJpeg(std::span<const std::uint8_t> jpeg,
                                          JpegRecompression mode, std::span<std::uint8_t> out) {
    if (mode == JpegRecompression::kOff || jpeg.empty() || out.empty()) {
        return std::nullopt;
    }
    Transcoder transcoder{};
    if (!ReadCoefficients(transcoder, jpeg)) {
        return std::nullopt;
    }
    const std::size_t written = Write(transcoder, mode, out);
    jpeg_destroy_compress(&transcoder.target);
    jpeg_destroy_decompress(&transcoder.source);
    if (written == 0) {
        return std::nullopt;
    }
    return written;
}

}  // namespace quillon
