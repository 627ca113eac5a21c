#include "app/QtSettingsStore.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <cstdlib>
#include <fstream>

#include "TempDir.h"
#include "app/Platform.h"
#include "pipeline/SettingsKeys.h"

namespace quillon {
namespace {

QString IniPath(const test::TempDir& dir) {
    return QString::fromStdString((dir / "settings.ini").string());
}

TEST(QtSettingsStore, AbsentValuesGiveTheCallersDefault) {
    test::TempDir dir;
    const QtSettingsStore store(IniPath(dir));
    EXPECT_EQ(store.GetInt(section::kHtml, key::kEnableHtml, 7), 7u);
    EXPECT_EQ(store.GetString(section::kReport, key::kBrowserName, "none"), "none");
}

TEST(QtSettingsStore, ValuesSurviveAReopenInTheirSections) {
    test::TempDir dir;
    {
        QtSettingsStore store(IniPath(dir));
        store.PutInt(section::kStatistics, key::kBytesSaved, 0xFFFFFFF0u);
        store.PutInt(section::kHtml, key::kRemoveComments, 0);
        store.PutInt(section::kJava, key::kRemoveComments, 1);
        store.PutString(section::kDestination, key::kDestination, "/srv/Ünïcode out");
        ASSERT_TRUE(store.Sync());
    }
    const QtSettingsStore store(IniPath(dir));
    EXPECT_EQ(store.GetInt(section::kStatistics, key::kBytesSaved, 0), 0xFFFFFFF0u);
    EXPECT_EQ(store.GetInt(section::kHtml, key::kRemoveComments, 9), 0u);
    EXPECT_EQ(store.GetInt(section::kJava, key::kRemoveComments, 9), 1u);
    EXPECT_EQ(store.GetString(section::kDestination, key::kDestination, ""), "/srv/Ünïcode out");

    // One group per section, as other tools reading the store expect.
    QSettings raw(IniPath(dir), QSettings::IniFormat);
    EXPECT_EQ(raw.value("HTML Options/Remove Comments").toInt(), 0);
    EXPECT_TRUE(raw.childGroups().contains("Destination Options"));
}

TEST(QtSettingsStore, ValueThatIsNoNumberGivesTheDefault) {
    test::TempDir dir;
    QtSettingsStore store(IniPath(dir));
    store.PutString(section::kHtml, key::kEnableHtml, "yes");
    EXPECT_EQ(store.GetInt(section::kHtml, key::kEnableHtml, 0), 0u);
}

TEST(QtSettingsStore, StartupPassOnAFreshStore) {
    test::TempDir dir;
    QtSettingsStore store(IniPath(dir));
    StorePageDefaults(store, "/home/ada/Desktop");
    ASSERT_TRUE(store.Sync());

    QSettings raw(IniPath(dir), QSettings::IniFormat);
    for (const SettingKey& entry : AllSettingKeys()) {
        const QString path = QString::fromUtf8(entry.section.data(), entry.section.size()) + '/' +
                             QString::fromUtf8(entry.key.data(), entry.key.size());
        EXPECT_EQ(raw.contains(path), entry.page != SettingsPage::kNone) << path.toStdString();
    }
    EXPECT_EQ(store.GetString(section::kDestination, key::kDestination, ""),
              "/home/ada/Desktop/Quillon Optimized Files");
}

TEST(Platform, DesktopFolderFollowsTheXdgUserDirs) {
    test::TempDir dir;
    std::filesystem::create_directories(dir / "config");
    std::filesystem::create_directories(dir / "home" / "Schreibtisch");
    {
        std::ofstream dirs(dir / "config" / "user-dirs.dirs");
        dirs << "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
    }
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
