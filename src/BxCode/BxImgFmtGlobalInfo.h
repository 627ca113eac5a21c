// The format record of a whole image file: what a file format keeps outside its frames. GIF's is
// BxGIFGlobalInfo.
#pragma once

#include <memory>
#include <string>

class BxImgFmtGlobalInfo {
  public:
    virtual ~BxImgFmtGlobalInfo() = default;
    // The format's short name, as "GIF".
    virtual std::string FormatName() const = 0;
    virtual std::unique_ptr<BxImgFmtGlobalInfo> Clone() const = 0;
};
