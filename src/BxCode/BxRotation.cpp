#include "BxCode/BxRotation.h"

#include <cmath>
#include <numbers>

#include "BxCode/BxErrorCode.h"

namespace {

constexpr double kRightAngleLimit = 0.99999;

std::uint32_t OddExtent(double extent) {
    // The new image never exceeds what a pixel buffer may hold; larger asks fail as memory.
    if (!(extent < 1 << 30)) {
        BxRaise(kBxErrNoMemory);
    }
    auto whole = static_cast<std::uint32_t>(std::ceil(extent));
    return whole % 2 == 0 ? whole + 1 : whole;
}

}  // namespace

int BxQuarterTurns(double angle) {
    if (!std::isfinite(angle)) {
        BxRaise(kBxErrBadArgument);
    }
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    if (c > kRightAngleLimit) {
        return 0;
    }
    if (s > kRightAngleLimit) {
        return 1;
    }
    if (c < -kRightAngleLimit) {
        return 2;
    }
    if (s < -kRightAngleLimit) {
        return 3;
    }
    return -1;
}

void BxQuarterTurnSource(int turns, std::uint32_t width, std::uint32_t height, std::uint32_t x,
                         std::uint32_t y, std::uint32_t* sourceX, std::uint32_t* sourceY) {
    switch (turns) {
        case 1:  // counter-clockwise: the source's right column becomes the top row
            *sourceX = width - 1 - y;
            *sourceY = x;
            return;
        case 2:
            *sourceX = width - 1 - x;
            *sourceY = height - 1 - y;
            return;
        case 3:
            *sourceX = y;
            *sourceY = height - 1 - x;
            return;
        default:
            *sourceX = x;
            *sourceY = y;
            return;
    }
}

BxFreeRotation::BxFreeRotation(double angle, std::uint32_t width, std::uint32_t height)
    : cos_(std::cos(angle)),
      sin_(std::sin(angle)),
      newWidth_(OddExtent(std::abs(width * cos_) + std::abs(height * sin_))),
      newHeight_(OddExtent(std::abs(width * sin_) + std::abs(height * cos_))),
      centreX_((width - 1.0) / 2),
      centreY_((height - 1.0) / 2),
      newCentreX_((newWidth_ - 1.0) / 2),
      newCentreY_((newHeight_ - 1.0) / 2) {}

void BxFreeRotation::Source(std::uint32_t x, std::uint32_t y, double* sourceX,
                            double* sourceY) const {
    // Rows run downwards, so a counter-clockwise turn on screen is (dx, dy) -> (dx cos + dy sin,
    // -dx sin + dy cos); this is its inverse.
    const double dx = x - newCentreX_;
    const double dy = y - newCentreY_;
    *sourceX = centreX_ + dx * cos_ - dy * sin_;
    *sourceY = centreY_ + dx * sin_ + dy * cos_;
}

BxColor BxMixFour(const std::function<BxColor(std::uint32_t, std::uint32_t)>& colorAt,
                  std::uint32_t width, std::uint32_t height, double sourceX, double sourceY,
                  BxColor fill) {
    const double left = std::floor(sourceX);
    const double top = std::floor(sourceY);
    const double fx = sourceX - left;
    const double fy = sourceY - top;
    double red = 0;
    double green = 0;
    double blue = 0;
    for (int dy = 0; dy < 2; ++dy) {
        for (int dx = 0; dx < 2; ++dx) {
            const double weight = (dx ? fx : 1 - fx) * (dy ? fy : 1 - fy);
            const double px = left + dx;
            const double py = top + dy;
            const bool inside = px >= 0 && py >= 0 && px < width && py < height;
            const BxColor color =
                inside ? colorAt(static_cast<std::uint32_t>(px), static_cast<std::uint32_t>(py))
                       : fill;
            red += weight * BxRedOf(color);
            green += weight * BxGreenOf(color);
            blue += weight * BxBlueOf(color);
        }
    }
    return BxPackColor(static_cast<std::uint8_t>(std::lround(red)),
                       static_cast<std::uint8_t>(std::lround(green)),
                       static_cast<std::uint8_t>(std::lround(blue)));
}
