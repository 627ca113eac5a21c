// Geometry shared by the image classes' Rotate: right angles turn pixels exactly, other angles
// map each new pixel back onto the source.
#pragma once

#include <cstdint>
#include <functional>

#include "BxCode/BxColorTable.h"

// 0 to 3 quarter turns when the angle is a right angle (its cosine or sine within 0.00001 of
// +-1), else -1.
int BxQuarterTurns(double angle);

// For a quarter-turned image of w x h: the source pixel of new pixel (x, y).
void BxQuarterTurnSource(int turns, std::uint32_t width, std::uint32_t height, std::uint32_t x,
                         std::uint32_t y, std::uint32_t* sourceX, std::uint32_t* sourceY);

// Maps new pixels of a free rotation back to source coordinates. The new image has odd width and
// height, large enough to hold the whole turned source.
class BxFreeRotation {
  public:
    BxFreeRotation(double angle, std::uint32_t width, std::uint32_t height);

    std::uint32_t NewWidth() const { return newWidth_; }
    std::uint32_t NewHeight() const { return newHeight_; }
    // The source position (in pixel units, pixel centres at whole numbers) of new pixel (x, y).
    void Source(std::uint32_t x, std::uint32_t y, double* sourceX, double* sourceY) const;

  private:
    double cos_;
    double sin_;
    std::uint32_t newWidth_;
    std::uint32_t newHeight_;
    double centreX_;
    double centreY_;
    double newCentreX_;
    double newCentreY_;
};

// Each new pixel mixes the four source pixels nearest to its source position by their overlap;
// `fill` stands in for positions outside the w x h source.
BxColor BxMixFour(const std::function<BxColor(std::uint32_t, std::uint32_t)>& colorAt,
                  std::uint32_t width, std::uint32_t height, double sourceX, double sourceY,
                  BxColor fill);
