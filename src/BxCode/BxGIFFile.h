// A GIF file, read frame by frame and written back. Opening for reading reads the header, the
// screen descriptor and the global colour table, then walks every block once to index the frames
// (collecting comments and the loop count on the way); frames are then read by seeking to their
// index entries. Writing is the reverse; the pixel compression is BxLZWDecoder/BxLZWEncoder.
//
// What survives a read and write: screen size, global table, background index, aspect byte,
// colour resolution, sort flag, version, the looping block, comments, and per frame its position,
// size, colour table, interlacing, graphic control values and pixels. Plain text extensions,
// other application extensions and unknown extensions are skipped and never written.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "BxCode/BxGIFFrameInfo.h"
#include "BxCode/BxGIFGlobalInfo.h"
#include "BxCode/BxImageFile.h"

// The smallest k from 1 to 8 with count <= 2^k: the code width a colour table is stored with.
// A count of 0 or above 256 raises 21.
unsigned BxGIFCodeWidth(std::size_t count);

class BxGIFFile : public BxImageFile {
  public:
    // Where one image descriptor and its graphic control block lie, and what they claim: the
    // size and disposal are kept so that a reader can weigh what decoding every frame would cost
    // before a single pixel is allocated.
    struct FrameIndexEntry {
        bool hasGraphicControl = false;
        std::int64_t graphicControlPosition = 0;  // the block-size byte of the graphic control
        std::int64_t imagePosition = 0;           // the first byte after the image separator
        std::uint16_t width = 0;                  // as the descriptor says, screen or not
        std::uint16_t height = 0;
        std::uint8_t disposal = 0;  // of the graphic control, 0 without one
    };

    BxGIFFile() = default;
    ~BxGIFFile() override;

    // Seeks to 0 and checks the signature and version; 32 and 33 answer false, any other error
    // passes on.
    bool IsGIFFile();
    std::uint32_t GetIndexedFrameCount() const { return static_cast<std::uint32_t>(index_.size()); }
    const std::vector<FrameIndexEntry>& FrameIndex() const { return index_; }
    // The global record as GIF's, or null.
    BxGIFGlobalInfo* GetGIFGlobalInfo() const;
    // The record of the frame last read or written, or null.
    const BxGIFFrameInfo* GetCurrentFrameInfo() const { return frameInfo_.get(); }

    void IndexFrames() override;
    void ReadGlobalInfo() override;
    void WriteGlobalInfo() override;
    // The image must be a BxIndexedImage and `info` a BxGIFFrameInfo (27), of the image's size
    // (21).
    void WriteFrame(const BxImage& image, const BxImgFmtFrameInfo& info) override;
    void WriteTrailer() override;
    void ReleaseFrameIndex() override;
    std::unique_ptr<BxImgFmtFrameInfo> ReadFrameInfo() override;
    // Decodes the current frame into a new BxIndexedImage carrying a copy of the frame record.
    std::unique_ptr<BxImage> ReadFrameImage() override;
    // Positions at a frame; an index past the frame index only records the index.
    void SeekToFrame(std::uint32_t index) override;
    std::unique_ptr<BxImgFmtGlobalInfo> NewGlobalInfo() const override;
    std::unique_ptr<BxImgFmtFrameInfo> NewFrameInfo(const BxImage& image) const override;

  private:
    void ReadFully(void* destination, std::size_t count);
    void ReadColorTable(BxColorTable& table, std::size_t count);
    void WriteColorTable(const BxColorTable& table);
    void SkipSubBlocks();
    void ReadComment(BxGIFGlobalInfo& info);
    void ReadApplicationBlock(BxGIFGlobalInfo& info);
    void WriteComment(const BxGIFComment& comment);
    BxGIFGlobalInfo& RequireGlobalInfo() const;

    std::vector<FrameIndexEntry> index_;
    bool pendingGraphicControl_ = false;
    std::int64_t pendingPosition_ = 0;
    std::uint8_t pendingDisposal_ = 0;
    std::unique_ptr<BxGIFFrameInfo> frameInfo_;
    bool frameInfoLoaded_ = false;
};
