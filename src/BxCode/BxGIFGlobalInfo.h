// What a GIF file keeps outside its frames: version, screen descriptor values, global colour
// table, looping block and comments.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "BxCode/BxColorTable.h"
#include "BxCode/BxImgFmtGlobalInfo.h"

// The bytes of one comment extension, its sub-blocks joined.
class BxGIFComment {
  public:
    BxGIFComment() = default;
    explicit BxGIFComment(std::span<const std::uint8_t> bytes) { Append(bytes); }

    std::size_t Length() const { return bytes_.size(); }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    // Grows the comment by the given bytes (2 when memory runs out).
    void Append(std::span<const std::uint8_t> bytes);

  private:
    std::vector<std::uint8_t> bytes_;
};

class BxGIFGlobalInfo : public BxImgFmtGlobalInfo {
  public:
    std::string FormatName() const override { return "GIF"; }
    // Every field copied, every comment duplicated.
    std::unique_ptr<BxImgFmtGlobalInfo> Clone() const override;

    std::uint32_t version89a = 1;  // 1 writes "89a", 0 "87a"
    std::uint8_t hasGlobalTable = 0;
    std::uint8_t colorResolution = 8;  // bits per primary, 1 to 8
    std::uint16_t declaredTableSize = 0;
    BxColorTable globalTable;
    std::uint8_t sorted = 0;
    std::uint8_t backgroundIndex = 0;
    std::uint8_t hasLoop = 1;
    std::uint16_t loopCount = 0;  // as stored in the looping block
    std::uint8_t aspectRatio = 0;
    std::vector<BxGIFComment> comments;  // in file order
};
