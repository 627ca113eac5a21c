// Every section and key the program reads or writes, and the settings pages that own them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "pipeline/SettingsStore.h"

namespace quillon {

namespace section {
inline constexpr std::string_view kHtml = "HTML Options";
inline constexpr std::string_view kJava = "JAVA Options";
inline constexpr std::string_view kXml = "XML Options";
inline constexpr std::string_view kGif = "GIF Options";
inline constexpr std::string_view kJpeg = "JPEG Options";
inline constexpr std::string_view kDestination = "Destination Options";
inline constexpr std::string_view kReport = "Report Options";
inline constexpr std::string_view kStatistics = "Statistics";
}  // namespace section

namespace key {
inline constexpr std::string_view kEnableHtml = "Enable HTML Optimizer";
inline constexpr std::string_view kEnableInlineJava = "Enable Inline JavaScript Optimizer";
inline constexpr std::string_view kIgnoreNonHidingComments = "Ignore Non Hiding Comments";
inline constexpr std::string_view kRemoveComments = "Remove Comments";
inline constexpr std::string_view kRemoveOptionalTags = "Remove Optional Close Tags";
inline constexpr std::string_view kRemoveWysiwygTags = "Remove Unneeded WYSIWYG Tags";
inline constexpr std::string_view kStrictQuotes = "Strict Quote Rules";
inline constexpr std::string_view kMetaTagsOption = "Meta Tags Option";
inline constexpr std::string_view kEnableJava = "Enable JavaScript Optimizer";
inline constexpr std::string_view kKeepServerSideComments = "Don't Remove Server Side Comments";
inline constexpr std::string_view kEnableXml = "Enable XML Optimizer";
inline constexpr std::string_view kEnableGif = "Enable GIF Optimization";
inline constexpr std::string_view kEnableGifStage = "Enable GIF Optimizer";
inline constexpr std::string_view kCompactColors = "Compact Colors";
inline constexpr std::string_view kGlobalPalette = "Global Palette";
inline constexpr std::string_view kRemoveUnsupported = "Remove Unsupported Stuff";
inline constexpr std::string_view kEnableJpeg = "Enable JPEG Optimizer";
inline constexpr std::string_view kJpegRecompress = "Recompress";
inline constexpr std::string_view kNewOrReplace = "New or Replace";
inline constexpr std::string_view kBackupFiles = "Backup Files";
inline constexpr std::string_view kFilesAtOnce = "Files at Once";
inline constexpr std::string_view kPromptForDestination = "Prompt for Destination";
inline constexpr std::string_view kUse = "Use";
inline constexpr std::string_view kDestination = "Destination";
inline constexpr std::string_view kGenerateReports = "Generate Reports";
inline constexpr std::string_view kAutoOpenReports = "Auto Open Reports";
inline constexpr std::string_view kUseDefaultBrowser = "Use Default Browser";
inline constexpr std::string_view kUseBrowser = "Use Browser";
inline constexpr std::string_view kBrowserName = "Use Browser Name";
inline constexpr std::string_view kFilesProcessed = "Files Processed";
inline constexpr std::string_view kBytesSaved = "Bytes Saved";
}  // namespace key

// The name of the folder that receives optimized copies, below the chosen destination.
inline constexpr std::string_view kOutputFolderName = "Quillon Optimized Files";

// The settings pages, in the order of the start-up pass. Keys that no page owns (the second GIF
// gate and the statistics) are never written by a page.
enum class SettingsPage { kGif, kHtml, kJavaScript, kJpeg, kReports, kDestination, kXml, kNone };

enum class SettingType { kInt, kString };

// What a page writes for a key that is missing.
enum class StringDefault { kNone, kEmpty, kDesktopOutputFolder };

struct SettingKey {
    SettingsPage page;
    std::string_view section;
    std::string_view key;
    SettingType type;
    std::uint32_t intDefault;     // for kInt
    StringDefault stringDefault;  // for kString
};

// The whole table, grouped by page in the order of the start-up pass.
std::span<const SettingKey> AllSettingKeys();

// The table's entry for a key; every key the program uses is in the table.
const SettingKey& FindSettingKey(std::string_view sectionName, std::string_view keyName);

// The page default of a string key; the destination default depends on the desktop folder.
std::string PageDefaultString(const SettingKey& entry, const std::filesystem::path& desktopFolder);

// Loads every page's keys with the page defaults and stores them back, page by page, so that
// afterwards every page key holds either its stored value or its default.
void StorePageDefaults(SettingsStore& store, const std::filesystem::path& desktopFolder);

}  // namespace quillon
