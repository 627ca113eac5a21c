// The base of image files: a byte file that reads or writes frames one at a time. It drives the
// calling order; a format (BxGIFFile) fills in the steps.
#pragma once

#include <cstdint>
#include <memory>

#include "BxCode/BxFile.h"
#include "BxCode/BxImage.h"
#include "BxCode/BxImgFmtFrameInfo.h"
#include "BxCode/BxImgFmtGlobalInfo.h"

class BxImageFile : public BxFile {
  public:
    BxImageFile() = default;
    ~BxImageFile() override;

    // Reading (mode 1): resets the state, then reads the global blocks, indexes the frames and
    // positions at frame 0. Writing: makes a global record when none was given.
    void Open(std::uint16_t mode, bool ownsDescriptor = true, int descriptor = 0);
    // Closes the file, destroys the global record, resets the state, frees the frame index.
    void Close();

    std::uint32_t GetFrameCount() const { return frameCount_; }
    std::uint32_t GetScreenWidth() const { return screenWidth_; }
    std::uint32_t GetScreenHeight() const { return screenHeight_; }
    std::uint32_t GetCurrentFrame() const { return currentFrame_; }
    bool HeaderDone() const { return headerDone_; }
    BxImgFmtGlobalInfo* GetGlobalInfo() const { return globalInfo_.get(); }

    // The current frame's image, with its frame record attached; the file moves on to the next.
    std::unique_ptr<BxImage> ReadFrame();
    // Writes the global blocks before the first frame and the trailer after the last one (as
    // counted by SetFrameCount).
    void WriteNextFrame(const BxImage& image, const BxImgFmtFrameInfo& info);
    void WriteNextFrame(const BxImage& image);

    virtual void IndexFrames() = 0;
    virtual void ReadGlobalInfo() = 0;
    virtual void WriteGlobalInfo() = 0;
    virtual void WriteFrame(const BxImage& image, const BxImgFmtFrameInfo& info) = 0;
    virtual void WriteTrailer() = 0;
    virtual void ReleaseFrameIndex() {}
    virtual void SetFrameCount(std::uint32_t count) { frameCount_ = count; }
    virtual void SetScreenSize(std::uint32_t width, std::uint32_t height);
    virtual std::unique_ptr<BxImgFmtFrameInfo> ReadFrameInfo() = 0;
    virtual std::unique_ptr<BxImage> ReadFrameImage() = 0;
    virtual void SeekToFrame(std::uint32_t index) = 0;
    virtual std::unique_ptr<BxImgFmtGlobalInfo> NewGlobalInfo() const = 0;
    virtual std::unique_ptr<BxImgFmtFrameInfo> NewFrameInfo(const BxImage& image) const = 0;
    virtual std::unique_ptr<BxImgFmtGlobalInfo> CloneGlobalInfo() const;
    virtual void SetGlobalInfo(std::unique_ptr<BxImgFmtGlobalInfo> info);

  protected:
    void ResetState();

    std::uint32_t frameCount_ = 0;
    std::uint32_t screenWidth_ = 0;
    std::uint32_t screenHeight_ = 0;
    bool headerDone_ = false;
    std::uint32_t currentFrame_ = 0;
    std::unique_ptr<BxImgFmtGlobalInfo> globalInfo_;
};
