#include "pipeline/SettingsKeys.h"

#include <array>
#include <cassert>

namespace quillon {
namespace {

using enum SettingsPage;
using enum SettingType;

constexpr SettingKey Int(SettingsPage page, std::string_view sectionName, std::string_view keyName,
                         std::uint32_t pageDefault) {
    return {page, sectionName, keyName, kInt, pageDefault, StringDefault::kNone};
}

constexpr SettingKey String(SettingsPage page, std::string_view sectionName,
                            std::string_view keyName, StringDefault pageDefault) {
    return {page, sectionName, keyName, kString, 0, pageDefault};
}

// Page defaults are those of the settings dialog; consumers read with defaults of their own.
constexpr std::array kKeys = {
    Int(kGif, section::kGif, key::kEnableGif, 1),
    Int(kGif, section::kGif, key::kRemoveComments, 1),
    Int(kGif, section::kGif, key::kRemoveUnsupported, 1),
    Int(kGif, section::kGif, key::kGlobalPalette, 1),
    Int(kGif, section::kGif, key::kCompactColors, 1),

    Int(kHtml, section::kHtml, key::kEnableHtml, 1),
    Int(kHtml, section::kHtml, key::kEnableInlineJava, 1),
    Int(kHtml, section::kHtml, key::kRemoveOptionalTags, 1),
    Int(kHtml, section::kHtml, key::kRemoveWysiwygTags, 1),
    Int(kHtml, section::kHtml, key::kStrictQuotes, 0),
    Int(kHtml, section::kHtml, key::kRemoveComments, 1),
    Int(kHtml, section::kHtml, key::kIgnoreNonHidingComments, 1),
    Int(kHtml, section::kHtml, key::kMetaTagsOption, 0),

    Int(kJavaScript, section::kJava, key::kEnableJava, 1),
    Int(kJavaScript, section::kJava, key::kRemoveComments, 1),
    Int(kJavaScript, section::kJava, key::kKeepServerSideComments, 1),

    Int(kJpeg, section::kJpeg, key::kEnableJpeg, 1),
    Int(kJpeg, section::kJpeg, key::kJpegRecompress, 2),

    Int(kReports, section::kReport, key::kGenerateReports, 1),
    Int(kReports, section::kReport, key::kUseDefaultBrowser, 1),
    Int(kReports, section::kReport, key::kUseBrowser, 0),
    String(kReports, section::kReport, key::kBrowserName, StringDefault::kEmpty),
    Int(kReports, section::kReport, key::kAutoOpenReports, 0),

    Int(kDestination, section::kDestination, key::kNewOrReplace, 0),
    Int(kDestination, section::kDestination, key::kPromptForDestination, 0),
    Int(kDestination, section::kDestination, key::kUse, 0),
    String(kDestination, section::kDestination, key::kDestination,
           StringDefault::kDesktopOutputFolder),
    Int(kDestination, section::kDestination, key::kBackupFiles, 1),
    Int(kDestination, section::kDestination, key::kFilesAtOnce, 0),

    Int(kXml, section::kXml, key::kEnableXml, 1),

    // No page writes these: the second GIF gate stays 1 unless set by hand, and the statistics
    // are flushed by the pipeline.
    Int(kNone, section::kGif, key::kEnableGifStage, 1),
    Int(kNone, section::kStatistics, key::kFilesProcessed, 0),
    Int(kNone, section::kStatistics, key::kBytesSaved, 0),
};

}  // namespace

std::span<const SettingKey> AllSettingKeys() {
    return kKeys;
}

const SettingKey& FindSettingKey(std::string_view sectionName, std::string_view keyName) {
    for (const SettingKey& entry : kKeys) {
        if (entry.section == sectionName && entry.key == keyName) {
            return entry;
        }
    }
    assert(false && "a key missing from the table");
    return kKeys.front();
}

std::string PageDefaultString(const SettingKey& entry, const std::filesystem::path& desktopFolder) {
    switch (entry.stringDefault) {
        case StringDefault::kDesktopOutputFolder:
            return (desktopFolder / kOutputFolderName).string();
        case StringDefault::kEmpty:
        case StringDefault::kNone:
            break;
    }
    return {};
}

void StorePageDefaults(SettingsStore& store, const std::filesystem::path& desktopFolder) {
    for (const SettingKey& entry : kKeys) {
        if (entry.page == SettingsPage::kNone) {
            continue;
        }
        if (entry.type == SettingType::kInt) {
            store.PutInt(entry.section, entry.key,
                         store.GetInt(entry.section, entry.key, entry.intDefault));
        } else {
            const std::string fallback = PageDefaultString(entry, desktopFolder);
            store.PutString(entry.section, entry.key,
                            store.GetString(entry.section, entry.key, fallback));
        }
    }
}

}  // namespace quillon
