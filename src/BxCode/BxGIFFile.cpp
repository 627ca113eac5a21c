#include "BxCode/BxGIFFile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "BxCode/BxErrorCode.h"
#include "BxCode/BxIndexedImage.h"
#include "BxCode/BxLZWDecoder.h"
#include "BxCode/BxLZWEncoder.h"

namespace {

constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;
constexpr std::uint8_t kGraphicControlLabel = 0xF9;
constexpr std::uint8_t kCommentLabel = 0xFE;
constexpr std::uint8_t kApplicationLabel = 0xFF;
constexpr std::uint8_t kGraphicControlSize = 4;
constexpr std::uint8_t kApplicationIdSize = 11;
constexpr std::uint8_t kLoopSubBlockSize = 3;
constexpr std::uint8_t kMaxSubBlock = 255;
// The looping block is written as NETSCAPE2.0; ANIMEXTS1.0 carries the same sub-block and browsers
// loop on either, so both are read as the loop.
constexpr char kLoopApplication[] = "NETSCAPE2.0";
constexpr char kLoopApplicationAlias[] = "ANIMEXTS1.0";
constexpr std::uint32_t kMaxDimension = 0xFFFF;

// Interlaced rows come in four passes: every 8th row from 0, every 8th from 4, every 4th from 2,
// every 2nd from 1.
struct InterlacePass {
    std::uint32_t start;
    std::uint32_t step;
};
constexpr std::array<InterlacePass, 4> kInterlacePasses = {{{0, 8}, {4, 8}, {2, 4}, {1, 2}}};

std::size_t DeclaredTableSize(std::uint8_t packed) {
    return std::size_t{1} << ((packed & 7) + 1);
}

}  // namespace

unsigned BxGIFCodeWidth(std::size_t count) {
    if (count == 0 || count > 256) {
        BxRaise(kBxErrBadArgument);
    }
    unsigned width = 1;
    while ((std::size_t{1} << width) < count) {
        ++width;
    }
    return width;
}

BxGIFFile::~BxGIFFile() = default;

BxGIFGlobalInfo* BxGIFFile::GetGIFGlobalInfo() const {
    return dynamic_cast<BxGIFGlobalInfo*>(globalInfo_.get());
}

BxGIFGlobalInfo& BxGIFFile::RequireGlobalInfo() const {
    BxGIFGlobalInfo* info = GetGIFGlobalInfo();
    if (!info) {
        BxRaise(kBxErrMissing);
    }
    return *info;
}

void BxGIFFile::ReadFully(void* destination, std::size_t count) {
    auto* to = static_cast<std::uint8_t*>(destination);
    std::size_t done = 0;
    // Read gives at least one byte per call or raises 18.
    while (done < count) {
        done += Read(to + done, count - done);
    }
}

void BxGIFFile::ReadColorTable(BxColorTable& table, std::size_t count) {
    table.Resize(count);
    ReadFully(table.Entries(), 3 * count);
}

void BxGIFFile::WriteColorTable(const BxColorTable& table) {
    const unsigned width = BxGIFCodeWidth(table.Count());
    Write(table.Entries(), 3 * table.Count());
    // The format stores 2^width entries; the rest are black.
    static constexpr std::uint8_t kBlack[3] = {0, 0, 0};
    for (std::size_t i = table.Count(); i < (std::size_t{1} << width); ++i) {
        Write(kBlack, sizeof kBlack);
    }
}

void BxGIFFile::SkipSubBlocks() {
    // Every step moves forward by at least one byte; past the end the next read raises 18.
    std::uint8_t size = ReadByte();
    while (size != 0) {
        Seek(size, kFromCurrent);
        size = ReadByte();
    }
}

bool BxGIFFile::IsGIFFile() {
    Seek(0, kFromStart);
    try {
        std::uint8_t header[6] = {};
        ReadFully(header, sizeof header);
        if (std::memcmp(header, "GIF", 3) != 0) {
            BxRaise(kBxErrNotGIF);
        }
        if (std::memcmp(header + 3, "87a", 3) != 0 && std::memcmp(header + 3, "89a", 3) != 0) {
            BxRaise(kBxErrGIFVersion);
        }
    } catch (const BxErrorCode& error) {
        if (error.Code() == kBxErrNotGIF || error.Code() == kBxErrGIFVersion) {
            return false;
        }
        throw;
    }
    return true;
}

