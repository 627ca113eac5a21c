#include "pipeline/SettingsKeys.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "MemorySettingsStore.h"
#include "pipeline/FileKinds.h"

namespace quillon {
namespace {

using test::MemorySettingsStore;

const std::filesystem::path kDesktop = "/home/ada/Desktop";

TEST(SettingsKeys, EveryKeyIsListedOnce) {
    std::set<std::pair<std::string_view, std::string_view>> seen;
    for (const SettingKey& entry : AllSettingKeys()) {
        EXPECT_TRUE(seen.insert({entry.section, entry.key}).second)
            << entry.section << " / " << entry.key;
    }
}

TEST(SettingsKeys, StartupPassWritesEveryPageKeyWithItsDefault) {
    MemorySettingsStore store;
    StorePageDefaults(store, kDesktop);

    struct Expected {
        std::string_view section, key;
        MemorySettingsStore::Value value;
    };
    const Expected rows[] = {
        {section::kHtml, key::kEnableHtml, 1u},
        {section::kHtml, key::kStrictQuotes, 0u},
        {section::kHtml, key::kMetaTagsOption, 0u},
        {section::kJava, key::kEnableJava, 1u},
        {section::kJava, key::kKeepServerSideComments, 1u},
        {section::kXml, key::kEnableXml, 1u},
        {section::kGif, key::kEnableGif, 1u},
        {section::kGif, key::kCompactColors, 1u},
        {section::kJpeg, key::kEnableJpeg, 1u},
        {section::kJpeg, key::kJpegRecompress, 2u},
        {section::kDestination, key::kNewOrReplace, 0u},
        {section::kDestination, key::kBackupFiles, 1u},
        {section::kDestination, key::kPromptForDestination, 0u},
        {section::kDestination, key::kUse, 0u},
        {section::kDestination, key::kDestination,
         std::string("/home/ada/Desktop/Quillon Optimized Files")},
        {section::kReport, key::kGenerateReports, 1u},
        {section::kReport, key::kAutoOpenReports, 0u},
        {section::kReport, key::kUseDefaultBrowser, 1u},
        {section::kReport, key::kUseBrowser, 0u},
        {section::kReport, key::kBrowserName, std::string()},
    };
    for (const Expected& row : rows) {
        const auto stored = store.Find(row.section, row.key);
        ASSERT_TRUE(stored.has_value()) << row.section << " / " << row.key;
        EXPECT_EQ(*stored, row.value) << row.section << " / " << row.key;
    }
    // Neither the second GIF gate nor the statistics belong to a page.
    EXPECT_FALSE(store.Find(section::kGif, key::kEnableGifStage));
    EXPECT_FALSE(store.Find(section::kStatistics, key::kFilesProcessed));
    EXPECT_FALSE(store.Find(section::kStatistics, key::kBytesSaved));
}

TEST(SettingsKeys, StartupPassKeepsStoredValues) {
    MemorySettingsStore store;
    store.PutInt(section::kHtml, key::kEnableHtml, 0);
    store.PutInt(section::kHtml, key::kMetaTagsOption, 2);
    store.PutString(section::kDestination, key::kDestination, "/srv/out");
    store.PutInt(section::kGif, key::kEnableGifStage, 0);
    store.PutInt(section::kStatistics, key::kBytesSaved, 1234);

    StorePageDefaults(store, kDesktop);

    EXPECT_EQ(store.GetInt(section::kHtml, key::kEnableHtml, 9), 0u);
    EXPECT_EQ(store.GetInt(section::kHtml, key::kMetaTagsOption, 9), 2u);
    EXPECT_EQ(store.GetString(section::kDestination, key::kDestination, ""), "/srv/out");
    EXPECT_EQ(store.GetInt(section::kGif, key::kEnableGifStage, 9), 0u);
    EXPECT_EQ(store.GetInt(section::kStatistics, key::kBytesSaved, 9), 1234u);
    // Keys that were missing still get their defaults.
    EXPECT_EQ(store.GetInt(section::kJpeg, key::kEnableJpeg, 9), 1u);
}

TEST(SettingsKeys, RemovedKeyFallsBackToTheConsumersDefault) {
    MemorySettingsStore store;
    StorePageDefaults(store, kDesktop);
    store.Remove(section::kHtml, key::kEnableHtml);
    EXPECT_EQ(store.GetInt(section::kHtml, key::kEnableHtml, 0), 0u);
}

// What the JPEG stage is told for each stored "Recompress"; a value this program does not know
// means stripping alone, as the settings page shows it.
TEST(SettingsKeys, JpegRecompressionReachesTheStage) {
    struct Row {
        std::optional<std::uint32_t> stored;
        JpegRecompression expected;
    };
    const Row rows[] = {
        {std::nullopt, JpegRecompression::kProgressive},
        {0, JpegRecompression::kOff},
        {1, JpegRecompression::kOptimizedTables},
        {2, JpegRecompression::kProgressive},
        {3, JpegRecompression::kOff},
    };
    for (const Row& row : rows) {
        MemorySettingsStore store;
        if (row.stored) {
            store.PutInt(section::kJpeg, key::kJpegRecompress, *row.stored);
        }
        EXPECT_EQ(ReadStageSettings(store).jpegRecompression, row.expected)
            << row.stored.value_or(99);
    }
}

}  // namespace
}  // namespace quillon
