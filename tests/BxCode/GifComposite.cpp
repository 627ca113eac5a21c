#include "GifComposite.h"

#include <algorithm>
#include <cmath>

namespace quillon::test::gif {

std::vector<Bytes> CompositeFrames(const ReferenceImage& image) {
    const int width = image.screenWidth;
    const int height = image.screenHeight;
    Bytes screen(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0);
    std::vector<Bytes> shown;
    for (const ReferenceFrame& frame : image.frames) {
        const Bytes before = screen;
        const Bytes& palette = frame.palette.empty() ? image.globalPalette : frame.palette;
        for (int y = 0; y < frame.height; ++y) {
            for (int x = 0; x < frame.width; ++x) {
                const int sx = frame.left + x;
                const int sy = frame.top + y;
                if (sx >= width || sy >= height) {
                    continue;
                }
                const int index = frame.pixels[static_cast<std::size_t>(y * frame.width + x)];
                if (frame.transparent && index == frame.transparentIndex) {
                    continue;
                }
                std::uint8_t* out = &screen[(static_cast<std::size_t>(sy) * width + sx) * 3];
                for (int c = 0; c < 3; ++c) {
                    const std::size_t at = static_cast<std::size_t>(index) * 3 + c;
                    out[c] = at < palette.size() ? palette[at] : 0;
                }
            }
        }
        shown.push_back(screen);
        if (frame.disposal == 2) {
            for (int y = frame.top; y < std::min(height, frame.top + frame.height); ++y) {
                for (int x = frame.left; x < std::min(width, frame.left + frame.width); ++x) {
                    std::fill_n(&screen[(static_cast<std::size_t>(y) * width + x) * 3], 3, 0);
                }
            }
        } else if (frame.disposal == 3) {
            screen = before;
        }
    }
    return shown;
}

double Psnr(const Bytes& a, const Bytes& b) {
    if (a.size() != b.size() || a.empty()) {
        return 0.0;
    }
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
        sum += d * d;
    }
    if (sum == 0.0) {
        return 99.0;
    }
    const double mse = sum / static_cast<double>(a.size());
    return std::min(99.0, 10.0 * std::log10(255.0 * 255.0 / mse));
}

}  // namespace quillon::test::gif