void BxGIFFile::ReadGlobalInfo() {
    auto info = BxMake<BxGIFGlobalInfo>();
    std::uint8_t signature[3] = {};
    ReadFully(signature, sizeof signature);
    if (std::memcmp(signature, "GIF", 3) != 0) {
        BxRaise(kBxErrNotGIF);
    }
    std::uint8_t version[3] = {};
    ReadFully(version, sizeof version);
    if (std::memcmp(version, "87a", 3) == 0) {
        info->version89a = 0;
    } else if (std::memcmp(version, "89a", 3) == 0) {
        info->version89a = 1;
    } else {
        BxRaise(kBxErrGIFVersion);
    }
    info->hasLoop = 0;
    info->loopCount = 0;
    const std::uint16_t width = ReadWord();
    const std::uint16_t height = ReadWord();
    const std::uint8_t packed = ReadByte();
    info->backgroundIndex = ReadByte();
    info->aspectRatio = ReadByte();
    info->hasGlobalTable = (packed & 0x80) ? 1 : 0;
    info->declaredTableSize =
        info->hasGlobalTable ? static_cast<std::uint16_t>(DeclaredTableSize(packed)) : 0;
    info->colorResolution = static_cast<std::uint8_t>(((packed >> 4) & 7) + 1);
    info->sorted = (packed & 0x08) ? 1 : 0;
    if (info->hasGlobalTable) {
        ReadColorTable(info->globalTable, info->declaredTableSize);
    }
    SetScreenSize(width, height);
    globalInfo_ = std::move(info);
}

void BxGIFFile::ReadComment(BxGIFGlobalInfo& info) {
    BxGIFComment comment;
    std::uint8_t block[kMaxSubBlock];
    // Every sub-block is at least one byte further on; the end of the file raises 18.
    for (std::uint8_t size = ReadByte(); size != 0; size = ReadByte()) {
        ReadFully(block, size);
        comment.Append({block, size});
    }
    try {
        info.comments.push_back(std::move(comment));
    } catch (const std::bad_alloc&) {
        BxRaise(kBxErrNoMemory);
    }
}

void BxGIFFile::ReadApplicationBlock(BxGIFGlobalInfo& info) {
    const std::uint8_t size = ReadByte();
    // A size of 0 is the block terminator: the block is empty and ends here. Skipping on from it
    // would take the next block's introducer for a sub-block size.
    if (size == 0) {
        return;
    }
    if (size != kApplicationIdSize) {
        Seek(size, kFromCurrent);
        SkipSubBlocks();
        return;
    }
    std::uint8_t id[kApplicationIdSize] = {};
    ReadFully(id, sizeof id);
    if (std::memcmp(id, kLoopApplication, kApplicationIdSize) == 0 ||
        std::memcmp(id, kLoopApplicationAlias, kApplicationIdSize) == 0) {
        const std::uint8_t subBlock = ReadByte();
        if (subBlock == 0) {
            return;  // the terminator right after the identifier
        }
        if (subBlock == kLoopSubBlockSize) {
            Seek(1, kFromCurrent);  // the sub-block identifier
            info.loopCount = ReadWord();
            info.hasLoop = 1;
        } else {
            Seek(subBlock, kFromCurrent);
        }
    }
    SkipSubBlocks();
}

