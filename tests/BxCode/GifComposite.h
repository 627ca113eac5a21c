// What a viewer shows: the frames of a decoded GIF drawn one after the other onto the logical
// screen, with transparency and the disposal methods honoured. Cleared areas are black.
#pragma once

#include <cstdint>
#include <vector>

#include "GifReference.h"

namespace quillon::test::gif {

// One RGB screen (3 bytes per pixel) per frame, as shown while that frame is displayed.
std::vector<Bytes> CompositeFrames(const ReferenceImage& image);

// Peak signal-to-noise ratio of two screens of equal size, in dB; identical screens give 99.
double Psnr(const Bytes& a, const Bytes& b);

}  // namespace quillon::test::gif
