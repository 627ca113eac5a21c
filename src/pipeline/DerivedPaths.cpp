#include "pipeline/DerivedPaths.h"

#include <algorithm>
#include <utility>

#include "pipeline/SettingsKeys.h"

namespace quillon {
namespace {

constexpr char kSeparator = std::filesystem::path::preferred_separator;

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

std::string WithTrailingSeparator(std::string folder) {
    if (folder.empty() || folder.back() != kSeparator) {
        folder += kSeparator;
    }
    return folder;
}

}  // namespace

bool ContainsNoCase(std::string_view text, std::string_view part) {
    const auto found = std::search(text.begin(), text.end(), part.begin(), part.end(),
                                   [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
    return found != text.end() || part.empty();
}

DerivedPaths::DerivedPaths(std::filesystem::path desktopFolder, std::filesystem::path dataFolder,
                           std::filesystem::path tempFolder)
    : desktopFolder_(std::move(desktopFolder)),
      tempFolder_(std::move(tempFolder)),
      manualPath_(dataFolder / "Quillon.PDF"),
      helpFolder_(dataFolder / "Quillon Help"),
      outputFolder_(DefaultOutputFolder(desktopFolder_)) {}

std::string DerivedPaths::DefaultOutputFolder(const std::filesystem::path& desktopFolder) {
    return WithTrailingSeparator((desktopFolder / kOutputFolderName).string());
}

void DerivedPaths::SetOutputFolder(std::string_view destination) {
    if (destination.empty()) {
        return;
    }
    std::string folder = WithTrailingSeparator(std::string(destination));
    const std::string marker = kSeparator + std::string(kOutputFolderName) + kSeparator;
    if (!ContainsNoCase(folder, marker)) {
        folder += kOutputFolderName;
        folder += kSeparator;
    }
    std::lock_guard lock(mutex_);
    outputFolder_ = std::move(folder);
}

void DerivedPaths::SetReportName(std::string_view displayName) {
    std::string name = "'" + std::string(displayName) + "' Report.html";
    std::lock_guard lock(mutex_);
    reportName_ = std::move(name);
}

std::string DerivedPaths::OutputFolder() const {
    std::lock_guard lock(mutex_);
    return outputFolder_;
}

std::string DerivedPaths::ReportName() const {
    std::lock_guard lock(mutex_);
    return reportName_;
}

std::filesystem::path DerivedPaths::GetReportPath() const {
    std::lock_guard lock(mutex_);
    return outputFolder_ + reportName_;
}

}  // namespace quillon