void BxGIFFile::IndexFrames() {
    BxGIFGlobalInfo& info = RequireGlobalInfo();
    pendingGraphicControl_ = false;
    // Every pass reads at least one byte and only moves forward, so the walk ends at the trailer
    // or at the end of the file (18).
    for (;;) {
        const std::uint8_t introducer = ReadByte();
        if (introducer == kTrailer) {
            frameCount_ = static_cast<std::uint32_t>(index_.size());
            return;
        }
        if (introducer == 0x00) {
            continue;  // stray padding between blocks
        }
        if (introducer == kExtensionIntroducer) {
            const std::uint8_t label = ReadByte();
            if (label == kGraphicControlLabel) {
                pendingPosition_ = Tell();
                pendingGraphicControl_ = true;
                // The disposal is the second byte; the block is skipped as any other.
                pendingDisposal_ = 0;
                const std::uint8_t size = ReadByte();
                if (size != 0) {
                    pendingDisposal_ = static_cast<std::uint8_t>((ReadByte() >> 2) & 7);
                    Seek(size - 1, kFromCurrent);
                    SkipSubBlocks();
                }
            } else if (label == kCommentLabel) {
                ReadComment(info);
            } else if (label == kApplicationLabel) {
                ReadApplicationBlock(info);
            } else {
                SkipSubBlocks();
            }
            continue;
        }
        if (introducer != kImageSeparator) {
            BxRaise(kBxErrMalformedGIF);
        }
        FrameIndexEntry entry{pendingGraphicControl_, pendingPosition_, Tell()};
        Seek(4, kFromCurrent);  // left and top
        entry.width = ReadWord();
        entry.height = ReadWord();
        entry.disposal = pendingGraphicControl_ ? pendingDisposal_ : 0;
        try {
            index_.push_back(entry);
        } catch (const std::bad_alloc&) {
            BxRaise(kBxErrNoMemory);
        }
        const std::uint8_t packed = ReadByte();
        if (packed & 0x80) {
            Seek(static_cast<std::int64_t>(3 * DeclaredTableSize(packed)), kFromCurrent);
        }
        Seek(1, kFromCurrent);  // the minimum code size
        SkipSubBlocks();
        pendingGraphicControl_ = false;
    }
}

void BxGIFFile::SeekToFrame(std::uint32_t index) {
    currentFrame_ = index;
    frameInfoLoaded_ = false;
    if (index >= index_.size()) {
        return;
    }
    const FrameIndexEntry& entry = index_[index];
    Seek(entry.hasGraphicControl ? entry.graphicControlPosition : entry.imagePosition, kFromStart);
}

std::unique_ptr<BxImgFmtFrameInfo> BxGIFFile::ReadFrameInfo() {
    if (currentFrame_ >= index_.size()) {
        BxRaise(kBxErrMissing);
    }
    const FrameIndexEntry& entry = index_[currentFrame_];
    auto info = BxMake<BxGIFFrameInfo>();
    info->hasGraphicControl = entry.hasGraphicControl ? 1 : 0;
    if (entry.hasGraphicControl) {
        if (ReadByte() != kGraphicControlSize) {
            BxRaise(kBxErrMalformedGIF);
        }
        const std::uint8_t packed = ReadByte();
        info->disposal = (packed >> 2) & 7;
        info->userInput = (packed >> 1) & 1;
        info->transparent = packed & 1;
        info->delay = ReadWord();
        info->transparentIndex = ReadByte();
        SkipSubBlocks();
        Seek(entry.imagePosition, kFromStart);
    } else {
        info->delay = 0;
        info->userInput = 0;
        info->disposal = 0;
        info->transparent = 0;
        info->transparentIndex = 0;
    }
    info->left = ReadWord();
    info->top = ReadWord();
    info->width = ReadWord();
    info->height = ReadWord();
    const std::uint8_t packed = ReadByte();
    info->hasLocalTable = (packed & 0x80) ? 1 : 0;
    info->interlaced = (packed & 0x40) ? 1 : 0;
    info->sorted = (packed & 0x20) ? 1 : 0;
    if (info->hasLocalTable) {
        ReadColorTable(info->localTable, DeclaredTableSize(packed));
    }
    info->codeSize = ReadByte();
    frameInfo_ = std::move(info);
    frameInfoLoaded_ = true;
    return frameInfo_->Clone();
}

