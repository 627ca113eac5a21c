// The format record an image carries: what a file format knows about one frame beyond its
// pixels. GIF's is BxGIFFrameInfo.
#pragma once

#include <memory>
#include <string>

class BxImgFmtFrameInfo {
  public:
    virtual ~BxImgFmtFrameInfo() = default;
    // The format's short name, as "GIF".
    virtual std::string FormatName() const = 0;
    virtual std::unique_ptr<BxImgFmtFrameInfo> Clone() const = 0;
};
