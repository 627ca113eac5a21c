// What a GIF file says about one frame beyond its pixels: its rectangle on the logical screen,
// its local colour table, interlacing and its graphic control values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "BxCode/BxColorTable.h"
#include "BxCode/BxImgFmtFrameInfo.h"

class BxGIFFrameInfo : public BxImgFmtFrameInfo {
  public:
    std::string FormatName() const override { return "GIF"; }
    std::unique_ptr<BxImgFmtFrameInfo> Clone() const override;

    std::uint16_t left = 0;
    std::uint16_t top = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t hasLocalTable = 1;
    BxColorTable localTable;
    std::uint8_t sorted = 0;
    std::uint8_t interlaced = 0;
    std::uint8_t codeSize = 8;  // LZW minimum code size, as read or as last written
    std::uint8_t hasGraphicControl = 1;
    std::uint16_t delay = 0;  // hundredths of a second
    std::uint8_t userInput = 0;
    std::int32_t disposal = 0;  // 0 to 7
    std::uint8_t transparent = 0;
    std::uint8_t transparentIndex = 0;
};