std::unique_ptr<BxImage> BxGIFFile::ReadFrameImage() {
    if (!frameInfoLoaded_ || !frameInfo_) {
        BxRaise(kBxErrMissing);
    }
    const BxGIFFrameInfo& info = *frameInfo_;
    // The rectangle must lie on the screen; it is checked before the frame's pixels are allocated
    // so that a few bytes claiming a huge frame cost nothing.
    if (info.left >= screenWidth_ || info.top >= screenHeight_ ||
        std::uint32_t{info.left} + info.width > screenWidth_ ||
        std::uint32_t{info.top} + info.height > screenHeight_) {
        BxRaise(kBxErrMalformedGIF);
    }
    Seek(-1, kFromCurrent);  // back to the minimum code size byte
    const BxGIFGlobalInfo* global = GetGIFGlobalInfo();
    const BxColorTable* palette = nullptr;
    if (info.hasLocalTable) {
        palette = &info.localTable;
    } else if (global && global->globalTable.Count() > 0) {
        palette = &global->globalTable;
    }
    std::unique_ptr<BxIndexedImage> image;
    {
        auto* made = new (std::nothrow) BxIndexedImage(info.width, info.height, palette);
        if (!made) {
            BxRaise(kBxErrNoMemory);
        }
        image.reset(made);
    }
    BxLZWDecoder decoder;
    decoder.Start(*this);
    {
        BxPixelLock lock(*image);
        const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(image->StoredRowBytes());
        if (!info.interlaced) {
            decoder.DecodeRows(lock.Pixels(), info.width, info.height, rowBytes);
        } else {
            for (const InterlacePass& pass : kInterlacePasses) {
                if (info.height > pass.start) {
                    const std::uint32_t rows =
                        (info.height - pass.start + pass.step - 1) / pass.step;
                    decoder.DecodeRows(lock.Row(pass.start), info.width, rows,
                                       rowBytes * pass.step);
                }
            }
        }
    }
    decoder.End();
    image->SetFormatInfo(frameInfo_->Clone());
    return image;
}

std::unique_ptr<BxImgFmtGlobalInfo> BxGIFFile::NewGlobalInfo() const {
    auto info = BxMake<BxGIFGlobalInfo>();
    info->version89a = 0;
    info->hasGlobalTable = 0;
    info->colorResolution = 0;
    info->declaredTableSize = 0;
    info->sorted = 0;
    info->backgroundIndex = 0;
    info->hasLoop = 0;
    info->loopCount = 0;
    info->aspectRatio = 0;
    return info;
}

std::unique_ptr<BxImgFmtFrameInfo> BxGIFFile::NewFrameInfo(const BxImage& image) const {
    if (image.GetWidth() > kMaxDimension || image.GetHeight() > kMaxDimension) {
        BxRaise(kBxErrBadArgument);
    }
    auto info = BxMake<BxGIFFrameInfo>();
    info->left = 0;
    info->top = 0;
    info->width = static_cast<std::uint16_t>(image.GetWidth());
    info->height = static_cast<std::uint16_t>(image.GetHeight());
    info->hasLocalTable = 1;
    // The frame is written with a local table, so it takes the image's palette: an empty one
    // could not be written at all.
    if (const auto* indexed = dynamic_cast<const BxIndexedImage*>(&image)) {
        info->localTable = indexed->Palette();
    }
    info->sorted = 0;
    info->interlaced = 0;
    info->hasGraphicControl = 0;
    info->delay = 0;
    info->userInput = 0;
    info->disposal = 1;
    info->transparent = 0;
    info->transparentIndex = 0;
    return info;
}

void BxGIFFile::WriteComment(const BxGIFComment& comment) {
    WriteByte(kExtensionIntroducer);
    WriteByte(kCommentLabel);
    const std::vector<std::uint8_t>& bytes = comment.Bytes();
    for (std::size_t at = 0; at < bytes.size(); at += kMaxSubBlock) {
        const auto size =
            static_cast<std::uint8_t>(std::min<std::size_t>(kMaxSubBlock, bytes.size() - at));
        WriteByte(size);
        Write(bytes.data() + at, size);
    }
    WriteByte(0x00);
}

void BxGIFFile::WriteGlobalInfo() {
    BxGIFGlobalInfo& info = RequireGlobalInfo();
    if (screenWidth_ > kMaxDimension || screenHeight_ > kMaxDimension) {
        BxRaise(kBxErrBadArgument);
    }
    Write("GIF", 3);
    Write(info.version89a ? "89a" : "87a", 3);
    WriteWord(static_cast<std::uint16_t>(screenWidth_));
    WriteWord(static_cast<std::uint16_t>(screenHeight_));
    std::uint8_t packed = 0;
    if (info.hasGlobalTable && info.globalTable.Count() > 0) {
        const unsigned width = BxGIFCodeWidth(info.globalTable.Count());
        // Colour resolution keeps three bits: as a byte, 0 stands for 8 and 9 for 1.
        packed = static_cast<std::uint8_t>(0x80 | (info.sorted ? 0x08 : 0) |
                                           (((info.colorResolution - 1) & 7) << 4) | (width - 1));
    } else {
        info.hasGlobalTable = 0;
    }
    WriteByte(packed);
    WriteByte(info.backgroundIndex);
    WriteByte(info.aspectRatio);
    if (packed & 0x80) {
        WriteColorTable(info.globalTable);
    }
    if (info.hasLoop) {
        static constexpr std::uint8_t kLoopHead[] = {kExtensionIntroducer,
                                                     kApplicationLabel,
                                                     kApplicationIdSize,
                                                     'N',
                                                     'E',
                                                     'T',
                                                     'S',
                                                     'C',
                                                     'A',
                                                     'P',
                                                     'E',
                                                     '2',
                                                     '.',
                                                     '0',
                                                     kLoopSubBlockSize,
                                                     0x01};
        Write(kLoopHead, sizeof kLoopHead);
        WriteWord(info.loopCount);
        WriteByte(0x00);
    }
    for (const BxGIFComment& comment : info.comments) {
        if (comment.Length() > 0) {
            WriteComment(comment);
        }
    }
}

