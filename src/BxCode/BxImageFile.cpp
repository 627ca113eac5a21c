#include "BxCode/BxImageFile.h"

#include "BxCode/BxErrorCode.h"

BxImageFile::~BxImageFile() = default;

void BxImageFile::ResetState() {
    frameCount_ = 0;
    screenWidth_ = 0;
    screenHeight_ = 0;
    headerDone_ = false;
    currentFrame_ = 0;
}

void BxImageFile::SetScreenSize(std::uint32_t width, std::uint32_t height) {
    screenWidth_ = width;
    screenHeight_ = height;
}

std::unique_ptr<BxImgFmtGlobalInfo> BxImageFile::CloneGlobalInfo() const {
    return globalInfo_ ? globalInfo_->Clone() : nullptr;
}

void BxImageFile::SetGlobalInfo(std::unique_ptr<BxImgFmtGlobalInfo> info) {
    globalInfo_ = std::move(info);
}

void BxImageFile::Open(std::uint16_t mode, bool ownsDescriptor, int descriptor) {
    const bool writes = (mode & kWritable) != 0;
    if (!writes) {
        ResetState();
    }
    BxFile::Open(mode, ownsDescriptor, descriptor);
    if ((mode & kReadable) && !writes && !headerDone_) {
        ReadGlobalInfo();
        IndexFrames();
        headerDone_ = true;
        SeekToFrame(0);
    }
    if (writes && !globalInfo_) {
        globalInfo_ = NewGlobalInfo();
    }
}

void BxImageFile::Close() {
    BxFile::Close();
    globalInfo_.reset();
    ResetState();
    ReleaseFrameIndex();
}

std::unique_ptr<BxImage> BxImageFile::ReadFrame() {
    ReadFrameInfo();  // the image brings its own copy of the record
    std::unique_ptr<BxImage> image = ReadFrameImage();
    // Past the last frame there is nothing to seek to; the index only moves on, so that a
    // further read finds no frame (27) instead of reading whatever follows.
    SeekToFrame(currentFrame_ + 1);
    return image;
}

void BxImageFile::WriteNextFrame(const BxImage& image, const BxImgFmtFrameInfo& info) {
    if (!headerDone_) {
        WriteGlobalInfo();
        headerDone_ = true;
    }
    WriteFrame(image, info);
    ++currentFrame_;
    if (currentFrame_ == frameCount_) {
        WriteTrailer();
    }
}

void BxImageFile::WriteNextFrame(const BxImage& image) {
    std::unique_ptr<BxImgFmtFrameInfo> info = NewFrameInfo(image);
    if (!info) {
        BxRaise(kBxErrNoMemory);
    }
    WriteNextFrame(image, *info);
}
