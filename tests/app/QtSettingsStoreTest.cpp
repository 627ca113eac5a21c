#include "app/QtSettingsStore.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <cstdlib>

#include "Corpus.h"
#include "TempDir.h"
#include "app/Platform.h"
#include "pipeline/SettingsKeys.h"

namespace quillon {
namespace {

QString IniPath(const test::TempDir& dir) {
    return QString::fromStdString((dir / "settings.ini").string());
}

TEST(QtSettingsStore, ValuesSurviveAReopenInTheirSections) {
    test::TempDir dir;
    {
        QtSettingsStore store(IniPath(dir));
        EXPECT_EQ(store.GetInt(section::kHtml, key::kEnableHtml, 7), 7u);
        EXPECT_EQ(store.GetString(section::kReport, key::kBrowserName, "none"), "none");
        store.PutInt(section::kStatistics, key::kBytesSaved, 0xFFFFFFF0u);
        store.PutInt(section::kHtml, key::kRemoveComments, 0);
        store.PutInt(section::kJava, key::kRemoveComments, 1);
        store.PutString(section::kDestination, key::kDestination, "/srv/Ünïcode out");
        store.PutString(section::kHtml, key::kEnableHtml, "yes");
        ASSERT_TRUE(store.Sync());
    }
    const QtSettingsStore store(IniPath(dir));
    EXPECT_EQ(store.GetInt(section::kStatistics, key::kBytesSaved, 0), 0xFFFFFFF0u);
    EXPECT_EQ(store.GetInt(section::kHtml, key::kRemoveComments, 9), 0u);
    EXPECT_EQ(store.GetInt(section::kJava, key::kRemoveComments, 9), 1u);
    EXPECT_EQ(store.GetString(section::kDestination, key::kDestination, ""), "/srv/Ünïcode out");
    EXPECT_EQ(store.GetInt(section::kHtml, key::kEnableHtml, 0), 0u) << "a value that is no number";
    // One group per section, as other tools reading the store expect.
    QSettings raw(IniPath(dir), QSettings::IniFormat);
    EXPECT_EQ(raw.value("HTML Options/Remove Comments").toInt(), 0);
}

TEST(QtSettingsStore, OnlyFilesInIniFormOrMissingOnesAreUsable) {
    test::TempDir dir;
    // What this store itself writes, awkward values included, must always be usable.
    {
        QtSettingsStore store(IniPath(dir));
        StorePageDefaults(store, "/home/ada/Desktop");
        store.PutString(section::kDestination, key::kDestination, "  /srv/a;b=c,\"d\"\n\\e <p>");
        store.PutString(section::kReport, key::kBrowserName, "@browser \xC3\xBC");
        store.PutInt(section::kStatistics, key::kBytesSaved, 0xFFFFFFFFu);
        ASSERT_TRUE(store.Sync());
    }
    EXPECT_EQ(QtSettingsStore::UnusableSettingsFile(dir / "settings.ini"), std::nullopt)
        << test::ReadText(dir / "settings.ini");
    using namespace std::string_literals;
    const std::pair<std::string, bool> rows[] = {
        {"", true},
        {"\xEF\xBB\xBF[General]\r\nkey = value\r\n", true},
        {"; a comment\n# another\n\n[Section] ; note\nKey=1\nList=a, b\\\n  c\n", true},
        {"<!DOCTYPE html>\n<html></html>\n", false},
        {"<p class=x>a page of one line</p>", false},
        {"[Section]\nKey=1\nsome prose without an equals sign\n", false},
        {"[Section\nKey=1\n", false},
        {"=value without a key\n", false},
        {"[Section]\nKey=1\n\0\x01=binary"s, false},
    };
    for (const auto& [content, usable] : rows) {
        test::WriteText(dir / "candidate.ini", content);
        EXPECT_EQ(!QtSettingsStore::UnusableSettingsFile(dir / "candidate.ini"), usable) << content;
    }
    EXPECT_EQ(QtSettingsStore::UnusableSettingsFile(dir / "missing.ini"), std::nullopt);
    EXPECT_NE(QtSettingsStore::UnusableSettingsFile(dir.Path()), std::nullopt) << "a folder";
}

TEST(QtSettingsStore, SaveThatFailsNamesFileAndReasonAndIsRetried) {
    test::TempDir dir;
    test::WriteText(dir / "blocker", "a file where the folder should be");
    const std::filesystem::path file = dir / "blocker" / "settings.ini";
    QtSettingsStore store(QString::fromStdString(file.string()));
    store.PutInt(section::kStatistics, key::kFilesProcessed, 12);
    EXPECT_FALSE(store.Sync());
    EXPECT_NE(store.SyncError().find("'" + file.string() + "': '" + (dir / "blocker").string() +
                                     "' is not a folder"),
              std::string::npos)
        << store.SyncError();
    // Once the way is clear the next save works, with the values of before.
    std::filesystem::remove(dir / "blocker");
    store.PutInt(section::kStatistics, key::kBytesSaved, 34);
    ASSERT_TRUE(store.Sync()) << store.SyncError();
    EXPECT_EQ(store.SyncError(), "");
    QSettings raw(QString::fromStdString(file.string()), QSettings::IniFormat);
    EXPECT_EQ(raw.value("Statistics/Files Processed").toInt(), 12);
    EXPECT_EQ(raw.value("Statistics/Bytes Saved").toInt(), 34);
}

TEST(Platform, HomeMustBeAnAbsolutePath) {
    const char* const saved = std::getenv("HOME");
    const std::string kept = saved ? saved : "";
    // A null home is one that is not set.
    const std::pair<const char*, bool> rows[] = {
        {nullptr, true}, {"", true}, {"home/ada", true}, {"/home/ada", false}};
    for (const auto& [home, refused] : rows) {
        home ? setenv("HOME", home, 1) : unsetenv("HOME");
        const std::optional<std::string> problem = HomeFolderProblem();
        EXPECT_EQ(problem.has_value(), refused) << (home ? home : "(unset)");
        EXPECT_TRUE(!problem || problem->starts_with("HOME is not set")) << *problem;
    }
    if (saved) {
        setenv("HOME", kept.c_str(), 1);
    }
}

TEST(Platform, DesktopFolderFollowsTheXdgUserDirs) {
    test::TempDir dir;
    test::WriteText(dir / "config" / "user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    std::filesystem::create_directories(dir / "home" / "Schreibtisch");
    setenv("HOME", (dir / "home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    EXPECT_EQ(DesktopFolder(), dir / "home" / "Schreibtisch");
    const DerivedPaths paths = MakeDerivedPaths("/opt/quillon/bin");
    EXPECT_EQ(paths.OutputFolder(),
              (dir / "home" / "Schreibtisch").string() + "/Quillon Optimized Files/");
    EXPECT_EQ(paths.ManualPath(), "/opt/quillon/bin/Quillon.PDF");
}

}  // namespace
}  // namespace quillon
