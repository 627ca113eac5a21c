// Where a file lives: its full path, once one has been set.
#pragma once

#include <cstdint>
#include <string>

class BxFileLocator {
  public:
    static constexpr std::uint8_t kNoPath = 0;
    static constexpr std::uint8_t kPath = 1;

    BxFileLocator() = default;

    std::uint8_t Kind() const { return kind_; }
    bool HasPath() const { return kind_ == kPath; }
    // The path as set; empty when none is.
    const std::string& Path() const { return path_; }

    void SetPath(const char* path);
    void CopyFrom(const BxFileLocator& other);
    // A fresh copy of the path for the caller to keep.
    std::string CopyPath() const;

  private:
    std::uint8_t kind_ = kNoPath;
    std::string path_;
};
