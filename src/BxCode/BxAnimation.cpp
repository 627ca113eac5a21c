#include "BxCode/BxAnimation.h"

#include <algorithm>
#include <new>

#include "BxCode/BxErrorCode.h"
#include "BxCode/BxGIFFrame.h"

BxAnimation::~BxAnimation() {
    while (Count() > 0) {
        RemoveFrame(0);
    }
    globalInfo_.reset();
}

BxAnimation::BxAnimationElement& BxAnimation::ElementAt(std::size_t index) const {
    auto* element = static_cast<BxAnimationElement*>(ItemAt(index));
    if (!element || !element->frame) {
        BxRaise(kBxErrMissing);
    }
    return *element;
}

BxImage* BxAnimation::GetFrame(std::size_t index) const {
    return ElementAt(index).frame;
}

void BxAnimation::RemoveFrame(std::size_t index) {
    delete DetachFrame(index).release();
}

std::unique_ptr<BxImage> BxAnimation::DetachFrame(std::size_t index) {
    BxAnimationElement& element = ElementAt(index);
    std::unique_ptr<BxImage> frame(element.frame);
    RemoveAt(index);
    delete &element;
    return frame;
}

std::unique_ptr<BxImage> BxAnimation::ReplaceFrame(std::size_t index,
                                                   std::unique_ptr<BxImage> frame) {
    if (!frame) {
        BxRaise(kBxErrMissing);
    }
    BxAnimationElement& element = ElementAt(index);
    std::unique_ptr<BxImage> old(element.frame);
    element.frame = frame.release();
    return old;
}

std::size_t BxAnimation::GetMarkedRunEnd() const {
    const std::size_t count = Count();
    std::size_t i = 0;
    while (i < count && !ElementAt(i).mark) {
        ++i;
    }
    if (i == count) {
        return count;
    }
    while (i < count && ElementAt(i).mark) {
        ++i;
    }
    return i;
}

void BxAnimation::InsertFrame(std::size_t index, std::unique_ptr<BxImage> frame, bool mark) {
    if (!frame) {
        BxRaise(kBxErrMissing);
    }
    std::unique_ptr<BxAnimationElement> element = NewElement(frame.get());
    element->mark = mark ? 1 : 0;
    InsertAt(index, element.get());
    element.release();
    frame.release();
}

void BxAnimation::AppendFrame(std::unique_ptr<BxImage> frame, bool mark) {
    InsertFrame(Count(), std::move(frame), mark);
}

std::unique_ptr<BxAnimation::BxAnimationElement> BxAnimation::NewElement(BxImage* frame) const {
    std::unique_ptr<BxAnimationElement> element(new (std::nothrow) BxAnimationElement());
    if (!element) {
        BxRaise(kBxErrMissing);
    }
    element->frame = frame;
    return element;
}

void BxAnimation::ReadFromFile(BxImageFile& file) {
    SetSize(file.GetScreenWidth(), file.GetScreenHeight());
    file.SeekToFrame(0);
    const std::uint32_t frames = file.GetFrameCount();
    for (std::uint32_t i = 0; i < frames; ++i) {
        AppendFromFile(file);
    }
    SetGlobalInfo(file.CloneGlobalInfo());
}

void BxAnimation::InsertFromFile(BxImageFile& file, std::size_t index) {
    std::unique_ptr<BxImage> frame = file.ReadFrame();
    InsertFrame(index, std::move(frame), false);
}

void BxAnimation::AppendFromFile(BxImageFile& file) {
    InsertFromFile(file, Count());
}

void BxAnimation::WriteToFile(BxImageFile& file) const {
    file.SetScreenSize(width_, height_);
    file.SetGlobalInfo(globalInfo_ ? globalInfo_->Clone() : nullptr);
    file.SetFrameCount(static_cast<std::uint32_t>(Count()));
    for (std::size_t i = 0; i < Count(); ++i) {
        WriteFrameToFile(file, i);
    }
}

void BxAnimation::WriteFrameToFile(BxImageFile& file, std::size_t index) const {
    const BxImage* image = GetFrame(index);
    // A GIF frame is written as its indexed image, the only kind the file can store.
    if (const auto* frame = dynamic_cast<const BxGIFFrame*>(image)) {
        image = &frame->GetImage();
    }
    // A frame that carries its own record keeps its position, timing and transparency; the
    // file's fresh record would put every frame at the top-left corner.
    if (const BxImgFmtFrameInfo* info = image->GetFormatInfo()) {
        file.WriteNextFrame(*image, *info);
    } else {
        file.WriteNextFrame(*image);
    }
}

void BxAnimation::SetGlobalInfo(std::unique_ptr<BxImgFmtGlobalInfo> info) {
    globalInfo_ = std::move(info);
}

std::unique_ptr<BxImgFmtGlobalInfo> BxAnimation::TakeGlobalInfo() {
    return std::move(globalInfo_);
}

std::unique_ptr<BxImgFmtGlobalInfo> BxAnimation::ExchangeGlobalInfo(
    std::unique_ptr<BxImgFmtGlobalInfo> info) {
    std::swap(info, globalInfo_);
    return info;
}

void BxAnimation::SetSize(std::uint32_t width, std::uint32_t height) {
    width_ = width;
    height_ = height;
}

void BxAnimation::GetLargestFrameSize(std::uint32_t* width, std::uint32_t* height) const {
    std::uint32_t w = 0;
    std::uint32_t h = 0;
    for (std::size_t i = 0; i < Count(); ++i) {
        w = std::max(w, GetFrame(i)->GetWidth());
        h = std::max(h, GetFrame(i)->GetHeight());
    }
    if (width) {
        *width = w;
    }
    if (height) {
        *height = h;
    }
}
