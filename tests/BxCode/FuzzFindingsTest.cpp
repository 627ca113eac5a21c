// Inputs the fuzzer (fuzz/fuzz_gif.cpp, run by scripts/fuzz.sh gif) turned up, each kept as a row
// with its bytes spelled out, so that a fixed fault stays fixed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BxTestSupport.h"

namespace quillon::test::bx {
namespace {

struct FindingCase {
    std::string name;
    Bytes file;
    std::int32_t error;  // 0 when the file reads
    std::size_t frames;
    std::uint32_t width;  // of the first frame, when it reads
    std::uint32_t height;
};

void PrintTo(const FindingCase& c, std::ostream* out) {
    *out << c.name;
}

class FoundByFuzzing : public testing::TestWithParam<FindingCase> {};

TEST_P(FoundByFuzzing, EndsInItsDefinedResult) {
    const FindingCase& c = GetParam();
    ReadResult read;
    EXPECT_EQ(ErrorOf([&] { read = ReadGif(c.file); }), c.error);
    if (c.error == 0) {
        ASSERT_EQ(read.frames.size(), c.frames);
        if (!read.frames.empty()) {
            const BxIndexedImage& frame = *read.frames[0];
            EXPECT_EQ(frame.GetWidth(), c.width);
            EXPECT_EQ(frame.GetHeight(), c.height);
            // The data ends at once: every pixel keeps the fill index.
            EXPECT_EQ(frame.PixelAt(0, 0), 0);
            EXPECT_EQ(frame.PixelAt(c.width - 1, c.height - 1), 0);
        }
    }
}

const FindingCase kFoundByFuzzing[] = {
    // A 27 KB input declared a 10026 x 21773 frame (218 M pixels, inside the 256 MiB limit) on a
    // 38550 x 38550 screen with no data to speak of: reading is quick, but the harness then spent
    // over ten seconds compressing the empty frame and timed out. The library behaves as it
    // should; the harness now writes only frames up to 4 M pixels. Its essence, reduced:
    {"HugeFrameFromFewBytes",
     {
         'G',  'I',  'F',  '8',  '9', 'a',  // signature and version
         0x96, 0x96, 0x96, 0x96,            // screen 38550 x 38550
         0x00, 0x00, 0x00,                  // no global table, background 0, aspect 0
         0x2C,                              // image separator
         0x0F, 0x27, 0x25, 0x0C,            // left 9999, top 3109
         0x2A, 0x27, 0x0D, 0x55,            // width 10026, height 21773
         0x00,                              // no local table, not interlaced
         0x00,                              // minimum code size 0
         0x00,                              // no data: the terminator at once
         0x3B,                              // trailer
     },
     0,
     1,
     10026,
     21773},
};

INSTANTIATE_TEST_SUITE_P(FoundByFuzzing, FoundByFuzzing, testing::ValuesIn(kFoundByFuzzing),
                         CaseName<FindingCase>);

}  // namespace
}  // namespace quillon::test::bx
