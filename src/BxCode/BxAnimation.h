// A whole animated image in memory: its frames in display order, the logical screen size and the
// format's global record. The animation owns its frames and its global record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "BxCode/BxImage.h"
#include "BxCode/BxImageFile.h"
#include "BxCode/BxImgFmtGlobalInfo.h"
#include "BxCode/BxList.h"

class BxAnimation : public BxList {
  public:
    // One list item per frame. Destroying an element never destroys its frame.
    class BxAnimationElement {
      public:
        virtual ~BxAnimationElement() = default;
        BxImage* frame = nullptr;
        std::uint8_t mark = 0;
    };

    BxAnimation() = default;
    // Destroys every frame, then the global record.
    ~BxAnimation() override;

    std::size_t GetFrameCount() const { return Count(); }
    virtual BxImage* GetFrame(std::size_t index) const;
    virtual void RemoveFrame(std::size_t index);
    // The caller owns the returned frame.
    virtual std::unique_ptr<BxImage> DetachFrame(std::size_t index);
    // Puts the frame in; the frame it held goes back to the caller.
    virtual std::unique_ptr<BxImage> ReplaceFrame(std::size_t index,
                                                  std::unique_ptr<BxImage> frame);
    // The first unmarked element after the first marked one; the frame count when there is none.
    virtual std::size_t GetMarkedRunEnd() const;
    virtual void InsertFrame(std::size_t index, std::unique_ptr<BxImage> frame, bool mark);
    // Screen size, every frame and a clone of the file's global record.
    virtual void ReadFromFile(BxImageFile& file);
    virtual void InsertFromFile(BxImageFile& file, std::size_t index);
    virtual void AppendFromFile(BxImageFile& file);
    // Screen size, global record and frame count to the file, then every frame in order.
    virtual void WriteToFile(BxImageFile& file) const;
    virtual void WriteFrameToFile(BxImageFile& file, std::size_t index) const;
    virtual BxImgFmtGlobalInfo* GetGlobalInfo() const { return globalInfo_.get(); }
    virtual void SetGlobalInfo(std::unique_ptr<BxImgFmtGlobalInfo> info);
    virtual std::unique_ptr<BxImgFmtGlobalInfo> TakeGlobalInfo();
    virtual std::unique_ptr<BxImgFmtGlobalInfo> ExchangeGlobalInfo(
        std::unique_ptr<BxImgFmtGlobalInfo> info);
    virtual std::uint32_t GetWidth() const { return width_; }
    virtual std::uint32_t GetHeight() const { return height_; }
    virtual void SetSize(std::uint32_t width, std::uint32_t height);
    // Each maximum taken separately; 0 and 0 without frames.
    virtual void GetLargestFrameSize(std::uint32_t* width, std::uint32_t* height) const;
    virtual std::unique_ptr<BxAnimationElement> NewElement(BxImage* frame) const;

    void AppendFrame(std::unique_ptr<BxImage> frame, bool mark);

  private:
    BxAnimationElement& ElementAt(std::size_t index) const;

    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    std::unique_ptr<BxImgFmtGlobalInfo> globalInfo_;
};