void BxGIFFile::WriteFrame(const BxImage& image, const BxImgFmtFrameInfo& frameInfo) {
    const auto* info = dynamic_cast<const BxGIFFrameInfo*>(&frameInfo);
    const auto* indexed = dynamic_cast<const BxIndexedImage*>(&image);
    if (!info || !indexed) {
        BxRaise(kBxErrMissing);
    }
    // The descriptor's size and the pixels written must agree, or the file would be corrupt.
    if (indexed->GetWidth() != info->width || indexed->GetHeight() != info->height) {
        BxRaise(kBxErrBadArgument);
    }
    // Both widths are known before anything is written, so a table that cannot be written
    // leaves the file as it was.
    const unsigned codeWidth = BxGIFCodeWidth(indexed->Palette().Count());
    const unsigned localWidth = info->hasLocalTable ? BxGIFCodeWidth(info->localTable.Count()) : 0;
    auto current = BxMake<BxGIFFrameInfo>();
    *current = *info;
    frameInfo_ = std::move(current);
    frameInfoLoaded_ = false;
    if (info->hasGraphicControl) {
        const std::uint8_t head[] = {kExtensionIntroducer, kGraphicControlLabel,
                                     kGraphicControlSize};
        Write(head, sizeof head);
        WriteByte(static_cast<std::uint8_t>(((info->disposal & 7) << 2) |
                                            ((info->userInput ? 1 : 0) << 1) |
                                            (info->transparent ? 1 : 0)));
        WriteWord(info->delay);
        WriteByte(info->transparentIndex);
        WriteByte(0x00);
    }
    WriteByte(kImageSeparator);
    WriteWord(info->left);
    WriteWord(info->top);
    WriteWord(info->width);
    WriteWord(info->height);
    const std::uint8_t interlaced = info->interlaced ? 0x40 : 0x00;
    if (info->hasLocalTable) {
        WriteByte(static_cast<std::uint8_t>(0x80 | interlaced | (info->sorted ? 0x20 : 0) |
                                            (localWidth - 1)));
        WriteColorTable(info->localTable);
    } else {
        WriteByte(interlaced);
    }
    frameInfo_->codeSize = static_cast<std::uint8_t>(codeWidth);
    BxLZWEncoder encoder;
    encoder.Start(*this, codeWidth);
    BxPixelLock lock(*indexed);
    const std::uint32_t width = indexed->GetWidth();
    const std::uint32_t height = indexed->GetHeight();
    const auto rowBytes = static_cast<std::ptrdiff_t>(indexed->StoredRowBytes());
    if (!info->interlaced) {
        encoder.EncodeRows(lock.Pixels(), width, height, rowBytes);
    } else {
        for (const InterlacePass& pass : kInterlacePasses) {
            if (height > pass.start) {
                const std::uint32_t rows = (height - pass.start + pass.step - 1) / pass.step;
                encoder.EncodeRows(lock.Row(pass.start), width, rows, rowBytes * pass.step);
            }
        }
    }
    encoder.End();
}

void BxGIFFile::WriteTrailer() {
    WriteByte(kTrailer);
}

void BxGIFFile::ReleaseFrameIndex() {
    index_.clear();
    frameInfo_.reset();
    frameInfoLoaded_ = false;
    pendingGraphicControl_ = false;
    pendingDisposal_ = 0;
}
